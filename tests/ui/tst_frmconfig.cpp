#include "Corpus.h"
#include "ErrorHook.h"
#include "Prompts.h"
#include "cCommonDialog.h"
#include "frmConfig.h"

#include "UiTest.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "core/TitleRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString readGbk(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QStringDecoder decoder("GBK");
    return decoder.decode(file.readAll());
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void answerInput(const QString& text) {
    Prompts::queue([text](QDialog* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        QVERIFY(input);
        input->setTextValue(text);
        input->accept();
    });
}

// Every entry of the rule list with its tool tip (the rule and example, or the error).
QStringList shownRules(const QComboBox* combo) {
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i) + u'|' + combo->itemData(i, Qt::ToolTipRole).toString();
    return shown;
}

// A choice in the list as the popup makes it.
void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// Leaving a box the way a user does, by the focus going elsewhere.
void leave(QLineEdit* box) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(box, &out);
}

} // namespace

class tst_frmConfig : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_config;
    Settings m_settings;
    QStringList m_errors;

    template <typename T> T* get(QWidget* dialog, const QString& name) {
        T* widget = dialog->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }

    std::unique_ptr<frmConfig> open() {
        auto dialog = std::make_unique<frmConfig>(m_settings, m_config);
        dialog->show();
        return dialog;
    }

    void click(QWidget* dialog, const QString& button) { get<QPushButton>(dialog, button)->click(); }

