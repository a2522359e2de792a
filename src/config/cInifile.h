#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

/// Accessor for one INI file in the ANSI code page (GBK, and GB18030 for characters GBK lacks,
/// see AnsiText.h; a file that starts with a UTF-8 byte-order mark is UTF-8 throughout), with
/// the habits of the Windows private-profile functions that the settings code relies on:
/// - section and key names match without regard to letter case, blanks around them ignored;
/// - a line whose first non-blank character is ";" is a comment, never a key;
/// - reads return `Default` when the file, the section or the key is absent; a value read
///   is cut to 254 ANSI bytes, key and section lists to an 8192-byte buffer (a name that does
///   not fit completely is dropped), never inside a multi-byte character;
/// - when a name occurs twice, the first section and the first key win;
/// - writes change only the lines concerned: a value is replaced in place, a missing key goes
///   to the end of its section, a missing section to the end of the file, and every other
///   byte (comments, order, other sections, line ends) stays as it was.
///
/// Set `Path`, `Section` and `Key` (and `Default`), then read or assign `Value`. The file is
/// read again by every call, so another writer's changes are always seen, unless the caller
/// holds it (holdFile) to take many keys in a row. A write never leaves a half-written file:
/// the new text goes to a temporary file that replaces the old.
class cInifile {
public:
    /// Result of the last write or delete: non-zero on success, 0 on failure. Reads leave it.
    qint32 LastReturnCode() const { return m_lastReturnCode; }
    bool Success() const { return m_lastReturnCode != 0; }
    /// Why the last write or delete failed; empty after a success.
    QString errorString() const { return m_error; }

    QString Default() const { return m_default; }
    void setDefault(const QString& sDefault) { m_default = sDefault; }
    QString Path() const { return m_path; }
    void setPath(const QString& sPath) { m_path = sPath; }
    QString Key() const { return m_key; }
    void setKey(const QString& sKey) { m_key = sKey; }
    QString Section() const { return m_section; }
    void setSection(const QString& sSection) { m_section = sSection; }

    /// The value of `Key` in `Section`, blanks around it removed, or `Default`.
    QString Value() const;
    /// Writes `Key` = sValue into `Section` (NUL characters and line breaks removed).
    void setValue(const QString& sValue);
    /// Removes `Key` from `Section`; nothing to remove counts as success.
    void DeleteKey();
    /// Removes every section named `Section` with all its lines.
    void DeleteSection();

    /// Key names of `Section` in file order, each followed by one NUL character.
    QString INISection() const;
    /// Section names of the file in file order, each followed by one NUL character.
    QString Sections() const;

    /// Key names of `Section`; every name is kept, an empty one included. Entry i of the
    /// 1-based enumeration is sKey[i - 1]; iCount is the number of entries.
    void EnumerateCurrentSection(QStringList& sKey, qint32& iCount) const;
    /// Section names of the file; empty names are skipped.
    void EnumerateAllSections(QStringList& sSections, qint32& iCount) const;

    /// Every key of `Section` with its whole value, in file order: neither the value buffer
    /// nor the list buffer cuts them. For what this program wrote beyond those limits itself.
    QList<std::pair<QString, QString>> SectionEntries() const;

    /// Reads `Path` once; until releaseFile() every call answers from that copy, and writes
    /// change the copy and reach the file at releaseFile(). Reading many keys then costs one
    /// reading of the file, however large a damaged file has grown. False, holding nothing,
    /// when the file exists but cannot be read; a missing file is held as an empty one.
    bool holdFile(QString* error = nullptr);
    /// Ends holdFile(), writing the file if a write changed the copy. False when that fails.
    bool releaseFile(QString* error = nullptr);

    /// Byte limits of the read buffers, terminating NUL included.
    static constexpr qsizetype ValueBufferSize = 255;
    static constexpr qsizetype ListBufferSize = 8192;

private:
    class Document;

    void setResult(bool ok, const QString& error);
    /// The held copy, or the file read afresh; null when it cannot be read.
    std::shared_ptr<Document> document(QString* error) const;
    /// Writes a changed document, or marks the held copy as changed.
    void commit(const std::shared_ptr<Document>& doc);

    QString m_path;
    QString m_key;
    QString m_section;
    QString m_default;
    qint32 m_lastReturnCode = 0;
    QString m_error;
    std::shared_ptr<Document> m_held;
    QString m_heldPath;
};
