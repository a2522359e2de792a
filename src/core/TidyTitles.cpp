#include "TidyTitles.h"

#include "core/Document.h"
#include "core/TextCodec.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace {

// Weights of a title in the sequence: a heading line outweighs a sentence, a title with text
// after it outweighs one followed at once by the next title, and a contents entry is worth
// less than nothing, so that the sequence takes it only if nothing else can stand there.
constexpr double HeadingWeight = 14;
constexpr double SentenceWeight = 1;
constexpr double NoTextCost = 3;
constexpr double ContentsWeight = -5;
// What one missing number costs: a real gap in a novel is rare but must not break the sequence.
constexpr double GapCost = 2;
// This many titles in a row with no text between them are a contents list.
constexpr int ContentsRun = 3;

constexpr double None = -std::numeric_limits<double>::infinity();

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\r' || c == u'\n' || c == u'\u00A0';
}

// Prefix maximum over chapter numbers of (chain value + GapCost × number), with the title that
// gives it: the best title to follow for any higher number.
class PrefixMax {
public:
    PrefixMax() : m_tree(std::numeric_limits<qint16>::max() + 1, {None, -1}) {}

    void raise(int number, double value, int title)
    {
        for (int i = number; i < int(m_tree.size()); i += i & -i) {
            if (value > m_tree[i].first) {
                m_tree[i] = {value, title};
            }
        }
    }

    // Best over numbers 1..number.
    std::pair<double, int> below(int number) const
    {
        std::pair<double, int> best{None, -1};
        for (int i = number; i > 0; i -= i & -i) {
            if (m_tree[i].first > best.first) {
                best = m_tree[i];
            }
        }
        return best;
    }

private:
    std::vector<std::pair<double, int>> m_tree;
};

} // namespace

bool looksLikeHeading(const QString& line)
{
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && isBlank(line[start])) {
        ++start;
    }
    while (end > start && isBlank(line[end - 1])) {
        --end;
    }
    if (end - start > 40) {
        return false;
    }
    if (end == start) {
        return true;
    }
    static const QString sentenceEnds = QStringLiteral(u"。！？；，、…：");
    return !sentenceEnds.contains(line[end - 1]);
}

namespace {

// A contents list: titles with no text between them. The run's last title has text after it;
// it is an entry too when a later title has its number (in the same volume), else it is the
// first chapter that follows the list.
QVector<bool> contentsEntries(const QVector<TidyTitle>& titles)
{
    const int n = int(titles.size());
    QVector<bool> contents(n, false);
    for (int first = 0; first < n;) {
        int last = first;
        while (last + 1 < n && !titles[last].textAfter) {
            ++last;
        }
        const TidyTitle& end = titles[last];
        bool endIsEntry = false;
        const bool longEnough = last - first + 1 >= ContentsRun;
        for (int j = last + 1; longEnough && j < n && !endIsEntry && end.number > 0; ++j) {
            endIsEntry = titles[j].number == end.number && titles[j].volume == end.volume;
        }
        const int entries = last - first + (endIsEntry ? 1 : 0);
        if (entries >= ContentsRun) {
            std::fill(contents.begin() + first, contents.begin() + first + entries, true);
        }
        first = last + 1;
    }
    return contents;
}

} // namespace

QVector<bool> tidySequence(const QVector<TidyTitle>& titles, int* numbered)
{
    const int n = int(titles.size());
    const QVector<bool> contents = contentsEntries(titles);

    // The best chain ending at each title, in file order.
    QVector<double> best(n, None);
    QVector<int> previous(n, -1);
    PrefixMax byNumber;
    double bestSoFar = None;
    int bestSoFarAt = -1;
    double beforeVolume = None; // the best chain that ended in an earlier volume
    int beforeVolumeAt = -1;
    int volume = std::numeric_limits<int>::min();
    *numbered = 0;
    for (int i = 0; i < n; ++i) {
        const TidyTitle& t = titles[i];
        if (t.volume != volume) {
            volume = t.volume;
            beforeVolume = bestSoFar;
            beforeVolumeAt = bestSoFarAt;
        }
        if (t.number <= 0) {
            continue;
        }
        ++*numbered;
        if (t.locked && t.ignored) {
            continue; // the user said this is no chapter
        }
        double weight = t.standalone ? HeadingWeight - (t.textAfter ? 0 : NoTextCost) : SentenceWeight;
        if (contents[i]) {
            weight = ContentsWeight;
        }
        if (weight <= 0) {
            continue;
        }
        const double missingBefore = GapCost * (t.number - 1);
        double value = -missingBefore; // the chain starts here
        int from = -1;
        const auto [below, at] = byNumber.below(t.number - 1);
        if (at >= 0 && below - missingBefore > value) {
            value = below - missingBefore;
            from = at;
        }
        if (t.volume >= 0 && beforeVolumeAt >= 0 && beforeVolume - missingBefore > value) {
            value = beforeVolume - missingBefore; // numbers start again in a new volume
            from = beforeVolumeAt;
        }
        best[i] = value + weight;
        previous[i] = from;
        byNumber.raise(t.number, best[i] + GapCost * t.number, i);
        if (best[i] > bestSoFar) {
            bestSoFar = best[i];
            bestSoFarAt = i;
        }
    }

    QVector<bool> inChain(titles.size(), false);
    for (int i = bestSoFarAt; i >= 0; i = previous[i]) {
        inChain[i] = true;
    }
    return inChain;
}