private slots:
    // Alt+O is OK's alone and Alt+P 窗口置顶's: no other control takes the same letter.
    void altLetters_reachTheirOwnControl() {
        auto dialog = open();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        dialog->ShowPage(2);
        auto* topMost = get<QCheckBox>(dialog.get(), u"chkTopMost"_s);
        const bool before = topMost->isChecked();
        QTest::keyClick(dialog.get(), Qt::Key_P, Qt::AltModifier);
        QTRY_COMPARE(topMost->isChecked(), !before); // a mnemonic clicks after its animation
        QTest::keyClick(dialog.get(), Qt::Key_O, Qt::AltModifier);
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_settings.TopMost, !before);
    }

    void init() {
        QVERIFY(m_dir.isValid());
        m_config = m_dir.filePath(u"config.ini"_s);
        QFile::remove(m_config);
        m_settings = Settings::defaults();
        m_settings.TopMost = false;
        Prompts::setTestMode(true);
        Prompts::reset();
        cCommonDialog::clearAnswers();
        m_errors.clear();
        setErrorReporter([this](const QString& text, qint32, const QString& context, QWidget*) {
            m_errors << context + u": "_s + text;
        });
    }

    void load_fillsEveryControl() {
        m_settings.TitleText = u"第(.+)回(.*)"_s;
        m_settings.OutPaths = u"(default)\r\n/srv/books/\r\n/tmp/out/"_s;
        m_settings.PathDefaultSelect = 2;
        m_settings.TextFilters = u"a\r\n\r\nb"_s;
        m_settings.OutFiles = u"%chap3%\r\n%title%"_s;
        m_settings.FileDefaultSelect = 1;
        m_settings.ChapsInFile = 3;
        m_settings.FilesInDir = 0;
        m_settings.InvalidLines = 12;
        m_settings.SetInvalidTitle = false;
        m_settings.AppendText = true;
        m_settings.MiniToTray = false;
        m_settings.ListBackColor = 0xFF;
        m_settings.ItemBackColor = 0xD1D1D1;
        m_settings.FilterAfterLine = false;
        const QStringList families = QFontDatabase::families();
        QVERIFY(!families.isEmpty());
        m_settings.FontName = families.last();

        auto dialog = open();
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtTitle"_s)->text(), m_settings.TitleText);
        auto* paths = get<QComboBox>(dialog.get(), u"cmbOutPaths"_s);
        QCOMPARE(paths->count(), 3);
        QCOMPARE(paths->currentText(), u"/tmp/out/"_s);
        auto* filters = get<QListWidget>(dialog.get(), u"lstFilters"_s);
        QCOMPARE(filters->count(), 2);
        QCOMPARE(filters->item(1)->text(), u"b"_s);
        QCOMPARE(get<QComboBox>(dialog.get(), u"cmbFileNames"_s)->currentText(), u"%title%"_s);
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtChapsInFile"_s)->text(), u"3"_s);
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtFilesInDir"_s)->text(), u"0"_s);
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtInvalidLines"_s)->text(), u"12"_s);
        QVERIFY(!get<QLineEdit>(dialog.get(), u"txtInvalidLines"_s)->isEnabled());
        QVERIFY(get<QCheckBox>(dialog.get(), u"chkAppendText"_s)->isChecked());
        QVERIFY(!get<QCheckBox>(dialog.get(), u"chkMiniToTray"_s)->isChecked());
        QVERIFY(get<QCheckBox>(dialog.get(), u"chkShowBalloon"_s)->isChecked());
        auto* color = get<QLineEdit>(dialog.get(), u"txtColor_0"_s);
        QCOMPARE(color->text(), u"&HFF"_s);
        QCOMPARE(color->palette().color(QPalette::Base), QColor(255, 0, 0));
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtColor_1"_s)->text(), u"&HD1D1D1"_s);
        QCOMPARE(get<QComboBox>(dialog.get(), u"cmbFonts"_s)->currentText(), m_settings.FontName);
        QCOMPARE(get<QComboBox>(dialog.get(), u"cmbFilterAfterLine"_s)->currentIndex(), 0);
        QCOMPARE(get<QTabWidget>(dialog.get(), u"tabConfig"_s)->currentIndex(), 0);
        QVERIFY(!get<QPushButton>(dialog.get(), u"btnApply"_s)->isEnabled());
        QVERIFY(!dialog->Changed());
    }

    void dialog_takesSizeFontNameAndTopMost() {
        m_settings.TopMost = true;
        m_settings.FontName = QFontDatabase::families().value(0);
        auto dialog = open();
        QCOMPARE(dialog->size(), QSize(442, 560));
        QVERIFY(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtTitle"_s)->font().families().value(0),
                 m_settings.FontName);
        m_settings.TopMost = false;
        QVERIFY(!open()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    // An installed face (scripts/setup.sh installs the WenQuanYi ones) is shown as saved; a
    // missing one falls back to Tahoma where it exists, else to the system's own face.
    void load_fontFaceShownOrFallenBack_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("shown");
        const QStringList families = QFontDatabase::families();
        const QString system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        QVERIFY(families.contains(system));
        // fonts-wqy-microhei brings two faces: take one that is not the fallback itself.
        const QString installed = system == u"WenQuanYi Micro Hei"_s ? u"WenQuanYi Micro Hei Mono"_s : u"WenQuanYi Micro Hei"_s;
        QVERIFY2(families.contains(installed), "fonts-wqy-microhei is missing");
        QTest::newRow("installed") << installed << installed;
        QTest::newRow("missing") << u"No Such Face 9"_s << (families.contains(u"Tahoma"_s) ? u"Tahoma"_s : system);
    }

    void load_fontFaceShownOrFallenBack() {
        QFETCH(QString, saved);
        m_settings.FontName = saved;
        auto dialog = open();
        QTEST(get<QComboBox>(dialog.get(), u"cmbFonts"_s)->currentText(), "shown");
    }

    // A hand-edited index must not leave the lists half filled, or Apply would save them so.
    void load_indexNamingNoEntry_fillsEverythingAndApplyKeepsLists() {
        m_settings.PathDefaultSelect = 7;
        m_settings.OutPath = u"/srv/elsewhere/"_s;
        m_settings.FileDefaultSelect = -1;
        auto dialog = open();
        auto* paths = get<QComboBox>(dialog.get(), u"cmbOutPaths"_s);
        QCOMPARE(paths->count(), 3);
        QCOMPARE(paths->currentText(), u"/srv/elsewhere/"_s);
        QCOMPARE(get<QListWidget>(dialog.get(), u"lstFilters"_s)->count(), 3);
        QCOMPARE(get<QComboBox>(dialog.get(), u"cmbFileNames"_s)->count(), 3);
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtChapsInFile"_s)->text(), u"1"_s);

        get<QCheckBox>(dialog.get(), u"chkAutoAnalyze"_s)->click();
        click(dialog.get(), u"btnApply"_s);
        QCOMPARE(splitList(m_settings.OutPaths).size(), 4);
        QCOMPARE(m_settings.PathDefaultSelect, 3);
        QCOMPARE(m_settings.OutPath, u"/srv/elsewhere/"_s);
        QCOMPARE(splitList(m_settings.OutFiles).size(), 3);
        const QString saved = readGbk(m_config);
        QVERIFY(saved.contains(u"path3=/srv/elsewhere/"_s));
        QVERIFY(saved.contains(u"file2=(%chap3%)%title%"_s));
    }

    void numberBox_repairedOnLeaving_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("chaps empty") << u"txtChapsInFile"_s << QString() << u"1"_s;
        QTest::newRow("chaps too long") << u"txtChapsInFile"_s << u"12345"_s << u"1234"_s;
        QTest::newRow("chaps zero kept") << u"txtChapsInFile"_s << u"0"_s << u"0"_s;
        QTest::newRow("chaps no letters") << u"txtChapsInFile"_s << u"1a2-b"_s << u"12"_s;
        QTest::newRow("files leading zeros") << u"txtFilesInDir"_s << u"0050"_s << u"50"_s;
        QTest::newRow("files all zeros") << u"txtFilesInDir"_s << u"000"_s << u"0"_s;
        QTest::newRow("files empty") << u"txtFilesInDir"_s << QString() << u"0"_s;
        QTest::newRow("files zeros then long") << u"txtFilesInDir"_s << u"0123456"_s << u"1234"_s;
        QTest::newRow("lines empty") << u"txtInvalidLines"_s << QString() << u"1"_s;
        QTest::newRow("lines too long") << u"txtInvalidLines"_s << u"99999"_s << u"9999"_s;
    }
    void numberBox_repairedOnLeaving() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto dialog = open();
        auto* edit = get<QLineEdit>(dialog.get(), box);
        edit->setEnabled(true);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, typed);
        leave(edit);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(edit->cursorPosition(), int(shown.size()));
    }

    void numberBox_repairedWhenApplyComesWithoutLeaving() {
        auto dialog = open();
        auto* edit = get<QLineEdit>(dialog.get(), u"txtChapsInFile"_s);
        edit->clear();
        QTest::keyClicks(edit, u"00123456"_s);
        QVERIFY(dialog->ApplyConfig());
        QCOMPARE(m_settings.ChapsInFile, qint16(12));
        QVERIFY(readGbk(m_config).contains(u"ChapsInFile=12\r\n"_s));
    }

    // Every page with the dialog's own buttons: no access key twice.
    void accessKeys_noneTwiceOnAPage() {
        auto dialog = open();
        auto* tabs = get<QTabWidget>(dialog.get(), u"tabConfig"_s);
        const QList<QWidget*> buttons{get<QPushButton>(dialog.get(), u"btnOK"_s), get<QPushButton>(dialog.get(), u"btnCancel"_s),
                                      get<QPushButton>(dialog.get(), u"btnApply"_s)};
        QStringList clashes;
        for (int i = 0; i < tabs->count(); ++i) {
            for (const QString& clash : UiTest::clashingAccessKeys(QList<QWidget*>{tabs->widget(i)} + buttons)) {
                clashes << tabs->tabText(i) + u": "_s + clash;
            }
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join(u"; "_s)));
    }

    void colour_chooserAndTypedText() {
        auto dialog = open();
        auto* box = get<QLineEdit>(dialog.get(), u"txtColor_1"_s);
        cCommonDialog::queueColorAnswer(-1);
        click(dialog.get(), u"btnColor_1"_s);
        QCOMPARE(box->text(), u"&HD1D1D1"_s);
        QVERIFY(!dialog->Changed());

        QCOMPARE(cCommonDialog::lastRequest().color, 0xD1D1D1); // the chooser opens at the colour in force
        cCommonDialog::queueColorAnswer(0xFF);
        click(dialog.get(), u"btnColor_1"_s);
        QCOMPARE(box->text(), u"&HFF"_s);
        QCOMPARE(box->palette().color(QPalette::Base), QColor(255, 0, 0));
        QCOMPARE(get<QLabel>(dialog.get(), u"picColor_1"_s)->palette().color(QPalette::Window), QColor(255, 0, 0));
        QVERIFY(dialog->Changed());

        box->setText(u"blue"_s);
        leave(box);
        QCOMPARE(box->text(), u"blue"_s);
        QCOMPARE(box->palette().color(QPalette::Base), QColor(Qt::black));
        QVERIFY(dialog->ApplyConfig());
        QCOMPARE(m_settings.ItemBackColor, 0);
    }

    void filters_duplicatesWarnAndLeaveListAlone() {
        auto dialog = open();
        auto* list = get<QListWidget>(dialog.get(), u"lstFilters"_s);
        answerInput(u"  广告 "_s);
        click(dialog.get(), u"btnFilterAdd"_s);
        QCOMPARE(Prompts::log().last(), u"添加过滤字符串|以下字符串已经存在!\n广告"_s);
        QCOMPARE(list->count(), 3);

        answerInput(u"新词"_s);
        click(dialog.get(), u"btnFilterAdd"_s);
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->selectedItems().value(0)->text(), u"新词"_s);

        // Editing to its own text is no duplicate; to another entry's text is.
        answerInput(u"新词"_s);
        click(dialog.get(), u"btnFilterEdit"_s);
        QCOMPARE(Prompts::log().last(), u"编辑过滤字符串|请写出要过滤的字符串:"_s);
        answerInput(u"等等"_s);
        click(dialog.get(), u"btnFilterEdit"_s);
        QCOMPARE(Prompts::log().last(), u"编辑|以下字符串已经存在!\n等等"_s);
        QCOMPARE(list->item(3)->text(), u"新词"_s);

        list->clearSelection();
        click(dialog.get(), u"btnFilterEdit"_s);
        QCOMPARE(Prompts::log().last(), u"编辑过滤字符串|请先选择一项!"_s);
        click(dialog.get(), u"btnFilterSub"_s);
        QCOMPARE(Prompts::log().last(), u"删除字符串|请选择一项或多项!"_s);

        // A cancelled or blank answer changes nothing.
        Prompts::queue([](QDialog* d) { d->reject(); });
        click(dialog.get(), u"btnFilterAdd"_s);
        answerInput(u"   "_s);
        click(dialog.get(), u"btnFilterAdd"_s);
        QCOMPARE(list->count(), 4);
        QCOMPARE(Prompts::pendingAnswers(), 0);
    }

    void paths_andTemplates_duplicatesAndRemoval() {
        auto dialog = open();
        auto* paths = get<QComboBox>(dialog.get(), u"cmbOutPaths"_s);
        const QString existing = paths->itemText(1);
        cCommonDialog::queueFolderAnswer(existing.chopped(1));
        click(dialog.get(), u"btnPathEdit"_s);
        QCOMPARE(Prompts::log().last(), u"选择目录|已经包含目录："_s + existing);
        QCOMPARE(paths->count(), 3);
        QCOMPARE(cCommonDialog::lastRequest().directory, QCoreApplication::applicationDirPath());

        cCommonDialog::queueFolderAnswer(m_dir.path());
        click(dialog.get(), u"btnPathEdit"_s);
        QCOMPARE(paths->count(), 4);
        QCOMPARE(paths->currentText(), m_dir.path() + u'/');
        QVERIFY(get<QPushButton>(dialog.get(), u"btnApply"_s)->isEnabled());

        paths->setEditText(u"/typed/over/"_s);
        click(dialog.get(), u"btnPathSub"_s);
        QCOMPARE(Prompts::log().last(), u"删除路径|请选择一项!"_s);
        QCOMPARE(paths->count(), 4);
        paths->setCurrentIndex(2);
        click(dialog.get(), u"btnPathSub"_s);
        QCOMPARE(paths->count(), 3);
        QCOMPARE(paths->currentIndex(), 1);

        auto* files = get<QComboBox>(dialog.get(), u"cmbFileNames"_s);
        answerInput(files->itemText(2));
        click(dialog.get(), u"btnFileAdd"_s);
        QCOMPARE(Prompts::log().last(), u"添加格式|以下格式已经存在!\n"_s + files->itemText(2));
        for (int i = 0; i < 3; ++i) {
            files->setCurrentIndex(0);
            click(dialog.get(), u"btnFileSub"_s);
        }
        QCOMPARE(files->count(), 0);
        QCOMPARE(files->currentText(), QString());
        click(dialog.get(), u"btnFileSub"_s);
        QCOMPARE(Prompts::log().last(), u"删除格式|请选择一项!"_s);
    }

    void okWithoutEditing_savesNothing() {
        QVERIFY(WriteDefaultConfig(m_settings, m_config));
        const QByteArray before = readBytes(m_config);
        auto dialog = open();
        get<QTabWidget>(dialog.get(), u"tabConfig"_s)->setCurrentIndex(1);
        click(dialog.get(), u"btnOK"_s);
        QCOMPARE(readBytes(m_config), before);
        QVERIFY(m_errors.isEmpty());
    }

    void cancel_savesNothingAndKeepsSettings() {
        auto dialog = open();
        get<QLineEdit>(dialog.get(), u"txtTitle"_s)->setText(u"x"_s);
        get<QCheckBox>(dialog.get(), u"chkDelSpaceLine"_s)->click();
        click(dialog.get(), u"btnCancel"_s);
        QVERIFY(!QFile::exists(m_config));
        QCOMPARE(m_settings.TitleText, Settings::defaultTitleText());
        QVERIFY(m_settings.DelSpaceLine);
    }

    void editApplyEditOk_savesBothEdits() {
        auto dialog = open();
        auto* apply = get<QPushButton>(dialog.get(), u"btnApply"_s);
        get<QCheckBox>(dialog.get(), u"chkLogPosition"_s)->click();
        QVERIFY(apply->isEnabled());
        apply->click();
        QVERIFY(!apply->isEnabled());
        QVERIFY(!dialog->Changed());
        QVERIFY(readGbk(m_config).contains(u"LogPosition=False\r\n"_s));
        QVERIFY(!readGbk(m_config).contains(u"ShowPreview"_s)); // at its default: not written

        get<QLineEdit>(dialog.get(), u"txtFilesInDir"_s)->setText(u"20"_s);
        click(dialog.get(), u"btnOK"_s);
        const QString saved = readGbk(m_config);
        QVERIFY(saved.contains(u"LogPosition=False\r\n"_s));
        QVERIFY(saved.contains(u"FilesInDir=20\r\n"_s));
        QCOMPARE(m_settings.FilesInDir, qint16(20));
    }

    void failedSave_isReportedOnceAndApplyStaysAvailable() {
        m_config = m_dir.filePath(u"missing/folder/config.ini"_s);
        auto dialog = open();
        get<QCheckBox>(dialog.get(), u"chkTopMost"_s)->click();
        click(dialog.get(), u"btnApply"_s);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(m_errors.first().startsWith(u"frmConfig::ApplyConfig(): "_s));
        QVERIFY(get<QPushButton>(dialog.get(), u"btnApply"_s)->isEnabled());
        QVERIFY(m_settings.TopMost);
    }

    void emptiedLists_recoverFirstEntryOrStayEmpty() {
        auto dialog = open();
        auto* files = get<QComboBox>(dialog.get(), u"cmbFileNames"_s);
        while (files->count() > 0) {
            files->setCurrentIndex(files->count() - 1);
            click(dialog.get(), u"btnFileSub"_s);
        }
        auto* filters = get<QListWidget>(dialog.get(), u"lstFilters"_s);
        filters->selectAll();
        click(dialog.get(), u"btnFilterSub"_s);
        QCOMPARE(filters->count(), 0);
        click(dialog.get(), u"btnApply"_s);

        QCOMPARE(m_settings.OutFiles, u"\r\n%chap3%-%title%\r\n"_s);
        QCOMPARE(m_settings.FileDefaultSelect, qint16(0));
        QCOMPARE(m_settings.OutFile, u"%chap3%-%title%"_s);
        QCOMPARE(files->count(), 1);
        QCOMPARE(files->currentIndex(), 0);
        QCOMPARE(m_settings.TextFilters, QString());
        const QString saved = readGbk(m_config);
        QVERIFY(saved.contains(u"[outfile]\r\nfile0=%chap3%-%title%\r\n"_s));
        QVERIFY(!saved.contains(u"file1="_s));
        QVERIFY(!saved.contains(u"filter0="_s));
    }

    // A list emptied when the setting holds no entry either still ends up usable.
    void emptiedList_withNoPreviousEntry_takesBuiltInOne() {
        m_settings.OutPaths.clear();
        auto dialog = open();
        get<QCheckBox>(dialog.get(), u"chkAutoAnalyze"_s)->click();
        click(dialog.get(), u"btnApply"_s);
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(m_settings.OutPath, u"(default)"_s);
        QCOMPARE(m_settings.OutPaths, u"\r\n(default)\r\n"_s);
    }

    void typedFolder_becomesSelectedEntry_emptyFieldKeepsChoice() {
        auto dialog = open();
        auto* paths = get<QComboBox>(dialog.get(), u"cmbOutPaths"_s);
        paths->setEditText(u"/novels/out/"_s);
        click(dialog.get(), u"btnApply"_s);
        QCOMPARE(m_settings.PathDefaultSelect, qint16(3));
        QCOMPARE(m_settings.OutPath, u"/novels/out/"_s);
        QVERIFY(m_settings.OutPaths.endsWith(u"\r\n/novels/out/\r\n"_s));
        QCOMPARE(paths->currentIndex(), 3);
        QVERIFY(readGbk(m_config).contains(u"PathDefaultSelect=3\r\n"_s));

        auto* files = get<QComboBox>(dialog.get(), u"cmbFileNames"_s);
        files->setCurrentIndex(1);
        files->setEditText(QString());
        get<QLineEdit>(dialog.get(), u"txtTitle"_s)->clear();
        click(dialog.get(), u"btnOK"_s);
        QCOMPARE(m_settings.FileDefaultSelect, qint16(1));
        QCOMPARE(m_settings.OutFile, u"%id3%-%chap%_%title%"_s);
        QCOMPARE(splitList(m_settings.OutFiles).size(), 3);
        QCOMPARE(m_settings.TitleText, Settings::defaultTitleText());
    }

    void filterAfterLine_mapsEntries_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<bool>("stored");
        QTest::newRow("前一行") << 0 << false;
        QTest::newRow("后一行") << 1 << true;
    }
    void filterAfterLine_mapsEntries() {
        QFETCH(int, entry);
        QFETCH(bool, stored);
        m_settings.FilterAfterLine = !stored;
        auto dialog = open();
        get<QComboBox>(dialog.get(), u"cmbFilterAfterLine"_s)->setCurrentIndex(entry);
        QVERIFY(dialog->ApplyConfig());
        QCOMPARE(m_settings.FilterAfterLine, stored);
        QVERIFY(readGbk(m_config).contains(stored ? u"FilterAfterLine=True\r\n"_s
                                                  : u"FilterAfterLine=False\r\n"_s));
    }

    void titleTest_showsMatchNumberTitleOrError() {
        auto dialog = open();
        auto* sample = get<QLineEdit>(dialog.get(), u"txtTitleTest"_s);
        auto* result = get<QLabel>(dialog.get(), u"lblTitleTest"_s);
        sample->setText(u"第一百零二章　风起云涌"_s);
        QCOMPARE(result->text(), u"是章节标题：章节号 102，标题“风起云涌”"_s);
        sample->setText(u"他说第二天再来"_s);
        QCOMPARE(result->text(), u"不是章节标题"_s);
        QVERIFY(!dialog->Changed());

        auto* title = get<QLineEdit>(dialog.get(), u"txtTitle"_s);
        title->setText(u"第(\\d+"_s);
        QVERIFY(result->text().contains(u"有误"_s));
        title->setText(u"^Chapter (\\d+)\\s*(.*)"_s);
        sample->setText(u"chapter 7 The End"_s);
        QCOMPARE(result->text(), u"是章节标题：章节号 7，标题“The End”"_s);
    }

    // The volume pattern beside the title pattern: the live test tells volume headings and
    // titles, a rule with a volume part fills it in, an emptied field switches volumes off.
    void volumePattern_liveTestRulesAndApply() {
        m_settings.VolumeText = Settings::defaultVolumeText();
        auto dialog = open();
        auto* volume = get<QLineEdit>(dialog.get(), u"txtVolume"_s);
        auto* sample = get<QLineEdit>(dialog.get(), u"txtTitleTest"_s);
        auto* result = get<QLabel>(dialog.get(), u"lblTitleTest"_s);
        sample->setText(u"第二卷 风雨路 第一章 渡口"_s);
        QCOMPARE(result->text(), u"是分卷标题和章节标题：卷号 2，章节号 1，标题“渡口”"_s);
        QCOMPARE(result->toolTip(), u"是分卷标题：卷号 2，卷名“风雨路”\n是章节标题：章节号 1，标题“渡口”"_s);
        volume->setText(u"第(\\d+"_s);
        QVERIFY(result->text().startsWith(u"分卷标题正则表达式有误"_s));
        auto* combo = get<QComboBox>(dialog.get(), u"cmbTitleRules"_s);
        choose(combo, combo->findText(builtInTitleRules()[3].name));
        QCOMPARE(volume->text(), *builtInTitleRules()[3].volume);
        volume->clear();
        get<QCheckBox>(dialog.get(), u"chkFolderPerVolume"_s)->click();
        click(dialog.get(), u"btnApply"_s);
        QVERIFY(m_settings.VolumeText.isEmpty() && m_settings.FolderPerVolume);
        QVERIFY(readGbk(m_config).contains(u"VolumeText=\r\nFolderPerVolume=True\r\n"_s));
    }

    void titleRules_followPatternOnLoadAndWhenChosen_data() {
        QTest::addColumn<int>("loaded"); // the built-in rule in config.ini; -1 for a pattern of none
        QTest::newRow("default") << 0;
        QTest::newRow("own pattern") << -1;
    }
    void titleRules_followPatternOnLoadAndWhenChosen() {
        QFETCH(int, loaded);
        const QList<TitleRule> rules = builtInTitleRules();
        m_settings.TitleText = loaded >= 0 ? rules[loaded].rule : u"第(.+)回(.*)"_s;
        auto dialog = open();
        auto* combo = get<QComboBox>(dialog.get(), u"cmbTitleRules"_s);
        auto* title = get<QLineEdit>(dialog.get(), u"txtTitle"_s);
        QCOMPARE(combo->currentText(), loaded >= 0 ? rules[loaded].name : u"（自定义）"_s);
        QVERIFY(!dialog->Changed());

        choose(combo, combo->findText(rules[3].name));
        QCOMPARE(title->text(), rules[3].rule);
        QCOMPARE(combo->count(), rules.size()); // no "（自定义）" left
        QVERIFY(dialog->Changed());
        click(dialog.get(), u"btnApply"_s);
        QCOMPARE(m_settings.TitleText, rules[3].rule);
        title->setText(rules[3].rule + u'x');
        QCOMPARE(combo->currentText(), u"（自定义）"_s);
    }

    void importRules_sharedList_listsEveryRuleMarkingBrokenOnes() {
        const QString path = corpusPath(u"../data/txtTocRule.json"_s);
        VELLOMAR_REQUIRE_CORPUS(path);
        const QJsonArray shared = QJsonDocument::fromJson(readBytes(path)).array();
        auto dialog = open();
        auto* combo = get<QComboBox>(dialog.get(), u"cmbTitleRules"_s);
        const int first = combo->count();
        cCommonDialog::queueOpenAnswer({path});
        click(dialog.get(), u"btnImportRules"_s);
        QCOMPARE(cCommonDialog::lastRequest().selectedFilter, u"规则文件 (*.json)"_s);
        QCOMPARE(combo->count(), first + shared.size());

        int broken = 0;
        for (int i = 0; i < shared.size(); ++i) {
            const QString name = shared[i][u"name"_s].toString(), rule = shared[i][u"rule"_s].toString();
            // Look-behinds that begin with a run of blanks that may be empty always hold, and
            // "={3,6}" behind holds where "={3}" does: importing rewrites those.
            QString fixed = rule;
            fixed.replace(QRegularExpression(u"\\(\\?<=\\[[^\\]]*\\]\\{0,\\d+\\}\\)"_s), QString());
            fixed.replace(QRegularExpression(u"\\(\\?<=\\\\=\\{(\\d+),\\d+\\}\\)"_s), u"(?<=\\={\\1})"_s);
            const bool bad = rule.isEmpty() || !QRegularExpression(fixed).isValid();
            if (!bad && fixed != rule)
                QVERIFY(combo->itemData(first + i, Qt::ToolTipRole).toString().contains(u"导入时已改写"_s));
            QCOMPARE(combo->itemText(first + i), bad ? name + u"（错误）"_s : name);
            if (bad) { // chosen, it leaves the pattern alone and says why
                ++broken;
                choose(combo, first + i);
                QCOMPARE(get<QLineEdit>(dialog.get(), u"txtTitle"_s)->text(), Settings::defaultTitleText());
                QVERIFY(get<QLabel>(dialog.get(), u"lblTitleTest"_s)
                            ->text()
                            .endsWith(combo->itemData(first + i, Qt::ToolTipRole).toString()));
            }
        }
        QVERIFY(broken > 0 && !dialog->Changed());
    }

    void importRules_fileThatIsNoRuleList_isReported_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("novel text") << UiTest::gbk(u"第一章 开始\r\n正文\r\n"_s);
        QTest::newRow("one object") << QByteArray(R"({"name": "a", "rule": "b"})");
        QTest::newRow("array of numbers") << QByteArray("[1, 2, 3]");
    }
    void importRules_fileThatIsNoRuleList_isReported() {
        QFETCH(QByteArray, content);
        const QString path = UiTest::writeFile(m_dir.filePath(u"not rules.json"_s), content);
        auto dialog = open();
        const int before = get<QComboBox>(dialog.get(), u"cmbTitleRules"_s)->count();
        cCommonDialog::queueOpenAnswer({path});
        click(dialog.get(), u"btnImportRules"_s);
        QVERIFY(Prompts::log().value(0).startsWith(u"导入规则|不是规则文件："_s + path));
        QCOMPARE(get<QComboBox>(dialog.get(), u"cmbTitleRules"_s)->count(), before);
    }

    // Built-in and imported rules, a lookahead and a broken one among them, survive the trip;
    // rules already listed are not listed twice.
    void exportThenImport_givesSameNamesAndRules() {
        const QString own = UiTest::writeFile(m_dir.filePath(u"own.json"_s), R"json([
            {"name": "卷", "rule": "^第([一二三]+)卷(?!末)(.*)", "example": "第一卷 起", "enable": true},
            {"name": "坏", "rule": "(?<=第\\s+)章", "enable": false}])json");
        auto dialog = open();
        cCommonDialog::queueOpenAnswer({own});
        click(dialog.get(), u"btnImportRules"_s);
        const QStringList shown = shownRules(get<QComboBox>(dialog.get(), u"cmbTitleRules"_s));
        QCOMPARE(shown.size(), builtInTitleRules().size() + 2);

        cCommonDialog::queueSaveAnswer(m_dir.filePath(u"导出"_s));
        click(dialog.get(), u"btnExportRules"_s);
        auto again = open();
        cCommonDialog::queueOpenAnswer({m_dir.filePath(u"导出.json"_s)});
        click(again.get(), u"btnImportRules"_s);
        QCOMPARE(shownRules(get<QComboBox>(again.get(), u"cmbTitleRules"_s)), shown);
        QVERIFY(Prompts::log().isEmpty());
    }

    void suggestRule_selectsSuggestionOrSaysNone() {
        auto dialog = open();
        auto* suggest = get<QPushButton>(dialog.get(), u"btnSuggestRule"_s);
        auto* combo = get<QComboBox>(dialog.get(), u"cmbTitleRules"_s);
        auto* note = get<QLabel>(dialog.get(), u"lblTitleTest"_s);
        QVERIFY(!suggest->isEnabled());
        QCOMPARE(suggest->toolTip(), u"请先打开小说"_s);

        // A fake novel in which only rule `wanted` finds chapter titles.
        const TitleRule hui = builtInTitleRules().value(1);
        int wanted = 1;
        dialog->setRuleTrial([&](const QList<TitleRule>& rules) {
            QList<RuleTrial> trials(rules.size(), RuleTrial{3, 0, {}});
            if (wanted >= 0)
                trials[wanted] = RuleTrial{40, 39, {}};
            return rules.size() == combo->count() ? trials : QList<RuleTrial>();
        });
        suggest->click();
        QCOMPARE(combo->currentText(), hui.name);
        QCOMPARE(get<QLineEdit>(dialog.get(), u"txtTitle"_s)->text(), hui.rule);
        QCOMPARE(note->text(), u"推荐“"_s + hui.name + u"”：找到 40 个标题"_s);

        wanted = -1;
        suggest->click();
        QCOMPARE(note->text(), u"没有合适的规则"_s);
    }
};

QTEST_MAIN(tst_frmConfig)
#include "tst_frmconfig.moc"
