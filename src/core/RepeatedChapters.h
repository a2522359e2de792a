#pragma once

#include <QVector>

class Document;

/// Finds chapters scraped twice: by record index, the title line of the first kept chapter whose
/// body (the lines after its title, blanks removed) is the same, for every later kept chapter
/// with that body; 0 elsewhere. Bodies under 20 characters are never repeats. Reads the novel
/// once and rewinds it; an unreadable file gives no repeats.
QVector<qint32> findRepeatedChapters(Document& doc);
