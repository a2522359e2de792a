#include "ErrorHook.h"
#include "Prompts.h"
#include "frmAbout.h"

#include "config/Settings.h"
#include "config/StartUp.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_frmAbout : public QObject {
    Q_OBJECT

    QStringList m_errors;
    Settings m_settings = Settings::defaults();

    // Shows the box and lets it read its notes, as it does once it is on screen.
    QString shownNotes(frmAbout& box) {
        box.show();
        QCoreApplication::processEvents();
        return box.findChild<QPlainTextEdit*>(u"txtAbout"_s)->toPlainText();
    }

private slots:
    void init() {
        Prompts::setTestMode(true);
        Prompts::reset();
        m_errors.clear();
        m_settings = Settings::defaults();
        setErrorReporter([this](const QString&, qint32 number, const QString& context, QWidget*) {
            m_errors << context;
            QVERIFY(number != 0);
        });
    }

    void withoutNotesFile_showsBuiltInText() {
        QTemporaryDir dir;
        frmAbout box(m_settings, nullptr, dir.path());
        QCOMPARE(box.windowTitle(), u"关于"_s);
        QCOMPARE(box.findChild<QLabel*>(u"lblTitle"_s)->text(), AppTitle());
        const QStringList lines = shownNotes(box).split(u'\n');
        QCOMPARE(lines.value(0), u"未找到“说明.txt”文件"_s);
        QVERIFY(!lines.value(1).isEmpty());
        QCOMPARE(lines.value(1), QString(lines.value(1).size(), u'='));
        QVERIFY(lines.size() > 3);
        QVERIFY(m_errors.isEmpty());
    }

    void box_takesFontNameAndTopMost() {
        QTemporaryDir dir;
        m_settings.FontName = u"Some Face"_s;
        m_settings.TopMost = true;
        frmAbout top(m_settings, nullptr, dir.path());
        QVERIFY(top.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(top.findChild<QPlainTextEdit*>(u"txtAbout"_s)->font().families().value(0), u"Some Face"_s);
        m_settings.TopMost = false;
        frmAbout plain(m_settings, nullptr, dir.path());
        QVERIFY(!plain.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void withNotesFile_showsItsWholeGbkText() {
        QTemporaryDir dir;
        const QString notes = u"维洛玛说明\r\n第一行\r\n\r\n最后一行"_s;
        QFile file(dir.filePath(u"说明.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QStringEncoder gbk("GBK");
        file.write(gbk.encode(notes));
        file.close();

        frmAbout box(m_settings, nullptr, dir.path());
        QCOMPARE(shownNotes(box), u"维洛玛说明\n第一行\n\n最后一行"_s);

        // Read once per opening: a change on disk shows only in the next box.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("new");
        file.close();
        box.hide();
        QCOMPARE(shownNotes(box), u"维洛玛说明\n第一行\n\n最后一行"_s);
        frmAbout next(m_settings, nullptr, dir.path());
        QCOMPARE(shownNotes(next), u"new"_s);
    }

    // Installed, the guide is in share/vellomar beside the program's bin folder.
    void installedNotes_foundInTheShareFolder() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"bin"_s) && QDir(dir.path()).mkpath(u"share/vellomar"_s));
        QFile file(dir.filePath(u"share/vellomar/说明.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(u"装好的说明"_s.toUtf8()) > 0);
        file.close();
        frmAbout box(m_settings, nullptr, dir.filePath(u"bin"_s));
        QCOMPARE(shownNotes(box), u"装好的说明"_s);
    }

    // The notes file is read like a novel: whatever its encoding, the text shows as written.
    void notesDecoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const QString notes = u"维洛玛说明\r\n第一行"_s;
        const QString shown = u"维洛玛说明\n第一行"_s;
        QStringEncoder utf16("UTF-16LE");
        QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBF" + notes.toUtf8() << shown;
        QTest::newRow("UTF-8 without mark") << notes.toUtf8() << shown;
        QTest::newRow("UTF-16 with mark") << "\xFF\xFE" + QByteArray(utf16.encode(notes)) << shown;
        QTest::newRow("GBK") << QByteArray(QStringEncoder("GBK").encode(notes)) << shown;
        QTest::newRow("bytes that are no text") << QByteArray("a\rb\x81") << u"a\nb\uFFFD"_s;
    }

    void notesDecoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(frmAbout::decodeNotes(bytes), expected);
    }

    void unreadableNotes_reportedOnceAndBoxLeftEmpty() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"说明.txt"_s)); // there, but no file to read
        frmAbout box(m_settings, nullptr, dir.path());
        QCOMPARE(shownNotes(box), QString());
        box.hide();
        shownNotes(box);
        QCOMPARE(m_errors, QStringList{u"frmAbout::Form_Activate() - txtAbout"_s});
        QVERIFY(box.isVisible());
    }

    void copy_putsNotesOnClipboardAndSaysSo() {
        QTemporaryDir dir;
        frmAbout box(m_settings, nullptr, dir.path());
        const QString notes = shownNotes(box);
        box.findChild<QPushButton*>(u"btnCopy"_s)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), notes);
        QCOMPARE(Prompts::log(), QStringList{u"复制|复制成功！"_s});
    }
};

QTEST_MAIN(tst_frmAbout)
#include "tst_frmabout.moc"
