#include "Reflow.h"

#include "Cleanup.h"
#include "GbkCodec.h"
#include "NovelSample.h"

#include <algorithm>
#include <array>

namespace {

// Widths a wrapping tool cannot be using: below 10 characters a line holds no sentence, and
// far above the widths tools offer the "lines" are paragraphs cut by something else.
constexpr int MinWidthChars = 10;
constexpr int MaxWidthChars = 200;
// A line may stand out past the width by what the tool pushed onto it rather than begin the
// next line with it: up to two closing marks ("？」").
constexpr int slack(WrapMeasure m)
{
    return m == WrapMeasure::Columns ? 4 : 2;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0x3000 || c == 0x00A0 || c == u'\r' || c == u'\n';
}

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

int widthOf(char16_t c, WrapMeasure m)
{
    if (isLowSurrogate(c)) {
        return 0; // counted with its high half
    }
    return m == WrapMeasure::Characters || c < 0x80 ? 1 : 2;
}

// Letters, digits and marks of Latin (and Greek, Cyrillic) text: words that keep a space
// between them when joined.
bool isLatin(char16_t c)
{
    return (c > 0x20 && c < 0x7F) || (c >= 0xC0 && c < 0x250) || (c >= 0x370 && c < 0x530);
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The characters rules and boxes are drawn with.
bool isDecoration(char16_t c)
{
    if (c >= 0x2500 && c <= 0x257F) {
        return true; // box drawing
    }
    switch (c) {
    case u'*': case u'=': case u'#': case u'_': case u'-': case u'＊': case u'＝': case u'※': case u'★': case u'☆':
    case u'－': case u'＿':
        return true;
    default:
        return false;
    }
}

// Marks after which a sentence (or a quotation, or a parenthesis) is complete; a colon, after
// which verse, a letter or a speech often stands on lines of its own; and decorations, which
// end a line of their own (a hyphen is looked at apart).
bool endsSentence(char16_t c)
{
    if (c != u'-' && isDecoration(c)) {
        return true;
    }
    switch (c) {
    case u'。': case u'！': case u'？': case u'…': case u'．': case 0xFF61: // ｡
    case u'」': case u'』': case u'”': case u'’': case u'）': case u'】': case u'〕': case u'》': case u'〉':
    case 0xFE42: case 0xFE44: // vertical corner brackets
    case u'；': case u'：': case u'～': case u'—': case u'―':
    case u'.': case u'!': case u'?': case u';': case u':': case u'"': case u'\'': case u')': case u']': case u'~':
        return true;
    default:
        return false;
    }
}

// Marks a wrapping tool never lets start a line: they are pushed onto the line above, or take
// the character before them down with them.
bool mayNotStartLine(char16_t c)
{
    switch (c) {
    case u'，': case u'。': case u'、': case u'；': case u'：': case u'？': case u'！': case u'…': case u'．':
    case u'」': case u'』': case u'”': case u'’': case u'）': case u'】': case u'〕': case u'》': case u'〉':
    case u'～': case u'—': case u'·':
    case u',': case u'.': case u';': case u':': case u'?': case u'!': case u')': case u']': case u'}':
        return true;
    default:
        return false;
    }
}

// Opening marks a wrapping tool never leaves at the end of a line: they go down with the
// character after them.
bool mayNotEndLine(char16_t c)
{
    switch (c) {
    case u'「': case u'『': case u'“': case u'‘': case u'（': case u'【': case u'〔': case u'《': case u'〈': case u'〖':
        return true;
    default:
        return false;
    }
}

// What goes between two joined lines: one space between Latin words (not after a hyphen, nor
// inside a number), nothing in Chinese text.
bool needsSpace(char16_t last, char16_t first)
{
    return isLatin(last) && last != u'-' && isLatin(first) && !(isDigit(last) && isDigit(first));
}

} // namespace

QString reflowRuleName()
{
    return QStringLiteral(u"重新分段");
}

QString WrapProfile::reason() const
{
    if (lines == 0) {
        return QStringLiteral(u"没有可以查看的文字。");
    }
    if (!wrapped) {
        return QStringLiteral(u"没有发现按固定宽度断行的迹象（查看了 %1 行）。").arg(lines);
    }
    return QStringLiteral(u"这部小说像是按每行 %1 字断行的：查看的 %2 行中，%3% 在这个宽度断开而句子未完。"
                          u"建议开启“重新分段”，把断开的行接回段落。")
        .arg(widthInCharacters())
        .arg(lines)
        .arg(brokenPercent());
}

namespace {

// The shape of a line of `n` characters, `at(i)` the i-th. `wide`: every character is one of
// two columns, never a surrogate (a line of pairs), so the width is a count.
template <typename At>
WrapSurvey::Shape shapeWith(qsizetype n, At at, WrapMeasure measure, bool wide)
{
    WrapSurvey::Shape s;
    qsizetype a = 0;
    while (a < n && isBlank(at(a))) {
        ++a;
    }
    if (a == n) {
        return s;
    }
    qsizetype b = n;
    while (b > a && isBlank(at(b - 1))) {
        --b;
    }
    s.blank = false;
    s.indented = a > 0;
    s.first = at(a);
    s.last = at(b - 1);
    s.rule = isDecoration(s.first) && isDecoration(s.last);
    // A hyphen after a letter may split a Latin word; after anything else it draws a rule.
    s.open = !endsSentence(s.last) && !(s.last == u'-' && (b - a < 2 || !QChar(at(b - 2)).isLetter()));
    if (wide) {
        s.width = int(b) * (measure == WrapMeasure::Columns ? 2 : 1);
    } else {
        int width = 0;
        for (qsizetype i = 0; i < b; ++i) {
            width += widthOf(at(i), measure);
        }
        s.width = width;
    }
    // The first word: a Latin word whole, else one character; with the opening marks before
    // it and the marks after it that may not start a line, which would have gone with it.
    qsizetype i = a;
    while (i < b && mayNotEndLine(at(i))) {
        s.firstUnit += widthOf(at(i++), measure);
    }
    if (i == b) {
        return s;
    }
    if (isLatin(at(i))) {
        while (i < b && isLatin(at(i))) {
            s.firstUnit += widthOf(at(i++), measure);
        }
    } else {
        s.firstUnit += widthOf(at(i++), measure);
        if (i < b && isLowSurrogate(at(i))) {
            ++i;
        }
    }
    while (i < b && mayNotStartLine(at(i))) {
        s.firstUnit += widthOf(at(i++), measure);
    }
    return s;
}

// The character of pair `i` of a line of pairs.
struct PairAt {
    const unsigned char* p;
    const GbkCodec& codec;
    char16_t operator()(qsizetype i) const { return codec.pairAt(p[2 * i], p[2 * i + 1]); }
};

// The pairs of `bytes` without the blank characters at either end (or only at its end).
QByteArrayView trimmedPairs(QByteArrayView bytes, const GbkCodec& codec, bool start)
{
    const PairAt at{reinterpret_cast<const unsigned char*>(bytes.data()), codec};
    qsizetype a = 0, b = bytes.size() / 2;
    while (start && a < b && isBlank(at(a))) {
        ++a;
    }
    while (b > a && isBlank(at(b - 1))) {
        --b;
    }
    return bytes.sliced(2 * a, 2 * (b - a));
}

} // namespace

WrapSurvey::Shape WrapSurvey::shapeOf(QStringView text, WrapMeasure measure)
{
    const QChar* p = text.data();
    return shapeWith(text.size(), [p](qsizetype i) { return p[i].unicode(); }, measure, false);
}

WrapSurvey::Shape WrapSurvey::shapeOfPairs(QByteArrayView bytes, const GbkCodec& codec, WrapMeasure measure)
{
    return shapeWith(bytes.size() / 2, PairAt{reinterpret_cast<const unsigned char*>(bytes.data()), codec}, measure,
                     true);
}

void WrapSurvey::addLine(QStringView text)
{
    m_lines.append(Line{shapeOf(text, WrapMeasure::Columns), shapeOf(text, WrapMeasure::Characters), m_follows});
    m_follows = true;
}

void WrapSurvey::breakRun()
{
    m_follows = false;
}

WrapProfile WrapSurvey::decide(WrapMeasure measure) const
{
    auto shape = [measure](const Line& l) -> const Shape& {
        return measure == WrapMeasure::Columns ? l.columns : l.characters;
    };
    const int tol = slack(measure);
    const int unit = measure == WrapMeasure::Columns ? 2 : 1;
    const int minWidth = MinWidthChars * unit;
    const int maxWidth = MaxWidthChars * unit;
    // The width: where most lines end mid-sentence and go on in a line no wider.
    std::array<qint64, MaxWidthChars * 2 + 1> ends{};
    WrapProfile p;
    p.measure = measure;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Shape& a = shape(m_lines[i]);
        if (a.blank) {
            continue;
        }
        ++p.lines;
        if (i + 1 == m_lines.size() || !m_lines[i + 1].followsLast) {
            continue;
        }
        const Shape& b = shape(m_lines[i + 1]);
        if (a.open && !b.blank && a.width >= minWidth && a.width <= maxWidth && b.width <= a.width + tol) {
            ++ends[a.width];
        }
    }
    p.width = int(std::max_element(ends.begin(), ends.end()) - ends.begin());
    p.exact = ends[p.width];
    if (p.exact == 0) {
        p.width = 0;
        return p;
    }
    // Whether an indent marks a paragraph: lines after a blank line or after a short complete
    // line are indented, lines going on from a broken line are not.
    qint64 goOn = 0, goOnIndented = 0;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Shape& b = shape(m_lines[i]);
        if (b.blank) {
            continue;
        }
        if (b.width > p.width + tol) {
            ++p.longer;
        } else if (b.width >= p.width - tol) {
            ++p.atWidth;
        }
        if (i == 0 || !m_lines[i].followsLast) {
            continue;
        }
        const Shape& a = shape(m_lines[i - 1]);
        if (a.blank || (!a.open && a.width + b.firstUnit <= p.width)) {
            ++p.starts;
            p.indentedStarts += b.indented;
        } else if (a.open && a.width <= p.width + tol && a.width + b.firstUnit > p.width && b.width <= p.width + tol) {
            ++goOn;
            goOnIndented += b.indented;
        }
    }
    // Only a novel that indents (nearly) every paragraph may have its complete sentences
    // joined: where more paragraphs lack an indent, some would be run into the one above.
    // Lines going on after a colon may be indented verse: a few of those say nothing.
    p.indentMarksParagraphs = p.starts >= 3 && p.indentedStarts * 10 >= p.starts * 9 && goOnIndented * 4 <= goOn;
    p.everyLineIndented = goOn >= 3 && goOnIndented * 10 >= goOn * 9;
    // The evidence: lines the joiner would join for their open sentence alone.
    const ParagraphJoiner probe(p); // not wrapped yet: only its test is used
    for (qsizetype i = 1; i < m_lines.size(); ++i) {
        const Shape& a = shape(m_lines[i - 1]);
        if (m_lines[i].followsLast && a.open && probe.joins(a, shape(m_lines[i]))) {
            ++p.broken;
        }
    }
    p.wrapped = p.broken >= 3 && p.broken * 10 >= p.lines && p.longer * 20 <= p.lines;
    return p;
}

