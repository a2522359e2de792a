#include "CliTest.h"

#include <quazip/quazip.h>

// The command line's options: usage errors, and options standing before the command.
class tst_Arguments : public CliTest {
    Q_OBJECT

private slots:
    void usageErrors_exit2()
    {
        QCOMPARE(cli({}).code, 2);
        QCOMPARE(cli({u"frobnicate"_qs, u"x.txt"_qs}).code, 2);
        QCOMPARE(cli({u"split"_qs, u"--overwrite"_qs, u"maybe"_qs, u"x.txt"_qs}).code, 2);
        QCOMPARE(cli({u"list"_qs, u"--config"_qs, m_dir.filePath(u"none.ini"_qs), u"x.txt"_qs}).code, 2);
        // An empty value is not the default in disguise.
        QCOMPARE(cli({u"split"_qs, u"--out"_qs, QString(), u"x.txt"_qs}).code, 2);
        QCOMPARE(cli({u"list"_qs, u"--config"_qs, QString(), u"x.txt"_qs}).code, 2);
        const Result help = cli({u"--help"_qs});
        QCOMPARE(help.code, 0);
        QVERIFY(help.out.contains(u"--overwrite"_qs));
        const Result version = cli({u"--version"_qs});
        QVERIFY(version.out.startsWith(u"维洛玛 Vellomar - v"_qs));
    }

    // Options may stand before the command: each takes its value along, so that "epub" is still
    // the command, and gets the GUI application its drawn cover needs.
    void optionsBeforeTheCommand_keepTheirValues()
    {
        const QString path = novel(u"前置.txt"_qs, {u"第1章 甲"_qs, u"正文一"_qs, u"第2章 乙"_qs, u"正文二"_qs});
        const QString folder = m_dir.filePath(u"before"_qs);
        const Result r = cli({u"--config"_qs, config(u"[text]\r\n"_qs), u"--encoding"_qs, u"auto"_qs, u"--title-rule"_qs,
                              u"auto"_qs, u"--title"_qs, u"前置"_qs, u"--author"_qs, u"某人"_qs, u"--chaps-in-book"_qs,
                              u"1"_qs, u"--ignore"_qs, u"2"_qs, u"--overwrite"_qs, u"all"_qs, u"--jobs"_qs, u"1"_qs,
                              u"--out"_qs, folder, u"--yes"_qs, u"epub"_qs, path});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(u"EPUB 输出完成，共: 1 本书、1 章!"_qs), qPrintable(r.out));
        QuaZip zip(folder + u"/前置.epub"_qs);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QVERIFY(zip.getFileNameList().contains(u"OEBPS/images/cover.jpg"_qs));
    }
};

QTEST_GUILESS_MAIN(tst_Arguments)
#include "tst_arguments.moc"
