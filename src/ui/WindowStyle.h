#pragma once

#include <QString>

class QColor;
class QWidget;

/// Gives a window and the children that take its font the configured face (FontName).
void ApplyFontName(QWidget* window, const QString& fontName);

/// Keeps a window above the others, or lets it go; position and size stay.
void SetTopMost(QWidget* window, bool on);

/// A 0x00BBGGRR colour number as a colour.
QColor ColorFromNumber(qint32 bgr);

class QUrl;
/// Our home page, opened from the help menu and the error report.
/// The user guide "说明.txt" beside the program or in its installed share folder; empty when
/// there is none.
QString NotesPath(const QString& programFolder);
/// What 我的主页 opens: the user guide that comes with the program.
QUrl HomePage();
