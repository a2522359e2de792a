#include "FileSizeLimit.h"

#include "epub/ZipContainer.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// The zip of a book, packed on several threads: read back by another zip library, every entry
// is there in order with its bytes, whatever the threads did, and a failure leaves nothing.
class tst_ZipContainer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    struct Item {
        QString name;
        QByteArray bytes;
        bool stored = false;
    };

    static QByteArray noise(qsizetype size, quint32 seed)
    {
        QRandomGenerator g(seed);
        QByteArray b(size, Qt::Uninitialized);
        for (char& c : b) {
            c = char(g.bounded(256));
        }
        return b;
    }

    static QByteArray text(int paragraphs)
    {
        QByteArray b;
        for (int i = 0; i < paragraphs; ++i) {
            b += QStringLiteral(u"<p>第%1段：天色已晚，众人各自散去。</p>\n").arg(i).toUtf8();
        }
        return b;
    }

    static bool write(const QString& path, const QList<Item>& items, QString* error = nullptr)
    {
        ZipContainer zip;
        const QDateTime stamp(QDate(2021, 6, 5), QTime(13, 14, 16), Qt::UTC);
        bool ok = zip.open(path, stamp);
        for (const Item& item : items) {
            ok = ok && zip.add(item.name, item.bytes, item.stored ? ZipContainer::Stored : ZipContainer::Deflated);
        }
        ok = ok && zip.finish();
        if (!ok && error) {
            *error = zip.errorText();
        }
        return ok;
    }

private slots:
    void entries_readBackInOrder_data()
    {
        QTest::addColumn<QList<Item>>("items");
        QList<Item> few{{u"mimetype"_qs, "application/epub+zip", true},
                        {u"empty.txt"_qs, QByteArray()},
                        {u"OEBPS/text/c00001.xhtml"_qs, text(300)},
                        {u"images/noise.jpg"_qs, noise(300 * 1024, 1), true},
                        {u"noise.bin"_qs, noise(200 * 1024, 2)}, // stored: deflate would not pay
                        {u"目录.xhtml"_qs, text(3)}};
        QTest::newRow("kinds of entries") << few;
        // Far more than the memory in flight: add() waits for the threads to catch up.
        QList<Item> many;
        for (int i = 0; i < 400; ++i) {
            many.append({u"OEBPS/text/c%1.xhtml"_qs.arg(i, 5, 10, QLatin1Char('0')),
                         i % 7 == 0 ? noise(60 * 1024, quint32(i)) : text(200 + i)});
        }
        QTest::newRow("pages past the memory limit") << many;
        // More entries than a plain zip can count: the ZIP64 end records.
        QList<Item> count;
        for (int i = 0; i < 70000; ++i) {
            count.append({u"p%1"_qs.arg(i), QByteArray::number(i), i % 2 == 0});
        }
        QTest::newRow("70,000 entries") << count;
    }

    void entries_readBackInOrder()
    {
        QFETCH(QList<Item>, items);
        const QString path = m_dir.filePath(u"%1.epub"_qs.arg(QString::fromUtf8(QTest::currentDataTag())));
        QVERIFY(write(path, items));
        QuaZip zip(path);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QCOMPARE(zip.getEntriesCount(), int(items.size()));
        int k = 0;
        for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile(), ++k) {
            QuaZipFileInfo64 info;
            QVERIFY(zip.getCurrentFileInfo(&info));
            QCOMPARE(info.name, items[k].name);
            QCOMPARE(info.dateTime, QDateTime(QDate(2021, 6, 5), QTime(13, 14, 16)));
            if (items[k].stored) {
                QCOMPARE(info.method, quint16(0));
            }
            QuaZipFile f(&zip);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(f.readAll() == items[k].bytes, qPrintable(info.name));
            f.close();
            QCOMPARE(f.getZipError(), UNZ_OK); // the checksum holds
        }
        QCOMPARE(k, int(items.size()));
        if (items.size() < 1000) {
            // Packed again, byte for byte the same zip.
            const QString again = m_dir.filePath(u"again.epub"_qs);
            QVERIFY(write(again, items));
            QFile a(path), b(again);
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY(a.readAll() == b.readAll());
        }
    }

    // A disk that fills up: the error names the book, and neither it nor a temporary file stays.
    void fullDisk_leavesNothing()
    {
        const QString folder = m_dir.filePath(u"full"_qs);
        QVERIFY(QDir().mkpath(folder));
        QList<Item> items;
        for (int i = 0; i < 50; ++i) {
            items.append({u"n%1"_qs.arg(i), noise(100 * 1024, quint32(i))});
        }
        QString error;
        {
            const FileSizeLimit limit(1024 * 1024);
            QVERIFY(!write(folder + u"/书.epub"_qs, items, &error));
        }
        QVERIFY2(error.contains(u"书.epub"_qs), qPrintable(error));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_ZipContainer)
#include "tst_zipcontainer.moc"
