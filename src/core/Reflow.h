#pragma once

// 重新分段: many downloaded novels are hard-wrapped at a fixed width, so one paragraph is cut
// into several lines ("精兵五 / 百，命…"). A survey of the novel's lines finds the width; a
// joiner then puts each paragraph's lines back together as the text streams by.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

class CleanupLedger;
class GbkCodec;
class TextCodec;

/// How the wrapping tool measured its lines: in columns (a Chinese character or full-width
/// mark takes two, an ASCII character one, as its byte count in GBK or Big5 says) or in
/// characters.
enum class WrapMeasure { Columns, Characters };

/// What a look at a novel's lines found about fixed-width line breaks.
struct WrapProfile {
    /// The novel is hard-wrapped: joining its lines is worth suggesting.
    bool wrapped = false;
    WrapMeasure measure = WrapMeasure::Columns;
    int width = 0; ///< the width lines were broken at, in `measure`; 0 when no width stood out
    /// Every paragraph starts with an indent and the lines that go on from a line above do
    /// not: a line without one goes on from the line above even after a complete sentence.
    bool indentMarksParagraphs = false;
    /// The lines that go on from a line above are indented like the rest: an indent says nothing.
    bool everyLineIndented = false;
    qint64 lines = 0;   ///< non-blank lines looked at
    qint64 atWidth = 0; ///< of those, lines that end at the width
    qint64 exact = 0;   ///< of those, lines broken mid-sentence exactly at the width
    qint64 broken = 0;  ///< of those, lines that end mid-sentence with the sentence going on below
    qint64 longer = 0;  ///< lines wider than the width (next to none in a hard-wrapped novel)
    qint64 starts = 0;  ///< lines that plainly start a paragraph (after a blank or a short complete line)
    qint64 indentedStarts = 0; ///< of those, lines with an indent

    /// The width in Chinese characters (a column measure counts two for each).
    int widthInCharacters() const { return measure == WrapMeasure::Columns ? width / 2 : width; }
    /// Per cent of the non-blank lines broken mid-sentence at the width.
    int brokenPercent() const { return lines > 0 ? int(broken * 100 / lines) : 0; }
    /// One sentence for the user on what was found, with the figures.
    QString reason() const;
};

/// Gathers the evidence line by line, for a whole novel or for samples of one.
class WrapSurvey {
public:
    /// The next line (its text without the line end).
    void addLine(QStringView text);
    /// The next line added does not follow the last one (a new sample starts).
    void breakRun();
    /// Decides from what was added.
    WrapProfile result() const;

    /// Shape of one line: what joining needs to know of it.
    struct Shape {
        int width = 0;     ///< up to the last non-blank character
        int firstUnit = 0; ///< what would have had to fit at the end of the line above
        bool blank = true;
        bool indented = false;
        bool open = false;  ///< does not end a sentence
        char16_t first = 0; ///< after any indent
        char16_t last = 0;  ///< before any trailing blanks
        bool rule = false;  ///< starts and ends with the characters rules are drawn with ("-----")
    };
    static Shape shapeOf(QStringView text, WrapMeasure measure);
    /// The same for a line given as its bytes in a double-byte code page, where every two bytes
    /// are a pair that `codec` reads as one character of two columns (see ParagraphJoiner::pushPairs).
    static Shape shapeOfPairs(QByteArrayView bytes, const GbkCodec& codec, WrapMeasure measure);

private:
    struct Line {
        Shape columns;
        Shape characters;
        bool followsLast = false; // the line before it in the list came right before it in the text
    };
    WrapProfile decide(WrapMeasure measure) const;
    QVector<Line> m_lines;
    bool m_follows = false;
};

/// The profile of a novel given as its lines.
WrapProfile surveyLines(const QStringList& lines);
/// The profile of a novel from evenly spaced samples of its text (about 1 MB in all, whatever
/// its size); an empty profile when it cannot be read.
WrapProfile sampleNovelWrap(const QString& path, const TextCodec& codec, int bomLength);

/// One paragraph as the joiner hands it out.
struct ReflowParagraph {
    QString text;
    /// Made only of lines given as pairs: `bytes` holds it in the novel's code page, as it is
    /// to be written, and `text` is not used.
    bool inPairs = false;
    QByteArray bytes;
    qint64 line = 0; ///< 1-based line of the novel it starts on
    int lines = 0;   ///< lines it was made of (1: as it stood)
    bool title = false;
};

