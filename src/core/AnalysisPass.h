#pragma once

#include "config/Settings.h"

class Document;
class PassHost;

/// Reads the open novel from its first line, records every chapter title in the document's
/// chapter table and rows, and marks titles that stand too close to the previous one.
/// Returns true when the pass ran to its end (titles found or not); false when it was
/// refused, stopped or failed (the host has been told which).
bool RunAnalysis(Document& doc, const Settings& settings, PassHost& host);
