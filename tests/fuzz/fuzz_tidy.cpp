// Random title sequences through tidying: never a crash, and never a change to a title that was
// checked or edited by hand (locked); every change is to a title that exists and turns its
// state round (ignore a kept one, keep an ignored one), once.
//
// Input: four bytes a title: its number (two bytes, 0-300 mostly, some beyond), flags (ignored,
// locked, standalone, text after, a new volume) and a key out of a few, so that titles repeat.
#include "core/TidyTitles.h"

#include <QSet>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QVector<TidyTitle> titles;
    int volume = -1;
    for (size_t i = 0; i + 4 <= size && titles.size() < 4000; i += 4) {
        TidyTitle t;
        const int raw = data[i] | (data[i + 1] << 8);
        t.number = qint16(raw % 7 == 0 ? raw % 32768 : raw % 300);
        const uint8_t flags = data[i + 2];
        t.ignored = flags & 1;
        t.locked = flags & 2;
        t.standalone = flags & 4;
        t.textAfter = flags & 8;
        if (flags & 16) {
            ++volume;
        }
        t.volume = (flags & 32) ? volume : -1;
        t.key = QStringLiteral(u"第%1章").arg(data[i + 3] % 16);
        titles << t;
    }
    const QVector<TidyChange> changes = tidyTitles(titles);
    QSet<int> seen;
    for (const TidyChange& c : changes) {
        if (c.record < 0 || c.record >= titles.size() || seen.contains(c.record)) {
            abort();
        }
        seen.insert(c.record);
        const TidyTitle& t = titles[c.record];
        if (t.locked || c.ignore == t.ignored || c.reason == TidyReason::None) {
            abort();
        }
    }
    int numbered = 0;
    if (tidySequence(titles, &numbered).size() != titles.size() || numbered < 0 || numbered > titles.size()) {
        abort();
    }
    return 0;
}
