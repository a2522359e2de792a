#include "FakeTray.h"
#include "UiTest.h"

#include "ChapterPreviewPane.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/StartUp.h"
#include "ErrorHook.h"
#include "cCommonDialog.h"
#include "frmAbout.h"
#include "frmConfig.h"
#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMoveEvent>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QPaintEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using namespace UiTest;

// Collects the parts of a widget that were repainted.
struct PaintSpy : QObject {
    QRegion region;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            region += static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
};

// A desktop that frames the window only after its first activation, as X11 window managers may:
// until then the window knows no frame; the frame's arrival moves the window.
class LateFramedMain : public frmMain {
public:
    using frmMain::frmMain;
    void frameArrives()
    {
        m_framed = true;
        QMoveEvent move(pos(), pos());
        QCoreApplication::sendEvent(this, &move);
    }

protected:
    QSize frameExtent() const override { return m_framed ? frmMain::frameExtent() : QSize(0, 0); }

private:
    bool m_framed = false;
};

class tst_FrmMain : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    Settings m_settings;
    std::unique_ptr<frmMain> m_w;
    FakeTray* m_tray = nullptr; // the window's notification area, made at its first activation
    bool m_trayAvailable = true;
    bool m_frameLate = false; // the next window is a LateFramedMain

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString configPath() const { return path(QStringLiteral("config.ini")); }

    // Creates and shows the window and lets its first activation run; the log starts empty.
    void showWindow(bool clearLog = true)
    {
        auto tray = [this] {
            auto tray = std::make_unique<FakeTray>();
            tray->available = m_trayAvailable;
            m_tray = tray.get();
            return tray;
        };
        if (std::exchange(m_frameLate, false)) {
            m_w = std::make_unique<LateFramedMain>(m_settings, configPath(), tray);
        } else {
            m_w = std::make_unique<frmMain>(m_settings, configPath(), tray);
        }
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QCoreApplication::processEvents();
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        if (clearLog) {
            Prompts::reset();
        }
    }

    ChapterModel& model() { return m_w->document().model(); }
    // "title|text" of every balloon sent to the icon while shown, oldest first.
    QStringList balloons()
    {
        QStringList sent;
        for (const auto& [data, fields] : std::as_const(m_tray->modified)) {
            if ((fields & TrayField::Balloon) && !data.balloonText.isEmpty()) {
                sent << data.balloonTitle + u'|' + data.balloonText;
            }
        }
        return sent;
    }
    QTreeView* list() { return m_w->findChild<QTreeView*>(QStringLiteral("lvwTitles")); }
    QAction* menu(const QString& name) { return m_w->findChild<QAction*>(name); }
    QAction* button(const QString& key) { return m_w->findChild<QAction*>(key); }
    QToolButton* buttonWidget(const QString& key) { return m_w->findChild<QToolButton*>(key); }
    QString status() { return m_w->panelText(QStringLiteral("text")); }
    ChapterPreviewPane* preview() { return m_w->findChild<ChapterPreviewPane*>(QStringLiteral("txtPreview")); }
    QStringList previewLines() // none while the pane is empty
    {
        const QTextDocument* doc = preview()->document();
        return doc->isEmpty() ? QStringList() : doc->toPlainText().split(u'\n');
    }
    QList<int> anomalyRows()
    {
        QList<int> rows;
        for (int row = 0; row < model().rowCount(); ++row) {
            if (model().anomaly(row) != NumberingAnomaly::None) {
                rows << row;
            }
        }
        return rows;
    }
    QStringList column(int c)
    {
        QStringList cells;
        for (int row = 0; row < model().rowCount(); ++row) {
            cells << model().cellText(row, c);
        }
        return cells;
    }

    QString writeNovel(const QByteArray& bytes, const QString& name = QStringLiteral(u"小说.txt"))
    {
        return writeFile(path(name), bytes);
    }

    void openNovel(const QByteArray& bytes)
    {
        QVERIFY(m_w->OpenTextFile(writeNovel(bytes)));
    }

    void selectRow(int row)
    {
        list()->setCurrentIndex(model().index(row, 0));
    }

    void clickCheckBox(int row)
    {
        QStyleOptionViewItem opt;
        opt.initFrom(list());
        opt.rect = list()->visualRect(model().index(row, 0));
        opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        const QRect box = list()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, box.center());
    }

    void clickHeader(int section)
    {
        QHeaderView* h = list()->header();
        const QPoint at(h->sectionViewportPosition(section) + h->sectionSize(section) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    }

    void checkEnabled(const QStringList& menus, const QStringList& buttons)
    {
        for (const QString& name : stateMenus()) {
            QVERIFY2(menu(name)->isEnabled() == menus.contains(name), qPrintable(name));
        }
        for (const QString& key : stateButtons()) {
            QVERIFY2(button(key)->isEnabled() == buttons.contains(key), qPrintable(key));
            if (QToolButton* w = buttonWidget(key)) {
                QVERIFY2(w->isEnabled() == buttons.contains(key), qPrintable(key));
            }
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = Settings::defaults();
        m_settings.TopMost = false;
        m_settings.ConvertToSimple = false;
        m_settings.SetInvalidTitle = false;
        m_settings.AutoAnalyze = false;
        m_settings.FilesInDir = 0;
        m_settings.TextFilters.clear();
        m_trayAvailable = true;
        Prompts::setTestMode(true);
        Prompts::reset();
        cCommonDialog::clearAnswers();
    }

    void cleanup() { m_w.reset(); }

    // --- Start-up -----------------------------------------------------------------------------------------

    void firstActivation_rebuildsMissingConfigOnce()
    {
        showWindow(false);
        QCOMPARE(Prompts::log(), QStringList{u"初始化|配置文件 config.ini 丢失,即将重建!"_qs});
        QVERIFY(QFile::exists(configPath()));
        QCOMPARE(status(), QStringLiteral(u"就绪"));
        QCOMPARE(m_w->windowTitle(), AppTitle());
        QCOMPARE(m_w->document().DocState, int(Closed));

        // A later activation repeats nothing.
        QFile::remove(configPath());
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(m_w.get(), &activate);
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY(!QFile::exists(configPath()));
    }

    // The first start's warning waits until the desktop has framed the window (X11 window
    // managers frame and place it after it shows), or a moment where no frame comes: a box shown
    // earlier stands where the window was before the desktop placed it.
    void firstStartWarning_waitsForTheFrame_data()
    {
        QTest::addColumn<bool>("framed");
        QTest::newRow("frame arrives") << true;
        QTest::newRow("no frame comes") << false;
    }

    void firstStartWarning_waitsForTheFrame()
    {
        QFETCH(bool, framed);
        m_frameLate = true;
        showWindow(false);
        QVERIFY(Prompts::log().isEmpty() && !QFile::exists(configPath()));
        QPoint boxCentre;
        Prompts::queue([&](QDialog* d) {
            d->show();
            boxCentre = d->frameGeometry().center();
            d->accept();
        });
        if (framed) {
            static_cast<LateFramedMain*>(m_w.get())->frameArrives();
            QCoreApplication::processEvents();
            QCOMPARE(Prompts::log().size(), 1);
        }
        QTRY_COMPARE(Prompts::log(), QStringList{u"初始化|配置文件 config.ini 丢失,即将重建!"_qs});
        QVERIFY(QFile::exists(configPath()));
        QVERIFY2((boxCentre - m_w->frameGeometry().center()).manhattanLength() < 40,
                 qPrintable(QStringLiteral("%1,%2").arg(boxCentre.x()).arg(boxCentre.y())));
    }

    void existingConfig_isLoadedAndLeftAlone()
    {
        Settings stored = m_settings;
        stored.InvalidLines = 9;
        QVERIFY(WriteDefaultConfig(stored, configPath()));
        const QByteArray before = readFile(configPath());
        showWindow(false);
        QVERIFY(Prompts::log().isEmpty());
        QCOMPARE(m_settings.InvalidLines, qint16(9));
        QCOMPARE(readFile(configPath()), before);
    }

    // --- Command states ----------------------------------------------------------------------------------

    void commandStates_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("statusText");
        QTest::newRow("Busy") << int(Busy) << QStringList{u"mnuO_Stop"_qs} << QStringList{u"stop"_qs} << u"x"_qs;
        QTest::newRow("Opened") << int(Opened)
                                << QStringList{u"mnuF_Open"_qs, u"mnuF_Close"_qs, u"mnuO_Analyze"_qs, u"mnuO_Option"_qs}
                                << QStringList{u"open"_qs, u"close"_qs, u"analyze"_qs, u"config"_qs}
                                << u"已经打开小说..."_qs;
        QTest::newRow("Analysed")
            << int(Analysed)
            << QStringList{u"mnuF_Open"_qs,       u"mnuF_Close"_qs,   u"mnuO_Analyze"_qs, u"mnuO_SaveOut"_qs,
                           u"mnuO_Option"_qs,     u"mnuI_SelAll"_qs,  u"mnuI_SelReverse"_qs,
                           u"mnuI_SelNone"_qs,    u"mnuI_Copy"_qs,    u"mnuIE_ChapNum"_qs, u"mnuIE_Title"_qs}
            << QStringList{u"open"_qs,   u"close"_qs, u"analyze"_qs, u"saveout"_qs,     u"config"_qs,   u"selall"_qs,
                           u"selreverse"_qs, u"selnone"_qs, u"copy"_qs, u"edit"_qs, u"editChapNum"_qs, u"editTitle"_qs}
            << u"x"_qs;
        QTest::newRow("Closed") << int(Closed) << QStringList{u"mnuF_Open"_qs, u"mnuO_Option"_qs}
                                << QStringList{u"open"_qs, u"config"_qs} << u"就绪"_qs;
    }

    void commandStates()
    {
        QFETCH(int, state);
        QFETCH(QStringList, menus);
        QFETCH(QStringList, buttons);
        QFETCH(QString, statusText);
        showWindow();
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        model().SelAll(); // the undo store now holds a group
        m_w->setStatusText(QStringLiteral("x"));
        m_w->SetState(state);
        checkEnabled(menus, buttons);
        QCOMPARE(status(), statusText);
        QCOMPARE(m_w->document().IsAnalysed, state == Analysed);
        // Undo follows its store, except that a pass leaves only Stop usable.
        QCOMPARE(menu(QStringLiteral("mnuI_SelUndo"))->isEnabled(), state != Busy);
        QCOMPARE(buttonWidget(QStringLiteral("selundo"))->isEnabled(), state != Busy);
        QCOMPARE(menu(QStringLiteral("mnuI_NextAnomaly"))->isEnabled(), state == Analysed);
        QCOMPARE(menu(QStringLiteral("mnuE_Encoding"))->isEnabled(), state != Busy);
    }

    void duringAPass_onlyStopIsEnabled()
    {
        showWindow();
        openNovel(novel(3, 1));
        bool checked = false;
        atNextTurn(m_w.get(), [&] {
            checkEnabled({u"mnuO_Stop"_qs}, {u"stop"_qs});
            QVERIFY(m_w->findChild<QProgressBar*>(QStringLiteral("prgDone"))->isVisible());
            checked = true;
        });
        menu(QStringLiteral("mnuO_Analyze"))->trigger();
        QVERIFY(checked);
        QCOMPARE(m_w->document().DocState, int(Analysed));
        QVERIFY(menu(QStringLiteral("mnuO_SaveOut"))->isEnabled());
        QVERIFY(list()->isVisible());
    }

    // --- Opening ---------------------------------------------------------------------------------------

    void open_analysesAndShowsRows()
    {
        m_settings.AutoAnalyze = true;
        m_settings.SetInvalidTitle = true; // titles 3 lines apart: the later ones are ignored
        showWindow();
        cCommonDialog::queueOpenAnswer({writeNovel(novel(3, 2))});
        QTest::keyClick(m_w.get(), Qt::Key_O, Qt::ControlModifier);
        const cCommonDialog::Request& asked = cCommonDialog::lastRequest();
        QCOMPARE(asked.title, QStringLiteral(u"打开小说文件"));
        QCOMPARE(asked.nameFilters, (QStringList{u"文本文件 (*.txt)"_qs, u"所有文件 (*)"_qs}));
        QCOMPARE(asked.selectedFilter, asked.nameFilters.first());
        QVERIFY(asked.fileMustExist && !asked.multiSelect);
        QCOMPARE(m_w->windowTitle(), QStringLiteral(u"小说.txt - ") + AppTitle());
        QCOMPARE(m_w->document().DocState, int(Analysed));
        QCOMPARE(status(), QStringLiteral(u"一共: 1/3 章"));
        QCOMPARE(column(0), (QStringList{u"1"_qs, u"2"_qs, u"3"_qs}));
        QCOMPARE(column(1).first(), QStringLiteral(u"001-标题1"));
        QCOMPARE(column(2).first(), QStringLiteral(u"第1章 标题1"));
        QCOMPARE(column(3).last(), QStringLiteral("003"));
        QCOMPARE(column(5), (QStringList{u"1"_qs, u"4"_qs, u"7"_qs}));
        QCOMPARE(model().checkedCount(), 2);
        QVERIFY(!m_w->findChild<QProgressBar*>(QStringLiteral("prgDone"))->isVisible());
        QCOMPARE(m_w->panelText(QStringLiteral("process")), QString());
    }

    void open_withoutAutoAnalyze_showsTheLineCount()
    {
        showWindow();
        openNovel(novel(3, 2, 1));
        QCOMPARE(status(), QStringLiteral(u"打开完毕,共 10 行!"));
        QCOMPARE(m_w->document().DocState, int(Opened));
        QCOMPARE(model().rowCount(), 0);
    }

    void open_cancelledChangesOnlyTheStatus()
    {
        showWindow();
        menu(QStringLiteral("mnuF_Open"))->trigger(); // no answer queued: cancelled
        QCOMPARE(status(), QStringLiteral(u"取消打开..."));
        QCOMPARE(m_w->document().DocState, int(Closed));
        QCOMPARE(m_w->windowTitle(), AppTitle());
    }

    void open_missingFileGoesToTheErrorReport()
    {
        showWindow();
        QVERIFY(!m_w->OpenTextFile(path(QStringLiteral("none.txt"))));
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY(Prompts::log().first().startsWith(QStringLiteral(u"错误报告|描述：")));
        QVERIFY(Prompts::log().first().endsWith(u"\r\n错误号：53\r\n来源：frmMain::OpenTextFile()"_qs));
    }

    void otherWindowsErrors_goToTheErrorReport()
    {
        showWindow();
        reportError(QStringLiteral(u"无法保存"), 75, QStringLiteral("frmConfig::ApplyConfig()"), nullptr);
        QCOMPARE(Prompts::log(), QStringList{u"错误报告|描述：无法保存\r\n错误号：75\r\n来源：frmConfig::ApplyConfig()"_qs});
    }

    void close_emptiesTheWindow()
    {
        showWindow();
        openNovel(novel(3, 1));
        m_w->mnuO_Analyze_Click();
        model().SelAll();
        clickMessageButton(QMessageBox::Discard); // the review changed: 不保存
        buttonWidget(QStringLiteral("close"))->click();
        QCOMPARE(model().rowCount(), 0);
        QCOMPARE(m_w->windowTitle(), AppTitle());
        QCOMPARE(status(), QStringLiteral(u"就绪"));
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
        checkEnabled({u"mnuF_Open"_qs, u"mnuO_Option"_qs}, {u"open"_qs, u"config"_qs});
    }

    void noTitle_warnsAndStaysOpened()
    {
        showWindow();
        openNovel(gbk(u"只有正文\r\n没有标题\r\n"_qs));
        m_w->mnuO_Analyze_Click();
        QCOMPARE(m_w->document().DocState, int(Opened));
        QCOMPARE(status(), QStringLiteral(u"一共: 0/0 章"));
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY(Prompts::log().first().startsWith(QStringLiteral(u"分析|未发现章节标题")));
    }

    // No title found: the notice points to the encoding menu and the rules, and offers the rule
    // suggestion, which here finds 第…回 and analyses again with it.
    void noTitle_offersTheRuleSuggestion()
    {
        m_settings.AutoAnalyze = false;
        showWindow();
        QByteArray text;
        for (int k = 1; k <= 40; ++k) {
            text += gbk(QStringLiteral(u"第%1回 回目%1\r\n").arg(k));
            for (int line = 0; line < 8; ++line) {
                text += gbk(QStringLiteral(u"　　正文第%1行，说的是这一回里的事情。\r\n").arg(line));
            }
        }
        openNovel(text);
        clickMessageButton(QMessageBox::Yes); // try the suggestion
        clickMessageButton(QMessageBox::Yes); // use the rule it suggests
        m_w->mnuO_Analyze_Click();
        QTRY_COMPARE(m_w->document().DocState, int(Analysed));
        QCOMPARE(model().rowCount(), 40);
        QVERIFY(Prompts::log().value(0).contains(u"“编码”菜单"_qs));
        QVERIFY(!Prompts::log().value(0).contains(u"记事本"_qs));
        QVERIFY(Prompts::log().value(1).startsWith(u"推荐规则|推荐“第…回"_qs));
        QVERIFY(m_settings.TitleText.contains(u"回"_qs));
    }

    // --- Drag and drop ---------------------------------------------------------------------------------

    void dragOver_data()
    {
        QTest::addColumn<QStringList>("files"); // empty: dragged text
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        QTest::newRow("text") << QStringList() << false << u"拖入的不是文件,无法释放..."_qs;
        QTest::newRow("two files") << QStringList{u"a.txt"_qs, u"b.txt"_qs} << false << u"文件个数超过1个,无法释放..."_qs;
        QTest::newRow("capital TXT") << QStringList{u"A.TXT"_qs} << true << u"请拖入文件..."_qs;
        QTest::newRow("other ending") << QStringList{u"a.doc"_qs} << false << u"拖入的不是txt文件,无法释放..."_qs;
    }

    void dragOver()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        showWindow();
        QMimeData data;
        if (files.isEmpty()) {
            data.setText(QStringLiteral("dragged text"));
        } else {
            QList<QUrl> urls;
            for (const QString& f : files) {
                urls << QUrl::fromLocalFile(path(f));
            }
            data.setUrls(urls);
        }
        QWidget* viewport = list()->viewport();
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QStatusBar* bar = m_w->findChild<QStatusBar*>(QStringLiteral("staStatus"));
        QCOMPARE(bar->currentMessage(), message);
        QVERIFY(!m_w->findChild<QWidget*>(QStringLiteral("text"))->isVisible());

        // Leaving without a drop keeps the message; only an accepted drop returns to the panels.
        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);
        QStatusTipEvent tip{QString()}; // what hovering a menu entry sends
        QApplication::sendEvent(m_w.get(), &tip);
        QCOMPARE(bar->currentMessage(), message);
    }

    void drop_opensTheFileAndRestoresThePanels()
    {
        showWindow();
        const QString file = writeNovel(novel(2, 1));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QWidget* viewport = list()->viewport();
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        QTRY_COMPARE(m_w->document().FilePath, file);
        QCOMPARE(m_w->findChild<QStatusBar*>(QStringLiteral("staStatus"))->currentMessage(), QString());
        QVERIFY(m_w->findChild<QWidget*>(QStringLiteral("text"))->isVisible());
    }

    // --- The list ---------------------------------------------------------------------------------------

    void columnClicks_sortAndAlternate()
    {
        showWindow();
        openNovel(gbk(u"第3章 丙\r\n正文\r\n第1章 甲\r\n正文\r\n第2章 乙\r\n正文\r\n"_qs));
        clickHeader(ChapterModel::ChapNumColumn); // Opened: no sorting yet
        QCOMPARE(model().headerData(3, Qt::Horizontal).toString(), QStringLiteral(u"章节号"));

        m_w->mnuO_Analyze_Click();
        clickHeader(ChapterModel::ChapNumColumn);
        QCOMPARE(column(3), (QStringList{u"001"_qs, u"002"_qs, u"003"_qs}));
        QCOMPARE(model().headerData(3, Qt::Horizontal).toString(), QStringLiteral(u"章节号▲"));
        clickHeader(ChapterModel::ChapNumColumn);
        QCOMPARE(column(3), (QStringList{u"003"_qs, u"002"_qs, u"001"_qs}));
        QCOMPARE(model().headerData(3, Qt::Horizontal).toString(), QStringLiteral(u"章节号▼"));
        clickHeader(ChapterModel::ChapNumColumn);
        clickHeader(ChapterModel::IdColumn); // the order alternates across columns
        QCOMPARE(column(0), (QStringList{u"3"_qs, u"2"_qs, u"1"_qs}));
        QCOMPARE(model().headerData(0, Qt::Horizontal).toString(), QStringLiteral(u"ID▼"));
        QCOMPARE(model().headerData(3, Qt::Horizontal).toString(), QStringLiteral(u"章节号"));
    }

    void checkBoxClicks_makeUndoGroups()
    {
        showWindow();
        openNovel(novel(3, 1));
        m_w->mnuO_Analyze_Click();
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
        clickCheckBox(0);
        clickCheckBox(2);
        QCOMPARE(model().undoGroupCount(), 2);
        QCOMPARE(status(), QStringLiteral(u"一共: 1/3 章"));
        QVERIFY(buttonWidget(QStringLiteral("selundo"))->isEnabled());

        QTest::keyClick(m_w.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(!model().isChecked(2));
        QVERIFY(model().isChecked(0));
        QCOMPARE(list()->currentIndex().row(), 2);
        buttonWidget(QStringLiteral("selundo"))->click();
        QVERIFY(!model().isChecked(0));
        QCOMPARE(status(), QStringLiteral(u"一共: 3/3 章"));
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
        QVERIFY(!buttonWidget(QStringLiteral("selundo"))->isEnabled());
    }

    void selNone_thenUndoTwice()
    {
        m_settings.SetInvalidTitle = true;
        showWindow();
        openNovel(novel(4, 1));
        m_w->mnuO_Analyze_Click();
        const QList<bool> analysed = {false, true, true, true};
        QCOMPARE(status(), QStringLiteral(u"一共: 1/4 章"));
        buttonWidget(QStringLiteral("selreverse"))->click();
        menu(QStringLiteral("mnuI_SelNone"))->trigger();
        QCOMPARE(model().checkedCount(), 0);
        QCOMPARE(status(), QStringLiteral(u"一共: 4/4 章"));
        m_w->mnuI_SelUndo_Click(); // back to the reversed marks
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(model().isChecked(row), !analysed[row]);
        }
        m_w->mnuI_SelUndo_Click(); // back to what the analysis marked
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(model().isChecked(row), analysed[row]);
        }
        QCOMPARE(status(), QStringLiteral(u"一共: 1/4 章"));
        QVERIFY(!menu(QStringLiteral("mnuI_SelUndo"))->isEnabled());
    }

    // Review by keyboard: Shift+Down widens the selection, Space checks every selected row as
    // one undo group, the right-click entries set them, and Ctrl+A in the preview selects its
    // text instead of checking the whole list.
    void keyboardRangeReview()
    {
        m_settings.SetInvalidTitle = false;
        showWindow();
        openNovel(novel(5, 2));
        m_w->mnuO_Analyze_Click();
        list()->setFocus();
        selectRow(1);
        QTest::keyClick(list(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(list(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(list(), Qt::Key_Space);
        QCOMPARE(model().checkedCount(), 3);
        QVERIFY(!model().isChecked(0) && model().isChecked(1) && model().isChecked(3) && !model().isChecked(4));
        menu(QStringLiteral("mnuI_SelUndo"))->trigger(); // selects the group's last row alone
        QCOMPARE(model().checkedCount(), 0);
        list()->selectionModel()->select(QItemSelection(model().index(1, 0), model().index(3, 0)),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        menu(QStringLiteral("mnuI_CheckSelected"))->trigger();
        QCOMPARE(model().checkedCount(), 3);
        QTest::keyClick(list(), Qt::Key_Space); // the current row is checked: all go off
        QCOMPARE(model().checkedCount(), 0);
        QTest::keyClick(list(), Qt::Key_Space);
        menu(QStringLiteral("mnuI_UncheckSelected"))->trigger();
        QCOMPARE(model().checkedCount(), 0);
        QCOMPARE(model().undoGroupCount(), 4);

        preview()->setFocus();
        QTest::keyClick(preview(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(model().checkedCount(), 0);
        QVERIFY(preview()->textCursor().hasSelection());
    }

    // The columns fill the list, 行数 included at the designed size, and no number is cut; a
    // dragged divider moves alone, and what was dragged comes back at the next start.
    void columns_fillTheListAndKeepDraggedWidths()
    {
        showWindow();
        openNovel(novel(120, 1));
        m_w->mnuO_Analyze_Click();
        QHeaderView* h = list()->header();
        auto right = [this] {
            QHeaderView* h = list()->header();
            return h->sectionPosition(ChapterModel::ChapLineColumn) + h->sectionSize(ChapterModel::ChapLineColumn);
        };
        auto widths = [this] {
            QList<int> w;
            for (int c = 0; c < ChapterModel::ColumnCount; ++c) {
                w << list()->header()->sectionSize(c);
            }
            return w;
        };
        const QList<int> fitted{ChapterModel::IdColumn, ChapterModel::ChapNumColumn, ChapterModel::ChapLineColumn};
        QCOMPARE(right(), list()->viewport()->width());
        QCOMPARE(list()->horizontalScrollBar()->maximum(), 0);
        list()->scrollToBottom(); // the widest IDs and line numbers
        for (int c : fitted) {
            QVERIFY2(h->sectionSize(c) >= static_cast<QAbstractItemView*>(list())->sizeHintForColumn(c), qPrintable(QString::number(c)));
        }

        // A wider window widens only the sharing columns.
        const QList<int> designed = widths();
        m_w->resize(m_w->width() + 300, m_w->height());
        QTRY_COMPARE(right(), list()->viewport()->width());
        for (int c = 0; c < ChapterModel::ColumnCount; ++c) {
            QVERIFY(fitted.contains(c) ? widths()[c] == designed[c] : widths()[c] > designed[c]);
        }

        // Dragging 内容's divider 40 pixels left gives them to the sharing column after it.
        const QList<int> before = widths();
        const QPoint at(h->sectionViewportPosition(ChapterModel::MemoColumn) + before[ChapterModel::MemoColumn] - 1,
                        h->height() / 2);
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseMove(h->viewport(), at - QPoint(40, 0));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, at - QPoint(40, 0));
        QList<int> expected = before;
        expected[ChapterModel::MemoColumn] -= 40;
        expected[ChapterModel::TitleColumn] += 40;
        QCOMPARE(widths(), expected);

        // The next start, at the same size, shows them again.
        const QSize size = m_w->size();
        m_w->close();
        QVERIFY(readFile(configPath()).contains("ColumnWidths="));
        showWindow();
        openNovel(novel(120, 1));
        m_w->mnuO_Analyze_Click();
        m_w->resize(size);
        QTRY_COMPARE(widths(), expected);

        // A double click on the divider gives the sharing columns their automatic shares back.
        QTest::mouseDClick(list()->header()->viewport(), Qt::LeftButton, {}, at - QPoint(40, 0));
        QCOMPARE(widths(), before);
    }

    void checkedRows_arePaintedWithItemBackColor()
    {
        m_settings.ItemBackColor = 0x0000FF; // red, as 0x00BBGGRR
        m_settings.ListBackColor = 0xFFFF00; // cyan
        showWindow();
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        PaintSpy painted;
        list()->viewport()->installEventFilter(&painted);
        QCoreApplication::processEvents();
        painted.region = QRegion();
        model().setChecked(1, true);
        // The whole row is repainted in its new colour, not only the cell with the check box.
        QTRY_VERIFY(painted.region.contains(list()->visualRect(model().index(1, ChapterModel::MemoColumn))));
        const QImage image = list()->viewport()->grab().toImage();
        auto background = [&](int row) {
            const QRect cell = list()->visualRect(model().index(row, ChapterModel::IdColumn));
            return image.pixelColor(cell.right() - 2, cell.center().y());
        };
        QCOMPARE(background(1), QColor(255, 0, 0));
        QCOMPARE(background(0), QColor(0, 255, 255));
    }

    void rightClick_popsUpTheItemMenu()
    {
        showWindow();
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        const QPoint at = list()->visualRect(model().index(1, 2)).center();
        QTest::mousePress(list()->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(list()->viewport(), Qt::RightButton, {}, at);
        auto* popup = m_w->findChild<QMenu*>(QStringLiteral("menuItem"));
        QTRY_VERIFY(popup->isVisible());
        popup->close();
    }

    // --- Edits and copy ----------------------------------------------------------------------------------

    void editTitle_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("preview");
        QTest::newRow("new title") << false << u"  新标题 "_qs << u"新标题"_qs << u"002-新标题"_qs;
        QTest::newRow("only spaces") << false << u"   "_qs << u"标题2"_qs << u"002-标题2"_qs;
        QTest::newRow("cancel") << true << QString() << u"标题2"_qs << u"002-标题2"_qs;
    }

    void editTitle()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, typed);
        QFETCH(QString, title);
        QFETCH(QString, preview);
        showWindow();
        openNovel(novel(3, 1));
        m_w->mnuO_Analyze_Click();
        selectRow(1);
        cancel ? cancelDialog() : typeInput(typed);
        QTest::keyClick(m_w.get(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(Prompts::log(), QStringList{u"编辑章节标题|请输入新的标题："_qs});
        QCOMPARE(model().cellText(1, ChapterModel::TitleColumn), title);
        QCOMPARE(model().cellText(1, ChapterModel::PreviewColumn), preview);
        QCOMPARE(model().title().at(1), title);
    }

    void doubleClick_editsTheTitle()
    {
        showWindow();
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        const QPoint at = list()->visualRect(model().index(0, 2)).center();
        typeInput(QStringLiteral(u"改过"));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(model().cellText(0, ChapterModel::TitleColumn), QStringLiteral(u"改过"));
    }

    void editChapNum_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chapnum");
        QTest::addColumn<QString>("preview");
        QTest::addColumn<QString>("report"); // error number and context, or empty
        QTest::newRow("number") << false << u"12"_qs << u"012"_qs << u"012-标题2"_qs << QString();
        QTest::newRow("spaces around") << false << u" 7 "_qs << u"007"_qs << u"007-标题2"_qs << QString();
        QTest::newRow("cancel changes nothing") << true << QString() << u"002"_qs << u"002-标题2"_qs << QString();
        QTest::newRow("not a number") << false << u"abc"_qs << u"002"_qs << u"002-标题2"_qs
                                      << u"错误号：13\r\n来源：frmMain::mnuIE_ChapNum_Click()"_qs;
        QTest::newRow("empty answer") << false << QString() << u"002"_qs << u"002-标题2"_qs
                                      << u"错误号：13\r\n来源：frmMain::mnuIE_ChapNum_Click()"_qs;
        QTest::newRow("beyond 16 bits") << false << u"40000"_qs << u"002"_qs << u"002-标题2"_qs
                                        << u"错误号：6\r\n来源：frmMain::mnuIE_ChapNum_Click()"_qs;
    }

    void editChapNum()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, typed);
        QFETCH(QString, chapnum);
        QFETCH(QString, preview);
        QFETCH(QString, report);
        showWindow();
        openNovel(novel(3, 1));
        m_w->mnuO_Analyze_Click();
        selectRow(1);
        cancel ? cancelDialog() : typeInput(typed);
        QTest::keyClick(m_w.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(Prompts::log().value(0), QStringLiteral(u"编辑章节序号|请输入新的章节序号："));
        QCOMPARE(Prompts::log().size(), report.isEmpty() ? 1 : 2);
        if (!report.isEmpty()) {
            QVERIFY(Prompts::log().at(1).startsWith(QStringLiteral(u"错误报告|")));
            QVERIFY(Prompts::log().at(1).endsWith(report));
        }
        QCOMPARE(model().cellText(1, ChapterModel::ChapNumColumn), chapnum);
        QCOMPARE(model().cellText(1, ChapterModel::PreviewColumn), preview);
    }

    void edits_withoutSelection_askForOne()
    {
        showWindow();
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        list()->selectionModel()->clear();
        m_w->mnuIE_Title_Click();
        button(QStringLiteral("editChapNum"))->trigger();
        m_w->mnuI_Copy_Click(); // does nothing
        QCOMPARE(Prompts::log(), (QStringList{u"编辑|请先选择一项！"_qs, u"编辑|请先选择一项！"_qs}));
    }

    void copy_data()
    {
        QTest::addColumn<bool>("openNovel");
        QTest::addColumn<bool>("openFails");
        QTest::addColumn<QString>("said");
        QTest::newRow("and open the novel") << true << false << u"复制|复制成功：已用文本编辑器打开小说，粘贴即可查找！"_qs;
        QTest::newRow("clipboard only") << false << false << u"复制|复制成功：标题行已在剪贴板上，可在文本编辑器里粘贴查找。"_qs;
        // No editor promised when none opened.
        QTest::newRow("opener fails") << true << true
                                      << u"复制|复制成功：标题行已在剪贴板上（无法用文本编辑器打开小说，请自行打开查找）。"_qs;
    }

    void copy()
    {
        QFETCH(bool, openNovel);
        QFETCH(bool, openFails);
        QFETCH(QString, said);
        m_settings.AutoOpenNotepad = openNovel;
        showWindow();
        Prompts::setOpenUrlFails(openFails);
        this->openNovel(gbk(u"　　第2章　离别  \r\n正文\r\n"_qs));
        m_w->mnuO_Analyze_Click();
        selectRow(0);
        buttonWidget(QStringLiteral("copy"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral(u"　　第2章　离别  "));
        QCOMPARE(Prompts::log(), QStringList{said});
        QCOMPARE(Prompts::openedUrls(),
                 openNovel ? QList<QUrl>{QUrl::fromLocalFile(m_w->document().FilePath)} : QList<QUrl>());
    }

    // 按编号整理 from the keyboard: the status bar offers it, one undo group applies it, each
    // changed row says why, and with 分析后自动整理 the list comes tidied.
    void tidy_fromTheMenuAndAfterAnalysis()
    {
        showWindow();
        QByteArray bytes = gbk(u"目录\r\n"_qs);
        for (int n = 1; n <= 4; ++n) {
            bytes += gbk(QStringLiteral(u"第%1章 标题%1\r\n").arg(n));
        }
        bytes += gbk(u"前言一\r\n前言二\r\n前言三\r\n前言四\r\n前言五\r\n前言六\r\n"_qs);
        for (int n = 1; n <= 4; ++n) {
            bytes += gbk(QStringLiteral(u"第%1章 标题%1\r\n一\r\n二\r\n三\r\n四\r\n五\r\n六\r\n").arg(n));
        }
        openNovel(bytes);
        m_w->mnuO_Analyze_Click();
        auto* offer = m_w->findChild<QToolButton*>(QStringLiteral("btnTidy"));
        QVERIFY(offer->isVisible());
        QCOMPARE(offer->text(), QStringLiteral(u"可整理: 忽略 4 个、恢复 0 个")); // the contents list
        const QVector<bool> before = model().ignoredRecords();
        QCOMPARE(before, QVector<bool>(8, false));

        QTest::keyClick(m_w.get(), Qt::Key_I, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_B);
        QTRY_VERIFY(model().isChecked(0));
        QCOMPARE(model().ignoredRecords(), (QVector<bool>{true, true, true, true, false, false, false, false}));
        QVERIFY(!offer->isVisible());
        QCOMPARE(model().index(0, ChapterModel::TitleColumn).data(Qt::ToolTipRole).toString(),
                 QStringLiteral(u"按编号整理时忽略：目录中的标题"));
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(model().ignoredRecords(), before);
        QVERIFY(offer->isVisible());

        m_w->settings().AutoTidy = true;
        QTest::keyClick(m_w.get(), Qt::Key_L, Qt::ControlModifier); // 重新分析
        QTRY_VERIFY(model().isChecked(0));
        QVERIFY(!offer->isVisible());
    }

    // 忽略重复章节 from the keyboard: a chapter scraped twice is marked with the line of its first
    // copy, checked as one undo step, and Ctrl+Z brings it back.
    void repeats_markedAndIgnoredFromTheMenu()
    {
        showWindow();
        const QString body = u"　　雾从海面上漫过来，码头上没有人，她把信折好放进口袋。\r\n"_qs;
        QByteArray bytes;
        for (int n : {1, 2, 3}) {
            bytes += gbk(QStringLiteral(u"第%1章 标题%1\r\n").arg(n));
            bytes += gbk(n == 2 ? u"　　别的内容，别的内容，别的内容，别的内容，别的内容。\r\n"_qs : (n == 3 ? body.mid(2) : body));
            bytes += gbk(u"二\r\n三\r\n四\r\n五\r\n六\r\n"_qs);
        }
        openNovel(bytes);
        m_w->mnuO_Analyze_Click();
        QCOMPARE(model().ignoredRecords(), (QVector<bool>{false, false, false}));
        QCOMPARE(model().index(2, ChapterModel::ChapNumColumn).data(Qt::ToolTipRole).toString(),
                 QStringLiteral(u"重复章节: 与第 1 行的章节相同"));
        QTest::keyClick(m_w.get(), Qt::Key_I, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_D);
        QTRY_COMPARE(model().ignoredRecords(), (QVector<bool>{false, false, true}));
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(model().ignoredRecords(), (QVector<bool>{false, false, false}));
    }

    // 输出 EPUB (Ctrl+E): the dialog's choices make the book, the notice opens its folder, and
    // the folder and chapters per book are remembered.
    void epub_fromTheDialogToTheFolder()
    {
        showWindow();
        openNovel(novel(3, 2));
        m_w->mnuO_Analyze_Click();
        QVERIFY(button(QStringLiteral("saveepub"))->isEnabled());
        const QString folder = path(QStringLiteral(u"书架"));
        QVERIFY(QDir().mkpath(folder));
        Prompts::queue([&](QDialog* d) {
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("txtTitle"))->text(), QStringLiteral(u"小说"));
            d->findChild<QLineEdit*>(QStringLiteral("txtTitle"))->setText(QStringLiteral(u"我的书"));
            d->findChild<QLineEdit*>(QStringLiteral("txtAuthor"))->setText(QStringLiteral(u"某人"));
            d->findChild<QSpinBox*>(QStringLiteral("spnChaps"))->setValue(2);
            d->findChild<QLineEdit*>(QStringLiteral("txtTarget"))->setText(folder + QStringLiteral(u"/我的书.epub"));
            d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        });
        Prompts::queue([](QDialog* d) {
            auto* open = d->findChild<QPushButton*>(QStringLiteral("btnOpenFolder"));
            QCOMPARE(open->text(), QStringLiteral(u"打开所在文件夹"));
            open->click();
        });
        QTest::keyClick(m_w.get(), Qt::Key_E, Qt::ControlModifier);
        QTRY_VERIFY(QFileInfo::exists(folder + QStringLiteral(u"/我的书 (3-3).epub")));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral(u"/我的书 (1-2).epub")));
        QCOMPARE(Prompts::pendingAnswers(), 0);
        QCOMPARE(Prompts::openedUrls(), QList<QUrl>{QUrl::fromLocalFile(folder)});
        Settings stored = Settings::defaults();
        LoadConfig(stored, configPath());
        QCOMPARE(stored.EpubFolder, folder);
        QCOMPARE(stored.EpubChapsInBook, qint16(2));
    }

    // --- Output ----------------------------------------------------------------------------------------

    void output_withOverwritePrompts()
    {
        showWindow();
        openNovel(novel(3, 2, 2));
        m_w->mnuO_Analyze_Click();
        const QString root = path(QStringLiteral(u"小说/"));
        const QStringList names = {u"Index.txt"_qs, u"001-标题1.txt"_qs, u"002-标题2.txt"_qs, u"003-标题3.txt"_qs};

        clickMessageButton(QMessageBox::Yes); // create the folder
        Prompts::queue([](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("btnOpenFolder"))->click(); });
        QTest::keyClick(m_w.get(), Qt::Key_S, Qt::ControlModifier);
        const QString done = u"输出|输出完成，共: 3 个文件!\r\n文件夹: "_qs + root;
        QCOMPARE(Prompts::log(), (QStringList{u"输出|文件夹: "_qs + root + u" 不存在,是否创建?"_qs, done}));
        QCOMPARE(Prompts::openedUrls(), QList<QUrl>{QUrl::fromLocalFile(root)}); // "打开文件夹"
        QCOMPARE(status(), QStringLiteral(u"输出完毕！　一共: 3/3 章"));
        QByteArray chapter[4];
        for (int i = 0; i < 4; ++i) {
            chapter[i] = readFile(root + names[i]);
            writeFile(root + names[i], "old\r\n");
        }
        QCOMPARE(chapter[1], gbk(u"第1章 标题1\r\n正文1-1\r\n正文1-2\r\n"_qs));

        Prompts::reset();
        const QString renamed = root + QStringLiteral(u"改名.txt");
        answerOverwrite("btnNo");                   // Index.txt stays
        answerOverwrite("btnOK", renamed);          // chapter 1 goes elsewhere
        answerOverwrite("btnAll");                  // chapter 2, and 3 without asking
        buttonWidget(QStringLiteral("saveout"))->click();
        QCOMPARE(Prompts::log(), (QStringList{u"确认文件替换|此文件夹已经包含一个名为“Index.txt”的文件。"_qs,
                                              u"确认文件替换|此文件夹已经包含一个名为“001-标题1.txt”的文件。"_qs,
                                              u"确认文件替换|此文件夹已经包含一个名为“002-标题2.txt”的文件。"_qs,
                                              u"输出|输出完成，写入 3 个文件，1 个已有的文件按要求保留未覆盖!\r\n文件夹: "_qs + root}));
        QCOMPARE(readFile(root + names[0]), QByteArray("old\r\n"));
        QCOMPARE(readFile(root + names[1]), QByteArray("old\r\n"));
        QCOMPARE(readFile(renamed), chapter[1]);
        QCOMPARE(readFile(root + names[2]), chapter[2]);
        QCOMPARE(readFile(root + names[3]), chapter[3]);
        QCOMPARE(m_w->document().DocState, int(Analysed));
        QVERIFY(menu(QStringLiteral("mnuO_SaveOut"))->isEnabled());
    }

    // --- Stop --------------------------------------------------------------------------------------------

    void stop_answeredNoThenYes()
    {
        showWindow();
        openNovel(novel(3000, 1));
        QToolButton* stop = buttonWidget(QStringLiteral("stop"));
        QList<int> progressAtQuestion;
        auto* bar = m_w->findChild<QProgressBar*>(QStringLiteral("prgDone"));
        atNextTurn(m_w.get(), [stop] { stop->click(); });
        Prompts::queue([&](QDialog* d) {
            progressAtQuestion << bar->value();
            atNextTurn(m_w.get(), [stop] { stop->click(); }); // Stop again once the pass goes on
            qobject_cast<QMessageBox*>(d)->button(QMessageBox::No)->click();
        });
        Prompts::queue([&](QDialog* d) {
            progressAtQuestion << bar->value();
            qobject_cast<QMessageBox*>(d)->button(QMessageBox::Yes)->click();
        });
        menu(QStringLiteral("mnuO_Analyze"))->trigger();
        QCOMPARE(Prompts::log(), (QStringList{u"分析|是否确定中断分析操作？"_qs, u"分析|是否确定中断分析操作？"_qs}));
        QVERIFY(progressAtQuestion.at(1) > progressAtQuestion.at(0)); // No went on reading
        QCOMPARE(status(), QStringLiteral(u"分析被中断！"));
        QCOMPARE(model().rowCount(), 0);
        QVERIFY(list()->isVisible());
        QVERIFY(!bar->isVisible());
        QCOMPARE(m_w->document().DocState, int(Opened));
        checkEnabled({u"mnuF_Open"_qs, u"mnuF_Close"_qs, u"mnuO_Analyze"_qs, u"mnuO_Option"_qs},
                     {u"open"_qs, u"close"_qs, u"analyze"_qs, u"config"_qs});
    }

    void longNovel_handsTheEventLoopATurnPerTitle()
    {
        showWindow();
        openNovel(novel(3000, 2));
        int turns = 0;
        std::function<void()> count = [&] {
            ++turns;
            if (m_w->document().DocState == Busy) {
                atNextTurn(m_w.get(), count);
            }
        };
        atNextTurn(m_w.get(), count);
        m_w->mnuO_Analyze_Click();
        QCOMPARE(model().rowCount(), 3000);
        // Lines of equal width without a full stop read as hard-wrapped: 重新分段 is suggested after the count.
        QVERIFY2(status().startsWith(QStringLiteral(u"一共: 3000/3000 章")), qPrintable(status()));
        QVERIFY2(turns >= 3000, qPrintable(QString::number(turns)));
    }

    void closeDuringAPass_stopsItThenCloses()
    {
        showWindow();
        openNovel(novel(500, 1));
        atNextTurn(m_w.get(), [this] { m_w->close(); });
        clickMessageButton(QMessageBox::Yes);
        m_w->mnuO_Analyze_Click();
        QCOMPARE(Prompts::log(), QStringList{u"分析|是否确定中断分析操作？"_qs});
        QVERIFY(!m_w->isVisible());
        QVERIFY(!m_w->document().isOpen());
    }

    // --- Window position and view ----------------------------------------------------------------------

    void savedPosition_data()
    {
        QTest::addColumn<QRect>("saved"); // twips
        QTest::addColumn<bool>("moved");
        QTest::addColumn<bool>("sized");
        const int screenTwips = QGuiApplication::primaryScreen()->geometry().width() * 15;
        QTest::newRow("applied") << QRect(1500, 1200, 9000, 6750) << true << true;
        QTest::newRow("left 0") << QRect(0, 1200, 9000, 6750) << false << false;
        QTest::newRow("top 0") << QRect(1500, 0, 9000, 6750) << false << false;
        QTest::newRow("width below 532") << QRect(1500, 1200, 531, 6750) << false << false;
        QTest::newRow("height below 400") << QRect(1500, 1200, 9000, 399) << false << false;
        QTest::newRow("as wide as the screen") << QRect(1500, 1200, screenTwips, 6750) << true << false;
    }

    void savedPosition()
    {
        QFETCH(QRect, saved);
        QFETCH(bool, moved);
        QFETCH(bool, sized);
        showWindow();
        const QRect designed = m_w->frameGeometry();
        m_w.reset();
        m_settings.PositionLeft = qint16(saved.x());
        m_settings.PositionTop = qint16(saved.y());
        m_settings.PositionWidth = qint16(saved.width());
        m_settings.PositionHeight = qint16(saved.height());
        showWindow();
        const QRect f = m_w->frameGeometry();
        QCOMPARE(f.topLeft(), moved ? QPoint(saved.x() / 15, saved.y() / 15) : designed.topLeft());
        QCOMPARE(f.size(), sized ? QSize(saved.width() / 15, saved.height() / 15) : designed.size());
    }

    void position_writtenOnCloseOnlyInNormalState_data()
    {
        QTest::addColumn<Qt::WindowState>("state");
        QTest::addColumn<bool>("logPosition");
        QTest::addColumn<bool>("written");
        QTest::newRow("normal") << Qt::WindowNoState << true << true;
        QTest::newRow("LogPosition off") << Qt::WindowNoState << false << false;
        QTest::newRow("minimised") << Qt::WindowMinimized << true << false;
        QTest::newRow("maximised") << Qt::WindowMaximized << true << false;
    }

    void position_writtenOnCloseOnlyInNormalState()
    {
        QFETCH(Qt::WindowState, state);
        QFETCH(bool, logPosition);
        QFETCH(bool, written);
        m_settings.LogPosition = logPosition;
        m_settings.MiniToTray = false;
        showWindow();
        m_w->setGeometry(QRect(120, 90, 640, 480));
        const QRect frame = m_w->frameGeometry(); // what is saved is the outer rectangle
        m_w->setWindowState(state);
        QCoreApplication::processEvents();
        m_w->close();

        Settings loaded = Settings::defaults();
        LoadConfig(loaded, configPath());
        const QRect stored(loaded.PositionLeft, loaded.PositionTop, loaded.PositionWidth, loaded.PositionHeight);
        const QRect twips(frame.x() * 15, frame.y() * 15, frame.width() * 15, frame.height() * 15);
        QCOMPARE(stored, written ? twips : QRect(0, 0, 0, 0));
        if (!written) {
            return;
        }
        // The next start opens where this one closed.
        m_settings = loaded;
        showWindow();
        QCOMPARE(m_w->frameGeometry(), frame);
    }

    // Each start reads the position that the previous one wrote; the window must not creep,
    // also where the desktop frames the window only after its first activation (X11).
    void savedPosition_sameAfterEveryStart_data()
    {
        QTest::addColumn<bool>("framedLate");
        QTest::newRow("framed at once") << false;
        QTest::newRow("framed after activation") << true;
    }

    void savedPosition_sameAfterEveryStart()
    {
        QFETCH(bool, framedLate);
        QVERIFY(WriteDefaultConfig(Settings::defaults(), configPath()));
        QVERIFY(SavePosition(configPath(), 1500, 1200, 9000, 6750));
        QList<QRect> stored;
        for (int start = 0; start < 3; ++start) {
            m_settings = Settings::defaults();
            m_frameLate = framedLate;
            showWindow();
            if (framedLate) {
                static_cast<LateFramedMain*>(m_w.get())->frameArrives();
            }
            m_w->close();
            Settings loaded = Settings::defaults();
            LoadConfig(loaded, configPath());
            stored << QRect(loaded.PositionLeft, loaded.PositionTop, loaded.PositionWidth, loaded.PositionHeight);
        }
        QCOMPARE(stored, QList<QRect>(3, QRect(1500, 1200, 9000, 6750)));
    }

    void unreadableConfig_keepsDefaultsAndSaysSo()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("config.ini"))); // there, but nothing to read
        m_settings = Settings::defaults();
        m_settings.TopMost = false;
        showWindow(false);
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY2(Prompts::log().first().startsWith(u"初始化|配置文件 config.ini 无法读取"_qs), qPrintable(Prompts::log().first()));
        Settings expected = Settings::defaults();
        expected.TopMost = false;
        QCOMPARE(m_settings.ListBackColor, expected.ListBackColor);
        QCOMPARE(m_settings.OutPaths, expected.OutPaths);
        m_w->close();
        QVERIFY(QFileInfo(configPath()).isDir());
        QCOMPARE(Prompts::log().size(), 1); // no write was tried on the way out
    }

    // A rule that cannot be loaded is named at start and on the options' cleanup page.
    void unloadableRule_namedAtStartAndInOptions()
    {
        QVERIFY(WriteDefaultConfig(Settings::defaults(), configPath()));
        QFile rules(path(QStringLiteral("config.rules.json")));
        QVERIFY(rules.open(QIODevice::WriteOnly));
        rules.write(R"([{"name":"好","pattern":"a"},{"name":"坏"}])");
        rules.close();
        showWindow(false);
        QCOMPARE(Prompts::log().size(), 1);
        QVERIFY2(Prompts::log().first().startsWith(u"初始化|有替换规则无法读取"_qs)
                     && Prompts::log().first().contains(u"第 2 项"_qs),
                 qPrintable(Prompts::log().first()));
        QCOMPARE(m_settings.ReplaceRules.size(), 1);
        frmConfig options(m_settings, configPath());
        auto* errors = options.findChild<QLabel*>(QStringLiteral("lblRuleErrors"));
        QVERIFY(errors && errors->text().contains(u"第 2 项"_qs));
    }

    void viewToggles_keepMenuAndButtonsInStep()
    {
        showWindow();
        auto* toolbar = m_w->findChild<QToolBar*>(QStringLiteral("toolConfig"));
        auto* statusBar = m_w->findChild<QStatusBar*>(QStringLiteral("staStatus"));
        buttonWidget(QStringLiteral("status"))->click();
        QVERIFY(!statusBar->isVisible());
        QVERIFY(!menu(QStringLiteral("mnuV_Statusbar"))->isChecked());
        menu(QStringLiteral("mnuV_Statusbar"))->trigger();
        QVERIFY(statusBar->isVisible());
        QVERIFY(button(QStringLiteral("status"))->isChecked());

        buttonWidget(QStringLiteral("tool"))->click();
        QVERIFY(!toolbar->isVisible());
        QVERIFY(!menu(QStringLiteral("mnuV_Toolbar"))->isChecked());
        menu(QStringLiteral("mnuV_Toolbar"))->trigger();
        QVERIFY(toolbar->isVisible());
        QVERIFY(button(QStringLiteral("tool"))->isChecked());
    }

    void toolbar_holdsItsItemsInOrder()
    {
        showWindow();
        QStringList keys;
        for (QAction* a : m_w->findChild<QToolBar*>(QStringLiteral("toolConfig"))->actions()) {
            keys << a->objectName();
        }
        QCOMPARE(keys, (QStringList{u"holder1"_qs, u"open"_qs,    u"close"_qs,      u"bar1"_qs,    u"analyze"_qs,
                                    u"saveout"_qs, u"saveepub"_qs, u"stop"_qs,    u"bar2"_qs,       u"tool"_qs,    u"status"_qs,
                                    u"bar3"_qs,    u"selall"_qs,  u"selreverse"_qs, u"selnone"_qs, u"selundo"_qs,
                                    u"bar4"_qs,    u"edit"_qs,    u"copy"_qs,       u"config"_qs,  u"bar5"_qs,
                                    u"about"_qs}));
        QCOMPARE(button(QStringLiteral("selundo"))->toolTip(), QStringLiteral(u"恢复选择"));
        QCOMPARE(buttonWidget(QStringLiteral("edit"))->popupMode(), QToolButton::MenuButtonPopup);
    }

    // --- Encodings, numbering review, chapter preview ----------------------------------------------------

    void encodingMenu_reopensTheNovelWithTheChoice()
    {
        m_settings.AutoAnalyze = true;
        showWindow();
        QVERIFY(menu(QStringLiteral("mnuE_Auto"))->isChecked());
        // Chosen with nothing open, GBK applies to the next open: UTF-8 text read as GBK has no titles.
        menu(QStringLiteral("mnuE_GBK"))->trigger();
        QVERIFY(m_w->OpenTextFile(writeNovel(u"第1章 标题1\r\n正文1\r\n第2章 标题2\r\n正文2\r\n"_qs.toUtf8())));
        QCOMPARE(model().rowCount(), 0);
        QCOMPARE(m_w->panelText(QStringLiteral("encoding")), QStringLiteral("GBK"));

        // Choosing UTF-8 opens the same file again, analysed on open as any open is.
        menu(QStringLiteral("mnuE_UTF8"))->trigger();
        QCOMPARE(column(ChapterModel::TitleColumn), (QStringList{u"标题1"_qs, u"标题2"_qs}));
        QCOMPARE(status(), QStringLiteral(u"一共: 2/2 章"));
        QCOMPARE(m_w->panelText(QStringLiteral("encoding")), QStringLiteral("UTF-8"));
        QVERIFY(!menu(QStringLiteral("mnuE_GBK"))->isChecked());
        selectRow(1);
        QCOMPARE(previewLines(), (QStringList{u"第2章 标题2"_qs, u"正文2"_qs}));

        // An analysed list is read again only when the user agrees.
        Prompts::reset();
        menu(QStringLiteral("mnuE_GBK"))->trigger();
        QCOMPARE(m_w->panelText(QStringLiteral("encoding")), QStringLiteral("UTF-8"));
        QVERIFY(Prompts::log().value(0).startsWith(u"分析|编码已改变"_qs));
        QVERIFY(menu(QStringLiteral("mnuE_UTF8"))->isChecked()); // declined: what is in force
        QVERIFY(!menu(QStringLiteral("mnuE_GBK"))->isChecked());
        clickMessageButton(QMessageBox::Yes);
        menu(QStringLiteral("mnuE_Auto"))->trigger(); // detected, and the panel and its tool tip say so
        QCOMPARE(m_w->panelText(QStringLiteral("encoding")), QStringLiteral(u"UTF-8（自动识别）"));
        QVERIFY(m_w->panelToolTip(QStringLiteral("encoding")).contains(u"检测"));
        m_w->CloseTextFile();
        QCOMPARE(m_w->panelText(QStringLiteral("encoding")), QString());
    }

    // A new title pattern from the options offers a new analysis, and says what it would undo.
    void newTitlePattern_offersAnalysisAgain()
    {
        showWindow();
        openNovel(novel(3, 1));
        m_w->mnuO_Analyze_Click();
        selectRow(0);
        typeInput(u"改过的标题"_qs);
        m_w->mnuIE_Title_Click();
        Prompts::reset();
        Prompts::queue([](QDialog* d) {
            d->findChild<QLineEdit*>(QStringLiteral("txtTitle"))->setText(u"第([0-9]+)章(.*)"_qs);
            d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        });
        clickMessageButton(QMessageBox::Yes);
        clickMessageButton(QMessageBox::Discard); // the edited review: 不保存
        m_w->mnuO_Option_Click();
        QCOMPARE(Prompts::log().value(1), u"分析|标题规则已改变，是否重新分析？\r\n（列表中修改过的标题和章节号会丢失。）"_qs);
        QCOMPARE(model().title().at(0), u"标题1"_qs); // analysed again: the edit is gone
    }

    // A novel with volumes: the 卷 column appears, the volume without a chapter is counted in
    // the status tool tip, a restart at a volume is no anomaly; a novel without volumes has
    // the list it always had.
    void volumes_columnAndReview()
    {
        showWindow();
        QFile fixture(QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        openNovel(gbk(QString::fromUtf8(fixture.readAll()).replace(u"\n"_qs, u"\r\n"_qs)));
        m_w->mnuO_Analyze_Click();
        QCOMPARE(status(), QStringLiteral(u"一共: 8/8 章"));
        QHeaderView* header = list()->header();
        QCOMPARE(header->count(), ChapterModel::VolumeColumn + 1);
        QVERIFY(header->sectionSize(ChapterModel::VolumeColumn) > 60);
        QVERIFY(header->sectionViewportPosition(ChapterModel::VolumeColumn) + 60 < list()->viewport()->width());
        QCOMPARE(anomalyRows(), QList<int>{7}); // 第四章 after 第二章; the restarts are none
        QVERIFY(m_w->panelToolTip(QStringLiteral("text")).endsWith(u"共 4 卷，其中 1 卷没有章节（见“卷”列的提示）"_qs));

        openNovel(gbk(u"第1章 甲\r\n正文\r\n"_qs));
        m_w->mnuO_Analyze_Click();
        QCOMPARE(header->count(), int(ChapterModel::ColumnCount));
    }

    // 文件 → 最近打开的文件: newest first, each with the encoding it was read in, kept in
    // config.ini; a novel that is gone leaves the list with a message when chosen.
    void recentFiles_reopenWithTheirEncoding()
    {
        showWindow();
        QVERIFY(!menu(QStringLiteral("mnuF_Recent"))->isEnabled());
        const QString utf8 = writeNovel(u"第1章 一\r\n正文\r\n"_qs.toUtf8(), u"u.txt"_qs);
        const QString gbkNovel = writeNovel(novel(2, 1), u"g&h.txt"_qs);
        menu(QStringLiteral("mnuE_UTF8"))->trigger();
        QVERIFY(m_w->OpenTextFile(utf8));
        m_w->CloseTextFile();
        menu(QStringLiteral("mnuE_Auto"))->trigger();
        QVERIFY(m_w->OpenTextFile(gbkNovel));
        QCOMPARE(menu(QStringLiteral("mnuF_Recent0"))->text(), u"&1 g&&h.txt"_qs);
        QCOMPARE(menu(QStringLiteral("mnuF_Recent1"))->text(), u"&2 u.txt  [UTF-8]"_qs);
        Settings stored = Settings::defaults();
        LoadConfig(stored, configPath());
        QCOMPARE(stored.RecentFiles, (QList<RecentFile>{{gbkNovel, u"auto"_qs}, {utf8, u"utf-8"_qs}}));

        // Alt+F, R, 2: the second novel.
        QTest::keyClick(m_w.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_R);
        QTRY_COMPARE(QApplication::activePopupWidget(), m_w->findChild<QMenu*>(QStringLiteral("mnuF_Recent")));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_2);
        QTRY_COMPARE(m_w->document().FilePath, utf8);
        QCOMPARE(m_w->panelText(QStringLiteral("encoding")), QStringLiteral("UTF-8"));
        QVERIFY(menu(QStringLiteral("mnuE_UTF8"))->isChecked());
        QVERIFY(menu(QStringLiteral("mnuF_Recent0"))->text().contains(u"u.txt"));

        QVERIFY(QFile::remove(gbkNovel));
        menu(QStringLiteral("mnuF_Recent1"))->trigger();
        QCOMPARE(Prompts::log(), QStringList{u"打开|文件已不存在，已从“最近打开的文件”中移除：\r\n"_qs + gbkNovel});
        QCOMPARE(m_w->document().FilePath, utf8);

        // The next start finds the list as it was left.
        m_w.reset();
        showWindow();
        QCOMPARE(m_w->findChild<QMenu*>(QStringLiteral("mnuF_Recent"))->actions().size(), 1);
        QVERIFY(menu(QStringLiteral("mnuF_Recent0"))->toolTip() == utf8 && menu(QStringLiteral("mnuF_Recent"))->isEnabled());
    }

    void numberingReview_marksJumpsAndFollowsChanges()
    {
        showWindow();
        QByteArray bytes; // 1 2 4 4 1 2 3: a gap, a duplicate and a restart
        for (int n : {1, 2, 4, 4, 1, 2, 3}) {
            bytes += gbk(QStringLiteral(u"第%1章 标题\r\n正文\r\n").arg(n));
        }
        openNovel(bytes);
        m_w->mnuO_Analyze_Click();
        QCOMPARE(status(), QStringLiteral(u"一共: 7/7 章")); // the count text stays as it is
        QCOMPARE(m_w->panelToolTip(QStringLiteral("text")), QStringLiteral(u"编号异常 3 处，按 F3 查看"));
        QCOMPARE(anomalyRows(), (QList<int>{2, 3, 4}));
        auto tip = [this](int row) { return model().index(row, ChapterModel::ChapNumColumn).data(Qt::ToolTipRole); };
        QCOMPARE(tip(2).toString(), anomalyDescription(NumberingAnomaly::Gap, 4, 2));
        QCOMPARE(tip(4).toString(), anomalyDescription(NumberingAnomaly::StepBack, 1, 4));

        // A marked cell shows a coloured bar at its left, one colour per kind; others none.
        list()->clearSelection();
        const QImage image = list()->viewport()->grab().toImage();
        auto marker = [&](int row) {
            const QRect cell = list()->visualRect(model().index(row, ChapterModel::ChapNumColumn));
            for (int x = cell.left(); x < cell.left() + 12; ++x) {
                if (image.pixelColor(x, cell.center().y()).hsvSaturation() > 150) {
                    return image.pixelColor(x, cell.center().y());
                }
            }
            return QColor();
        };
        QVERIFY(!marker(1).isValid() && marker(2).isValid() && marker(3).isValid() && marker(4).isValid());
        QVERIFY(marker(2) != marker(3) && marker(3) != marker(4));

        // F3 (in the right-click menu too) walks the marks in display order and wraps.
        QVERIFY(m_w->findChild<QMenu*>(QStringLiteral("menuItem"))->actions().contains(menu(u"mnuI_NextAnomaly"_qs)));
        QList<int> visited;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(m_w.get(), Qt::Key_F3);
            visited << list()->currentIndex().row();
        }
        QCOMPARE(visited, (QList<int>{2, 3, 4, 2}));

        // Ignoring the duplicate, or renumbering the gap, redoes the review.
        clickCheckBox(3);
        QCOMPARE(anomalyRows(), (QList<int>{2, 4}));
        QCOMPARE(m_w->panelToolTip(QStringLiteral("text")), QStringLiteral(u"编号异常 2 处，按 F3 查看"));
        selectRow(2);
        typeInput(QStringLiteral("3"));
        m_w->mnuIE_ChapNum_Click();
        QCOMPARE(anomalyRows(), (QList<int>{4}));
        m_w->CloseTextFile();
        QVERIFY(m_w->panelToolTip(QStringLiteral("text")).isEmpty());
    }

    void preview_showsTheSelectedChapterAsTheOutputWould()
    {
        m_settings.TextFilters = QStringLiteral(u"广告\r\n");
        showWindow();
        QByteArray bytes = gbk(u"第1章 开始\r\n正文一广告正文\r\n\r\n正文二\r\n第2章 很长\r\n"_qs);
        for (int i = 1; i <= 250; ++i) {
            bytes += gbk(QStringLiteral(u"长%1\r\n").arg(i));
        }
        const QString file = writeNovel(bytes + gbk(u"第3章 结尾\r\n末行\r\n"_qs));
        QVERIFY(m_w->OpenTextFile(file));
        m_w->mnuO_Analyze_Click();

        // Title line to just before the next title; the filter string struck out, the blank line marked.
        selectRow(0);
        QCOMPARE(previewLines(), (QStringList{u"第1章 开始"_qs, u"正文一广告正文"_qs, ChapterPreviewPane::DroppedMark,
                                              u"正文二"_qs}));
        const QTextBlock filtered = preview()->document()->findBlockByNumber(1);
        auto struckOut = [&](int at) {
            QTextCursor c(filtered);
            c.setPosition(filtered.position() + at + 1); // the format of the character before the cursor
            return c.charFormat().fontStrikeOut();
        };
        QVERIFY(!struckOut(2) && struckOut(3) && struckOut(4) && !struckOut(5));

        selectRow(1); // longer than 200 lines: cut, with a last "…" line
        QCOMPARE(previewLines().size(), 201);
        QCOMPARE(previewLines().at(199), QStringLiteral(u"长199"));
        QCOMPARE(previewLines().last(), ChapterPreviewPane::CutMark);
        selectRow(2);
        QCOMPARE(previewLines(), (QStringList{u"第3章 结尾"_qs, u"末行"_qs}));

        // An ignored title's lines belong to the chapter before it, as in the output.
        selectRow(0);
        clickCheckBox(1);
        QCOMPARE(previewLines().value(4), QStringLiteral(u"第2章 很长"));

        clickMessageButton(QMessageBox::Discard);
        m_w->mnuO_Analyze_Click();
        QVERIFY(previewLines().isEmpty());
        QVERIFY(QFile::remove(file));
        selectRow(2);
        QVERIFY(previewLines().value(0).startsWith(u"无法读取章节："));
    }

    void preview_visibilityIsKeptInTheConfig()
    {
        showWindow();
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        QVERIFY(preview()->isVisible());
        menu(QStringLiteral("mnuV_Preview"))->trigger();
        QVERIFY(!preview()->isVisible());
        QVERIFY(readFile(configPath()).contains("ShowPreview=False\r\n"));

        // The next start comes up the same way; shown again, the pane catches up with the selection.
        m_w.reset();
        m_settings.ShowPreview = true; // config.ini has the last word
        showWindow();
        QVERIFY(!menu(QStringLiteral("mnuV_Preview"))->isChecked() && !preview()->isVisible());
        openNovel(novel(2, 1));
        m_w->mnuO_Analyze_Click();
        selectRow(1);
        QVERIFY(previewLines().isEmpty());
        menu(QStringLiteral("mnuV_Preview"))->trigger();
        QCOMPARE(previewLines(), (QStringList{u"第2章 标题2"_qs, u"正文2-1"_qs}));
        QVERIFY(readFile(configPath()).contains("ShowPreview=True\r\n"));
    }

    // --- Notification area, options, about ---------------------------------------------------------------

    void minimiseToTray_thenBackInNormalState_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("double click") << 0;
        QTest::newRow("balloon click") << 1;
        QTest::newRow("显示窗口") << 2;
    }

    void minimiseToTray_thenBackInNormalState()
    {
        QFETCH(int, how);
        showWindow();
        m_w->showMinimized();
        QTRY_VERIFY(!m_w->isVisible());
        QVERIFY(m_tray->shown);
        QCOMPARE(m_tray->added.first().tip, AppTitle());
        how == 0 ? emit m_tray->doubleClicked()
                 : how == 1 ? emit m_tray->balloonClicked() : menu(QStringLiteral("mnu_T_Show"))->trigger();
        QVERIFY(m_w->isVisible() && !m_w->isMinimized());
        QVERIFY(!m_tray->shown);
    }

    void trayMenu_hideShowExit()
    {
        showWindow();
        auto* trayMenu = m_w->findChild<QMenu*>(QStringLiteral("menuTray"));
        QCOMPARE(trayMenu->defaultAction(), menu(QStringLiteral("mnu_T_Show")));
        emit m_tray->contextRequested(QPoint(20, 20));
        QTRY_VERIFY(trayMenu->isVisible());
        trayMenu->close();
        m_w->resize(100, 100);
        QVERIFY(m_w->frameGeometry().width() >= 532 && m_w->frameGeometry().height() >= 400);

        menu(QStringLiteral("mnu_T_Hide"))->trigger();
        menu(QStringLiteral("mnu_T_Hide"))->trigger(); // hidden already: nothing to do
        QCOMPARE(m_tray->added.size(), 1);
        // A balloon seen while hidden is not shown again the next time the window hides.
        m_w->ShowNotice(u"输出完成，共: 3 个文件!"_qs, u"输出"_qs, 0);
        menu(QStringLiteral("mnu_T_Show"))->trigger();
        menu(QStringLiteral("mnu_T_Hide"))->trigger();
        QCOMPARE(m_tray->added.size(), 2);
        QCOMPARE(m_tray->added.last().balloonText, QString());

        bool iconRemoved = false;
        m_tray->removedOut = &iconRemoved;
        QSignalSpy unloaded(m_w.get(), &frmMain::unloaded);
        menu(QStringLiteral("mnu_T_Exit"))->trigger();
        QVERIFY(unloaded.size() == 1 && iconRemoved);
    }

    void notice_isABalloonOnlyWhereItIsSeen_data()
    {
        QTest::addColumn<bool>("miniToTray");
        QTest::addColumn<bool>("balloonTip");
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("in the tray") << true << true << true;
        QTest::newRow("balloon tips off") << true << false << true;
        QTest::newRow("minimised, no icon") << false << true << true;
        QTest::newRow("no notification area") << true << true << false;
    }

    void notice_isABalloonOnlyWhereItIsSeen()
    {
        QFETCH(bool, miniToTray);
        QFETCH(bool, balloonTip);
        QFETCH(bool, trayAvailable);
        m_settings.MiniToTray = miniToTray;
        m_settings.ShowBalloonTip = balloonTip;
        m_trayAvailable = trayAvailable;
        showWindow();
        m_w->showMinimized();
        QCoreApplication::processEvents();
        if (!trayAvailable) {
            menu(QStringLiteral("mnu_T_Hide"))->trigger(); // no icon to come back from: stays
        }
        QCOMPARE(m_w->isVisible(), !(miniToTray && trayAvailable));
        QVERIFY(m_w->isMinimized());
        m_w->ShowNotice(u"未发现章节标题"_qs, u"分析"_qs, 1);
        const QStringList shown{u"分析|未发现章节标题"_qs};
        const bool balloon = miniToTray && balloonTip && trayAvailable;
        QCOMPARE(balloons(), balloon ? shown : QStringList());
        QCOMPARE(Prompts::log(), balloon ? QStringList() : shown);
        QVERIFY(!balloon || m_tray->modified.last().first.balloonFlag == 2); // warning
    }

    void passesInTheTray_reportInBalloons()
    {
        showWindow();
        openNovel(novel(300, 1));
        menu(QStringLiteral("mnu_T_Hide"))->trigger();
        m_w->mnuO_Analyze_Click();
        clickMessageButton(QMessageBox::Yes); // the output folder is a question, balloons or not
        m_w->mnuO_SaveOut_Click();
        QCOMPARE(Prompts::log().size(), 1);
        const QStringList sent = balloons();
        QCOMPARE(sent.first(), QStringLiteral(u"正在分析...|已经分析：0%"));
        QVERIFY(sent.contains(QStringLiteral(u"分析|分析完成，一共 300 章节！")));
        QVERIFY(sent.contains(QStringLiteral(u"正在输出|已经输出：0%")));
        QCOMPARE(sent.last(), QStringLiteral(u"输出|输出完成，共: 300 个文件!"));
        QVERIFY2(sent.size() < 20, qPrintable(QString::number(sent.size()))); // not one per title
        emit m_tray->balloonClicked(); // the output's balloon: its folder opens, the window returns
        QTRY_VERIFY(m_w->isVisible());
        QCOMPARE(Prompts::openedUrls(), QList<QUrl>{QUrl::fromLocalFile(path(QStringLiteral(u"小说/")))});
        menu(QStringLiteral("mnu_T_Hide"))->trigger();

        m_tray->available = false; // the notification area goes: the window comes back
        QTRY_VERIFY_WITH_TIMEOUT(m_w->isVisible(), 5000);
    }

    void options_fromTheMenu_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("OK") << u"btnOK"_qs;
        QTest::newRow("Cancel") << u"btnCancel"_qs;
    }

    void options_fromTheMenu()
    {
        QFETCH(QString, button);
        const bool ok = button == QLatin1String("btnOK");
        showWindow();
        const QByteArray before = readFile(configPath());
        QString font;
        Prompts::queue([&](QDialog* d) {
            d->findChild<QLineEdit*>(QStringLiteral("txtColor_0"))->setText(QStringLiteral("&HC0FFEE"));
            auto* fonts = d->findChild<QComboBox*>(QStringLiteral("cmbFonts"));
            fonts->setCurrentIndex(fonts->currentIndex() == 0 ? 1 : 0);
            font = fonts->currentText();
            d->findChild<QCheckBox*>(QStringLiteral("chkTopMost"))->click();
            d->findChild<QPushButton*>(button)->click();
        });
        QTest::keyClick(m_w.get(), Qt::Key_F4);
        QCOMPARE(Prompts::log(), QStringList{u"选项...|"_qs});
        QCOMPARE(list()->palette().color(QPalette::Base), ok ? QColor(0xEE, 0xFF, 0xC0) : QColor(Qt::white));
        QCOMPARE(list()->font().family() == font, ok);
        QCOMPARE(m_w->windowFlags().testFlag(Qt::WindowStaysOnTopHint), ok);
        // Saved as config.ini was with these three lines changed (comments and order kept; blank
        // lines and empty lists aside), or not at all.
        auto entries = [](const QByteArray& bytes) {
            QStringList out;
            QString section;
            for (const QString& line : GbkCodec::instance().decode(bytes).split(u"\r\n"_qs)) {
                if (line.startsWith(u'[')) {
                    section = line;
                } else if (!line.isEmpty()) {
                    out << section + u' ' + line;
                }
            }
            return out;
        };
        QStringList expected = entries(before);
        for (const QString& line : {u"ListBackColor=&HC0FFEE"_qs, u"TopMost=True"_qs, u"FontName="_qs + font}) {
            const QString key = line.section(u'=', 0, 0) + u'=';
            const auto at = std::find_if(expected.begin(), expected.end(), [&](const QString& e) {
                return e.startsWith(u"[favorite] "_qs + key);
            });
            QVERIFY(at != expected.end());
            *at = u"[favorite] "_qs + line;
        }
        if (ok) {
            QCOMPARE(entries(readFile(configPath())), expected);
        } else {
            QCOMPARE(readFile(configPath()), before);
        }
    }

    void options_suggestRuleTriesTheOpenNovel()
    {
        showWindow();
        QByteArray bytes; // a "第…回" novel, titles well apart as in a real one
        for (int k = 1; k <= 40; ++k) {
            bytes += gbk(QStringLiteral(u"第%1回 回目%1\r\n").arg(k)) + gbk(u"正文正文正文。\r\n"_qs).repeated(20);
        }
        openNovel(bytes);
        Prompts::queue([](QDialog* d) {
            d->findChild<QPushButton*>(QStringLiteral("btnSuggestRule"))->click();
            d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        });
        m_w->mnuO_Option_Click();
        QVERIFY2(m_settings.TitleText.contains(u"回"), qPrintable(m_settings.TitleText));
        m_w->mnuO_Analyze_Click(); // the trial left the file for the analysis as it found it
        QCOMPARE(model().rowCount(), 40);
    }

    void about_fromHelpToolbarAndTrayMenu()
    {
        showWindow();
        for (const QString& name : {u"mnuH_About"_qs, u"about"_qs, u"mnu_T_About"_qs}) {
            Prompts::queue([](QDialog* d) { QVERIFY(qobject_cast<frmAbout*>(d)); });
            m_w->findChild<QAction*>(name)->trigger();
        }
        QCOMPARE(Prompts::log(), QStringList(3, u"关于|"_qs));
    }
};

QTEST_MAIN(tst_FrmMain)
#include "tst_frmmain.moc"
