#include "Prompts.h"

#include <QDir>
#include <QDesktopServices>
#include <QDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QPushButton>

#include <utility>

#include <algorithm>

namespace {

struct State {
    bool testMode = false;
    QList<Prompts::Answer> answers;
    QStringList log;
    QList<QUrl> urls;
    bool openFails = false;
};

State& state()
{
    static State s;
    return s;
}

QString dialogText(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        return box->text();
    }
    if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
        return input->labelText();
    }
    return dialog->property("promptText").toString();
}

// How wide a dialog must be for the desktop's title bar to show its whole caption: the caption
// in a bold face somewhat larger than ours (title bars use one), beside the window's icon and
// its three buttons. Qt's own allowance counts no buttons, and X11 window managers then cut
// a short box's caption to "初…".
int captionWidth(const QWidget* dialog, const QString& caption)
{
    QFont font = dialog->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) * 6 / 5 + 9 * metrics.height();
}

// Message and input boxes size themselves to their text; our own dialogs have sizes of their own.
void fitCaption(QDialog* dialog)
{
    const int width = captionWidth(dialog, dialog->windowTitle());
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        // A message box fixes its size to its layout when shown: a row that wide holds it open.
        if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
            grid->addItem(new QSpacerItem(width, 0), grid->rowCount(), 0, 1, grid->columnCount());
        }
    } else if (qobject_cast<QInputDialog*>(dialog)) {
        dialog->setMinimumWidth(std::max(dialog->minimumWidth(), width));
    }
}

} // namespace

namespace Prompts {

int exec(QDialog* dialog)
{
    fitCaption(dialog);
    State& s = state();
    if (!s.testMode) {
        return dialog->exec();
    }
    s.log << dialog->windowTitle() + u'|' + dialogText(dialog);
    if (s.answers.isEmpty()) {
        dialog->reject();
    } else {
        const Answer answer = s.answers.takeFirst();
        answer(dialog);
    }
    if (dialog->isVisible()) {
        dialog->reject();
    }
    return dialog->result();
}

void setTestMode(bool on) { state().testMode = on; }
bool testMode() { return state().testMode; }
void queue(Answer answer) { state().answers.append(std::move(answer)); }
int pendingAnswers() { return int(state().answers.size()); }
QStringList& log() { return state().log; }
QList<QUrl>& openedUrls() { return state().urls; }

void setOpenUrlFails(bool fails) { state().openFails = fails; }

void reset()
{
    State& s = state();
    s.answers.clear();
    s.log.clear();
    s.urls.clear();
    s.openFails = false;
}

QMessageBox::StandardButton messageBox(QWidget* owner, const QString& text, const QString& caption,
                                       QMessageBox::Icon icon, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, text, buttons, owner);
    // The user interface is Chinese whatever translations the system has installed.
    const std::pair<QMessageBox::StandardButton, QString> captions[] = {
        {QMessageBox::Yes, QStringLiteral(u"是(&Y)")},
        {QMessageBox::No, QStringLiteral(u"否(&N)")},
        {QMessageBox::Ok, QStringLiteral(u"确定")},
        {QMessageBox::Cancel, QStringLiteral(u"取消")},
        {QMessageBox::Save, QStringLiteral(u"保存(&S)")},
        {QMessageBox::Discard, QStringLiteral(u"不保存(&D)")},
    };
    for (const auto& [button, label] : captions) {
        if (QAbstractButton* b = box.button(button)) {
            b->setText(label);
        }
    }
    exec(&box);
    if (QAbstractButton* clicked = box.clickedButton()) {
        const QMessageBox::StandardButton b = box.standardButton(clicked);
        if (b != QMessageBox::NoButton) {
            return b;
        }
    }
    for (QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok}) {
        if (buttons.testFlag(b)) {
            return b;
        }
    }
    return QMessageBox::NoButton;
}

bool askYesNo(QWidget* owner, const QString& text, const QString& caption)
{
    return messageBox(owner, text, caption, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool inputBox(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText,
              QString* answer)
{
    QInputDialog dialog(owner);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setOkButtonText(QStringLiteral(u"确定"));
    dialog.setCancelButtonText(QStringLiteral(u"取消"));
    // Wide enough for the text it edits (a long chapter title), within the screen.
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() * 3 / 4 : 1024;
    const int wanted = dialog.fontMetrics().horizontalAdvance(defaultText) + 80;
    dialog.resize(std::clamp(wanted, dialog.sizeHint().width(), std::max(room, dialog.sizeHint().width())),
                  dialog.sizeHint().height());
    if (exec(&dialog) != QDialog::Accepted) {
        return false;
    }
    *answer = dialog.textValue();
    return true;
}

bool openUrl(const QUrl& url)
{
    if (testMode()) {
        state().urls << url;
        return !state().openFails;
    }
    return QDesktopServices::openUrl(url);
}

bool openOrSay(QWidget* owner, const QUrl& url, const QString& caption)
{
    if (openUrl(url)) {
        return true;
    }
    const QString what = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
    messageBox(owner, QStringLiteral(u"无法打开 %1：系统中没有能打开它的程序。").arg(what), caption, QMessageBox::Warning);
    return false;
}

} // namespace Prompts
