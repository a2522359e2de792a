#include "output/FileWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "FileSizeLimit.h"

#include <sys/stat.h>

// The writing thread gets many small files per batch, lines that cross batches and lines
// written from the caller's memory; whatever the mix, each file holds exactly its lines.
class tst_FileWriter : public QObject {
    Q_OBJECT

    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void manyFiles_holdExactlyTheirLines()
    {
        QTemporaryDir dir;
        QHash<QString, QByteArray> expected;
        {
            FileWriter w;
            w.setEncoding("\r\n", QByteArray());
            for (int i = 0; i < 1500; ++i) {
                const QString path = dir.filePath(QStringLiteral("%1.txt").arg(i));
                QVERIFY(w.open(path, false));
                QByteArray want;
                // Empty files, one-line files, a line longer than a batch, a huge line.
                const int lines = i % 7;
                for (int l = 0; l < lines; ++l) {
                    QByteArray line = QByteArray::number(i) + ':' + QByteArray::number(l);
                    if (i == 700 && l == 1) {
                        line = QByteArray(300 * 1024, 'b');
                    } else if (i == 900 && l == 2) {
                        line = QByteArray(3 << 20, 'h');
                    }
                    // Some lines come with their own terminator right behind them.
                    const QByteArray withEnd = line + "\r\n";
                    QVERIFY(l % 2 ? w.writeLine(QByteArrayView(withEnd).first(line.size()),
                                                QByteArrayView(withEnd).sliced(line.size()))
                                  : w.writeLine(line));
                    want += withEnd;
                }
                QVERIFY(w.close());
                expected.insert(path, want);
            }
            QVERIFY(w.finish());
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QVERIFY2(read(it.key()) == it.value(), qPrintable(it.key()));
        }
    }

    void append_andByteOrderMarkOnNewFilesOnly()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a.txt"));
        FileWriter w;
        w.setEncoding(QByteArray("\n\0", 2), QByteArray("\xFF\xFE"));
        QVERIFY(w.open(a, false));
        QVERIFY(w.writeLine(QByteArray("x\0", 2)));
        QVERIFY(w.close());
        QVERIFY(w.open(a, true));
        QVERIFY(w.writeLine(QByteArray("y\0", 2)));
        QVERIFY(w.close());
        QVERIFY(w.finish());
        QCOMPARE(read(a), QByteArray("\xFF\xFEx\0\n\0y\0\n\0", 10));
    }

    // The first failure stops all writing: files before it are whole, none after it is made,
    // and every later call says so.
    void failure_stopsWritingAndIsReported()
    {
        QTemporaryDir dir;
        FileWriter w;
        for (int i = 0; i < 50; ++i) {
            const QString path = i == 20 ? dir.filePath(QStringLiteral("missing/20.txt"))
                                         : dir.filePath(QStringLiteral("%1.txt").arg(i));
            if (!w.open(path, false)) {
                break;
            }
            w.writeLine(QByteArray::number(i));
            w.close();
        }
        QVERIFY(!w.finish());
        QVERIFY(w.failed());
        QCOMPARE(w.errorNumber(), 75);
        QVERIFY(w.errorMessage().contains(QStringLiteral("missing/20.txt")));
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(read(dir.filePath(QStringLiteral("%1.txt").arg(i))), QByteArray::number(i) + "\r\n");
        }
        for (int i = 21; i < 50; ++i) {
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("%1.txt").arg(i))));
        }
        QVERIFY(!w.open(dir.filePath(QStringLiteral("late.txt")), false));
    }

    // A file too large for the disk (the file-size limit stands in for a full disk): the
    // failure is reported, the new file does not appear under its name, nothing temporary is
    // left, and a file added to is cut back to its length before.
    void fullDisk_leavesNoHalfWrittenFile()
    {
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
        const QString old = dir.filePath(QStringLiteral("old.txt"));
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kept\r\n");
        f.close();
        {
            FileSizeLimit limit(4096);
            for (const QString& path : {fresh, old}) {
                FileWriter w;
                QVERIFY(w.open(path, true));
                for (int i = 0; i < 100; ++i) {
                    w.writeLine(QByteArray(100, 'z'));
                }
                w.close();
                QVERIFY(!w.finish());
                QCOMPARE(w.errorNumber(), 61);
                QVERIFY(w.errorMessage().contains(path));
                QVERIFY(w.errorMessage().contains(QStringLiteral(u"文件过大")));
            }
        }
        QVERIFY(!QFile::exists(fresh));
        QCOMPARE(read(old), QByteArray("kept\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.txt")});
    }

    // Only regular files are written: a device or a named pipe at the name is refused, never
    // opened (a pipe would hang the writer).
    void specialFile_isRefused()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.txt"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& path : {QStringLiteral("/dev/full"), fifo}) {
            FileWriter w;
            QVERIFY(w.open(path, true));
            w.writeLine("x");
            w.close();
            QVERIFY(!w.finish());
            QVERIFY2(w.errorMessage().contains(QStringLiteral(u"不是普通文件")), qPrintable(w.errorMessage()));
        }
    }

    // Abandoning drops what is not written of the current file; the files before it are kept.
    void abandon_keepsEarlierFiles()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.txt"));
        const QString second = dir.filePath(QStringLiteral("second.txt"));
        FileWriter w;
        QVERIFY(w.open(first, false));
        QVERIFY(w.writeLine("one"));
        QVERIFY(w.close());
        QVERIFY(w.open(second, false));
        QVERIFY(w.writeLine("partial"));
        w.abandon();
        QVERIFY(!w.failed());
        QCOMPARE(read(first), QByteArray("one\r\n"));
        QVERIFY(!read(second).contains("partial"));
    }
};

QTEST_GUILESS_MAIN(tst_FileWriter)
#include "tst_filewriter.moc"
