#pragma once

#include <QtGlobal>

#include <cstddef>

/// First occurrence of `needle` in `hay`, or nullptr. Faster than memmem for the short
/// needles of title patterns (a GBK character or two): it tests 16 positions at a time for
/// the needle's first and last bytes together and compares only where both fit.
const char* findBytes(const char* hay, size_t hayLen, const char* needle, size_t needleLen);

/// The needles findAnyBytes looks for: up to MaxNeedles byte strings, none empty.
struct NeedleBytes {
    static constexpr int MaxNeedles = 4;
    const char* data[MaxNeedles] = {};
    size_t size[MaxNeedles] = {};
    int count = 0;
};

/// First position in `hay` where any of the needles starts, or nullptr; `which` tells the
/// needle found there (the first listed when several start at that position). One pass over
/// the bytes for all of them, whatever their number.
const char* findAnyBytes(const char* hay, size_t hayLen, const NeedleBytes& needles, int* which);

/// A further quick test of an occurrence of a needle: given the bytes right after it (up to the
/// end of what is searched, not of the line), false when that occurrence cannot be of interest.
/// It must say true when it cannot tell from the bytes at hand.
struct NeedleTest {
    bool (*accept)(const void* context, const char* after, const char* end) = nullptr;
    const void* context = nullptr;
};

/// The same, passing over occurrences that the needle's test (`tests[k]`, where it has one)
/// throws out: the first needle listed that starts at a position and passes counts there.
const char* findAnyBytes(const char* hay, size_t hayLen, const NeedleBytes& needles, const NeedleTest* tests,
                         int* which);

/// The first CR or LF in [p, e), or `e` when there is none.
const char* findLineBreak(const char* p, const char* e);
/// The last CR or LF in [b, e), or nullptr when there is none.
const char* findLastLineBreak(const char* b, const char* e);

/// Line ends in [b, b + n): every LF, and every CR that no LF follows (a CR LF pair is one).
/// A CR at the very end counts when `crAtEndAlone` says that no LF follows it.
qint64 countLineEnds(const char* b, size_t n, bool crAtEndAlone);
