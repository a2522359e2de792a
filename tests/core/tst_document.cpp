#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"

#include <QTemporaryDir>
#include <QTest>

class tst_Document : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

private slots:
    void commandTable_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("analysed");
        QTest::newRow("busy") << int(Busy) << QStringList{u"mnuO_Stop"_qs} << QStringList{u"stop"_qs} << QString() << false;
        QTest::newRow("opened") << int(Opened)
                                << QStringList{u"mnuF_Open"_qs, u"mnuF_Close"_qs, u"mnuO_Analyze"_qs, u"mnuO_Option"_qs}
                                << QStringList{u"open"_qs, u"close"_qs, u"analyze"_qs, u"config"_qs}
                                << u"已经打开小说..."_qs << false;
        QTest::newRow("analysed") << int(Analysed)
                                  << QStringList{u"mnuF_Open"_qs, u"mnuF_Close"_qs, u"mnuO_Analyze"_qs, u"mnuO_SaveOut"_qs,
                                                 u"mnuO_Option"_qs, u"mnuI_SelAll"_qs, u"mnuI_SelReverse"_qs,
                                                 u"mnuI_SelNone"_qs, u"mnuI_Copy"_qs, u"mnuIE_ChapNum"_qs, u"mnuIE_Title"_qs}
                                  << QStringList{u"open"_qs, u"close"_qs, u"analyze"_qs, u"saveout"_qs, u"config"_qs,
                                                 u"selall"_qs, u"selreverse"_qs, u"selnone"_qs, u"copy"_qs, u"edit"_qs,
                                                 u"editChapNum"_qs, u"editTitle"_qs}
                                  << QString() << true;
        QTest::newRow("closed") << int(Closed) << QStringList{u"mnuF_Open"_qs, u"mnuO_Option"_qs}
                                << QStringList{u"open"_qs, u"config"_qs} << u"就绪"_qs << false;
        QTest::newRow("stop requested") << int(StopRequested) << QStringList{} << QStringList{} << QString() << true;
    }

    void commandTable()
    {
        QFETCH(int, state);
        QFETCH(QStringList, menus);
        QFETCH(QStringList, buttons);
        QFETCH(QString, status);
        QFETCH(bool, analysed);
        Document doc;
        doc.IsAnalysed = true; // an unknown state leaves it as it was
        const CommandStates c = doc.SetState(state);
        QCOMPARE(doc.DocState, state);
        QCOMPARE(QSet<QString>(c.menus.cbegin(), c.menus.cend()), QSet<QString>(menus.cbegin(), menus.cend()));
        QCOMPARE(QSet<QString>(c.buttons.cbegin(), c.buttons.cend()), QSet<QString>(buttons.cbegin(), buttons.cend()));
        QCOMPARE(c.statusText, status);
        QCOMPARE(c.statusText.isNull(), status.isNull()); // null: the status text stays
        QCOMPARE(doc.IsAnalysed, analysed);
        for (const QString& m : c.menus) {
            QVERIFY(stateMenus().contains(m));
        }
        QVERIFY(!c.menus.contains(u"mnuI_SelUndo"_qs)); // the undo store drives that one
    }

    void openAndClose()
    {
        Document doc;
        QCOMPARE(doc.DocState, int(Closed));
        QCOMPARE(doc.model().recordCount(), 1); // the closed table has one empty record
        const QString a = write(u"a.txt"_qs, "\xB5\xDA\xD2\xBB\xD5\xC2 x\r\nb\r\n\xB5\xDA\xB6\xFE\xD5\xC2 y\r\n");
        QString error;
        QVERIFY(doc.OpenTextFile(a, &error));
        QCOMPARE(doc.LineCount, 3);
        QCOMPARE(doc.FilePath, a);
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, Settings::defaults(), host));
        QCOMPARE(doc.model().rowCount(), 2);
        doc.model().setUndoRecording(true);
        doc.model().SelAll();
        QVERIFY(doc.model().canUndo());
        // Opening another file closes the first: rows, records and undo groups are gone.
        QVERIFY(doc.OpenTextFile(write(u"b.txt"_qs, "one line"), &error));
        QCOMPARE(doc.LineCount, 1);
        QCOMPARE(doc.model().rowCount(), 0);
        QCOMPARE(doc.model().recordCount(), 1);
        QVERIFY(!doc.model().canUndo());
        doc.CloseTextFile();
        QCOMPARE(doc.DocState, int(Closed));
        QVERIFY(!doc.isOpen());
        QCOMPARE(doc.LineCount, 0);
        QVERIFY(doc.FilePath.isEmpty());
        // A missing file: an error, no usable file, LineCount 0.
        QVERIFY(!doc.OpenTextFile(m_dir.filePath(u"missing.txt"_qs), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!doc.isOpen());
        QCOMPARE(doc.LineCount, 0);
        QCOMPARE(Document::fileNamePart(u"/x/y/三国.txt"_qs), u"三国.txt"_qs);
    }

    // Only a regular file is opened as a novel; the reason names the file and is in Chinese.
    void unopenable_saysWhy_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << m_dir.filePath(u"missing.txt"_qs) << u"文件或文件夹不存在"_qs;
        QTest::newRow("folder") << m_dir.path() << u"是一个文件夹"_qs;
        QTest::newRow("device") << u"/dev/zero"_qs << u"不是普通文件"_qs;
    }

    void unopenable_saysWhy()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        Document doc;
        QString error;
        QVERIFY(!doc.OpenTextFile(path, &error));
        QVERIFY2(error.contains(reason) && error.contains(path), qPrintable(error));
        QVERIFY(!doc.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_Document)
#include "tst_document.moc"
