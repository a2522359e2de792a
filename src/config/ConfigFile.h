#pragma once

#include "Settings.h"

#include <QString>

/// Reads config.ini over `settings`, and the replace rules from their own file (rules still
/// found in config.ini's [clean] are moved there, read whole, on first sight). Every key is taken on its own: a key that is missing or
/// cannot be converted leaves its field as it was, except the two colours (0 when unreadable)
/// and FontName ("Tahoma" when empty). Output folders lacking their final "/" are corrected
/// in the file as well. A file that is there but cannot be read changes nothing and gives
/// false: an empty reading would turn the list black on black and empty every list.
bool LoadConfig(Settings& settings, const QString& configPath, QString* error = nullptr);

/// Writes every setting except the window position and the recent novels into config.ini,
/// key by key, keeping comments, key order and other sections. The three list sections are
/// rewritten with dense keys (filter0, filter1, ...). The file is written once, whole or not at
/// all; false with the reason when it cannot be read or written. The replace rules go to their
/// own file (SaveReplaceRules), and only when config.ini can be read.
bool SaveConfig(const Settings& settings, const QString& configPath, QString* error = nullptr);

/// The replace rules' own file beside config.ini, named after it: "config.rules.json" for
/// "config.ini". It holds the rules whole, in the JSON that reader apps share: a value in
/// config.ini is cut at 254 bytes and its key list at about a thousand keys.
QString ReplaceRulesPath(const QString& configPath);

/// Reads settings.ReplaceRules from the rule file beside `configPath`, when there is one; every
/// rule that cannot be loaded is named in settings.ReplaceRuleProblems. LoadConfig calls it;
/// on its own it serves when config.ini is missing.
void LoadReplaceRules(Settings& settings, const QString& configPath);

/// Writes the rules to the rule file through a temporary file. Nothing is written when the
/// file holds these rules already, or when there are none and no file; a file that did not
/// load whole is kept as "<name>.bak" before it is replaced. False with the reason.
bool SaveReplaceRules(const QList<ReplaceRule>& rules, const QString& configPath, QString* error = nullptr);

/// Replaces config.ini with the complete commented text built from `settings`.
bool WriteDefaultConfig(const Settings& settings, const QString& configPath, QString* error = nullptr);

/// Writes the main window's position (twips) to the section "position".
bool SavePosition(const QString& configPath, int left, int top, int width, int height,
                  QString* error = nullptr);

/// Writes the chapter list's dragged column widths ("ColumnWidths" in "favorite").
bool SaveColumnWidths(const QString& configPath, const QList<int>& widths, QString* error = nullptr);

/// Rewrites the section "recent" from the list (file0, encoding0, file1, ...).
bool SaveRecentFiles(const QString& configPath, const QList<RecentFile>& files, QString* error = nullptr);

/// Colour text to a 0x00BBGGRR number: "#RRGGBB"-style text and "&H" hexadecimal take the
/// digits as written, decimal text is the number itself, "r,g,b" gives r + g*256 + b*65536.
/// Anything unreadable gives 0.
qint32 ParseColor(const QString& text);

/// "&H" and upper-case hexadecimal digits without leading zeros; negatives give eight digits.
QString FormatColor(qint32 color);
