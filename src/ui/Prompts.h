#pragma once

// Every modal question the windows ask goes through here: message boxes, input boxes and our
// own dialogs (the desktop's choosers go through cCommonDialog). In test mode nothing waits for
// a person: each dialog is logged and handed to the next queued answer, which closes it the
// way a user would.

#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include <functional>

class QDialog;

namespace Prompts {

/// A queued answer: it receives the dialog (already filled in) and must close it, e.g. by
/// clicking one of its buttons. Dialogs it opens in turn take the following answers.
using Answer = std::function<void(QDialog*)>;

/// Shows the dialog modally and returns its result code. In test mode the next queued answer
/// closes it instead; with no answer left the dialog is rejected.
int exec(QDialog* dialog);

void setTestMode(bool on);
bool testMode();
void queue(Answer answer);
int pendingAnswers();
/// "title|text" of every dialog run in test mode, oldest first.
QStringList& log();
/// Addresses the program asked the desktop to open while in test mode.
QList<QUrl>& openedUrls();
/// In test mode, whether the desktop fails to open addresses (reset() makes it succeed again).
void setOpenUrlFails(bool fails);
/// Forgets queued answers, the log and the opened addresses.
void reset();

/// A message box; returns the button chosen. A box closed without a button counts as its
/// last button (Ok, No or Cancel).
QMessageBox::StandardButton messageBox(QWidget* owner, const QString& text, const QString& caption,
                                       QMessageBox::Icon icon,
                                       QMessageBox::StandardButtons buttons = QMessageBox::Ok);
/// A question with Yes and No; true for Yes.
bool askYesNo(QWidget* owner, const QString& text, const QString& caption);
/// A one-line input box. False when cancelled; `answer` is then left alone.
bool inputBox(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText,
              QString* answer);
/// Opens a file or an address with the desktop's default application.
bool openUrl(const QUrl& url);
/// openUrl(), saying so in a message box owned by `owner` when nothing could open it.
bool openOrSay(QWidget* owner, const QUrl& url, const QString& caption);

} // namespace Prompts