/// A line break taken out, for the cleanup report: the ends of the two lines around it.
struct ReflowExample {
    qint64 line = 0; ///< the line that was joined to the one above
    QString before;  ///< "…end of the line above / start of this line…"
    QString after;   ///< the same text joined
};

/// What the joiner did.
struct ReflowTally {
    static constexpr int MaxExamples = 3;
    qint64 joins = 0;              ///< line breaks taken out
    qint64 paragraphs = 0;         ///< paragraphs made of more than one line
    QList<ReflowExample> examples; ///< the first few joins

    /// Counts the joins in the cleanup report, one changed line for each line joined to the
    /// one above, under reflowRuleName(), with the examples.
    void addTo(CleanupLedger& ledger) const;
};

/// The cleanup report's caption for the joins.
QString reflowRuleName();
/// What an output pass's completion notice adds about 重新分段: nothing when it was not asked
/// for; else a line (starting with CR LF) with the joins, or that the novel needed none.
QString reflowNoticeText(bool asked, const ReflowTally& tally);

/// The lines never joined to a neighbour (chapter titles, volume headings), looked up for
/// lines that come in ascending order.
class HeadingLines {
public:
    HeadingLines() = default;
    explicit HeadingLines(QVector<qint64> ascending) : m_lines(std::move(ascending)) {}
    /// Whether line `lineNo` is one; each call's line must not be below the last call's.
    bool contains(qint64 lineNo)
    {
        while (m_next < m_lines.size() && m_lines[m_next] < lineNo) {
            ++m_next;
        }
        return m_next < m_lines.size() && m_lines[m_next] == lineNo;
    }

private:
    QVector<qint64> m_lines;
    qsizetype m_next = 0;
};

/// Puts hard-wrapped lines back into paragraphs, one line at a time, holding back one paragraph
/// until the line after it shows whether it goes on.
///
/// A line is joined to the one above when the line above ends at the wrap width (the first
/// word of this line would not have fitted on it) and does not end a sentence, and this line
/// is no wider than the width. Never joined: chapter titles (either side), blank lines (either
/// side), a line that starts with an indent (unless every line of the novel is indented), and
/// a line after one that ends a sentence, unless the novel marks its paragraphs by indents and
/// this line has none. Chinese text is joined as it is; Latin words keep one space between them.
///
/// A profile that is not `wrapped` joins nothing.
class ParagraphJoiner {
public:
    /// `pairs`: the novel's double-byte code page, for lines given to pushPairs().
    explicit ParagraphJoiner(const WrapProfile& profile, const GbkCodec* pairs = nullptr);

    bool isActive() const { return m_active; }
    /// Takes line `lineNo` out of `text`, leaving there a spare buffer to decode the next line
    /// into (so that nothing is allocated per line). True when the line ends the paragraph held
    /// before it: that paragraph is then in `out`.
    bool push(QString& text, qint64 lineNo, bool title, ReflowParagraph& out);
    /// The same for a line given as its raw bytes, every two of them a pair of the code page
    /// given to the constructor that stands for a character of two columns. Such lines are
    /// joined as bytes, without decoding; a paragraph that takes in a line of another kind, or
    /// a space between Latin (Greek, Cyrillic) words, goes on as text.
    bool pushPairs(QByteArrayView bytes, qint64 lineNo, bool title, ReflowParagraph& out);
    /// Hands out the paragraph still held, at the end of the text or of a stretch read (true
    /// when there was one). The next line pushed starts afresh.
    bool finish(ReflowParagraph& out);
    const ReflowTally& tally() const { return m_tally; }
    ReflowTally takeTally() { return std::move(m_tally); }

    /// Whether `below` goes on from `above` in a novel of this profile.
    bool joins(const WrapSurvey::Shape& above, const WrapSurvey::Shape& below) const;

private:
    void join(QString& text, qint64 lineNo, const WrapSurvey::Shape& shape);
    void joinPairs(QByteArrayView bytes, qint64 lineNo);
    void heldToText();
    void handOut(ReflowParagraph& out);
    static void passOn(bool inPairs, qint64 lineNo, bool title, ReflowParagraph& out);
    bool holdNew(bool inPairs, qint64 lineNo, bool title, const WrapSurvey::Shape& shape, ReflowParagraph& out);
    void example(qint64 lineNo, QStringView above, QStringView below, bool space);

    WrapProfile m_profile;
    const GbkCodec* m_pairs;
    bool m_active;
    QString m_spare; // a line given as pairs, decoded to go on as text
    bool m_holding = false;
    WrapSurvey::Shape m_last; // the held paragraph's last line
    ReflowParagraph m_held;
    ReflowTally m_tally;
};
