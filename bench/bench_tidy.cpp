// Times tidying by numbers on an analysed novel: reading the text around the titles, and the
// sequence itself. Prints "titles read_ms sequence_ms" (medians of 9 runs). Usage: bench_tidy NOVEL
#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/PassHost.h"
#include "core/TidyTitles.h"

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_tidy NOVEL\n");
        return 2;
    }
    Document doc;
    QuietHost host;
    if (!doc.OpenTextFile(QString::fromLocal8Bit(argv[1]), nullptr) || !RunAnalysis(doc, Settings::defaults(), host)) {
        std::fprintf(stderr, "bench_tidy: cannot analyse %s\n", argv[1]);
        return 1;
    }
    const QVector<bool> locked = doc.model().handTouched();
    std::vector<double> reading, sequence;
    QVector<TidyTitle> titles;
    for (int run = 0; run < 9; ++run) {
        QElapsedTimer t;
        t.start();
        titles = tidyInput(doc, locked);
        reading.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        const QVector<TidyChange> changes = tidyTitles(titles);
        sequence.push_back(double(t.nsecsElapsed()) / 1e6);
        if (changes.size() > titles.size()) {
            return 1;
        }
    }
    std::printf("%d %.2f %.2f\n", int(titles.size()), median(reading), median(sequence));
    return 0;
}
