#include "BookMeta.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

namespace {

QString cleaned(QString s)
{
    static const QRegularExpression edges(QStringLiteral(u"^[\\s\u3000《「『【]+|[\\s\u3000》」』】]+$"));
    s.remove(edges);
    return s;
}


bool isHan(QChar c)
{
    return (c >= QChar(0x3400) && c <= QChar(0x9FFF)) || (c >= QChar(0xF900) && c <= QChar(0xFAFF)) || c.isSurrogate();
}

// An author as a title page writes it, without what is not the name: a label, the dynasty
// ("清·", "（明）", "明 "), and what the person did (著, 编, 撰, 辑, 评点).
QString authorName(QString s)
{
    static const QRegularExpression label(QStringLiteral(u"^[\\s\u3000]*(?:作者|作\u3000者|作 者)[:：]"));
    static const QRegularExpression dynastyInBrackets(
        QStringLiteral(u"[（(【\\[〔](?:明末|明|清末|清|宋|元|唐|晋|晉|民国|民國|近代|现代|現代)[）)】\\]〕]"));
    static const QRegularExpression dynastyBefore(
        QStringLiteral(u"^[\\s\u3000]*(?:明末清初|明末|明|清末|清|宋|元|唐|晋|晉|民国|民國|近代|现代|現代)(?:[·・.．\\s\u3000]+)"));
    static const QRegularExpression deed(
        QStringLiteral(u"[\\s\u3000]*(?:编撰|編撰|编著|編著|原著|评点|評點|编次|編次|编|編|著|撰|辑|輯|述)[\\s\u3000]*$"));
    s.remove(label);
    s.remove(dynastyInBrackets);
    s.remove(dynastyBefore);
    s.remove(deed);
    return cleaned(s.simplified());
}

// A line short and plain enough to be a name: no sentence punctuation, a few words at most.
bool plainName(const QString& s, int longest)
{
    static const QRegularExpression sentence(QStringLiteral(u"[。，！？；：:、「」“”『』…]"));
    return !s.isEmpty() && s.size() <= longest && !s.contains(sentence);
}

struct FrontMeta {
    QString title;
    QString author;
    bool titleIsBare = false; // only the first line, standing alone
};

// Title and author from the lines before the first chapter, in the forms title pages and
// download sites use: "书名：…" and "作者：…" lines (or both on one line), "《书名》作者：…",
// "《书名》某人", "书名  作者：某人", "[书名 / 某人 著 ]", "书名   明 某人著", "书名    清 某人", a
// title line followed by an author line ("作者：…", "（明）某人编", "清·某人 编撰"), and a first
// line that is only a short name, when what follows it shows it heads the book (an author, a
// page of front matter, "又名…", the first chapter).
FrontMeta frontMatterMeta(const QStringList& frontLines)
{
    static const QString sp = QStringLiteral(u"[\\s\u3000]");
    static const QString byWord = QStringLiteral(u"(?:作者|作\u3000者|作 者)[:：]");
    static const QString dynasty = QStringLiteral(u"(?:明末清初|明末|明|清末|清|宋|元|唐|晋|晉|民国|民國|近代|现代|現代)");
    static const QString deed = QStringLiteral(u"(?:编撰|編撰|编著|編著|编次|編次|编|編|著|撰|辑|輯)");
    static const QRegularExpression titleLine(QStringLiteral(u"^(?:书名|書名)[:：]%1*(.+)$").arg(sp));
    static const QRegularExpression bothLine(QStringLiteral(u"^(?:书名|書名)[:：]%1*(.+?)%1+%2%1*(.+)$").arg(sp, byWord));
    static const QRegularExpression authorLine(QStringLiteral(u"^%1%2*(.+)$").arg(byWord, sp));
    static const QRegularExpression authorAfter(QStringLiteral(u"%1%2*(.+)$").arg(byWord, sp));
    static const QRegularExpression bracketLine(QStringLiteral(u"^《([^》]+)》%1*(.*)$").arg(sp));
    static const QRegularExpression slashLine(QStringLiteral(
        u"^[\\[【(（]?%1*([^/／\\[\\]【】]+?)%1*[/／]%1*([^/／\\[\\]【】]+?)%1*[\\]】)）]?$").arg(sp));
    static const QRegularExpression titleBy(QStringLiteral(u"^(\\S{2,20}?)%1+%2%1*(.+)$").arg(sp, byWord));
    // "书名   明 某人著", "书名　（一百回本）清某人著"; "书名    清 某人".
    static const QRegularExpression spacedAuthor(QStringLiteral(
        u"^(\\S{2,20}?)(?:%1{2,}|%1+(?=[（(])|(?=[（(]))(?:[（(][^）)]{1,12}[）)]%1*)?"
        u"(?:(?:清|明末|清末)(?=\\S{2})|%3%1*[·・.．]%1*|%3%1+)?(\\S.{0,20}?%2)$")
                                                         .arg(sp, deed, dynasty));
    static const QRegularExpression spacedDynasty(
        QStringLiteral(u"^(\\S{2,20}?)%1{2,}%2(?:%1*[·・.．]%1*|%1+)(\\S{2,8})$").arg(sp, dynasty));
    // A line that only says who wrote it: "（明）西湖漁隱編", "清·佚名 編撰", "吴敬梓 著".
    static const QRegularExpression deedLine(QStringLiteral(u"^[^《》，。]{2,24}?%1$").arg(deed));
    // Words that head a page of front matter rather than name a book.
    static const QRegularExpression pageWord(QStringLiteral(
        u"^(?:序|序言|自序|前言|引言|引子|楔子|目录|目錄|正文|简介|簡介|内容简介|內容簡介|作品简介|作品簡介|出版说明|出版說明|"
        u"书籍介绍|書籍介紹|导读|導讀|版本|说明|說明|凡例|人物表|主要人物表|题记|題記|题辞|題辭|叙|敘|跋|小引|后记|後記|附录|附錄)%1*[:：]?")
                                                 .arg(sp));
    static const QRegularExpression alsoCalled(QStringLiteral(u"^(?:又名|又称|又稱|原名|全称|全稱|一名)"));
    static const QRegularExpression heading(
        QStringLiteral(u"^第%1*[0-9０-９〇○零一二三四五六七八九十百千两兩]|^[0-9０-９]+%1|^卷[之]?[一二三四五六七八九十]").arg(sp));

    FrontMeta meta;
    QStringList lines;
    for (const QString& line : frontLines) {
        const QString t = line.trimmed(); // U+3000 is a space to Qt too
        if (!t.isEmpty()) {
            lines << t;
        }
    }
    auto takeAuthor = [&meta](const QString& text) {
        if (meta.author.isEmpty()) {
            meta.author = authorName(text);
        }
    };
    auto nameLike = [](const QString& s) {
        return s.size() >= 2 && s.size() <= 12
               && std::all_of(s.cbegin(), s.cend(), [](QChar c) { return isHan(c) || QStringView(u"·・ ").contains(c); });
    };
    for (qsizetype i = 0; i < lines.size() && i < 40; ++i) {
        const QString& line = lines.at(i);
        if (const QRegularExpressionMatch m = bothLine.match(line); m.hasMatch()) {
            if (meta.title.isEmpty()) {
                meta.title = cleaned(m.captured(1));
            }
            takeAuthor(m.captured(2));
        } else if (const QRegularExpressionMatch m = titleLine.match(line); m.hasMatch()) {
            if (meta.title.isEmpty()) {
                meta.title = cleaned(m.captured(1));
            }
        } else if (const QRegularExpressionMatch m = authorLine.match(line); m.hasMatch()) {
            takeAuthor(m.captured(1));
        } else if (const QRegularExpressionMatch m = bracketLine.match(line); m.hasMatch()) {
            // "《书名》", "《书名》作者：某人", "《书名》某人" — not a sentence that starts with a book name.
            const QString rest = m.captured(2).trimmed();
            const QRegularExpressionMatch by = authorAfter.match(rest);
            if (meta.title.isEmpty() && (rest.isEmpty() || by.hasMatch() || plainName(rest, 12))) {
                meta.title = cleaned(m.captured(1));
                if (by.hasMatch()) {
                    takeAuthor(by.captured(1));
                } else if (nameLike(rest) && !pageWord.match(rest).hasMatch()) {
                    takeAuthor(rest); // "《书名》某人", but not "《书名》题辞", a page of the book
                }
            }
        } else if (i < 3 && meta.title.isEmpty()) {
            const QRegularExpressionMatch slash = slashLine.match(line);
            const QRegularExpressionMatch by = titleBy.match(line);
            QRegularExpressionMatch spaced = spacedAuthor.match(line);
            if (!spaced.hasMatch()) {
                spaced = spacedDynasty.match(line);
            }
            if (slash.hasMatch() && plainName(slash.captured(1), 30) && plainName(slash.captured(2), 30)) {
                meta.title = cleaned(slash.captured(1));
                takeAuthor(slash.captured(2));
            } else if (by.hasMatch() && !pageWord.match(by.captured(1)).hasMatch()) {
                meta.title = cleaned(by.captured(1));
                takeAuthor(by.captured(2));
            } else if (spaced.hasMatch() && !pageWord.match(spaced.captured(1)).hasMatch() && !heading.match(line).hasMatch()) {
                meta.title = cleaned(spaced.captured(1));
                takeAuthor(spaced.captured(2));
            } else if (i == 0 && nameLike(line) && !line.contains(u' ') && !pageWord.match(line).hasMatch()
                       && !heading.match(line).hasMatch()
                       && !deedLine.match(line).hasMatch()) {
                // A first line that is only a short name is the title when what follows shows it
                // heads the book; a poem's or a story's title is followed by its text.
                const QString next = i + 1 < lines.size() ? lines.at(i + 1) : QString();
                if (authorLine.match(next).hasMatch() || deedLine.match(next).hasMatch()) {
                    meta.title = line;
                    takeAuthor(next);
                    ++i;
                } else if (next.isEmpty() || pageWord.match(next).hasMatch() || alsoCalled.match(next).hasMatch()
                           || heading.match(next).hasMatch() || next == line || next.startsWith(line)) {
                    meta.title = line;
                    meta.titleIsBare = true;
                }
            }
        }
        if (!meta.title.isEmpty() && !meta.author.isEmpty()) {
            break;
        }
    }
    return meta;
}

} // namespace

