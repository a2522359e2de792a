#pragma once

// Helpers for the window tests: GBK novels in a temporary folder, and answers for the modal
// dialogs, queued through Prompts before the command that opens them.

#include "Prompts.h"
#include "core/GbkCodec.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace UiTest {

inline QByteArray gbk(const QString& s) { return GbkCodec::instance().encode(s); }

inline QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    f.write(bytes);
    return path;
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// `prefaceLines` lines of front matter, then `chapters` chapters "第k章 标题k" of `bodyLines`
/// lines each; CR LF line ends, GBK.
inline QByteArray novel(int chapters, int bodyLines, int prefaceLines = 0)
{
    QByteArray b;
    for (int i = 1; i <= prefaceLines; ++i) {
        b += gbk(QStringLiteral(u"前言 %1").arg(i)) + "\r\n";
    }
    for (int k = 1; k <= chapters; ++k) {
        b += gbk(QStringLiteral(u"第%1章 标题%1").arg(k)) + "\r\n";
        for (int i = 1; i <= bodyLines; ++i) {
            b += gbk(QStringLiteral(u"正文%1-%2").arg(k).arg(i)) + "\r\n";
        }
    }
    return b;
}

/// The access keys (the letter after a single '&') that clash among the widgets a user reaches
/// together: buttons, group boxes and labels with a buddy under each of `roots`. One entry per
/// clash: "O: 确定(&O) 其他(&O)".
inline QStringList clashingAccessKeys(const QList<QWidget*>& roots)
{
    QMap<QChar, QStringList> keys;
    auto add = [&keys](const QString& text) {
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == u'&') {
                if (text[i + 1] != u'&') {
                    keys[text[i + 1].toUpper()] << text;
                    return;
                }
                ++i; // "&&" is a plain '&'
            }
        }
    };
    for (QWidget* root : roots) {
        QList<QWidget*> widgets = root->findChildren<QWidget*>();
        widgets.prepend(root);
        for (QWidget* w : std::as_const(widgets)) {
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                add(b->text());
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                add(g->title());
            } else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy()) {
                add(l->text());
            }
        }
    }
    QStringList clashes;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (it.value().size() > 1) {
            clashes << QString(it.key()) + QStringLiteral(": ") + it.value().join(u' ');
        }
    }
    return clashes;
}

// --- Answers ---------------------------------------------------------------------------------------------

inline void clickMessageButton(QMessageBox::StandardButton button)
{
    Prompts::queue([button](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        QVERIFY2(box, qPrintable(d->windowTitle()));
        QVERIFY(box->button(button));
        box->button(button)->click();
    });
}

inline void typeInput(const QString& text)
{
    Prompts::queue([text](QDialog* d) {
        auto* input = qobject_cast<QInputDialog*>(d);
        QVERIFY2(input, qPrintable(d->windowTitle()));
        input->setTextValue(text);
        input->accept();
    });
}

inline void cancelDialog()
{
    Prompts::queue([](QDialog* d) { d->reject(); });
}

/// Clicks a button of the overwrite prompt by objectName; with `renameTo`, ticks the rename
/// box and types that path first.
inline void answerOverwrite(const char* button, const QString& renameTo = QString())
{
    const QString name = QString::fromLatin1(button);
    Prompts::queue([name, renameTo](QDialog* d) {
        QCOMPARE(d->objectName(), QStringLiteral("frmYesAllNo"));
        if (!renameTo.isEmpty()) {
            d->findChild<QCheckBox*>(QStringLiteral("chkReName"))->click();
            d->findChild<QLineEdit*>(QStringLiteral("txtFile"))->setText(renameTo);
        }
        d->findChild<QPushButton*>(name)->click();
    });
}

/// Runs `f` at the next turn of the event loop (a pass gives one per title or chapter).
template <typename F> void atNextTurn(QObject* context, F f)
{
    QMetaObject::invokeMethod(context, f, Qt::QueuedConnection);
}

} // namespace UiTest
