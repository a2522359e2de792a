#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class Kf8Text;

/// What the book's first record says about it.
struct Kf8Meta {
    QString title;
    QString author;
    QString language; ///< "zh-CN"
    QString uid;      ///< "urn:uuid:…", derived from the content
    QDateTime date;
    QString description; ///< empty: none
    bool vertical = false; ///< set in columns from right to left, pages turned the same way
};

/// A contents entry; `fragment` and `pos` say where it leads (the fragment's start).
struct Kf8NcxEntry {
    QString label;
    int depth = 0;
    quint32 pos = 0;
    quint32 length = 0;
    int fragment = 0;
    int parent = -1;
    int firstChild = -1;
    int lastChild = -1;
};

/// The AZW3 file: the Palm database around the records (the header record with the PalmDOC,
/// MOBI and EXTH headers, the text records, the fragment, skeleton and contents indices, the
/// cover and its thumbnail, the flow table and the closing records), written to `target`
/// under a temporary name and renamed into place when whole.
class Kf8Container {
public:
    /// `ncx` in the order a reader numbers it: every entry of a level before the next level's.
    bool write(const QString& target, Kf8Text& text, const QList<Kf8NcxEntry>& ncx, const QByteArray& cover,
               const QByteArray& thumbnail, const Kf8Meta& meta);
    QString errorText() const { return m_error; }

    /// A language tag's Windows locale number ("zh-CN" → 0x804), 0 when unknown.
    static quint32 localeOf(const QString& language);

private:
    QByteArray headerRecord(const Kf8Text& text, const Kf8Meta& meta, const QList<quint32>& at, bool thumbnail) const;

    QString m_error;
};
