#include "cCommonDialog.h"

#include "Prompts.h"
#include "WindowStyle.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QList>

namespace {

struct OpenAnswer {
    QStringList files;
    qint32 filterIndex = 1;
};

struct Queues {
    QList<OpenAnswer> open;
    QList<QString> save;
    QList<QString> folder;
    QList<qint32> color;
    cCommonDialog::Request last;
};

Queues& queues() {
    static Queues q;
    return q;
}

enum class Source { Chooser, Queued, Cancelled };

// Takes the oldest queued answer. In test mode an empty queue is a cancel, so that a test
// never stops at a chooser waiting for a person.
template <typename T> Source takeAnswer(QList<T>& queue, T& answer) {
    if (!queue.isEmpty()) {
        answer = queue.takeFirst();
        return Source::Queued;
    }
    return Prompts::testMode() ? Source::Cancelled : Source::Chooser;
}

const QChar Bar = QLatin1Char('|');

QString qtPatterns(const QString& pattern) {
    QStringList parts = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& part : parts) {
        part = part.trimmed();
        if (part == QLatin1String("*.*"))
            part = QStringLiteral("*");
    }
    parts.removeAll(QString());
    return parts.isEmpty() ? QStringLiteral("*") : parts.join(QLatin1Char(' '));
}

} // namespace

QStringList cCommonDialog::toNameFilters(const QString& filter) {
    QStringList result;
    const QStringList pieces = filter.split(Bar);
    if (filter.isEmpty())
        return result;
    for (qsizetype i = 0; i < pieces.size(); i += 2) {
        const QString description = pieces[i].trimmed();
        const QString patterns = qtPatterns(pieces.value(i + 1));
        // "文本文件 (*.txt)" already names its patterns; Qt reads the last bracket as the list.
        if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
            result << description;
        else if (description.isEmpty())
            result << patterns;
        else
            result << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result;
}

bool cCommonDialog::VBGetOpenFileName(QString& FileName, QString& FileTitle, bool FileMustExist,
                                      bool MultiSelect, bool& ReadOnly, bool HideReadOnly, QString& Filter,
                                      qint32& FilterIndex, const QString& InitDir, const QString& DlgTitle,
                                      const QString& DefaultExt, QWidget* owner, qint32& flags) {
    m_apiReturn = 0;
    m_extendedError = 0;

    qint32 options = flags & ~(OFN_ENABLEHOOK | OFN_ENABLETEMPLATE);
    if (FileMustExist)
        options |= OFN_FILEMUSTEXIST;
    if (MultiSelect)
        options |= OFN_ALLOWMULTISELECT;
    if (ReadOnly)
        options |= OFN_READONLY;
    if (HideReadOnly)
        options |= OFN_HIDEREADONLY;

    const QStringList nameFilters = toNameFilters(Filter);
    const qint32 shownIndex = FilterIndex >= 1 && FilterIndex <= nameFilters.size() ? FilterIndex : 1;

    Request& request = queues().last;
    request = Request();
    request.title = DlgTitle;
    request.directory = InitDir;
    request.initialFile = FileName;
    request.nameFilters = nameFilters;
    request.selectedFilter = nameFilters.value(shownIndex - 1);
    request.defaultSuffix = DefaultExt;
    request.fileMustExist = FileMustExist;
    request.multiSelect = MultiSelect;

    QStringList files;
    qint32 chosenIndex = shownIndex;
    OpenAnswer answer;
    const Source source = takeAnswer(queues().open, answer);
    if (source == Source::Queued) {
        files = answer.files;
        chosenIndex = answer.filterIndex;
    } else if (source == Source::Chooser) {
        QFileDialog dialog(owner, DlgTitle, InitDir);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(MultiSelect     ? QFileDialog::ExistingFiles
                           : FileMustExist ? QFileDialog::ExistingFile
                                           : QFileDialog::AnyFile);
        if (!nameFilters.isEmpty()) {
            dialog.setNameFilters(nameFilters);
            dialog.selectNameFilter(request.selectedFilter);
        }
        dialog.setDefaultSuffix(DefaultExt);
        if (!FileName.isEmpty())
            dialog.selectFile(FileName);
        if (dialog.exec() == QDialog::Accepted) {
            files = dialog.selectedFiles();
            chosenIndex = qint32(nameFilters.indexOf(dialog.selectedNameFilter())) + 1;
        }
    }

    // A typed name without an extension gets the default one; a name that must exist and
    // does not (it may have gone since it was chosen) counts as no choice.
    if (!MultiSelect && files.size() > 1)
        files = files.mid(0, 1);
    bool missing = false;
    for (QString& file : files) {
        if (!DefaultExt.isEmpty() && QFileInfo(file).suffix().isEmpty() && !QFileInfo::exists(file))
            file += QLatin1Char('.') + DefaultExt;
        missing = missing || (FileMustExist && !QFileInfo(file).isFile());
    }
    if (missing)
        files.clear();

    if (files.isEmpty()) {
        FileName.clear();
        FileTitle.clear();
        Filter.clear();
        FilterIndex = -1;
        flags = 0;
        return false;
    }

    m_apiReturn = 1;
    if (files.size() == 1) {
        FileName = files.first();
    } else {
        // The folder, then every bare name, each after a NUL, as a multiple choice is reported.
        FileName = QFileInfo(files.first()).absolutePath();
        for (const QString& file : std::as_const(files))
            FileName += QChar(0) + QFileInfo(file).fileName();
    }
    FileTitle = QFileInfo(files.first()).fileName();
    if (chosenIndex < 1 || chosenIndex > nameFilters.size())
        chosenIndex = nameFilters.isEmpty() ? 0 : 1;
    const QStringList pieces = Filter.split(Bar);
    Filter = chosenIndex > 0
                 ? pieces.value(2 * (chosenIndex - 1)) + Bar + pieces.value(2 * (chosenIndex - 1) + 1)
                 : QString();
    FilterIndex = chosenIndex;
    flags = options;
    ReadOnly = (options & OFN_READONLY) != 0;
    return true;
}

QString cCommonDialog::sGetSaveFileName(QWidget* owner, const QString& DlgTitle, const QString& initialFile,
                                        const QString& Filter, const QString& DefaultExt) {
    const QStringList nameFilters = toNameFilters(Filter);
    Request& request = queues().last;
    request = Request();
    request.title = DlgTitle;
    request.initialFile = initialFile;
    request.nameFilters = nameFilters;
    request.selectedFilter = nameFilters.value(0);
    request.defaultSuffix = DefaultExt;

    QString file;
    if (takeAnswer(queues().save, file) == Source::Chooser) {
        QFileDialog dialog(owner, DlgTitle);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!nameFilters.isEmpty())
            dialog.setNameFilters(nameFilters);
        dialog.setDefaultSuffix(DefaultExt);
        if (!initialFile.isEmpty())
            dialog.selectFile(initialFile);
        if (dialog.exec() == QDialog::Accepted)
            file = dialog.selectedFiles().value(0);
    }
    if (file.isEmpty())
        return QString();
    // The chooser adds the extension itself; a queued answer is treated the same way.
    if (!DefaultExt.isEmpty() && QFileInfo(file).suffix().isEmpty())
        file += QLatin1Char('.') + DefaultExt;
    return file;
}

