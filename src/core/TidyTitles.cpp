#include "TidyTitles.h"

#include "core/Document.h"
#include "core/TextCodec.h"

#include <QFile>
#include <QSet>

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
// A guess fills a gap in the sequence, but a real heading with its number comes first.
constexpr double GuessWeight = 2;
// What one missing number costs: a real gap in a novel is rare but must not break the sequence.
constexpr double GapCost = 2;
// A sequence may begin at any number; past this many missing before it, no more is charged.
constexpr int LateStart = 10;
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

namespace {

// Longer than this from where the heading starts, a line is running text.
constexpr qsizetype MaxHeading = 40;
// Words before a heading: a book name at most (新刻全像音詮征播奏捷傳 and the like).
constexpr qsizetype MaxPrefix = 16;

} // namespace

namespace {

bool isOneOf(QStringView set, QChar c)
{
    return set.contains(c);
}

struct Shape {
    bool heading = true;
    bool runningText = false;
};

// Both answers from one reading of the line (the analysis asks them of every title).
Shape readShape(QStringView line, qsizetype start, qsizetype title)
{
    constexpr QStringView punctuation = u"，。、；：！？!?「」『』“”‘’（）()…—";
    constexpr QStringView clauseEnds = u"，、；";
    constexpr QStringView closing = u"，。、；」』”’）)";
    constexpr QStringView sentenceEnds = u"。！？!?…：:";
    Shape shape;
    qsizetype b = 0;
    qsizetype e = line.size();
    while (b < e && isBlank(line[b])) {
        ++b;
    }
    while (e > b && isBlank(line[e - 1])) {
        --e;
    }
    if (e == b) {
        return shape;
    }
    const QChar last = line[e - 1];
    if (start < 0 || start > e) {
        // The line alone: short, and not ending like a clause or a statement.
        shape.heading = e - b <= MaxHeading && !isOneOf(clauseEnds, last) && last != u'。';
        return shape;
    }
    // Words before the heading: a book name, or running text (more words, or punctuation). A
    // long line that starts with a heading is still one (its first paragraph glued to it, or a
    // sentence that begins with a number).
    qsizetype prefixEnd = std::max(b, start);
    while (prefixEnd > b && isBlank(line[prefixEnd - 1])) {
        --prefixEnd;
    }
    const qsizetype prefix = prefixEnd - b;
    shape.runningText = prefix > MaxPrefix;
    for (qsizetype i = b; i < prefixEnd && !shape.runningText; ++i) {
        shape.runningText = isOneOf(punctuation, line[i]);
    }
    if (shape.runningText || e - std::max(b, start) > MaxHeading) {
        shape.heading = false; // a paragraph, a sentence or a quotation that mentions a chapter
        return shape;
    }
    // The title text: glued to the number ("第七傳於侍御…"), apart from it, or none.
    const bool hasTitle = title >= 0 && title < e;
    const bool apart = !hasTitle || (title > 0 && isBlank(line[title - 1]));
    if (hasTitle && isOneOf(closing, line[title])) {
        shape.heading = false; // "…翻到第三章，看了半天"
    } else if (prefix > 0 && !apart) {
        shape.heading = false; // "他翻到第三章看了半天": words on both sides make a sentence
    } else if (isOneOf(clauseEnds, last)) {
        shape.heading = false;
    } else {
        // A title that asks, exclaims or ends with a full stop stands apart from a number that
        // starts the line ("第三章 真的是他？", "第三十回　…，…軍機。"); glued to it, or after
        // other words, the line reads as a sentence ("第三十八回前附記：").
        shape.heading = !isOneOf(sentenceEnds, last) || (prefix == 0 && apart);
    }
    return shape;
}

} // namespace

bool inRunningText(QStringView line, qsizetype start)
{
    return readShape(line, start, -1).runningText;
}

bool looksLikeHeading(QStringView line, qsizetype start, qsizetype title)
{
    return readShape(line, start, title).heading;
}

quint8 titleShape(QStringView line, qsizetype start, qsizetype title, bool guess)
{
    const Shape shape = readShape(line, start, title);
    return quint8((shape.heading ? HeadingShape : 0) | (guess ? GuessShape : 0) | (shape.runningText ? RunningTextShape : 0));
}

