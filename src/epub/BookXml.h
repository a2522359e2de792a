#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

class TextCodec;

/// The one door through which text enters a book's XML (titles, authors, labels, headings,
/// paragraphs), so that every file of a book is well-formed whatever the novel holds.
///
/// `novel` is the codec of text read from the novel: its byte escapes become the characters
/// they spell, or U+FFFD. Characters XML cannot hold (control characters other than tab, LF
/// and CR, U+FFFE, U+FFFF, half a surrogate pair) become U+FFFD. Each U+FFFD put in is counted
/// in `replaced` when given.
QString xmlSafe(QStringView text, const TextCodec* novel = nullptr, qint64* replaced = nullptr);

/// xmlSafe() with &, <, > and " escaped, appended to `out`.
void appendXmlText(QString& out, QStringView text, const TextCodec* novel = nullptr, qint64* replaced = nullptr);

/// appendXmlText() as UTF-8: a page's text goes from the decoded line to the page's bytes in
/// one pass.
void appendXmlUtf8(QByteArray& out, QStringView text, const TextCodec* novel = nullptr, qint64* replaced = nullptr);

/// xmlSafe() with &, <, > and " escaped.
QString xmlText(QStringView text, const TextCodec* novel = nullptr, qint64* replaced = nullptr);