QString cCommonDialog::sBrowseForFolder(QWidget* owner, const QString& startFolder) {
    QString start = startFolder;
    if (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);

    const QString title = QStringLiteral(u"请选择要输出的文件夹");
    Request& request = queues().last;
    request = Request();
    request.title = title;
    request.directory = start;

    QString folder;
    if (takeAnswer(queues().folder, folder) == Source::Chooser)
        folder = QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);

    if (folder.isEmpty())
        return QString();
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

qint32 cCommonDialog::sShowColor(QWidget* owner, qint32 initial) {
    Request& request = queues().last;
    request = Request();
    request.title = QStringLiteral(u"颜色");
    request.color = initial;

    qint32 answer = -1;
    if (const Source source = takeAnswer(queues().color, answer); source != Source::Chooser)
        return answer;

    QColorDialog dialog(ColorFromNumber(initial), owner);
    dialog.setWindowTitle(request.title);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    const QColor color = dialog.selectedColor();
    return qint32(color.red() | (color.green() << 8) | (color.blue() << 16));
}

const cCommonDialog::Request& cCommonDialog::lastRequest() {
    return queues().last;
}

void cCommonDialog::queueOpenAnswer(const QStringList& files, qint32 filterIndex) {
    queues().open.append({files, filterIndex});
}

void cCommonDialog::queueSaveAnswer(const QString& file) {
    queues().save.append(file);
}

void cCommonDialog::queueFolderAnswer(const QString& folder) {
    queues().folder.append(folder);
}

void cCommonDialog::queueColorAnswer(qint32 color) {
    queues().color.append(color);
}

int cCommonDialog::pendingAnswers() {
    const Queues& q = queues();
    return int(q.open.size() + q.save.size() + q.folder.size() + q.color.size());
}

void cCommonDialog::clearAnswers() {
    Queues& q = queues();
    q.open.clear();
    q.save.clear();
    q.folder.clear();
    q.color.clear();
}
