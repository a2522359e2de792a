#pragma once

#include "config/Settings.h"
#include "core/ScriptSample.h"
#include "core/Cleanup.h"
#include "output/OutputNames.h" // the names of the pass's folders and files, which its callers show

#include <QString>

class Document;
class PassHost;

/// How an output pass ended.
struct OutputResult {
    enum Kind { Done, Refused, Declined, Cancelled, Stopped, Failed };
    Kind kind = Refused;
    int files = 0; ///< chapter files written (planned, when the pass did not end)
    int kept = 0;  ///< existing files kept as the user answered, Index.txt included
    CleanupLedger ledger; ///< what cleanup changed and removed, when it was on
};

/// What a completion notice adds about 转换成简体: nothing when it ran as asked; else that the
/// novel was simplified already, or the encoding converted text was written in.
QString conversionNote(const Settings& settings, NovelScript script, bool transcoded);

/// Writes the analysed novel out: front matter to "Index.txt", then every unchecked row's
/// chapter, ChapsInFile chapters to a file and FilesInDir files to a sub-folder, asking
/// before replacing a file. The bytes of every line that no filter or conversion changed are
/// written exactly as read.
OutputResult RunOutput(Document& doc, const Settings& settings, PassHost& host);

/// Runs the cleanup over the analysed novel as text output would, and writes nothing: the
/// ledger of what output would change. The front end's Stop is looked at several times a
/// second. False with `error` when the novel cannot be read, or when it was stopped.
bool PreviewCleanup(Document& doc, const Settings& settings, PassHost& host, CleanupLedger* ledger, QString* error);