WrapProfile WrapSurvey::result() const
{
    const WrapProfile columns = decide(WrapMeasure::Columns);
    const WrapProfile characters = decide(WrapMeasure::Characters);
    // In Chinese text alone the two agree; where Latin letters are mixed in, the lines line up
    // under the measure the tool used.
    if (characters.wrapped != columns.wrapped) {
        return characters.wrapped ? characters : columns;
    }
    if (characters.broken != columns.broken) {
        return characters.broken > columns.broken ? characters : columns;
    }
    return characters.exact > columns.exact ? characters : columns;
}

WrapProfile surveyLines(const QStringList& lines)
{
    WrapSurvey survey;
    for (const QString& l : lines) {
        survey.addLine(l);
    }
    return survey.result();
}

WrapProfile sampleNovelWrap(const QString& path, const TextCodec& codec, int bomLength)
{
    WrapSurvey survey;
    const bool read = readNovelSamples(path, codec, bomLength, 64, 16 * 1024, [&survey](const QString& text) {
        survey.breakRun();
        const qsizetype n = text.size();
        qsizetype from = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = text[i].unicode();
            if (c == u'\n' || c == u'\r') {
                survey.addLine(QStringView(text).mid(from, i - from));
                if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
                    ++i;
                }
                from = i + 1;
            }
        }
        if (from < n) {
            survey.addLine(QStringView(text).mid(from));
        }
    });
    return read ? survey.result() : WrapProfile();
}

