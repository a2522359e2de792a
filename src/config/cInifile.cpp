#include "cInifile.h"

#include "AnsiText.h"
#include "SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>

#include <cerrno>
#include <cstring>

namespace {

bool isBlank(QChar c) {
    // ASCII blanks only: an ideographic space is real content (a filter string may be one).
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f';
}

// The byte form of isBlank, plus NUL, which the text form drops before it trims. None of these
// bytes can be the trail of a double-byte character.
bool isBlankByte(char b) {
    return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\v' || b == '\f' || b == '\0';
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

// A section or key name as looked up: letter case is ignored. It refers to text it does not
// own, so that indexing two million keys allocates nothing per key.
struct Name {
    QStringView text;
};

// Case folding keeps a name's length, so most names differ before any letter is compared.
bool operator==(Name a, Name b) {
    return a.text.size() == b.text.size() && a.text.compare(b.text, Qt::CaseInsensitive) == 0;
}

size_t qHash(Name name, size_t seed = 0) {
    const QStringView t = name.text;
    size_t h = seed;
    for (qsizetype i = 0; i < t.size(); ++i) {
        char32_t c = t[i].unicode();
        if (t[i].isHighSurrogate() && i + 1 < t.size() && t[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(t[i], t[i + 1]);
            ++i;
        }
        h = h * 31 + QChar::toCaseFolded(c);
    }
    return h;
}

// Blanks around names are ignored as well.
bool sameName(QStringView a, QStringView b) {
    return Name{trimBlanks(a)} == Name{trimBlanks(b)};
}

// The longest head of `text` whose ANSI form fits into maxBytes; a character that would only
// partly fit is left out entirely.
QString cutToAnsiBytes(const QString& text, qsizetype maxBytes) {
    if (text.size() <= maxBytes && ansiSize(text) <= maxBytes)
        return text;
    qsizetype used = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype units =
            (text[pos].isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate()) ? 2 : 1;
        const qsizetype bytes = ansiSize(QStringView(text).sliced(pos, units));
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        pos += units;
    }
    return text.left(pos);
}

// Names each followed by NUL, as far as they fit completely into the list buffer together with
// the NUL that closes the list; the first name that does not fit ends the list.
class NameList {
public:
    bool add(const QString& name) {
        const qsizetype bytes = ansiSize(name) + 1;
        if (m_used + bytes > cInifile::ListBufferSize - 1)
            return false;
        m_used += bytes;
        m_list += name;
        m_list += QChar(0);
        return true;
    }
    QString text() const { return m_list; }

private:
    QString m_list;
    qsizetype m_used = 0;
};

// Kept small: a damaged file may hold millions of lines.
struct Line {
    enum Kind : quint8 { Blank, Comment, Header, Entry };
    enum End : quint8 { None, Lf, CrLf }; // None only for a last line without an end

    QByteArray raw; // the line's bytes without its end
    QString name;   // section name of a header, key of an entry
    qsizetype valueAt = -1; // where an entry's value starts in raw; -1 without "="
    Kind kind = Blank;
    End end = None;

    QByteArrayView eol() const { return end == CrLf ? "\r\n" : end == Lf ? "\n" : ""; }
};

} // namespace

// The file as lines. Lines that no write touched keep pointing into the bytes as read, so
// loading costs one pass over the file and a value is decoded only when it is read.
class cInifile::Document {
public:
    /// False only when the file exists and cannot be read; a missing file is an empty document.
    bool load(const QString& path, QString* error);
    bool save(const QString& path, QString* error) const;

    /// Index of the first header with that name, or -1.
    qsizetype findSection(QStringView name);
    /// Index of the line after the section's last line.
    qsizetype sectionEnd(qsizetype header) const;
    /// Index of the section's first entry with that key, or -1.
    qsizetype findKey(qsizetype header, QStringView key) const;
    /// An entry's value, blanks around it removed.
    QString value(const Line& line) const;

    QString decode(QByteArrayView bytes) const { return m_utf8 ? QString::fromUtf8(bytes) : fromAnsi(bytes); }
    QByteArray encode(QStringView text) const { return m_utf8 ? text.toUtf8() : toAnsi(text); }
    Line newLine(const QString& text) const;

    /// Lines were inserted or removed: the section table is rebuilt when next needed.
    void reshaped() {
        m_sections.clear();
        m_sectionsBuilt = false;
    }

    QList<Line> lines;
    bool changed = false; // a held copy that differs from the file

private:
    Line parseLine(QByteArray raw, Line::End end) const;

