#include "cInifile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const char* const AnsiCodePage = "GBK";

bool isBlank(QChar c) {
    // ASCII blanks only: an ideographic space is real content (a filter string may be one).
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f';
}

QStringView trimBlanks(QStringView s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

// NULs would end the text early for any reader; a line break would split one entry into two.
QString withoutControls(QString text) {
    text.remove(QChar(0));
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QByteArray toAnsi(QStringView text) {
    QStringEncoder encoder(AnsiCodePage);
    return encoder.encode(text);
}

qsizetype ansiSize(QStringView text) {
    qsizetype ascii = 0;
    while (ascii < text.size() && text[ascii].unicode() < 0x80)
        ++ascii;
    return ascii == text.size() ? ascii : toAnsi(text).size();
}

// The longest head of `text` whose GBK form fits into maxBytes; a double-byte character that
// would only half fit is left out entirely.
QString cutToAnsiBytes(const QString& text, qsizetype maxBytes) {
    if (text.size() * 2 <= maxBytes)
        return text;
    QStringEncoder encoder(AnsiCodePage);
    qsizetype used = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype units =
            (text[pos].isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate()) ? 2 : 1;
        const qsizetype bytes = text[pos].unicode() < 0x80
                                    ? 1
                                    : QByteArray(encoder.encode(QStringView(text).sliced(pos, units))).size();
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        pos += units;
    }
    return text.left(pos);
}

// Names each followed by NUL, as far as they fit completely into the list buffer together with
// the NUL that closes the list.
QString nameList(const QStringList& names) {
    QString list;
    qsizetype used = 0;
    for (const QString& name : names) {
        const qsizetype bytes = ansiSize(name) + 1;
        if (used + bytes > cInifile::ListBufferSize - 1)
            break;
        used += bytes;
        list += name;
        list += QChar(0);
    }
    return list;
}

struct Line {
    enum Kind { Blank, Comment, Header, Entry };

    QByteArray raw; // the line's bytes without its end
    QByteArray eol; // "\r\n", "\n", or empty for a last line without one
    Kind kind = Blank;
    QString name; // section name of a header, key of an entry
    QString value;
};

class Document {
public:
    /// False only when the file exists and cannot be read; a missing file is an empty document.
    bool load(const QString& path, QString* error);
    bool save(const QString& path, QString* error) const;

    /// Index of the first header with that name, or -1.
    qsizetype findSection(QStringView name) const;
    /// Index of the line after the section's last line.
    qsizetype sectionEnd(qsizetype header) const;
    /// Index of the section's first entry with that key, or -1.
    qsizetype findKey(qsizetype header, QStringView key) const;

    QList<Line> lines;

private:
    static Line parseLine(QByteArray raw, QByteArray eol, QStringDecoder& decoder);
};

bool sameName(QStringView a, QStringView b) {
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

Line Document::parseLine(QByteArray raw, QByteArray eol, QStringDecoder& decoder) {
    Line line;
    line.raw = std::move(raw);
    line.eol = std::move(eol);
    decoder.resetState();
    QString text = decoder.decode(line.raw);
    text.remove(QChar(0));
    const QStringView t = trimBlanks(text);
    if (t.isEmpty()) {
        line.kind = Line::Blank;
    } else if (t.front() == QLatin1Char('[')) {
        line.kind = Line::Header;
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        line.name = trimBlanks(close < 0 ? t.sliced(1) : t.sliced(1, close - 1)).toString();
    } else if (t.front() == QLatin1Char(';')) {
        line.kind = Line::Comment;
    } else {
        line.kind = Line::Entry;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq < 0) {
            line.name = t.toString();
        } else {
            line.name = trimBlanks(t.first(eq)).toString();
            line.value = trimBlanks(t.sliced(eq + 1)).toString();
        }
    }
    return line;
}

bool Document::load(const QString& path, QString* error) {
    lines.clear();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray data = file.readAll();
    QStringDecoder decoder(AnsiCodePage);
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype lf = data.indexOf('\n', start);
        if (lf < 0) {
            lines.append(parseLine(data.sliced(start), QByteArray(), decoder));
            break;
        }
        const bool crlf = lf > start && data[lf - 1] == '\r';
        const qsizetype end = crlf ? lf - 1 : lf;
        lines.append(parseLine(data.sliced(start, end - start), data.sliced(end, lf + 1 - end), decoder));
        start = lf + 1;
    }
    return true;
}

bool Document::save(const QString& path, QString* error) const {
    QByteArray data;
    for (const Line& line : lines) {
        data += line.raw;
        data += line.eol;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    file.write(data);
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

qsizetype Document::findSection(QStringView name) const {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Header && sameName(lines[i].name, name))
            return i;
    }
    return -1;
}

qsizetype Document::sectionEnd(qsizetype header) const {
    qsizetype i = header + 1;
    while (i < lines.size() && lines[i].kind != Line::Header)
        ++i;
    return i;
}

