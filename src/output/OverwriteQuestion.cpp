#include "OverwriteQuestion.h"

#include "config/SystemError.h"
#include "core/LineReader.h"
#include "core/PassHost.h"
#include "output/OutputNames.h"

#include <QDir>
#include <QFileInfo>

namespace {

enum ErrorNumber { PathFile = 75, PathNotFound = 76 };

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// How a path is known in the set of written files: a 64-bit hash of its clean absolute form.
// Two paths that collide would only make the pass ask (or pick a free name) once too often.
quint64 pathKey(const QString& path)
{
    return quint64(qHash(cleanAbsolute(path), size_t(0x9E3779B97F4A7C15ull)));
}

} // namespace

OverwriteQuestion::OverwriteQuestion(PassHost& host, const LineReader& novel, Report report)
    : m_host(host), m_novel(novel), m_report(std::move(report))
{
}

bool OverwriteQuestion::taken(const QString& path) const
{
    return m_written.contains(pathKey(path)) || entryKind(path) != EntryKind::None || m_host.takenByOtherPass(path);
}

OverwriteQuestion::Answer OverwriteQuestion::ask(QString& target)
{
    bool confirmed = false; // the front end has already asked about the path it chose
    for (;;) {
        // A folder this pass made holds only the pass's own files: nothing there to look at.
        const bool fresh = m_madeFolders.contains(target.left(target.lastIndexOf(u'/') + 1));
        const EntryKind kind = fresh ? EntryKind::None : entryKind(target);
        if (kind != EntryKind::None && m_novel.isSameFile(target)) {
            m_report(QStringLiteral(u"不能写入文件: %1（这就是正在处理的小说本身）").arg(target), PathFile);
            return Fail;
        }
        if (kind == EntryKind::Directory || kind == EntryKind::Special) {
            m_report(QStringLiteral(u"无法写入文件: %1").arg(notRegularFileText(target)), PathFile);
            return Fail;
        }
        const quint64 key = pathKey(target);
        // Another novel's file of the same batch is as much this run's text as our own.
        const bool ours = m_written.contains(key) || m_host.takenByOtherPass(target);
        QString answer = QStringLiteral(":Yes");
        if (!confirmed && ours && m_host.freeNamesForRepeats()) {
            const QString from = target;
            target = FreeNameBeside(target, [this](const QString& path) { return taken(path); });
            m_host.renamedRepeat(from, target);
            confirmed = true;
            continue;
        }
        if (!confirmed && (ours || (!m_overwriteAll && kind != EntryKind::None))) {
            if (m_beforeQuestion && !m_beforeQuestion()) {
                return Fail;
            }
            m_host.setTakenTest([this](const QString& path) { return taken(path); });
            answer = ours ? m_host.askOverwriteWrittenThisPass(target) : m_host.askOverwrite(target);
            m_host.setTakenTest(nullptr);
        }
        if (answer == QLatin1String(":All")) {
            m_overwriteAll = true;
        } else if (answer == QLatin1String(":No")) {
            ++m_kept;
            return Skip;
        } else if (answer == QLatin1String(":Cancel") || answer.isEmpty()
                   || (answer.startsWith(u':') && answer != QLatin1String(":Yes"))) {
            return Cancel;
        } else if (answer != QLatin1String(":Yes")) {
            const QFileInfo info(answer);
            if (!info.absoluteDir().exists()) {
                m_report(QStringLiteral(u"文件夹不存在: %1").arg(info.absolutePath()), PathNotFound);
                return Fail;
            }
            target = cleanAbsolute(answer);
            confirmed = true;
            continue; // the new path is checked like any other
        }
        if (!m_host.claimPath(target, confirmed || ours)) {
            continue; // another novel of the batch took it since the check: ask again
        }
        m_written.insert(key); // target is unchanged since the key was made
        return Write;
    }
}
