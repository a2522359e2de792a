#include "core/Sha1.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

// A book's identity is the SHA-1 of its novel: the same digest as QCryptographicHash's, whatever
// the lengths (the padding's two cases around 56 bytes in the last block) and however the bytes
// come (line by line, across blocks), also when the digest is taken and more bytes follow (the
// books of a set).
class tst_Sha1 : public QObject {
    Q_OBJECT

private slots:
    void sameDigestAsQt_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("piece"); // the most handed over at a time; 0: all at once
        for (int length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 3 << 20}) {
            for (int piece : {0, 1, 7, 64, 100}) {
                if (piece == 0 || length < 100000) {
                    QTest::addRow("%d bytes by %d", length, piece) << length << piece;
                }
            }
        }
    }

    void sameDigestAsQt()
    {
        QFETCH(int, length);
        QFETCH(int, piece);
        QRandomGenerator rng(quint32(length * 131 + piece));
        QByteArray bytes(length, Qt::Uninitialized);
        for (char& c : bytes) {
            c = char(rng.bounded(256));
        }
        Sha1 ours;
        QCryptographicHash theirs(QCryptographicHash::Sha1);
        for (qsizetype at = 0; at < length;) {
            const qsizetype n = piece == 0 ? length : std::min<qsizetype>(length - at, rng.bounded(1, piece + 1));
            ours.addData(QByteArrayView(bytes).sliced(at, n));
            theirs.addData(QByteArrayView(bytes).sliced(at, n));
            at += n;
            if (rng.bounded(8) == 0) {
                QCOMPARE(ours.result(), theirs.result());
            }
        }
        QCOMPARE(ours.result(), theirs.result());
        QCOMPARE(ours.result(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha1));
    }
};

QTEST_GUILESS_MAIN(tst_Sha1)
#include "tst_sha1.moc"