void ReflowTally::addTo(CleanupLedger& ledger) const
{
    const QString rule = reflowRuleName();
    for (const ReflowExample& x : examples) {
        ledger.add(rule, x.line, x.before, x.after, false);
    }
    // The rest are counted at once: a hard-wrapped novel has hundreds of thousands.
    ledger.addChanged(rule, joins - examples.size());
}

ParagraphJoiner::ParagraphJoiner(const WrapProfile& profile, const GbkCodec* pairs)
    : m_profile(profile), m_pairs(pairs), m_active(profile.wrapped && profile.width > 0)
{
}

bool ParagraphJoiner::joins(const WrapSurvey::Shape& above, const WrapSurvey::Shape& below) const
{
    if (above.blank || below.blank || above.rule || below.rule) {
        return false;
    }
    const int width = m_profile.width;
    const int tol = slack(m_profile.measure);
    // A line wider than the width never came out of the wrapping tool.
    if (above.width > width + tol || below.width > width + tol) {
        return false;
    }
    // The line above ended early: this line's first word would have fitted on it.
    const int gap = needsSpace(above.last, below.first) ? 1 : 0;
    if (above.width + gap + below.firstUnit <= width) {
        return false;
    }
    if (below.indented && !m_profile.everyLineIndented) {
        return false;
    }
    if (above.open) {
        return true;
    }
    // A complete sentence at the width goes on only where indents tell paragraphs apart, and
    // never into a line that is complete itself (a closing line such as "且听下回分解。").
    const bool belowComplete = !below.open && below.width < width - tol;
    return m_profile.indentMarksParagraphs && !belowComplete;
}

