#pragma once

#include "core/ChapterHistory.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Document;

// A novel's review kept apart from the novel: which titles are ignored, which were edited or
// added by hand, and the rule and encoding the list was made with, so that the same novel can
// be taken up again where it was left. Titles are named by their lines, which stay valid
// because a review is only ever applied to the very same bytes (see NovelKey).

/// What tells a novel's content apart, cheaply: its size and a hash of sampled blocks (what
/// names the review file), and a hash of every byte (what a review is checked against).
struct NovelKey {
    qint64 size = 0;
    QByteArray sample; ///< hex SHA-1 of the first and last 64 KiB and 16 blocks between
    QByteArray digest; ///< hex SHA-1 of the whole file; empty until asked for

    /// The size and sampled hash, which read a few hundred KiB whatever the size; false with
    /// `error` when the file cannot be read.
    static bool sampled(const QString& path, NovelKey* key, QString* error = nullptr);
    /// Adds the hash of every byte.
    bool addDigest(const QString& path, QString* error = nullptr);
    /// The review file's name: "<size>-<sampled hash>.json".
    QString fileName() const;
};

struct Review {
    struct Title {
        qint32 line = 0;
        qint16 chapnum = 0;
        QString title;
    };

    NovelKey novel;
    QString novelName;   ///< the file's name when saved, for people looking in the folder
    QString encoding;    ///< the encoding's name, as TextCodec names it
    bool detected = true;
    QString titleRule;
    QString volumeRule;
    QList<qint32> ignored; ///< lines of the ignored titles
    QList<Title> edited;   ///< titles the user touched (checked, edited): as they stand
    QList<Title> added;    ///< titles added by hand

    QByteArray toJson() const;
    /// False with `error` when the text is not a review this program wrote.
    static bool fromJson(const QByteArray& json, Review* review, QString* error);
    /// Written to a temporary file first and renamed over `path`, so that a crash or a full
    /// disk leaves the old review as it was.
    bool save(const QString& path, QString* error) const;
    /// False with `error` when the file cannot be read or is not a sound review.
    static bool load(const QString& path, Review* review, QString* error);
};

/// The folder reviews are kept in: vellomar/reviews in the user's data folder
/// ($XDG_DATA_HOME, by default ~/.local/share).
QString reviewFolder();

/// The review of an analysed document, with the rule it was made with.
Review captureReview(const Document& doc, const QString& titleRule, const QString& volumeRule);

/// Applies the review's titles and check marks to the list of `doc`, analysed with the
/// review's rule and encoding; not recorded for undo. Titles it cannot place (a line that is
/// not there, a title it names that the analysis did not find) are told in `notes`.
void applyReview(Document& doc, const Review& review, const QString& outFile, QStringList* notes);

/// How looking for the saved review of a novel ended.
struct SavedReview {
    enum Kind { None, Found, Unreadable } kind = None;
    Review review;
    QString path;  ///< the review file (where a new one is saved, too)
    QString error; ///< why the novel or the review file could not be read
};
/// The saved review of the novel at `novelPath`: found only when every byte matches.
SavedReview findSavedReview(const QString& novelPath);

/// A title the user makes of a line: its number and title as the title rule (or else a
/// built-in rule) reads the line; else the first numeral after "第", or the number after
/// `previous`, with the line itself as the title.
ChapterRecord readHandTitle(const QString& line, const QString& titleRule, qint16 previous);
