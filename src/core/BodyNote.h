#pragma once

#include <QtGlobal>

#include <cstddef>

/// What the analysis notes of a chapter's body while its bytes are at hand, so that
/// findRepeatedChapters need not read them again. Valid for a kept chapter that runs exactly
/// from `from` to `to`.
struct BodyNote {
    qint64 from = 0; ///< file offset of the title line
    qint64 to = 0;   ///< of the next title line, or of the end of the file
    size_t a = 0;
    size_t b = 0;
    bool whole = false; ///< a and b hash the whole body, else its first and last bytes
};