    QByteArray m_data; // the bytes as read, which unchanged lines point into
    QByteArray m_bom;
    bool m_utf8 = false;
    // Views of the section names in `lines`, dropped whenever lines come or go.
    QHash<Name, qsizetype> m_sections;
    bool m_sectionsBuilt = false;
};

Line cInifile::Document::parseLine(QByteArray raw, Line::End end) const {
    Line line;
    line.raw = std::move(raw);
    line.end = end;
    const char* data = line.raw.constData();
    const qsizetype size = line.raw.size();
    qsizetype first = 0;
    while (first < size && isBlankByte(data[first]))
        ++first;
    if (first == size) {
        line.kind = Line::Blank;
    } else if (data[first] == '[') {
        // "]" can be the trail byte of a double-byte character: look for it in the text.
        line.kind = Line::Header;
        QString text = decode(line.raw);
        text.remove(QChar(0));
        const QStringView t = trimBlanks(text);
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        line.name = trimBlanks(close < 0 ? t.sliced(1) : t.sliced(1, close - 1)).toString();
    } else if (data[first] == ';') {
        line.kind = Line::Comment;
    } else {
        // "=" never occurs inside a multi-byte character, in GBK, GB18030 or UTF-8.
        line.kind = Line::Entry;
        const void* eq = std::memchr(data, '=', size_t(size));
        const qsizetype nameSize = eq ? static_cast<const char*>(eq) - data : size;
        QString name = decode(QByteArrayView(data, nameSize));
        name.remove(QChar(0));
        line.name = trimBlanks(name).toString();
        line.valueAt = eq ? nameSize + 1 : -1;
    }
    return line;
}

bool cInifile::Document::load(const QString& path, QString* error) {
    lines.clear();
    reshaped();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return true;
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = fileFailureReason(path, errno, file.errorString());
        return false;
    }
    m_data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = fileFailureReason(path, errno, file.errorString());
        m_data.clear();
        return false;
    }
    qsizetype start = 0;
    if (m_data.startsWith("\xEF\xBB\xBF")) {
        m_bom = m_data.first(3);
        m_utf8 = true;
        start = 3;
    }
    const char* data = m_data.constData();
    const qsizetype size = m_data.size();
    auto slice = [data](qsizetype from, qsizetype n) { return QByteArray::fromRawData(data + from, n); };
    lines.reserve(m_data.count('\n') + 1);
    while (start < size) {
        const void* found = std::memchr(data + start, '\n', size_t(size - start));
        if (!found) {
            lines.append(parseLine(slice(start, size - start), Line::None));
            break;
        }
        const qsizetype lf = static_cast<const char*>(found) - data;
        const bool crlf = lf > start && data[lf - 1] == '\r';
        const qsizetype end = crlf ? lf - 1 : lf;
        lines.append(parseLine(slice(start, end - start), crlf ? Line::CrLf : Line::Lf));
        start = lf + 1;
    }
    return true;
}

bool cInifile::Document::save(const QString& path, QString* error) const {
    qsizetype total = m_bom.size();
    for (const Line& line : lines)
        total += line.raw.size() + line.eol().size();
    QByteArray data;
    data.reserve(total);
    data += m_bom;
    for (const Line& line : lines) {
        data += line.raw;
        data += line.eol();
    }
    return replaceFileWhole(path, data, error);
}

qsizetype cInifile::Document::findSection(QStringView name) {
    if (!m_sectionsBuilt) {
        for (qsizetype i = lines.size() - 1; i >= 0; --i) { // backwards, so that the first one stays
            if (lines[i].kind == Line::Header)
                m_sections.insert(Name{lines[i].name}, i);
        }
        m_sectionsBuilt = true;
    }
    return m_sections.value(Name{trimBlanks(name)}, -1);
}

qsizetype cInifile::Document::sectionEnd(qsizetype header) const {
    qsizetype i = header + 1;
    while (i < lines.size() && lines[i].kind != Line::Header)
        ++i;
    return i;
}

qsizetype cInifile::Document::findKey(qsizetype header, QStringView key) const {
    // A plain scan: indexing a section costs more than the few look-ups a reader makes in it,
    // and the keys read one by one from a listed section are near its start.
    const Name wanted{trimBlanks(key)};
    for (qsizetype i = header + 1; i < lines.size() && lines[i].kind != Line::Header; ++i) {
        if (lines[i].kind == Line::Entry && Name{lines[i].name} == wanted)
            return i;
    }
    return -1;
}

QString cInifile::Document::value(const Line& line) const {
    if (line.valueAt < 0)
        return QString();
    QString text = decode(QByteArrayView(line.raw).sliced(line.valueAt));
    text.remove(QChar(0));
    return trimBlanks(text).toString();
}

Line cInifile::Document::newLine(const QString& text) const {
    return parseLine(encode(text), Line::CrLf);
}

void cInifile::setResult(bool ok, const QString& error) {
    m_lastReturnCode = ok ? 1 : 0;
    m_error = ok ? QString() : error;
}

std::shared_ptr<cInifile::Document> cInifile::document(QString* error) const {
    if (m_held && m_heldPath == m_path)
        return m_held;
    auto doc = std::make_shared<Document>();
    if (!doc->load(m_path, error))
        return nullptr;
    return doc;
}

void cInifile::commit(const std::shared_ptr<Document>& doc) {
    if (doc == m_held) {
        doc->changed = true;
        return setResult(true, QString());
    }
    QString error;
    setResult(doc->save(m_path, &error), error);
}

bool cInifile::holdFile(QString* error) {
    releaseFile();
    QString why;
    auto doc = std::make_shared<Document>();
    if (!doc->load(m_path, &why)) {
        if (error)
            *error = why;
        return false;
    }
    m_held = std::move(doc);
    m_heldPath = m_path;
    return true;
}

