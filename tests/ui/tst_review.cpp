// The review of a novel in the window: one undo history for every change, the question before
// a changed review is thrown away, the review kept between sessions, titles added by hand.

#include "FakeTray.h"
#include "UiTest.h"

#include "ChapterPreviewPane.h"
#include "config/Settings.h"
#include "core/Review.h"
#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QTreeView>

using namespace UiTest;

class tst_Review : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    Settings m_settings;
    std::unique_ptr<frmMain> m_w;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    void showWindow()
    {
        m_w = std::make_unique<frmMain>(m_settings, path(QStringLiteral("config.ini")),
                                        [] { return std::make_unique<FakeTray>(); });
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QCoreApplication::processEvents();
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        Prompts::reset();
    }

    ChapterModel& model() { return m_w->document().model(); }
    QTreeView* list() { return m_w->findChild<QTreeView*>(QStringLiteral("lvwTitles")); }
    QAction* menu(const QString& name) { return m_w->findChild<QAction*>(name); }
    ChapterPreviewPane* preview() { return m_w->findChild<ChapterPreviewPane*>(QStringLiteral("txtPreview")); }
    QString status() { return m_w->panelText(QStringLiteral("text")); }
    QString novelPath(const QString& name = QStringLiteral(u"小说.txt")) const { return path(name); }
    QString savedReviewPath(const QString& novel)
    {
        NovelKey key;
        return NovelKey::sampled(novel, &key) ? reviewFolder() + u'/' + key.fileName() : QString();
    }
    bool logHas(const QString& text) const
    {
        return Prompts::log().join(u'\n').contains(text);
    }

    void open(const QString& file)
    {
        QVERIFY(m_w->OpenTextFile(file));
    }
    void selectRow(int row) { list()->setCurrentIndex(model().index(row, 0)); }
    QStringList column(int c)
    {
        QStringList cells;
        for (int row = 0; row < model().rowCount(); ++row) {
            cells << model().cellText(row, c);
        }
        return cells;
    }
    QList<bool> checks()
    {
        QList<bool> c;
        for (int row = 0; row < model().rowCount(); ++row) {
            c << model().isChecked(row);
        }
        return c;
    }

    static void answerAddTitle(int number, const QString& title)
    {
        Prompts::queue([number, title](QDialog* d) {
            QCOMPARE(d->objectName(), QStringLiteral("frmAddTitle"));
            d->findChild<QSpinBox*>(QStringLiteral("txtChapNum"))->setValue(number);
            d->findChild<QLineEdit*>(QStringLiteral("txtTitle"))->setText(title);
            d->accept();
        });
    }

    // Right-clicks line `block` of the preview pane and picks "设为章节标题" from its menu;
    // whether the entry was enabled goes to `enabled`.
    void makeTitleFromPreview(int block, bool* enabled = nullptr)
    {
        const QTextCursor at(preview()->document()->findBlockByNumber(block));
        const QPoint pos = preview()->cursorRect(at).center();
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QAction* make = popup ? popup->findChild<QAction*>(QStringLiteral("mnuP_MakeTitle")) : nullptr;
            seen = make != nullptr;
            if (enabled) {
                *enabled = make && make->isEnabled();
            }
            if (make && make->isEnabled()) {
                make->trigger();
            }
            if (popup) {
                popup->close();
            }
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, pos, preview()->viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(preview()->viewport(), &e);
        QVERIFY(seen);
    }

    // Chapters "第k章 标题k" of three body lines: chapter k's title is line 4k-3, and its
    // second body line ("正文k-2") line 4k-1.
    QString writeNovel(const QString& name = QStringLiteral(u"小说.txt"), int chapters = 4)
    {
        return writeFile(path(name), novel(chapters, 3));
    }

    // Changes of every kind: row 0 checked, row 1's title and row 2's number edited, a title
    // added by hand on line 7 (between chapters 2 and 3).
    void reviewSomething()
    {
        selectRow(0);
        m_w->mnuI_CheckSelected_Click();
        selectRow(1);
        typeInput(QStringLiteral(u"新标题"));
        m_w->mnuIE_Title_Click();
        selectRow(2);
        typeInput(QStringLiteral("9"));
        m_w->mnuIE_ChapNum_Click();
        selectRow(1);
        answerAddTitle(25, QStringLiteral(u"插入的一章"));
        makeTitleFromPreview(2);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        // Reviews go to the data folder, here one of the test's own.
        qputenv("XDG_DATA_HOME", m_dir->filePath(QStringLiteral("data")).toUtf8());
        m_settings = Settings::defaults();
        m_settings.TopMost = false;
        m_settings.SetInvalidTitle = false;
        m_settings.AutoAnalyze = true;
        m_settings.AutoTidy = false;
        m_settings.TextFilters.clear();
        Prompts::setTestMode(true);
        Prompts::reset();
    }

    void cleanup()
    {
        m_w.reset();
        qunsetenv("XDG_DATA_HOME");
    }

    // --- One undo history -----------------------------------------------------------------------------

    void undo_takesBackChecksEditsTitlesAndTidyInTheOrderMade()
    {
        // A contents list (lines 1-4) for tidying to ignore, then chapter k on line 4k+2.
        QByteArray bytes;
        for (int k = 1; k <= 4; ++k) {
            bytes += gbk(QStringLiteral(u"第%1章 标题%1").arg(k)) + "\r\n";
        }
        bytes += gbk(u"前言"_qs) + "\r\n" + novel(4, 3);
        showWindow();
        open(writeFile(path(QStringLiteral(u"目录.txt")), bytes));
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
        selectRow(5);
        m_w->mnuI_CheckSelected_Click();
        selectRow(6);
        typeInput(QStringLiteral(u"新标题"));
        m_w->mnuIE_Title_Click();
        selectRow(7);
        typeInput(QStringLiteral("9"));
        m_w->mnuIE_ChapNum_Click();
        selectRow(5);
        answerAddTitle(2, QStringLiteral(u"标题2"));
        makeTitleFromPreview(2);
        QCOMPARE(column(ChapterModel::ChapLineColumn).mid(4),
                 (QStringList{u"6"_qs, u"10"_qs, u"12"_qs, u"14"_qs, u"18"_qs}));
        QCOMPARE(column(ChapterModel::TitleColumn).mid(4),
                 (QStringList{u"标题1"_qs, u"标题2"_qs, u"标题2"_qs, u"新标题"_qs, u"标题4"_qs}));
        QCOMPARE(column(ChapterModel::ChapNumColumn).mid(4), (QStringList{u"001"_qs, u"002"_qs, u"002"_qs, u"003"_qs, u"009"_qs}));
        // Tidying is one more step of the same history. It ignores the contents list, and
        // never the title added by hand, though it repeats the one before.
        m_w->mnuI_Tidy_Click();
        QCOMPARE(checks(), (QList<bool>{true, true, true, true, false, true, false, false, false}));

        QVERIFY(menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
        m_w->mnuI_SelUndo_Click(); // tidying
        QCOMPARE(checks(), (QList<bool>{false, false, false, false, false, true, false, false, false}));
        m_w->mnuI_SelUndo_Click(); // the title added
        QCOMPARE(column(ChapterModel::ChapLineColumn).mid(4), (QStringList{u"6"_qs, u"10"_qs, u"14"_qs, u"18"_qs}));
        QCOMPARE(column(ChapterModel::IdColumn).mid(4), (QStringList{u"5"_qs, u"6"_qs, u"7"_qs, u"8"_qs}));
        m_w->mnuI_SelUndo_Click(); // the number
        QCOMPARE(model().cellText(7, ChapterModel::ChapNumColumn), u"004"_qs);
        QCOMPARE(model().cellText(6, ChapterModel::TitleColumn), u"新标题"_qs);
        m_w->mnuI_SelUndo_Click(); // the title
        QCOMPARE(model().cellText(6, ChapterModel::TitleColumn), u"标题3"_qs);
        QVERIFY(model().isChecked(5));
        m_w->mnuI_SelUndo_Click(); // the check
        QCOMPARE(checks(), QList<bool>(8, false));
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
    }

    // --- Titles added and removed by hand ----------------------------------------------------------------

    void handTitle_fromThePreviewAndRemovedFromTheList()
    {
        showWindow();
        open(writeNovel());
        selectRow(1);
        // Block n of the pane is line n of the chapter; its own title line is no candidate.
        QCOMPARE(preview()->novelLine(0), -1);
        QCOMPARE(preview()->novelLine(2), 7);
        bool enabled = true;
        makeTitleFromPreview(0, &enabled);
        QVERIFY(!enabled);
        QCOMPARE(model().rowCount(), 4);

        // The number and title are read from the line and offered for editing.
        Prompts::queue([](QDialog* d) {
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("txtTitle"))->text(), u"正文2-2"_qs);
            QCOMPARE(d->findChild<QSpinBox*>(QStringLiteral("txtChapNum"))->value(), 3);
            d->accept();
        });
        makeTitleFromPreview(2);
        QCOMPARE(model().rowCount(), 5);
        QCOMPARE(model().cellText(2, ChapterModel::TitleColumn), u"正文2-2"_qs);
        QVERIFY(status().contains(u"已把第 7 行设为章节标题"_qs));
        // The chapter before now ends where the new one begins.
        selectRow(1);
        QCOMPARE(preview()->document()->blockCount(), 2);

        QAction* remove = menu(QStringLiteral("mnuI_RemoveTitle"));
        selectRow(3);
        QVERIFY(!remove->isEnabled());
        selectRow(2);
        QVERIFY(remove->isEnabled());
        remove->trigger();
        QCOMPARE(column(ChapterModel::ChapLineColumn), (QStringList{u"1"_qs, u"5"_qs, u"9"_qs, u"13"_qs}));
        m_w->mnuI_SelUndo_Click();
        QCOMPARE(column(ChapterModel::ChapLineColumn), (QStringList{u"1"_qs, u"5"_qs, u"7"_qs, u"9"_qs, u"13"_qs}));
        m_w->mnuI_SelUndo_Click();
        QCOMPARE(model().rowCount(), 4);
    }

    // --- Asking before a changed review is thrown away --------------------------------------------------

    void discard_asksSaveDiscardCancel_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        for (const char* action : {"close", "openOther", "analyse", "quit"}) {
            QTest::addRow("%s-save", action) << QString::fromLatin1(action) << int(QMessageBox::Save);
            QTest::addRow("%s-discard", action) << QString::fromLatin1(action) << int(QMessageBox::Discard);
            QTest::addRow("%s-cancel", action) << QString::fromLatin1(action) << int(QMessageBox::Cancel);
        }
    }

    void discard_asksSaveDiscardCancel()
    {
        QFETCH(QString, action);
        QFETCH(int, answer);
        showWindow();
        const QString first = writeNovel();
        const QString other = writeNovel(QStringLiteral(u"另一部.txt"), 6);
        open(first);
        auto act = [&] {
            if (action == u"close"_qs) {
                m_w->mnuF_Close_Click();
            } else if (action == u"openOther"_qs) {
                m_w->OpenTextFile(other);
            } else if (action == u"analyse"_qs) {
                m_w->mnuO_Analyze_Click();
            } else {
                m_w->close();
            }
        };
        // Nothing changed, or every change undone: nothing asked.
        selectRow(0);
        m_w->mnuI_CheckSelected_Click();
        m_w->mnuI_SelUndo_Click();
        act();
        QVERIFY2(!logHas(u"是否保存审阅"_qs), qPrintable(Prompts::log().join(u'\n')));
        if (!m_w->isVisible()) {
            showWindow();
        }
        if (!m_w->document().isOpen() || m_w->document().FilePath != first) {
            open(first);
        }
        Prompts::reset();

        selectRow(1);
        m_w->mnuI_CheckSelected_Click();
        clickMessageButton(QMessageBox::StandardButton(answer));
        act();
        QVERIFY(logHas(u"是否保存审阅"_qs));
        const bool cancelled = answer == QMessageBox::Cancel;
        QCOMPARE(QFileInfo::exists(savedReviewPath(first)), answer == QMessageBox::Save);
        if (cancelled) {
            QCOMPARE(m_w->document().FilePath, first);
            QVERIFY(m_w->isVisible());
            QVERIFY(model().isChecked(1));
        } else if (action == u"analyse"_qs) {
            QVERIFY(!model().isChecked(1));
        } else if (action == u"quit"_qs) {
            QVERIFY(!m_w->isVisible());
        } else {
            QCOMPARE(m_w->document().FilePath, action == u"close"_qs ? QString() : other);
        }
    }

    // --- The review kept between sessions ---------------------------------------------------------------

    void review_keptAndTakenUpAgain()
    {
        showWindow();
        const QString first = writeNovel();
        open(first);
        reviewSomething();
        clickMessageButton(QMessageBox::Save);
        m_w->mnuF_Close_Click();
        const QString saved = savedReviewPath(first);
        QVERIFY(QFileInfo::exists(saved));

        // A copy under another name is the same novel: offered, and taken up whole.
        QVERIFY(QFile::copy(first, path(QStringLiteral(u"改名.txt"))));
        clickMessageButton(QMessageBox::Yes);
        open(path(QStringLiteral(u"改名.txt")));
        QVERIFY(logHas(u"继续上次的审阅？"_qs));
        QCOMPARE(column(ChapterModel::TitleColumn),
                 (QStringList{u"标题1"_qs, u"新标题"_qs, u"插入的一章"_qs, u"标题3"_qs, u"标题4"_qs}));
        QCOMPARE(column(ChapterModel::ChapNumColumn), (QStringList{u"001"_qs, u"002"_qs, u"025"_qs, u"009"_qs, u"004"_qs}));
        QCOMPARE(checks(), (QList<bool>{true, false, false, false, false}));
        QVERIFY(model().isHandAdded(2));
        QVERIFY(status().contains(u"已继续上次的审阅"_qs));
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
        // Taken up and not changed: closing asks nothing.
        Prompts::reset();
        m_w->mnuF_Close_Click();
        QVERIFY(Prompts::log().isEmpty());

        // Declined: the plain analysis.
        clickMessageButton(QMessageBox::No);
        open(first);
        QCOMPARE(model().rowCount(), 4);
        QCOMPARE(checks(), (QList<bool>{false, false, false, false}));
        m_w->mnuF_Close_Click();

        // The same size, one byte changed deep inside: another novel.
        QByteArray bytes = readFile(first);
        bytes[bytes.size() / 2 + 1] = bytes.at(bytes.size() / 2 + 1) == '1' ? '2' : '1';
        writeFile(path(QStringLiteral(u"改过.txt")), bytes);
        Prompts::reset();
        open(path(QStringLiteral(u"改过.txt")));
        QVERIFY(!logHas(u"继续上次的审阅"_qs));
        m_w->mnuF_Close_Click();

        // A damaged review file is named and passed over; the novel opens as usual.
        writeFile(saved, "{\"format\": 1, \"ignored\": [0");
        Prompts::reset();
        clickMessageButton(QMessageBox::Ok);
        open(first);
        QVERIFY(logHas(u"上次的审阅无法使用，已忽略"_qs));
        QCOMPARE(model().rowCount(), 4);
    }

    // --- Status bar, focus, the first open ---------------------------------------------------------------

    void afterAnalysis_listHasFocusAndTheCountStays()
    {
        showWindow();
        open(writeNovel());
        QCOMPARE(QApplication::focusWidget(), list());
        QTest::keyClick(list(), Qt::Key_Down);
        QCOMPARE(list()->currentIndex().row(), 0);
        QTest::keyClick(list(), Qt::Key_Down);
        QCOMPARE(list()->currentIndex().row(), 1);
        m_w->mnuI_NextAnomaly_Click();
        QCOMPARE(status(), u"一共: 4/4 章　没有编号异常"_qs);
        // An ignored title makes no file: its output name goes blank.
        selectRow(2);
        m_w->mnuI_CheckSelected_Click();
        QCOMPARE(model().data(model().index(2, ChapterModel::PreviewColumn)).toString(), QString());
        QVERIFY(!model().data(model().index(1, ChapterModel::PreviewColumn)).toString().isEmpty());
        m_w->mnuI_Tidy_Click();
        QVERIFY2(status().startsWith(u"一共: 3/4 章"_qs), qPrintable(status()));
    }

    void firstOpen_takesTheSuggestedRuleWithoutAQuestion()
    {
        QByteArray bytes;
        const QStringList numerals = {u"一"_qs, u"二"_qs, u"三"_qs, u"四"_qs, u"五"_qs, u"六"_qs};
        for (const QString& n : numerals) {
            bytes += gbk(QStringLiteral(u"第%1回 故事%1").arg(n)) + "\r\n" + gbk(u"话说当年。"_qs) + "\r\n";
        }
        showWindow();
        const QString rule = m_settings.TitleText;
        open(writeFile(path(QStringLiteral(u"回目.txt")), bytes));
        QVERIFY2(Prompts::log().isEmpty(), qPrintable(Prompts::log().join(u'\n')));
        QCOMPARE(model().rowCount(), 6);
        QVERIFY2(status().contains(u"已改用推荐规则"_qs), qPrintable(status()));
        // For this novel only: the configured rule is left as it was.
        QCOMPARE(m_settings.TitleText, rule);
    }
};

QTEST_MAIN(tst_Review)
#include "tst_review.moc"
