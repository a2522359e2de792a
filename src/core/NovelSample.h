#pragma once

#include <QString>

#include <functional>

class TextCodec;

/// Reads evenly spaced slices of a novel (`slices` of `sliceSize` bytes, whatever its size; a
/// small novel is read whole), each cut to whole lines and decoded, and hands each slice's text
/// to `take` in file order. Slices never overlap. False when the file cannot be read.
bool readNovelSamples(const QString& path, const TextCodec& codec, int bomLength, int slices,
                      qint64 sliceSize, const std::function<void(const QString& text)>& take);
