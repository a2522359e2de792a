// Packs a book's pages alone, as a book's zip packs them (deflated on every core, written in
// order): what writing a book costs before a single page is built. PAGES is a book's pages one
// after another (unzip -p BOOK 'OEBPS/text/*'). Prints "seconds cpu_seconds pages" (the run
// with the median time of 5). Usage: bench_zip PAGES OUT.zip
#include "epub/ZipContainer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

namespace {

double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_zip PAGES OUT.zip\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_zip: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray all = in.readAll();
    // Every page starts with its XML declaration.
    QList<QByteArray> pages;
    for (qsizetype at = 0; at < all.size();) {
        qsizetype next = all.indexOf("<?xml", at + 1);
        next = next < 0 ? all.size() : next;
        pages << all.mid(at, next - at);
        at = next;
    }
    std::vector<std::pair<double, double>> runs;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        const double cpu = cpuSeconds();
        t.start();
        ZipContainer zip;
        bool ok = zip.open(QString::fromLocal8Bit(argv[2]), QDateTime::currentDateTime());
        for (qsizetype i = 0; ok && i < pages.size(); ++i) {
            ok = zip.add(QStringLiteral("OEBPS/text/p%1.xhtml").arg(i), pages[i]);
        }
        if (!ok || !zip.finish()) {
            std::fprintf(stderr, "bench_zip: %s\n", qPrintable(zip.errorText()));
            return 1;
        }
        runs.emplace_back(double(t.nsecsElapsed()) / 1e9, cpuSeconds() - cpu);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("%.3f %.3f %lld\n", runs[2].first, runs[2].second, static_cast<long long>(pages.size()));
    return 0;
}
