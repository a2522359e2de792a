// Times what `list` does inside the program, without its start-up: opening the novel (encoding
// detection), the analysis, and the check for chapters scraped twice. Prints
// "open_ms analysis_ms repeats_ms repeats" (medians of 9 runs). Usage: bench_list NOVEL
#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/PassHost.h"
#include "core/RepeatedChapters.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class QuietHost : public PassHost {
public:
    void setStatusText(const QString&) override {}
    void setProcessText(const QString&) override {}
    void progressStart(qint64) override {}
    void progress(qint64, int, const QString&, const QString&) override {}
    void progressEnd() override {}
    void messageBox(const QString&, const QString&, Icon) override {}
    bool askYesNo(const QString&, const QString&) override { return false; }
    void notice(const QString&, const QString&, int) override {}
    QString askOverwrite(const QString&) override { return QStringLiteral(":Cancel"); }
    void error(const QString&, int, const QString&) override {}
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_list NOVEL\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    std::vector<double> opening, analysis, check;
    qsizetype repeats = 0;
    for (int run = 0; run < 10; ++run) {
        Document doc;
        QuietHost host;
        QElapsedTimer t;
        t.start();
        if (!doc.OpenTextFile(path, nullptr, false)) {
            std::fprintf(stderr, "bench_list: cannot open %s\n", argv[1]);
            return 1;
        }
        const double opened = msSince(t);
        t.restart();
        if (!RunAnalysis(doc, Settings::defaults(), host)) {
            std::fprintf(stderr, "bench_list: cannot analyse %s\n", argv[1]);
            return 1;
        }
        const double analysed = msSince(t);
        t.restart();
        const QVector<qint32> sameAs = findRepeatedChapters(doc);
        const double checked = msSince(t);
        repeats = std::count_if(sameAs.cbegin(), sameAs.cend(), [](qint32 v) { return v > 0; });
        if (run > 0) { // the first run warms the page cache and the code pages up
            opening.push_back(opened);
            analysis.push_back(analysed);
            check.push_back(checked);
        }
    }
    std::printf("%.2f %.2f %.2f %lld\n", median(opening), median(analysis), median(check),
                static_cast<long long>(repeats));
    return 0;
}
