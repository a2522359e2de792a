// Times encoding detection as opening a novel does it: reading the sample and deciding.
// Prints "milliseconds sample_bytes encoding" (median of 9 runs). Usage: bench_detect NOVEL
#include "core/TextCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_detect NOVEL\n");
        return 2;
    }
    // Whatever a codec sets up once per program is done before timing.
    for (TextCodec::Id id : {TextCodec::Gb18030, TextCodec::Big5}) {
        TextCodec::forId(id).decode(QByteArrayView("-"));
    }
    std::vector<double> times;
    qsizetype sampled = 0;
    TextCodec::Id id = TextCodec::Gbk;
    for (int run = 0; run < 9; ++run) {
        QElapsedTimer t;
        t.start();
        QFile file(QString::fromLocal8Bit(argv[1]));
        QByteArray head, more;
        const bool read = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
                          && TextCodec::readSample(file, &head, &more);
        if (!read) {
            std::fprintf(stderr, "bench_detect: cannot read %s\n", argv[1]);
            return 1;
        }
        int bom = 0;
        id = TextCodec::detect(head, more, &bom);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
        sampled = head.size() + more.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("%.2f %lld %s\n", times[times.size() / 2], static_cast<long long>(sampled),
                qPrintable(TextCodec::forId(id).name()));
    return 0;
}
