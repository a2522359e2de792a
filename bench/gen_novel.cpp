// Writes a deterministic synthetic novel for the benchmark: front matter, chapters titled
// "第…章 title" in Chinese numerals, lines of 20-120 characters, 15 % blank lines and a few
// lines holding the default filter strings. GBK with CR LF unless told otherwise. With
// --convertible, about one line in six of the simplified text holds one traditional character.
// With --short-lines N, N lines of 3-15 characters instead of chapters (for a title pattern
// loose enough to take nearly every line). With --volumes N, a volume heading stands before
// chapter 1 and every N chapters after it; the rest of the text is the same as without. With
// --wrap W, the chapters' lines are hard-wrapped at W characters (the text is the same).
#include "core/GbkCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <random>

namespace {

QString chineseNumber(int n)
{
    if (n >= 10000) {
        const int low = n % 10000;
        QString s = chineseNumber(n / 10000) + QStringLiteral(u"万");
        if (low > 0) {
            s += (low < 1000 ? QStringLiteral(u"零") : QString()) + chineseNumber(low);
        }
        return s;
    }
    static const QString digits = QStringLiteral(u"零一二三四五六七八九");
    static const QString units[] = {QString(), QStringLiteral(u"十"), QStringLiteral(u"百"), QStringLiteral(u"千")};
    QString out;
    bool zero = false;
    for (int p = 3; p >= 0; --p) {
        int pow = 1;
        for (int i = 0; i < p; ++i) {
            pow *= 10;
        }
        const int d = n / pow % 10;
        if (d == 0) {
            zero = !out.isEmpty();
            continue;
        }
        if (zero) {
            out += digits[0];
            zero = false;
        }
        if (!(d == 1 && p == 1 && out.isEmpty())) {
            out += digits[d];
        }
        out += units[p];
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int chapters = 3000;
    int shortLines = 0;
    int volumeEvery = 0;
    int wrap = 0;
    bool traditional = false, utf8 = false, convertible = false;
    quint32 seed = 20261207;
    QString path;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--chapters") && i + 1 < args.size()) {
            chapters = args[++i].toInt();
        } else if (args[i] == QLatin1String("--traditional")) {
            traditional = true;
        } else if (args[i] == QLatin1String("--short-lines") && i + 1 < args.size()) {
            shortLines = args[++i].toInt();
        } else if (args[i] == QLatin1String("--volumes") && i + 1 < args.size()) {
            volumeEvery = args[++i].toInt();
        } else if (args[i] == QLatin1String("--convertible")) {
            convertible = true;
        } else if (args[i] == QLatin1String("--wrap") && i + 1 < args.size()) {
            wrap = args[++i].toInt();
        } else if (args[i] == QLatin1String("--utf8")) {
            utf8 = true;
        } else if (args[i] == QLatin1String("--seed") && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        } else {
            path = args[i];
        }
    }
    if (path.isEmpty() || chapters < 1 || chapters > 32767) {
        std::fprintf(stderr, "usage: gen_novel [--chapters N<=32767] [--short-lines N] [--volumes N] [--traditional|--convertible] [--utf8] [--wrap W] [--seed S] OUT\n");
        return 2;
    }
    const QString common = QStringLiteral(u"的一是了我不人在他有这个上们来到时大地为子中你说生国年着就那和要她出也得里后自以会家可下而过天去能对小多然于心学么之都好看起发当没成只如事把还用第样道想作种开美总从无情己面最女但现前些所同日手又行意动方期它头经长儿回位分爱老因很给名法间斯知世什两次使身者被高已亲其进此话常与活正感");
    const QString trad = QStringLiteral(u"國說這個們來時為會於過與還發現實點動對開關體長樣當經學問題從後幾應紙萬雖電話親愛覺識讀寫聽見買賣錢東車門馬鳥魚風雲飛機場書畫樂歡記憶的一是了我不人在他有上到大地子中你生年著就那和要她出也得裡自以家可下而天去能小多然心么都好看起成只如事把用第道想作種美總無情己面最女但前些所同日手又行意方期它頭兒回位分老因很給名法間斯知世什兩次使身者被高已親其進此話常感");
    const QString& pool = traditional ? trad : common;
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto sentence = [&](int len) {
        QString s;
        s.reserve(len + 2);
        s += QStringLiteral(u"　　");
        for (int i = 0; i < len; ++i) {
            s += (i % 17 == 16) ? QChar(u'，') : pool.at(pick(0, int(pool.size()) - 1));
        }
        s += QChar(u'。');
        return s;
    };

    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "gen_novel: cannot write %s\n", qPrintable(path));
        return 1;
    }
    QByteArray buf;
    auto put = [&](const QString& line) {
        if (utf8) {
            buf += line.toUtf8();
        } else {
            GbkCodec::instance().encode(line, buf);
        }
        buf += "\r\n";
        if (buf.size() > (1 << 20)) {
            out.write(buf);
            buf.clear();
        }
    };
    put(QStringLiteral(u"《基准测试之书》"));
    put(QStringLiteral(u"作者：维洛玛"));
    put(QString());
    for (int i = 0; i < 20; ++i) {
        put(sentence(pick(20, 60)));
    }
    for (int l = 0; l < shortLines; ++l) {
        put(pick(0, 99) < 15 ? QString() : sentence(pick(2, 14)).mid(2));
    }
    for (int c = 1; c <= (shortLines > 0 ? 0 : chapters); ++c) {
        if (volumeEvery > 0 && (c - 1) % volumeEvery == 0) {
            put(QStringLiteral(u"第%1卷 风云再起").arg(chineseNumber((c - 1) / volumeEvery + 1)));
        }
        put(QStringLiteral(u"第%1章 %2").arg(chineseNumber(c), sentence(pick(4, 10)).mid(2, 8)));
        for (int l = 0; l < 150; ++l) {
            const int r = pick(0, 99);
            if (r < 15) {
                put(QString());
            } else if (r < 16) {
                put(QStringLiteral(u"　　本书首发广告，等等精彩内容请收藏"));
            } else {
                QString s = sentence(pick(20, 120));
                if (convertible && pick(0, 5) == 0) {
                    static const QString changing = QStringLiteral(u"稜國說這個們來時為會");
                    s[pick(2, int(s.size()) - 2)] = changing.at(pick(0, int(changing.size()) - 1));
                }
                for (qsizetype at = 0; at < s.size(); at += wrap > 0 ? wrap : s.size()) {
                    put(s.mid(at, wrap > 0 ? wrap : s.size()));
                }
            }
        }
    }
    out.write(buf);
    return out.error() == QFileDevice::NoError ? 0 : 1;
}