void ParagraphJoiner::example(qint64 lineNo, QStringView above, QStringView below, bool space)
{
    constexpr qsizetype Around = 12;
    const QString before = above.right(Around).toString();
    const QString after = below.left(Around).toString();
    m_tally.examples.append(ReflowExample{lineNo, before + QStringLiteral(u" / ") + after,
                                          before + (space ? QStringLiteral(u" ") : QString()) + after});
}

void ParagraphJoiner::join(QString& text, qint64 lineNo, const WrapSurvey::Shape& shape)
{
    QString& p = m_held.text;
    qsizetype end = p.size();
    while (end > 0 && isBlank(p[end - 1].unicode())) {
        --end;
    }
    p.truncate(end);
    const QStringView below = trimmedText(text);
    const bool space = needsSpace(m_last.last, shape.first);
    if (m_tally.examples.size() < ReflowTally::MaxExamples) {
        example(lineNo, p, below, space);
    }
    if (space) {
        p += u' ';
    }
    p += below;
    ++m_tally.joins;
    if (m_held.lines == 1) {
        ++m_tally.paragraphs;
    }
    ++m_held.lines;
}

// The same join on the bytes: pairs are cut and put together where the characters are.
void ParagraphJoiner::joinPairs(QByteArrayView bytes, qint64 lineNo)
{
    QByteArray& p = m_held.bytes;
    p.truncate(trimmedPairs(p, *m_pairs, false).size());
    const QByteArrayView below = trimmedPairs(bytes, *m_pairs, true);
    if (m_tally.examples.size() < ReflowTally::MaxExamples) {
        example(lineNo, m_pairs->decode(p), m_pairs->decode(below), false);
    }
    p.append(below);
    ++m_tally.joins;
    if (m_held.lines == 1) {
        ++m_tally.paragraphs;
    }
    ++m_held.lines;
}

