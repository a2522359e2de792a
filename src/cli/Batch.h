#pragma once

#include "CliHost.h"

#include "config/Settings.h"
#include "core/TextCodec.h"
#include "epub/EpubPass.h"

#include <QList>
#include <QStringList>
#include <QTextStream>

class Document;

enum Exit { Ok = 0, Failed = 1, Usage = 2, NoTitle = 3, Interrupted = 4 };

/// What the command line asks of every novel it splits.
struct SplitRequest {
    Settings settings;
    bool detect = true;
    TextCodec::Id encoding = TextCodec::Gbk;
    QList<int> ignore; ///< chapter IDs (1-based); one novel only
    CliHost::Overwrite overwrite = CliHost::Ask;
    bool yes = false;
    bool autoRule = false; ///< the suggested title rule instead of TitleText
    bool tidy = false;     ///< tidy the titles by their numbers after the analysis
    bool epub = false;     ///< write a book instead of chapter files
    bool report = false;   ///< print the cleanup ledger after the pass
    QString reviewFile;    ///< a review to take up (one novel)
    bool resume = false;   ///< take up the novel's saved review, where there is one
    EpubOptions epubOptions;
};

/// How one novel's split ended, for the batch's summary.
struct SplitOutcome {
    int code = Failed;
    QString encoding;
    int found = 0;
    int kept = 0;
    int files = 0;         ///< chapter files, or books, written
    int keptFiles = 0;     ///< existing files (or books) kept as the user answered
    qint64 replaced = 0;   ///< bytes a book could not carry
    QString report;        ///< the cleanup ledger as text, when asked for
};

/// Names on `err` the replace rules that did not compile and the lines a rule ran out of time
/// on: the output is not what those rules would have made of it.
void reportCleanupTrouble(const CleanupLedger& ledger, QTextStream& err);

/// Opens and analyses one novel (with the suggested rule and tidied when asked). Returns Ok, or
/// the exit code when there is nothing to go on with.
int analyseNovel(const QString& novel, const SplitRequest& request, Document& doc, CliHost& host, QTextStream& err);

/// Opens, analyses and writes one novel (its chapter files, or its book) through `host`; the
/// count line goes to `err`.
SplitOutcome splitNovel(const QString& novel, const SplitRequest& request, Document& doc, CliHost& host,
                        QTextStream& err);

/// The novels that the arguments name: files as given, folders replaced by every "*.txt" inside
/// them (recursively, sorted), except files in the output folder of another novel of the batch
/// (the chapter files of an earlier run). The same file named twice is taken once. Folders
/// that cannot be read go to `unreadable`, each with the reason.
QStringList collectNovels(const QStringList& args, const QString& outPath, QStringList* problems, int* skipped,
                          QStringList* unreadable);

/// Splits the novels with `jobs` workers: one summary line per novel on `out` as each ends, a
/// total at the end (with the `unreadable` folders, a failure). Novels whose output would take
/// the same folder or book are named and not written; a file one novel writes is taken for the
/// others. Returns the worst exit code of the batch.
int runBatch(const QStringList& novels, const SplitRequest& request, int jobs, bool interactive, QTextStream& out,
             QTextStream& err, int unreadable = 0);