namespace {

// Whether the text after each title is a contents entry's at most: nothing, or a line or two
// (the entry's own title on the next line) where the novel's chapters are long.
QVector<bool> entryLike(const QVector<TidyTitle>& titles)
{
    // At most this many characters, and an eighth of the usual chapter's.
    constexpr int ShortBody = 80;
    std::vector<int> bodies;
    for (const TidyTitle& t : titles) {
        if (t.body >= 0) {
            bodies.push_back(t.body);
        }
    }
    int typical = 0;
    if (!bodies.empty()) {
        std::nth_element(bodies.begin(), bodies.begin() + bodies.size() / 2, bodies.end());
        typical = bodies[bodies.size() / 2];
    }
    QVector<bool> entry(titles.size());
    for (qsizetype i = 0; i < titles.size(); ++i) {
        const TidyTitle& t = titles[i];
        entry[i] = !t.textAfter || (t.body >= 0 && t.body <= ShortBody && t.body * 8 <= typical);
    }
    return entry;
}

// A contents list: titles with no text (or an entry's worth) between them. The run's last title
// has text after it; it is an entry too when a later heading has its number (in the same
// volume), else it is the first chapter that follows the list.
QVector<bool> contentsEntries(const QVector<TidyTitle>& titles)
{
    const int n = int(titles.size());
    const QVector<bool> entry = entryLike(titles);
    QVector<bool> contents(n, false);
    for (int first = 0; first < n;) {
        int last = first;
        while (last + 1 < n && entry[last]) {
            ++last;
        }
        const TidyTitle& end = titles[last];
        // A list at the very end of the novel ends with an entry too.
        bool endIsEntry = entry[last];
        const bool longEnough = last - first + 1 >= ContentsRun;
        for (int j = last + 1; longEnough && j < n && !endIsEntry && end.number > 0; ++j) {
            // Only a heading can be the chapter an entry names; a quote of its number cannot.
            endIsEntry = titles[j].number == end.number && titles[j].volume == end.volume && titles[j].standalone
                         && !titles[j].runningText;
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
        // Contents entries and guesses would make a true sequence look like a minority.
        *numbered += contents[i] || t.guess ? 0 : 1;
        if (t.locked && t.ignored) {
            continue; // the user said this is no chapter
        }
        if (t.runningText) {
            continue; // a chapter mentioned in a paragraph splits no chapter, needed or not
        }
        double weight = t.standalone ? HeadingWeight - (t.textAfter ? 0 : NoTextCost) : SentenceWeight;
        if (t.guess) {
            weight = std::min(weight, GuessWeight); // where nothing better has the number
        }
        if (contents[i]) {
            weight = ContentsWeight;
        }
        if (weight <= 0) {
            continue;
        }
        const double missingBefore = GapCost * (t.number - 1);
        // The chain starts here. Numbers that begin high (a novel in several files, one that
        // continues another) cost no more than a few missing chapters.
        double value = -std::min(missingBefore, GapCost * LateStart);
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
    QVector<bool> contents = contentsEntries(titles);
    // A short contents list (a chapter or two named before or after the text): an entry
    // outside the sequence, with no text of its own, whose chapter is in the sequence.
    const QVector<bool> entry = entryLike(titles);
    auto numberInVolume = [&](int i) { return (qint64(titles[i].volume) << 16) | quint16(titles[i].number); };
    QSet<qint64> inSequence; // number and volume of the titles of the sequence
    for (int j = 0; j < n; ++j) {
        if (inChain[j]) {
            inSequence.insert(numberInVolume(j));
        }
    }
    for (int i = 0; i < n; ++i) {
        if (!inChain[i] && entry[i] && titles[i].number > 0 && inSequence.contains(numberInVolume(i))) {
            contents[i] = true;
        }
    }

    // A repeat has the number and the text of a title in the sequence next to it (a line given
    // twice, a chapter scraped twice), or anywhere in the same volume when the line holds words
    // besides its number (a chapter or a whole part copied twice); a bare "第一章" far away, or
    // in another volume, may be a chapter of its own.
    constexpr int RepeatReach = 2;
    constexpr qsizetype TitledKey = 6;
    QSet<QString> sequenceKeys; // made when first asked: most novels have nothing to ask about
    bool keysMade = false;
    auto volumeKey = [&](int i) { return titles[i].key + u'\n' + QString::number(titles[i].volume); };
    auto repeats = [&](int i) {
        if (titles[i].key.size() >= TitledKey) {
            for (int j = 0; j < n && !keysMade; ++j) {
                if (inChain[j] && titles[j].key.size() >= TitledKey) {
                    sequenceKeys.insert(volumeKey(j));
                }
            }
            keysMade = true;
            if (sequenceKeys.contains(volumeKey(i))) {
                return true;
            }
        }
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
        } else if (t.guess && t.number > 0) {
            changes.append({i, true, TidyReason::Guess});
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
    const bool shaped = doc.TitleShapes.size() >= n;
    QVector<TidyTitle> titles(n);
    for (int r = 0; r < n; ++r) {
        TidyTitle& t = titles[r];
        t.number = model.chapnum().at(r);
        t.ignored = r < ignored.size() && ignored[r];
        t.locked = r < locked.size() && locked[r];
        t.volume = model.volumes().volumeOf(r);
        const QString line = model.lines().value(r);
        t.standalone = shaped ? (doc.TitleShapes[r] & HeadingShape) != 0 : looksLikeHeading(line);
        t.guess = shaped && (doc.TitleShapes[r] & GuessShape) != 0;
        t.runningText = shaped && (doc.TitleShapes[r] & RunningTextShape) != 0;
        for (QChar c : line) {
            if (!isBlank(c)) {
                t.key += c;
            }
        }
    }

    // What stands between a title and the next (the last: the end of the text): next lines
    // hold nothing; a long stretch of bytes is a chapter; the rest is read, a few bytes per title.
    constexpr qint64 LongStretch = 16 * 1024;
    QFile file(doc.reader().openFilePath());
    const bool readable = file.open(QIODevice::ReadOnly);
    const qint64 end = doc.bomLength() + doc.textSize();
    for (int r = 0; r < n && r < doc.TitleOffsets.size(); ++r) {
        const bool last = r + 1 == n || r + 1 >= doc.TitleOffsets.size();
        const qint64 from = doc.TitleOffsets[r];
        const qint64 bytes = (last ? end : doc.TitleOffsets[r + 1]) - from;
        if (!last && qint64(model.chapline().at(r + 1)) - model.chapline().at(r) <= 1) {
            titles[r].textAfter = false;
            titles[r].body = 0;
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
        int body = 0;
        for (; i < text.size() && body < BodyCap; ++i) {
            body += isBlank(text[i]) ? 0 : 1;
        }
        titles[r].body = body;
        titles[r].textAfter = body > 0 || last;
    }
    return titles;
}