bool cInifile::releaseFile(QString* error) {
    const std::shared_ptr<Document> doc = std::exchange(m_held, nullptr);
    if (!doc || !doc->changed)
        return true;
    QString why;
    if (doc->save(m_heldPath, &why))
        return true;
    if (error)
        *error = why;
    return false;
}

QString cInifile::Value() const {
    QString error;
    QString value = m_default;
    if (const auto doc = document(&error)) {
        const qsizetype header = doc->findSection(m_section);
        const qsizetype entry = header < 0 ? -1 : doc->findKey(header, m_key);
        if (entry >= 0)
            value = doc->value(doc->lines[entry]);
    }
    return cutToAnsiBytes(value, ValueBufferSize - 1);
}

void cInifile::setValue(const QString& sValue) {
    QString error;
    const auto doc = document(&error);
    if (!doc)
        return setResult(false, error);

    const QString section = trimBlanks(withoutControls(m_section)).toString();
    const QString key = trimBlanks(withoutControls(m_key)).toString();
    const QString value = withoutControls(sValue);
    QList<Line>& lines = doc->lines;
    const qsizetype header = doc->findSection(section);
    if (header < 0) {
        if (!lines.isEmpty() && lines.last().end == Line::None)
            lines.last().end = Line::CrLf;
        lines.append(doc->newLine(QLatin1Char('[') + section + QLatin1Char(']')));
        lines.append(doc->newLine(key + QLatin1Char('=') + value));
        doc->reshaped();
    } else if (const qsizetype entry = doc->findKey(header, key); entry >= 0) {
        // Keep the key exactly as it was spelt; only what follows "=" changes.
        Line& line = lines[entry];
        const qsizetype eq = line.raw.indexOf('=');
        const QByteArray head = eq < 0 ? line.raw + '=' : line.raw.left(eq + 1);
        line.raw = head + doc->encode(value);
        line.valueAt = head.size();
    } else {
        // After the section's last non-blank line, so blank lines keep separating sections.
        qsizetype last = header;
        const qsizetype end = doc->sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            if (lines[i].kind != Line::Blank)
                last = i;
        }
        if (lines[last].end == Line::None)
            lines[last].end = Line::CrLf;
        lines.insert(last + 1, doc->newLine(key + QLatin1Char('=') + value));
        doc->reshaped();
    }
    commit(doc);
}

void cInifile::DeleteKey() {
    QString error;
    const auto doc = document(&error);
    if (!doc)
        return setResult(false, error);
    const qsizetype header = doc->findSection(m_section);
    if (header < 0)
        return setResult(true, QString());
    // Every copy of the key goes, so that a later duplicate does not take its place.
    QList<Line>& lines = doc->lines;
    bool removed = false;
    for (qsizetype i = doc->sectionEnd(header) - 1; i > header; --i) {
        if (lines[i].kind == Line::Entry && sameName(lines[i].name, m_key)) {
            lines.remove(i);
            removed = true;
        }
    }
    if (!removed)
        return setResult(true, QString());
    doc->reshaped();
    commit(doc);
}

void cInifile::DeleteSection() {
    QString error;
    const auto doc = document(&error);
    if (!doc)
        return setResult(false, error);
    QList<Line> kept;
    bool inside = false;
    for (const Line& line : std::as_const(doc->lines)) {
        if (line.kind == Line::Header)
            inside = sameName(line.name, m_section);
        if (!inside)
            kept.append(line);
    }
    if (kept.size() == doc->lines.size())
        return setResult(true, QString());
    doc->lines = std::move(kept);
    doc->reshaped();
    commit(doc);
}

QString cInifile::INISection() const {
    QString error;
    const auto doc = document(&error);
    if (!doc)
        return QString();
    const qsizetype header = doc->findSection(m_section);
    if (header < 0)
        return QString();
    NameList names;
    for (qsizetype i = header + 1; i < doc->lines.size() && doc->lines[i].kind != Line::Header; ++i) {
        if (doc->lines[i].kind == Line::Entry && !names.add(doc->lines[i].name))
            break;
    }
    return names.text();
}

QList<std::pair<QString, QString>> cInifile::SectionEntries() const {
    QString error;
    const auto doc = document(&error);
    QList<std::pair<QString, QString>> entries;
    const qsizetype header = doc ? doc->findSection(m_section) : -1;
    if (header < 0)
        return entries;
    for (qsizetype i = header + 1; i < doc->lines.size() && doc->lines[i].kind != Line::Header; ++i) {
        if (doc->lines[i].kind == Line::Entry)
            entries.append({doc->lines[i].name, doc->value(doc->lines[i])});
    }
    return entries;
}

QString cInifile::Sections() const {
    QString error;
    const auto doc = document(&error);
    if (!doc)
        return QString();
    NameList names;
    for (const Line& line : std::as_const(doc->lines)) {
        if (line.kind == Line::Header && !names.add(line.name))
            break;
    }
    return names.text();
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
