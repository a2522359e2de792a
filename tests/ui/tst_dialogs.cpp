#include "UiTest.h"

#include "config/Settings.h"
#include "CleanReportDialog.h"
#include "frmEpub.h"
#include "frmErr.h"
#include "frmYesAllNo.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace UiTest;

class tst_Dialogs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Settings m_settings = Settings::defaults();

    QString existing(const QString& name)
    {
        return writeFile(m_dir.filePath(name), "old\r\n");
    }

private slots:
    void init()
    {
        Prompts::setTestMode(true);
        Prompts::reset();
        m_settings.TopMost = false;
    }

    // --- Message and input boxes ----------------------------------------------------------------------

    // A desktop's title bar shows the caption beside the window's icon and three buttons, and cuts
    // what does not fit: a box with a short text must still be that wide.
    void boxes_areWideEnoughForTheirCaption()
    {
        const QString caption = QStringLiteral(u"文件已不存在，已从列表中移除");
        QFont bold = QApplication::font();
        bold.setBold(true);
        const int needed = QFontMetrics(bold).horizontalAdvance(caption) + 100;
        QList<int> widths;
        for (int i = 0; i < 2; ++i) {
            Prompts::queue([&widths](QDialog* d) {
                d->show();
                widths << d->width();
                d->reject();
            });
        }
        Prompts::messageBox(nullptr, QStringLiteral(u"好"), caption, QMessageBox::Information);
        QString answer;
        Prompts::inputBox(nullptr, QStringLiteral(u"序号："), caption, QStringLiteral("1"), &answer);
        QCOMPARE(widths.size(), 2);
        for (int width : std::as_const(widths)) {
            QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
        }
    }

    // --- Overwrite prompt ---------------------------------------------------------------------------

    void yesAllNo_labelsComeFromThePath()
    {
        frmYesAllNo dialog(m_settings);
        dialog.setFileName(QStringLiteral(u"/书/三国/001-桃园.txt"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral(u"确认文件替换"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblText"))->text(),
                 QStringLiteral(u"此文件夹已经包含一个名为“001-桃园.txt”的文件。"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblPath"))->text(), QStringLiteral(u"/书/三国"));
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("txtFile"))->text(), QStringLiteral(u"/书/三国/001-桃园.txt"));
    }

    void yesAllNo_answers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("rename");
        QTest::addColumn<QString>("answer");
        QTest::newRow("yes") << u"btnOK"_qs << false << u":Yes"_qs;
        QTest::newRow("all") << u"btnAll"_qs << false << u":All"_qs;
        QTest::newRow("no") << u"btnNo"_qs << false << u":No"_qs;
        QTest::newRow("cancel") << u"btnCancel"_qs << false << u":Cancel"_qs;
        QTest::newRow("all ignores the typed name") << u"btnAll"_qs << true << u":All"_qs;
        QTest::newRow("no ignores the typed name") << u"btnNo"_qs << true << u":No"_qs;
        QTest::newRow("close box") << QString() << false << u":Cancel"_qs;
    }

    void yesAllNo_answers()
    {
        QFETCH(QString, button);
        QFETCH(bool, rename);
        QFETCH(QString, answer);
        const QString path = existing(QStringLiteral("a.txt"));
        Prompts::queue([&](QDialog* d) {
            if (rename) {
                d->findChild<QCheckBox*>(QStringLiteral("chkReName"))->click();
                d->findChild<QLineEdit*>(QStringLiteral("txtFile"))->setText(m_dir.filePath(QStringLiteral("b.txt")));
            }
            if (button.isEmpty()) {
                d->close();
            } else {
                d->findChild<QPushButton*>(button)->click();
            }
        });
        QCOMPARE(frmYesAllNo::ShowMsg(path, nullptr, m_settings), answer);
    }

    void yesAllNo_renameBoxEnablesThePathBox()
    {
        frmYesAllNo dialog(m_settings);
        dialog.setFileName(existing(QStringLiteral("a.txt")));
        auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("chkReName"));
        auto* path = dialog.findChild<QLineEdit*>(QStringLiteral("txtFile"));
        QVERIFY(!path->isEnabled());
        box->click();
        QVERIFY(path->isEnabled());
        QCOMPARE(path->cursorPosition(), path->text().size());
        box->click();
        QVERIFY(!path->isEnabled());
    }

    void yesAllNo_rename_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("replaceExisting"); // answer to the "已存在" question
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("new name") << u"new.txt"_qs << false << true << QStringList();
        QTest::newRow("illegal character")
            << u"a?b.txt"_qs << false << false << QStringList{u"覆盖|文件名中有非法字符！"_qs};
        QTest::newRow("existing, keep asking") << u"a.txt"_qs << false << false << QStringList{u"exists"_qs};
        QTest::newRow("existing, replace it") << u"a.txt"_qs << true << true << QStringList{u"exists"_qs};
        // A file the running output pass has queued is not on disk yet, but it is there.
        QTest::newRow("queued by this pass") << u"queued.txt"_qs << false << false << QStringList{u"exists"_qs};
    }

    void yesAllNo_rename()
    {
        QFETCH(QString, name);
        QFETCH(bool, replaceExisting);
        QFETCH(bool, closes);
        QFETCH(QStringList, asked);
        const QString target = m_dir.filePath(name);
        frmYesAllNo dialog(m_settings);
        dialog.setFileName(existing(QStringLiteral("a.txt")));
        dialog.setTakenTest([&](const QString& p) { return QFileInfo::exists(p) || p == m_dir.filePath(u"queued.txt"_qs); });
        dialog.show();
        dialog.findChild<QCheckBox*>(QStringLiteral("chkReName"))->click();
        dialog.findChild<QLineEdit*>(QStringLiteral("txtFile"))->setText(target);
        if (asked.value(0) == QLatin1String("exists")) {
            asked = {QStringLiteral(u"覆盖|文件: ") + target + QStringLiteral(u" 已存在，是否覆盖？")};
            clickMessageButton(replaceExisting ? QMessageBox::Yes : QMessageBox::No);
        }
        dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->click();

        QCOMPARE(Prompts::log(), asked);
        QCOMPARE(dialog.isVisible(), !closes);
        if (closes) {
            QCOMPARE(dialog.Out(), target);
        }
    }

    // --- Error report ------------------------------------------------------------------------------

    void errorNumberZero_showsNothing()
    {
        frmErr::ShowErrMsg(QStringLiteral("x"), 0, QStringLiteral("frmMain::Form_Load()"), nullptr, m_settings);
        QVERIFY(Prompts::log().isEmpty());
        frmErr::ShowErrMsg(QStringLiteral("x"), 5, QStringLiteral("frmMain::Form_Load()"), nullptr, m_settings);
        QCOMPARE(Prompts::log(), QStringList{u"错误报告|描述：x\r\n错误号：5\r\n来源：frmMain::Form_Load()"_qs});
    }

    void logRecord_isTheExactGbkText()
    {
        const QDateTime when(QDate(2024, 3, 5), QTime(14, 3, 22));
        const QString summary = frmErr::Summary(QStringLiteral(u"文件未找到"), 53, QStringLiteral("frmMain::OpenTextFile()"));
        const QByteArray expected = "********************\r\n" + gbk(frmErr::formatTime(when)) + "\r\n" +
                                    gbk(u"描述：文件未找到\r\n错误号：53\r\n来源：frmMain::OpenTextFile()"_qs) +
                                    "\r\n-----\r\n" + gbk(u"第一行\r\n第二行"_qs) + "\r\n********************\r\n";
        QCOMPARE(frmErr::LogRecord(summary, QStringLiteral(u"第一行\n第二行"), when), expected);
        // An empty note leaves an empty line between the hyphens and the closing stars.
        QVERIFY(frmErr::LogRecord(summary, QString(), when).endsWith("-----\r\n\r\n********************\r\n"));
        QVERIFY(frmErr::formatTime(when).contains(QStringLiteral("14:03:22")));
        // A character GBK lacks is kept in its GB18030 form, not saved as "?".
        QVERIFY(frmErr::LogRecord(summary, QString::fromUcs4(U"\U00020000"), when).contains("\x95\x32\x82\x36"));
    }

    void save_appendsRecordsAndKeepsWhatWasThere()
    {
        const QString log = m_dir.filePath(QStringLiteral("err.log"));
        writeFile(log, "earlier\r\n");
        frmErr::setLogFile(log);
        for (const QString& note : {QStringLiteral(u"备注一"), QStringLiteral(u"备注二")}) {
            frmErr report(QStringLiteral(u"无法写入"), 75, QStringLiteral("frmMain::mnuO_SaveOut_Click()"), m_settings);
            report.show();
            report.findChild<QPlainTextEdit*>(QStringLiteral("txtMemo"))->setPlainText(note);
            report.findChild<QPushButton*>(QStringLiteral("btnSave"))->click();
            QVERIFY(!report.isVisible());
        }
        const QString text = GbkCodec::instance().decode(readFile(log));
        const QString stars(20, u'*');
        const QString body = u"\r\n描述：无法写入\r\n错误号：75\r\n来源：frmMain::mnuO_SaveOut_Click()\r\n-----\r\n"_qs;
        const QRegularExpression record(QStringLiteral("^earlier\r\n") +
                                        QRegularExpression::escape(stars) + QStringLiteral("\r\n[^\r\n]+") +
                                        QRegularExpression::escape(body + u"备注一\r\n"_qs + stars) + QStringLiteral("\r\n") +
                                        QRegularExpression::escape(stars) + QStringLiteral("\r\n[^\r\n]+") +
                                        QRegularExpression::escape(body + u"备注二\r\n"_qs + stars) + QStringLiteral("\r\n$"));
        QVERIFY2(record.match(text).hasMatch(), qPrintable(text));
    }

    void cancelOrCloseBox_writesNothing()
    {
        const QString log = m_dir.filePath(QStringLiteral("none.log"));
        frmErr::setLogFile(log);
        frmErr report(QStringLiteral("x"), 5, QStringLiteral("c"), m_settings);
        report.show();
        report.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        QVERIFY(!report.isVisible());
        frmErr other(QStringLiteral("x"), 5, QStringLiteral("c"), m_settings);
        other.show();
        other.close();
        QVERIFY(!QFile::exists(log));
    }

    void unwritableLog_saysSoAndStaysOpen()
    {
        frmErr::setLogFile(m_dir.filePath(QStringLiteral("missing-folder/err.log")));
        frmErr report(QStringLiteral("x"), 5, QStringLiteral("c"), m_settings);
        report.show();
        report.findChild<QPushButton*>(QStringLiteral("btnSave"))->click();
        QVERIFY(report.isVisible());
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY(Prompts::log().first().startsWith(QStringLiteral(u"错误报告|无法保存错误报告到 ")));
    }

    void blogLink_opensTheHomePage()
    {
        frmErr report(QStringLiteral("x"), 5, QStringLiteral("c"), m_settings);
        emit report.findChild<QLabel*>(QStringLiteral("lblLink"))->linkActivated(QStringLiteral("#"));
        QCOMPARE(Prompts::openedUrls().size(), 1);
        QCOMPARE(Prompts::openedUrls().first().scheme(), QStringLiteral("https")); // no guide beside the tests
        // Nothing to open it with: said, not swallowed.
        Prompts::setOpenUrlFails(true);
        emit report.findChild<QLabel*>(QStringLiteral("lblLink"))->linkActivated(QStringLiteral("#"));
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY2(Prompts::log().first().contains(u"系统中没有能打开它的程序"_qs), qPrintable(Prompts::log().first()));
    }

    // The other dialogs: no access key twice.
    void accessKeys_noneTwiceInADialog()
    {
        BookMeta meta;
        CleanupLedger ledger;
        ledger.add(QStringLiteral("r"), 1, QStringLiteral("a"), QStringLiteral("b"), false);
        frmEpub epub(meta, 0, m_dir.filePath(QStringLiteral("b.epub")));
        frmYesAllNo ask(m_settings);
        frmErr error(QStringLiteral("x"), 5, QStringLiteral("c"), m_settings);
        CleanReportDialog report(ledger, m_dir.path(), nullptr);
        for (QDialog* dialog : std::initializer_list<QDialog*>{&epub, &ask, &error, &report}) {
            const QStringList clashes = clashingAccessKeys({dialog});
            QVERIFY2(clashes.isEmpty(), qPrintable(dialog->objectName() + u": "_qs + clashes.join(u"; "_qs)));
        }
    }

    // The book dialog: the 保存为 label takes its access key, and the file follows a typed title
    // until the user names the file.
    void epubDialog_fileFollowsTheTitle()
    {
        BookMeta meta;
        meta.title = QStringLiteral("xiyouji_gb");
        const QString folder = m_dir.filePath(QStringLiteral("books"));
        frmEpub dialog(meta, 50, folder + QStringLiteral("/xiyouji_gb.epub"));
        auto* title = dialog.findChild<QLineEdit*>(QStringLiteral("txtTitle"));
        auto* target = dialog.findChild<QLineEdit*>(QStringLiteral("txtTarget"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblTarget"))->buddy(), target);
        // Chinese arrives from an input method as a committed string.
        auto type = [title](const QString& text) {
            QInputMethodEvent event;
            event.setCommitString(text);
            QCoreApplication::sendEvent(title, &event);
        };
        title->selectAll();
        type(QStringLiteral(u"西游记"));
        QCOMPARE(target->text(), folder + QStringLiteral(u"/西游记.epub"));
        target->setText(folder + QStringLiteral(u"/我的.epub"));
        type(QStringLiteral(u"传"));
        QCOMPARE(target->text(), folder + QStringLiteral(u"/我的.epub"));
    }

    // The cleanup report stays readable with long examples: one line per rule with its name and
    // counts in view, a scroll bar and the keys to move, the whole example in the pane below.
    void cleanReport_longExamplesStayInView()
    {
        CleanupLedger ledger;
        const QString longLine = QString(5000, u'长');
        for (int r = 0; r < 30; ++r) {
            ledger.add(QStringLiteral(u"规则%1").arg(r), 10 + r, longLine + QString::number(r), QStringLiteral(u"短"), false);
        }
        CleanReportDialog report(ledger, m_dir.path(), nullptr);
        report.resize(720, 420);
        report.show();
        QVERIFY(QTest::qWaitForWindowExposed(&report));
        auto* table = report.findChild<QTableWidget*>(QStringLiteral("lvwReport"));
        auto* pane = report.findChild<QPlainTextEdit*>(QStringLiteral("txtExamples"));
        QVERIFY(table && pane);
        const int line = table->fontMetrics().height();
        const QRect view = table->viewport()->rect();
        for (int column = 0; column < 3; ++column) {
            const QRect cell = table->visualItemRect(table->item(0, column));
            QVERIFY2(cell.height() <= 2 * line + 8, qPrintable(QString::number(cell.height())));
            QVERIFY(view.contains(cell));
        }
        QVERIFY(table->verticalScrollBar()->isVisible());
        QCOMPARE(pane->toPlainText(), QStringLiteral(u"第 10 行: %1 → 短").arg(longLine + u'0'));
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentRow(), 1);
        QVERIFY(pane->toPlainText().contains(longLine + u'1'));
        QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(table->currentRow(), 29);
        QVERIFY(table->verticalScrollBar()->value() > 0);
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
