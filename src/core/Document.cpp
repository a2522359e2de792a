#include "Document.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

const QStringList& stateMenus()
{
    static const QStringList menus = {
        QStringLiteral("mnuF_Open"),       QStringLiteral("mnuF_Close"),    QStringLiteral("mnuO_Analyze"),
        QStringLiteral("mnuO_SaveOut"),    QStringLiteral("mnuO_Option"),   QStringLiteral("mnuO_Stop"),
        QStringLiteral("mnuI_SelAll"),     QStringLiteral("mnuI_SelReverse"), QStringLiteral("mnuI_SelNone"),
        QStringLiteral("mnuI_Copy"),       QStringLiteral("mnuIE_ChapNum"), QStringLiteral("mnuIE_Title"),
    };
    return menus;
}

const QStringList& stateButtons()
{
    static const QStringList buttons = {
        QStringLiteral("open"),   QStringLiteral("close"),      QStringLiteral("analyze"),
        QStringLiteral("saveout"), QStringLiteral("config"),    QStringLiteral("stop"),
        QStringLiteral("selall"), QStringLiteral("selreverse"), QStringLiteral("selnone"),
        QStringLiteral("copy"),   QStringLiteral("edit"),       QStringLiteral("editChapNum"),
        QStringLiteral("editTitle"),
    };
    return buttons;
}

CommandStates commandStatesFor(int state)
{
    CommandStates c;
    switch (state) {
    case Busy:
        c.menus = {QStringLiteral("mnuO_Stop")};
        c.buttons = {QStringLiteral("stop")};
        break;
    case Opened:
        c.menus = {QStringLiteral("mnuF_Open"), QStringLiteral("mnuF_Close"), QStringLiteral("mnuO_Analyze"),
                   QStringLiteral("mnuO_Option")};
        c.buttons = {QStringLiteral("open"), QStringLiteral("close"), QStringLiteral("analyze"),
                     QStringLiteral("config")};
        c.statusText = QStringLiteral(u"已经打开小说...");
        break;
    case Analysed:
        c.menus = stateMenus();
        c.menus.removeOne(QStringLiteral("mnuO_Stop"));
        c.buttons = stateButtons();
        c.buttons.removeOne(QStringLiteral("stop"));
        break;
    case Closed:
        c.menus = {QStringLiteral("mnuF_Open"), QStringLiteral("mnuO_Option")};
        c.buttons = {QStringLiteral("open"), QStringLiteral("config")};
        c.statusText = QStringLiteral(u"就绪");
        break;
    default:
        break;
    }
    return c;
}

CommandStates Document::SetState(int state)
{
    DocState = state;
    if (state >= Busy && state <= Closed) {
        IsAnalysed = state == Analysed;
    }
    return commandStatesFor(state);
}

bool Document::OpenTextFile(const QString& path, QString* error, bool countLines)
{
    if (isOpen()) {
        CloseTextFile();
    }
    FilePath = path;
    LineCount = 0;
    // Opened first: only a regular file is read at all (a named pipe would hang the reading).
    if (!m_reader.open(path, error)) {
        return false;
    }
    {
        // The encoding is decided from a bounded sample (the start and slices of the rest), so a
        // large novel is not read an extra time for it.
        QFile file(m_reader.openFilePath());
        QByteArray head, more;
        if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            TextCodec::readSample(file, &head, &more);
        }
        TextCodec::Id id = m_choice;
        if (m_detect) {
            id = TextCodec::detect(head, more, &m_bom);
        } else {
            m_bom = TextCodec::bomLength(id, head);
        }
        m_codec = &TextCodec::forId(id);
        m_reader.setLayout(m_bom, m_codec->unitSize(), id != TextCodec::Utf16BE);
    }
    if (!m_reader.rewind(error)) {
        m_reader.close();
        return false;
    }
    m_textSize = std::max<qint64>(0, QFileInfo(path).size() - m_bom);
    if (!countLines) {
        // Any byte makes a line, so only an empty text is known to have none.
        LineCount = m_textSize > 0 ? -1 : 0;
        return true;
    }
    const qint64 n = m_reader.skipToEnd();
    if (n < 0 || !m_reader.rewind(error)) {
        if (n < 0 && error) {
            *error = m_reader.errorString();
        }
        m_reader.close();
        return false;
    }
    LineCount = n;
    return true;
}

void Document::CloseTextFile()
{
    if (!isOpen()) {
        return;
    }
    m_reader.close();
    FilePath.clear();
    m_model.resetUndo();
    LineCount = 0;
    m_textSize = 0;
    TitleOffsets.clear();
    TitleShapes.clear();
    BodyNotes.clear();
    Wrap = WrapProfile();
    m_model.resetTable();
    SetState(Closed);
}

QString Document::encodingLabel() const
{
    return m_detect ? codec().name() + QStringLiteral(u"（自动识别）") : codec().name();
}

QString Document::fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

bool Document::readLine(qint32 line, qint64* offset, QString* text, QString* error)
{
    if (!isOpen() || line < 1) {
        return false;
    }
    // The nearest title at or before the line whose offset is known.
    const QVector<qint32>& lines = m_model.chapline();
    qsizetype k = std::upper_bound(lines.cbegin(), lines.cend(), line) - lines.cbegin() - 1;
    while (k >= 0 && (k >= TitleOffsets.size() || lines.at(k) < 1)) {
        --k;
    }
    qint32 at = 1;
    bool ok = k >= 0 ? m_reader.rewindTo(TitleOffsets.at(k), -1, error) : m_reader.rewind(error);
    if (k >= 0) {
        at = lines.at(k);
    }
    QByteArrayView bytes;
    QByteArrayView terminator;
    bool found = false;
    while (ok) {
        const LineReader::Result r = m_reader.next(bytes, terminator);
        if (r != LineReader::Line) {
            ok = false;
            break;
        }
        if (at == line) {
            *offset = m_reader.lineOffset();
            *text = codec().decode(bytes);
            found = true;
            break;
        }
        ++at;
    }
    m_reader.rewind();
    return found;
}

QVector<qint64> Document::headingLines() const
{
    QVector<qint64> lines(m_model.chapline().cbegin(), m_model.chapline().cend());
    for (const Volume& v : m_model.volumes().all()) {
        lines << v.line;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}
