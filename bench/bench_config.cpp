// Times LoadConfig (and SaveConfig) on damaged config.ini files: one 50 MB line, and two million
// keys, in the places where they hurt. Prints one line per case: name, size, seconds.
// Usage: bench_config [MEGABYTES] [KEYS], or bench_config FILE to time loading a copy of FILE.
#include "config/AnsiText.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

double seconds(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

QByteArray defaultText() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    WriteDefaultConfig(Settings::defaults(), path);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray manyKeys(const char* section, const char* prefix, qsizetype keys, const char* value) {
    QByteArray text = QByteArray("[") + section + "]\r\n";
    text.reserve(keys * 24);
    for (qsizetype i = 0; i < keys; ++i)
        text += prefix + QByteArray::number(i) + '=' + value + "\r\n";
    return text;
}

QByteArray chineseLines(const QByteArray& line, qsizetype lines) {
    QByteArray text;
    text.reserve(lines * (line.size() + 2));
    for (qsizetype i = 0; i < lines; ++i)
        text += line + "\r\n";
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && QFile::exists(QString::fromLocal8Bit(argv[1]))) {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("config.ini"));
        QFile::copy(QString::fromLocal8Bit(argv[1]), copy);
        Settings settings = Settings::defaults();
        std::printf("load %.3f s\n", seconds([&] { LoadConfig(settings, copy); }));
        return 0;
    }
    const qsizetype megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 50;
    const qsizetype keys = argc > 2 ? QByteArray(argv[2]).toLongLong() : 2000000;
    const QByteArray base = defaultText();
    const QByteArray chinese = toAnsi(u"第一章正文广告");
    QByteArray huge;
    huge.reserve(megabytes << 20);
    while (huge.size() < (megabytes << 20))
        huge += chinese;

    const struct {
        const char* name;
        QByteArray text;
    } cases[] = {
        {"50 MB line without '=' in [text]", "[text]\r\n" + huge + "\r\n" + base},
        {"50 MB TitleText value", "[text]\r\nTitleText=" + huge + "\r\n" + base},
        {"50 MB file without a line end", base + huge},
        {"2M keys in [text]", manyKeys("text", "Key", keys, "1") + base},
        {"2M keys in [textfilter]", base + manyKeys("textfilter", "filter", keys, "x")},
        {"2M keys in [outpath] lacking '/'", base + manyKeys("outpath", "path", keys, "/books")},
        {"2M Chinese lines in [text]", "[text]\r\n" + chineseLines(chinese, keys) + base},
        {"50 MB entry in [textfilter]", "[textfilter]\r\nfilter0=" + huge + "\r\n" + base},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    for (const auto& c : cases) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(c.text) != c.text.size())
            return 1;
        file.close();
        Settings settings = Settings::defaults();
        const double load = seconds([&] { LoadConfig(settings, path); });
        const double save = seconds([&] { SaveConfig(settings, path); });
        std::printf("%-36s %6.1f MB  load %6.3f s  save %6.3f s\n", c.name, double(c.text.size()) / (1 << 20),
                    load, save);
    }
    return 0;
}
