#pragma once

#include "core/TextCodec.h"

#include <QString>
#include <QStringView>

/// Which script a novel is written in, judged by the characters only one script writes.
enum class NovelScript { Unknown, Simplified, Traditional };

/// Counts, in `text`, the characters only traditional script writes and those only simplified
/// script writes, adding to the two counters.
void countScriptCharacters(QStringView text, qint64* traditionalOnly, qint64* simplifiedOnly);

/// Whether a line of a traditional novel is converted: unless it holds characters only
/// simplified script writes and none only traditional script writes (a simplified line).
bool lineWantsConversion(QStringView text);
/// The line in simplified script when it wants conversion, else as it is.
QString simplifiedLine(const QString& text);

/// The novel's script from evenly spaced samples of its text (about 1 MB in all, whatever its
/// size): traditional when characters only traditional script writes outnumber those only
/// simplified script writes; Unknown when it has neither (or cannot be read).
NovelScript sampleNovelScript(const QString& path, const TextCodec& codec, int bomLength);