qsizetype Document::findKey(qsizetype header, QStringView key) const {
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines[i].kind == Line::Entry && sameName(lines[i].name, key))
            return i;
    }
    return -1;
}

Line newLine(const QString& text) {
    Line line;
    line.raw = toAnsi(text);
    line.eol = QByteArrayLiteral("\r\n");
    return line;
}

} // namespace

void cInifile::setResult(bool ok, const QString& error) {
    m_lastReturnCode = ok ? 1 : 0;
    m_error = ok ? QString() : error;
}

QString cInifile::Value() const {
    Document doc;
    QString error;
    QString value = m_default;
    if (doc.load(m_path, &error)) {
        const qsizetype header = doc.findSection(m_section);
        const qsizetype entry = header < 0 ? -1 : doc.findKey(header, m_key);
        if (entry >= 0)
            value = doc.lines[entry].value;
    }
    return cutToAnsiBytes(value, ValueBufferSize - 1);
}

void cInifile::setValue(const QString& sValue) {
    Document doc;
    QString error;
    if (!doc.load(m_path, &error))
        return setResult(false, error);

    const QString section = trimBlanks(withoutControls(m_section)).toString();
    const QString key = trimBlanks(withoutControls(m_key)).toString();
    const QString value = withoutControls(sValue);
    const qsizetype header = doc.findSection(section);
    if (header < 0) {
        if (!doc.lines.isEmpty() && doc.lines.last().eol.isEmpty())
            doc.lines.last().eol = QByteArrayLiteral("\r\n");
        doc.lines.append(newLine(QLatin1Char('[') + section + QLatin1Char(']')));
        doc.lines.append(newLine(key + QLatin1Char('=') + value));
    } else if (const qsizetype entry = doc.findKey(header, key); entry >= 0) {
        // Keep the key exactly as it was spelt; only what follows "=" changes.
        Line& line = doc.lines[entry];
        const qsizetype eq = line.raw.indexOf('=');
        line.raw = (eq < 0 ? line.raw + '=' : line.raw.left(eq + 1)) + toAnsi(value);
    } else {
        // After the section's last non-blank line, so blank lines keep separating sections.
        qsizetype last = header;
        const qsizetype end = doc.sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            if (doc.lines[i].kind != Line::Blank)
                last = i;
        }
        if (doc.lines[last].eol.isEmpty())
            doc.lines[last].eol = QByteArrayLiteral("\r\n");
        doc.lines.insert(last + 1, newLine(key + QLatin1Char('=') + value));
    }
    setResult(doc.save(m_path, &error), error);
}

void cInifile::DeleteKey() {
    Document doc;
    QString error;
    if (!doc.load(m_path, &error))
        return setResult(false, error);
    const qsizetype header = doc.findSection(m_section);
    if (header < 0)
        return setResult(true, QString());
    // Every copy of the key goes, so that a later duplicate does not take its place.
    bool removed = false;
    for (qsizetype entry; (entry = doc.findKey(header, m_key)) >= 0; removed = true)
        doc.lines.remove(entry);
    setResult(!removed || doc.save(m_path, &error), error);
}

void cInifile::DeleteSection() {
    Document doc;
    QString error;
    if (!doc.load(m_path, &error))
        return setResult(false, error);
    bool removed = false;
    for (qsizetype header; (header = doc.findSection(m_section)) >= 0; removed = true)
        doc.lines.remove(header, doc.sectionEnd(header) - header);
    setResult(!removed || doc.save(m_path, &error), error);
}

QString cInifile::INISection() const {
    Document doc;
    QString error;
    if (!doc.load(m_path, &error))
        return QString();
    const qsizetype header = doc.findSection(m_section);
    if (header < 0)
        return QString();
    QStringList names;
    const qsizetype end = doc.sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (doc.lines[i].kind == Line::Entry)
            names.append(doc.lines[i].name);
    }
    return nameList(names);
}

QString cInifile::Sections() const {
    Document doc;
    QString error;
    if (!doc.load(m_path, &error))
        return QString();
    QStringList names;
    for (const Line& line : std::as_const(doc.lines)) {
        if (line.kind == Line::Header)
            names.append(line.name);
    }
    return nameList(names);
}

namespace {

void splitNameList(const QString& list, bool keepEmpty, QStringList& names, qint32& count) {
    names.clear();
    count = 0;
    qsizetype pos = 0;
    for (qsizetype nul; (nul = list.indexOf(QChar(0), pos)) >= 0; pos = nul + 1) {
        const QString name = list.sliced(pos, nul - pos);
        if (keepEmpty || !name.isEmpty()) {
            names.append(name);
            ++count;
        }
    }
}

} // namespace

void cInifile::EnumerateCurrentSection(QStringList& sKey, qint32& iCount) const {
    splitNameList(INISection(), true, sKey, iCount);
}

void cInifile::EnumerateAllSections(QStringList& sSections, qint32& iCount) const {
    splitNameList(Sections(), false, sSections, iCount);
}