// The paragraph held goes on as text: a line that is not all pairs joins it.
void ParagraphJoiner::heldToText()
{
    if (m_held.inPairs) {
        m_pairs->decode(m_held.bytes.constData(), m_held.bytes.size(), m_held.text);
        m_held.inPairs = false;
    }
}

void ParagraphJoiner::handOut(ReflowParagraph& out)
{
    if (m_held.inPairs) {
        out.bytes.swap(m_held.bytes);
    } else {
        out.text.swap(m_held.text);
    }
    out.inPairs = m_held.inPairs;
    out.line = m_held.line;
    out.lines = m_held.lines;
    out.title = m_held.title;
}

// A line that joins nothing goes out as a paragraph of its own (its text or bytes put in by the
// caller).
void ParagraphJoiner::passOn(bool inPairs, qint64 lineNo, bool title, ReflowParagraph& out)
{
    out.inPairs = inPairs;
    out.line = lineNo;
    out.lines = 1;
    out.title = title;
}

// Hands out the paragraph held, if any, and starts holding the line `lineNo` (its text or bytes
// put in by the caller after). True when a paragraph was handed out.
bool ParagraphJoiner::holdNew(bool inPairs, qint64 lineNo, bool title, const WrapSurvey::Shape& shape,
                              ReflowParagraph& out)
{
    const bool ready = m_holding;
    if (ready) {
        handOut(out);
    }
    m_held.inPairs = inPairs;
    m_held.line = lineNo;
    m_held.lines = 1;
    m_held.title = title;
    m_last = shape;
    m_holding = true;
    return ready;
}

bool ParagraphJoiner::push(QString& text, qint64 lineNo, bool title, ReflowParagraph& out)
{
    if (!m_active) {
        out.text.swap(text);
        passOn(false, lineNo, title, out);
        return true;
    }
    // A title keeps a blank shape: nothing is joined to it, nor it to anything.
    const WrapSurvey::Shape shape = title ? WrapSurvey::Shape() : WrapSurvey::shapeOf(text, m_profile.measure);
    if (m_holding && joins(m_last, shape)) {
        heldToText();
        join(text, lineNo, shape);
        m_last = shape;
        return false;
    }
    const bool ready = holdNew(false, lineNo, title, shape, out);
    // The line becomes the paragraph held; the caller gets back a spare buffer.
    m_held.text.swap(text);
    return ready;
}

bool ParagraphJoiner::pushPairs(QByteArrayView bytes, qint64 lineNo, bool title, ReflowParagraph& out)
{
    Q_ASSERT(m_pairs && bytes.size() % 2 == 0);
    if (!m_active) {
        out.bytes.resize(0);
        out.bytes.append(bytes);
        passOn(true, lineNo, title, out);
        return true;
    }
    const WrapSurvey::Shape shape =
        title ? WrapSurvey::Shape() : WrapSurvey::shapeOfPairs(bytes, *m_pairs, m_profile.measure);
    if (m_holding && joins(m_last, shape)) {
        if (m_held.inPairs && !needsSpace(m_last.last, shape.first)) {
            joinPairs(bytes, lineNo);
        } else {
            heldToText();
            m_pairs->decode(bytes.data(), bytes.size(), m_spare);
            join(m_spare, lineNo, shape);
        }
        m_last = shape;
        return false;
    }
    const bool ready = holdNew(true, lineNo, title, shape, out);
    m_held.bytes.resize(0);
    m_held.bytes.append(bytes);
    return ready;
}

bool ParagraphJoiner::finish(ReflowParagraph& out)
{
    if (!m_holding) {
        return false;
    }
    handOut(out);
    m_holding = false;
    return true;
}

QString reflowNoticeText(bool asked, const ReflowTally& tally)
{
    if (!asked) {
        return QString();
    }
    if (tally.joins == 0) {
        return QStringLiteral(u"\r\n重新分段：没有发现按固定宽度断开的行，未接行");
    }
    return QStringLiteral(u"\r\n重新分段：%1 处断行接回，合成 %2 个段落").arg(tally.joins).arg(tally.paragraphs);
}
