#pragma once

#include "epub/EpubPass.h"

/// Writes the analysed novel as AZW3 (KF8) books: the same books, names (".azw3"), questions
/// and report as RunEpub.
EpubResult RunAzw3(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host);

/// The book pass in the format options.format names.
EpubResult RunBook(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host);

/// The format a target names by its extension (".azw3"), `fallback` for anything else.
BookFormat bookFormatOf(const QString& target, BookFormat fallback);
