#include "CliHost.h"

#include "core/Document.h"
#include "core/FileName.h"

#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

// Set by the signal handler, read by the pass's worker thread: a lock-free atomic is safe in both.
std::atomic<int> g_interrupted = 0;
static_assert(std::atomic<int>::is_always_lock_free);

void onInterrupt(int sig)
{
    g_interrupted = sig;
}

// How the stop came, for the answer to the stop question.
const char* interruptName()
{
    switch (g_interrupted) {
    case SIGINT: return "Ctrl+C";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGPIPE: return "SIGPIPE";
    default: return "signal";
    }
}

} // namespace

CliHost::CliHost(Document& doc, QTextStream& out, QTextStream& err) : m_doc(doc), m_out(out), m_err(err) {}

void CliHost::installInterruptHandler()
{
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        std::signal(sig, onInterrupt);
    }
}

bool CliHost::interrupted()
{
    return g_interrupted != 0;
}

QTextStream& CliHost::asking()
{
    return terminal ? *terminal : m_err;
}

void CliHost::progressStart(qint64 maximum)
{
    m_max = maximum;
}

void CliHost::progress(qint64 value, int percent, const QString&, const QString&)
{
    if (!showProgress) {
        return;
    }
    const int width = 30;
    const int filled = std::clamp(percent * width / 100, 0, width);
    m_err << '\r' << '[' << QString(filled, u'#') << QString(width - filled, u' ') << "] "
          << qSetFieldWidth(3) << percent << qSetFieldWidth(0) << "%  " << value << '/' << m_max;
    m_err.flush();
    m_progressShown = true;
}

void CliHost::clearProgress()
{
    if (m_progressShown) {
        m_err << '\r' << QString(60, u' ') << '\r';
        m_err.flush();
        m_progressShown = false;
    }
}

void CliHost::progressEnd()
{
    clearProgress();
}

void CliHost::processEvents()
{
    if (g_interrupted && m_doc.DocState == Busy) {
        m_doc.DocState = StopRequested;
        m_stopByInterrupt = true;
    }
}

void CliHost::messageBox(const QString& text, const QString& caption, Icon icon)
{
    clearProgress();
    if (icon == Warning || icon == Critical) {
        lastProblem = text;
    }
    m_err << caption << ": " << text << Qt::endl;
}

bool CliHost::askYesNo(const QString& text, const QString& caption)
{
    clearProgress();
    if (m_stopByInterrupt) {
        // Ctrl+C is the answer to the stop question already.
        m_err << caption << ": " << text << " (" << interruptName() << ")" << Qt::endl;
        return true;
    }
    if (yes) {
        if (!quietNotices) {
            m_err << caption << ": " << text << " (--yes)" << Qt::endl;
        }
        return true;
    }
    if (!interactive) {
        m_err << caption << ": " << text << QStringLiteral(u" — 否（不是终端，可用 --yes）") << Qt::endl;
        return false;
    }
    QMutexLocker lock(terminalLock);
    QTextStream& ask = asking();
    if (!label.isEmpty()) {
        ask << label << ": ";
    }
    ask << caption << ": " << text << " [y/N] ";
    ask.flush();
    const QString a = readAnswer().toLower();
    return a == QLatin1String("y") || a == QLatin1String("yes") || a == QStringLiteral(u"是");
}

void CliHost::notice(const QString& text, const QString& caption, int kind)
{
    clearProgress();
    if (kind == 0) {
        if (!quietNotices) {
            m_out << text << Qt::endl;
        }
    } else {
        noticedWarning = true;
        lastProblem = text;
        m_err << caption << ": " << text << Qt::endl;
    }
}

QString CliHost::askOverwrite(const QString& path)
{
    clearProgress();
    switch (overwrite) {
    case All:
        return QStringLiteral(":All");
    case None:
        return QStringLiteral(":No");
    case CancelAll:
        return QStringLiteral(":Cancel");
    case Ask:
        break;
    }
    if (!interactive) {
        m_err << QStringLiteral(u"文件已存在: ") << path << QStringLiteral(u" — 取消（不是终端，可用 --overwrite）")
              << Qt::endl;
        return QStringLiteral(":Cancel");
    }
    QMutexLocker lock(terminalLock);
    QTextStream& ask = asking();
    for (;;) {
        if (!label.isEmpty()) {
            ask << label << ": ";
        }
        ask << QStringLiteral(u"文件已存在: ") << path << Qt::endl
            << QStringLiteral(u"  [y] 是  [a] 全是  [n] 否  [c] 取消  [r] 重命名 ? ");
        ask.flush();
        const QString a = readAnswer().toLower();
        if (a == QLatin1String("y")) {
            return QStringLiteral(":Yes");
        }
        if (a == QLatin1String("a")) {
            return QStringLiteral(":All");
        }
        if (a == QLatin1String("n")) {
            return QStringLiteral(":No");
        }
        if (a == QLatin1String("c") || a.isNull()) {
            return QStringLiteral(":Cancel");
        }
        if (a == QLatin1String("r")) {
            ask << QStringLiteral(u"新的完整路径: ");
            ask.flush();
            const QString p = readAnswer();
            if (p.isEmpty()) {
                continue;
            }
            const QString name = QFileInfo(p).fileName();
            if (!IsLegalFileName(name)) {
                ask << QStringLiteral(u"文件名中有非法字符！") << Qt::endl;
                continue;
            }
            const QString full = QFileInfo(p).absoluteFilePath();
            if (pathTaken(full)) {
                ask << QStringLiteral(u"文件: ") << full << QStringLiteral(u" 已存在，是否覆盖？ [y/N] ");
                ask.flush();
                const QString sure = readAnswer().toLower();
                if (sure != QLatin1String("y") && sure != QLatin1String("yes") && sure != QStringLiteral(u"是")) {
                    continue;
                }
            }
            return full;
        }
    }
}

bool CliHost::freeNamesForRepeats() const
{
    return !(interactive && overwrite == Ask);
}

void CliHost::renamedRepeat(const QString&, const QString& to)
{
    clearProgress();
    m_err << QStringLiteral(u"文件名重复，改写到: ") << to << Qt::endl;
}

void CliHost::noTitleFound(const QString& notice, const QString& encoding)
{
    this->notice(notice
                     + QStringLiteral(u"\r\n文件是按 %1 编码读取的；编码不对时请用 --encoding 另选，"
                                      u"或用 vellomar-cli rules 找一条合适的标题规则。")
                           .arg(encoding),
                 QStringLiteral(u"分析"), 1);
    lastProblem = notice;
}

void CliHost::error(const QString& description, int number, const QString& context)
{
    clearProgress();
    reportedError = true;
    lastProblem = description;
    m_err << QStringLiteral(u"错误 %1: ").arg(number) << description << Qt::endl << "  " << context << Qt::endl;
}

QString CliHost::readAnswer()
{
    char buf[4096];
    if (!std::fgets(buf, sizeof buf, stdin)) {
        return QString();
    }
    return QString::fromLocal8Bit(buf).trimmed();
}