QVector<TidyChange> tidyTitles(const QVector<TidyTitle>& titles)
{
    const int n = int(titles.size());
    QVector<TidyChange> changes;
    int numbered = 0;
    const QVector<bool> inChain = tidySequence(titles, &numbered);
    const int chainSize = int(std::count(inChain.cbegin(), inChain.cend(), true));
    if (chainSize < 3 || chainSize * 2 < numbered) {
        return changes;
    }
    const QVector<bool> contents = contentsEntries(titles);

    // A repeat has the number and the text of a title in the sequence next to it (a line given
    // twice, a chapter scraped twice); the same words far away may be a new volume's chapter.
    constexpr int RepeatReach = 2;
    auto repeats = [&](int i) {
        for (int j = std::max(0, i - RepeatReach); j <= std::min(n - 1, i + RepeatReach); ++j) {
            if (j != i && inChain[j] && titles[j].number == titles[i].number && titles[j].key == titles[i].key) {
                return true;
            }
        }
        return false;
    };
    for (int i = 0; i < n; ++i) {
        const TidyTitle& t = titles[i];
        if (t.locked) {
            continue;
        }
        if (inChain[i]) {
            if (t.ignored && t.standalone) {
                changes.append({i, false, TidyReason::WronglyIgnored});
            }
            continue;
        }
        if (t.ignored) {
            continue;
        }
        if (contents[i]) {
            changes.append({i, true, TidyReason::TableOfContents});
        } else if (repeats(i)) {
            changes.append({i, true, TidyReason::RepeatedTitle});
        } else if (!t.standalone) {
            changes.append({i, true, TidyReason::QuotedInText});
        }
    }
    return changes;
}

QVector<TidyTitle> tidyInput(Document& doc, const QVector<bool>& locked)
{
    const ChapterModel& model = doc.model();
    const int n = model.recordCount();
    const QVector<bool> ignored = model.ignoredRecords();
    QVector<TidyTitle> titles(n);
    for (int r = 0; r < n; ++r) {
        TidyTitle& t = titles[r];
        t.number = model.chapnum().at(r);
        t.ignored = r < ignored.size() && ignored[r];
        t.locked = r < locked.size() && locked[r];
        t.volume = model.volumes().volumeOf(r);
        const QString line = model.lines().value(r);
        t.standalone = looksLikeHeading(line);
        for (QChar c : line) {
            if (!isBlank(c)) {
                t.key += c;
            }
        }
    }

    // Whether text stands between two titles: next lines say no at once; a long stretch of
    // bytes says yes; the rest is read, a few bytes per title.
    constexpr qint64 LongStretch = 16 * 1024;
    QFile file(doc.reader().openFilePath());
    const bool readable = file.open(QIODevice::ReadOnly);
    for (int r = 0; r + 1 < n && r + 1 < doc.TitleOffsets.size(); ++r) {
        const qint64 lines = qint64(model.chapline().at(r + 1)) - model.chapline().at(r);
        const qint64 from = doc.TitleOffsets[r];
        const qint64 bytes = doc.TitleOffsets[r + 1] - from;
        if (lines <= 1) {
            titles[r].textAfter = false;
            continue;
        }
        if (!readable || bytes > LongStretch || bytes <= 0 || !file.seek(from)) {
            continue;
        }
        const QString text = doc.codec().decode(file.read(bytes));
        // Past the title line itself, anything but blanks and line ends is text.
        qsizetype i = 0;
        while (i < text.size() && text[i] != u'\r' && text[i] != u'\n') {
            ++i;
        }
        bool found = false;
        for (; i < text.size() && !found; ++i) {
            found = !isBlank(text[i]);
        }
        titles[r].textAfter = found;
    }
    return titles;
}

QString tidyReasonText(TidyReason reason)
{
    switch (reason) {
    case TidyReason::TableOfContents: return QStringLiteral(u"目录中的标题");
    case TidyReason::QuotedInText: return QStringLiteral(u"正文中的引用");
    case TidyReason::RepeatedTitle: return QStringLiteral(u"重复标题");
    case TidyReason::WronglyIgnored: return QStringLiteral(u"被“过近”规则误忽略");
    case TidyReason::None: break;
    }
    return QString();
}

QString tidyReasonKey(TidyReason reason)
{
    switch (reason) {
    case TidyReason::TableOfContents: return QStringLiteral("toc");
    case TidyReason::QuotedInText: return QStringLiteral("quoted");
    case TidyReason::RepeatedTitle: return QStringLiteral("repeated-title");
    case TidyReason::WronglyIgnored: return QStringLiteral("too-close");
    case TidyReason::None: break;
    }
    return QString();
}
