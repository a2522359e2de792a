#include "Prompts.h"
#include "cCommonDialog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString NovelFilter = u"文本文件 (*.txt)|*.txt|所有文件|*.*"_s;

struct OpenCall {
    QString fileName, fileTitle, filter = NovelFilter;
    qint32 filterIndex = 1, flags = 0;
    bool readOnly = false;
    bool result = false;

    void run(bool mustExist = true, bool multi = false, const QString& defaultExt = QString()) {
        cCommonDialog dialog;
        result =
            dialog.VBGetOpenFileName(fileName, fileTitle, mustExist, multi, readOnly, true, filter,
                                     filterIndex, QString(), u"打开小说文件"_s, defaultExt, nullptr, flags);
    }
};

} // namespace

class tst_cCommonDialog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString makeFile(const QString& name) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }

private slots:
    void init() {
        Prompts::setTestMode(true);
        cCommonDialog::clearAnswers();
    }

    void nameFilters_fromBarList_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("program's own")
            << NovelFilter << QStringList{u"文本文件 (*.txt)"_s, u"所有文件 (*)"_s};
        QTest::newRow("several patterns") << u"图片|*.png;*.jpg"_s << QStringList{u"图片 (*.png *.jpg)"_s};
        QTest::newRow("colon kept") << u"说明: 文本|*.txt"_s << QStringList{u"说明: 文本 (*.txt)"_s};
        QTest::newRow("no pattern") << u"全部"_s << QStringList{u"全部 (*)"_s};
        QTest::newRow("empty") << QString() << QStringList();
    }
    void nameFilters_fromBarList() {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(cCommonDialog::toNameFilters(filter), expected);
    }

    void openFile_chosen_reportsPathTitleFilterAndFlags() {
        const QString path = makeFile(u"第一部 长夜.txt"_s);
        cCommonDialog::queueOpenAnswer({path}, 2);
        OpenCall call;
        call.run();
        QVERIFY(call.result);
        QCOMPARE(call.fileName, path);
        QCOMPARE(call.fileTitle, u"第一部 长夜.txt"_s);
        QCOMPARE(call.filterIndex, 2);
        QCOMPARE(call.filter, u"所有文件|*.*"_s);
        QCOMPARE(call.flags, qint32(cCommonDialog::OFN_FILEMUSTEXIST | cCommonDialog::OFN_HIDEREADONLY));
        QCOMPARE(cCommonDialog::lastRequest().title, u"打开小说文件"_s);
        QCOMPARE(cCommonDialog::lastRequest().selectedFilter, u"文本文件 (*.txt)"_s);
    }

    void openFile_cancelledOrMissing_clearsEverything() {
        cCommonDialog::queueOpenAnswer({});
        cCommonDialog::queueOpenAnswer({m_dir.filePath(u"gone.txt"_s)});
        for (int i = 0; i < 3; ++i) { // the third finds nothing queued: a cancel in test mode
            OpenCall call;
            call.fileName = u"old"_s;
            call.flags = 0x8;
            call.run();
            QVERIFY(!call.result);
            QCOMPARE(call.fileName, QString());
            QCOMPARE(call.fileTitle, QString());
            QCOMPARE(call.filter, QString());
            QCOMPARE(call.filterIndex, -1);
            QCOMPARE(call.flags, 0);
        }
    }

    void folder_endsInSeparatorOrIsEmpty() {
        cCommonDialog dialog;
        cCommonDialog::queueFolderAnswer(u"/srv/书库"_s);
        QCOMPARE(dialog.sBrowseForFolder(nullptr, u"/start/here/"_s), u"/srv/书库/"_s);
        QCOMPARE(cCommonDialog::lastRequest().directory, u"/start/here"_s);
        cCommonDialog::queueFolderAnswer(u"/"_s);
        QCOMPARE(dialog.sBrowseForFolder(nullptr, u"/"_s), u"/"_s);
        QCOMPARE(cCommonDialog::lastRequest().directory, u"/"_s);
        cCommonDialog::queueFolderAnswer(QString());
        QCOMPARE(dialog.sBrowseForFolder(nullptr, QString()), QString());
    }

    void saveFile_getsDefaultExtensionOrIsEmpty() {
        cCommonDialog dialog;
        const QString filter = u"规则文件 (*.json)|*.json|所有文件|*.*"_s;
        cCommonDialog::queueSaveAnswer(u"/srv/v1.2/规则"_s);
        cCommonDialog::queueSaveAnswer(u"/srv/规则.txt"_s);
        QCOMPARE(dialog.sGetSaveFileName(nullptr, u"导出规则"_s, u"a.json"_s, filter, u"json"_s),
                 u"/srv/v1.2/规则.json"_s);
        QCOMPARE(cCommonDialog::lastRequest().selectedFilter, u"规则文件 (*.json)"_s);
        QCOMPARE(dialog.sGetSaveFileName(nullptr, QString(), QString(), filter, u"json"_s),
                 u"/srv/规则.txt"_s);
        // Nothing queued in test mode: cancelled, not waiting for a person.
        QCOMPARE(dialog.sGetSaveFileName(nullptr, QString(), QString(), filter, u"json"_s), QString());
    }

    void colour_cancelIsMinusOneNotBlack() {
        cCommonDialog dialog;
        cCommonDialog::queueColorAnswer(0);
        cCommonDialog::queueColorAnswer(-1);
        QCOMPARE(dialog.sShowColor(nullptr), 0);
        QCOMPARE(dialog.sShowColor(nullptr), -1);
        QCOMPARE(dialog.sShowColor(nullptr), -1); // nothing queued in test mode
        QCOMPARE(cCommonDialog::pendingAnswers(), 0);
    }
};

QTEST_MAIN(tst_cCommonDialog)
#include "tst_ccommondialog.moc"