BookMeta detectBookMeta(const QString& filePath, const QStringList& frontLines)
{
    BookMeta meta;
    QString name = QFileInfo(filePath).fileName();
    if (name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    QString nameTitle;
    QString nameAuthor;
    bool nameSaysTitle = false;
    static const QRegularExpression bracketed(QStringLiteral(u"《([^》]+)》"));
    static const QRegularExpression byAuthor(QStringLiteral(u"^(.*?)[\\s\u3000_-]*作者[:：\\s\u3000]*(.+)$"));
    if (const QRegularExpressionMatch m = byAuthor.match(name); m.hasMatch()) {
        nameTitle = m.captured(1);
        nameAuthor = cleaned(m.captured(2));
    } else {
        nameTitle = name;
    }
    if (const QRegularExpressionMatch m = bracketed.match(nameTitle); m.hasMatch()) {
        nameTitle = m.captured(1);
        nameSaysTitle = true;
    }
    nameTitle = cleaned(nameTitle);
    nameSaysTitle = nameSaysTitle || !nameAuthor.isEmpty();

    const FrontMeta front = frontMatterMeta(frontLines);
    // A bare first line is a title only when the file name is no title of its own (a name
    // without Chinese, "xiyouji_gb.txt").
    const bool nameIsTitle = std::any_of(nameTitle.cbegin(), nameTitle.cend(), [](QChar c) { return isHan(c); });
    const QString frontTitle = front.titleIsBare && nameIsTitle ? QString() : front.title;
    const QString frontAuthor = front.author;
    meta.title = nameSaysTitle || frontTitle.isEmpty() ? nameTitle : frontTitle;
    if (meta.title.isEmpty()) {
        meta.title = frontTitle.isEmpty() ? name : frontTitle;
    }
    meta.author = nameAuthor.isEmpty() ? frontAuthor : nameAuthor;
    return meta;
}

QDateTime bookDate(const QDateTime& modified)
{
    // A day inside either end, so that the zip's local time is in range in every time zone.
    static const QDateTime first(QDate(1980, 1, 2), QTime(0, 0), Qt::UTC);
    static const QDateTime last(QDate(2107, 12, 30), QTime(0, 0), Qt::UTC);
    if (!modified.isValid()) {
        return first;
    }
    QDateTime utc = modified.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return std::clamp(utc, first, last);
}

QString uuidFromDigest(const QByteArray& sha1)
{
    QByteArray b = sha1.left(16);
    b.resize(16);
    b[6] = char((quint8(b[6]) & 0x0F) | 0x50);
    b[8] = char((quint8(b[8]) & 0x3F) | 0x80);
    return QStringLiteral("urn:uuid:") + QUuid::fromRfc4122(b).toString(QUuid::WithoutBraces);
}

QString bookLabel(BookLabel label, const BookMeta& meta)
{
    const bool t = meta.isTraditional();
    switch (label) {
    case BookLabel::Cover: return QStringLiteral(u"封面");
    case BookLabel::Contents: return t ? QStringLiteral(u"目錄") : QStringLiteral(u"目录");
    case BookLabel::Landmarks: return t ? QStringLiteral(u"導航") : QStringLiteral(u"导航");
    case BookLabel::Text: return QStringLiteral(u"正文");
    case BookLabel::Preface: return QStringLiteral(u"前言");
    case BookLabel::Intro: return t ? QStringLiteral(u"簡介") : QStringLiteral(u"简介");
    }
    return QString();
}

bool startsIntro(QStringView paragraph)
{
    for (const char16_t* word : {u"简介", u"内容简介", u"簡介", u"內容簡介"}) {
        if (paragraph.startsWith(QStringView(word))) {
            return true;
        }
    }
    return false;
}

QString introFromFrontMatter(const QStringList& lines)
{
    constexpr qsizetype MaxLength = 1000;
    const auto isBlankChar = [](QChar c) { return c.isSpace() || c == u'\u3000'; };
    const auto trimmed = [&](const QString& line) {
        qsizetype a = 0, b = line.size();
        while (a < b && isBlankChar(line[a])) {
            ++a;
        }
        while (b > a && isBlankChar(line[b - 1])) {
            --b;
        }
        return line.mid(a, b - a);
    };
    QStringList parts;
    qsizetype length = 0;
    bool inside = false;
    for (const QString& line : lines) {
        QString text = trimmed(line);
        if (!inside) {
            if (!startsIntro(text)) {
                continue;
            }
            inside = true;
            // The word and what separates it from the text: "内容简介：……", "【简介】".
            qsizetype at = text.startsWith(u"内容简介") || text.startsWith(u"內容簡介") ? 4 : 2;
            while (at < text.size() && (isBlankChar(text[at]) || QStringView(u"：:】]）)").contains(text[at]))) {
                ++at;
            }
            text = text.mid(at);
            if (text.isEmpty()) {
                continue;
            }
        } else if (text.isEmpty()) {
            if (!parts.isEmpty()) {
                break;
            }
            continue;
        }
        parts << text;
        length += text.size();
        if (length >= MaxLength) {
            break;
        }
    }
    QString intro = parts.join(u'\n');
    if (intro.size() > MaxLength) {
        intro = intro.left(MaxLength) + QStringLiteral(u"……");
    }
    return intro;
}
