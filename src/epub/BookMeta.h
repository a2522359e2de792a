#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

/// What the book says about itself.
struct BookMeta {
    QString title;
    QString author;
    QString language = QStringLiteral("zh-CN");
    QString identifier;   ///< "urn:uuid:…"
    QDateTime modified;   ///< UTC, whole seconds
    QString description;  ///< the front matter's 简介, plain text (empty: none)
    QString series;       ///< for a part of a set of books: the whole book's title
    int seriesPosition = 0; ///< the part's place in its set, from 1 (0: a book alone)

    /// Whether the book is in traditional script (its labels are too).
    bool isTraditional() const { return language == QLatin1String("zh-TW") || language.startsWith(QLatin1String("zh-Hant")); }
};

/// The words a book shows of its own (page titles, contents, landmarks, guide).
enum class BookLabel { Cover, Contents, Landmarks, Text, Preface, Intro };
/// The label in the book's script: 目录 in a simplified book, 目錄 in a traditional one.
QString bookLabel(BookLabel label, const BookMeta& meta);
/// Whether a paragraph opens an introduction: 简介, 内容简介 (or 簡介, 內容簡介).
bool startsIntro(QStringView paragraph);
/// The introduction in a novel's front matter: the text after a line that starts with 简介 (on
/// that line and the lines after it, up to a blank line or the end), blanks trimmed, lines
/// joined by "\n", cut to about 1,000 characters; empty when there is none.
QString introFromFrontMatter(const QStringList& lines);

/// Title and author from a novel's file name ("《书名》作者：某人.txt", "书名 作者：某人.txt",
/// "书名.txt") and from its front matter: "书名：…" and "作者：…" lines (or both on one line),
/// "《书名》作者：…", "《书名》某人", "[书名 / 某人 著 ]", "书名   明 某人著", a title line followed
/// by an author line ("（明）某人编", "清·某人 编撰"), or a first line that is only a short name.
/// The author loses the dynasty and the deed ("清·蔡元放" → 蔡元放, "吴承恩（明） 著" → 吴承恩). A
/// title or author in the file name's own brackets or after 作者 wins over the front matter; a
/// plain file name gives the title only when the front matter has none, and a file name in
/// Chinese wins over a bare first line.
BookMeta detectBookMeta(const QString& filePath, const QStringList& frontLines);

/// A date a book can carry, in UTC and whole seconds: within what a zip's dates hold (1980 to
/// 2107), the earliest for a file without one (a time of 0).
QDateTime bookDate(const QDateTime& modified);

/// A name-based (version 5 style) UUID from a SHA-1 digest: the same digest, the same UUID.
QString uuidFromDigest(const QByteArray& sha1);
