#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVector>

#include "core/BodyNote.h"

class Document;
class TextCodec;

/// Finds chapters scraped twice: by record index, the title line of the first kept chapter whose
/// body (the lines after its title, blanks removed) is the same, for every later kept chapter
/// with that body; 0 elsewhere. Bodies under 20 characters are never repeats. Reads little of
/// the novel besides what the analysis noted (Document::BodyNotes) and leaves the reader
/// rewound; an unreadable file gives no repeats.
QVector<qint32> findRepeatedChapters(Document& doc);

/// Takes BodyNotes from bytes in memory; one taker per thread.
class BodyNoteTaker {
public:
    explicit BodyNoteTaker(const TextCodec& codec) : m_codec(codec) {}

    /// Notes the body `bytes` (from its title line at file offset `from` on, to the next title)
    /// in `notes`, unless it is too short to be a repeat.
    void note(qint64 from, QByteArrayView bytes, QVector<BodyNote>& notes);

private:
    const TextCodec& m_codec;
    QByteArray m_kept;
    QString m_text;
};
