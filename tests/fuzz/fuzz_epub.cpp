// Arbitrary novels and metadata through the book writer: every book written is a zip whose XML
// files (container, package, contents, pages) all parse and whose package has a title,
// whatever the bytes, the encoding, the title, the author and the file name.
//
// Input: one byte of switches, three lengths (title, author and file name, in UTF-16 units),
// those three as UTF-16LE, then the novel's bytes.
#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/PassHost.h"
#include "epub/EpubPass.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Answers every question yes and says nothing.
class QuietHost : public PassHost {
public:
    void setStatusText(const QString&) override {}
    void setProcessText(const QString&) override {}
    void progressStart(qint64) override {}
    void progress(qint64, int, const QString&, const QString&) override {}
    void progressEnd() override {}
    void messageBox(const QString&, const QString&, Icon) override {}
    bool askYesNo(const QString&, const QString&) override { return true; }
    void notice(const QString&, const QString&, int) override {}
    QString askOverwrite(const QString&) override { return QStringLiteral(":All"); }
    void error(const QString&, int, const QString&) override {}
};

QString work()
{
    static const QString folder = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        const QString f = base + QStringLiteral("/vellomar-fuzz-epub-%1").arg(::getpid());
        QDir().mkpath(f);
        return f;
    }();
    return folder;
}

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    abort();
}

void checkBook(const QString& path)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip)) {
        fail(QStringLiteral("not a zip: ") + path);
    }
    bool titled = false;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        const QString name = zip.getCurrentFileName();
        if (!name.endsWith(QLatin1String(".xhtml")) && !name.endsWith(QLatin1String(".opf"))
            && !name.endsWith(QLatin1String(".ncx")) && !name.endsWith(QLatin1String(".xml"))) {
            continue;
        }
        QuaZipFile f(&zip);
        if (!f.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("unreadable entry ") + name);
        }
        const QByteArray bytes = f.readAll();
        QXmlStreamReader xml(bytes);
        bool inTitle = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                inTitle = xml.qualifiedName() == QLatin1String("dc:title");
            } else if (inTitle && xml.isCharacters() && !xml.text().trimmed().isEmpty()) {
                titled = true;
            }
        }
        if (xml.hasError()) {
            fail(name + QStringLiteral(": ") + xml.errorString() + QStringLiteral(" at line ")
                 + QString::number(xml.lineNumber()));
        }
    }
    if (!titled) {
        fail(QStringLiteral("no title in ") + path);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    static int argc = 1;
    static char name[] = "fuzz_epub";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const quint8 flags = data[0];
    qsizetype at = 4;
    auto field = [&](int units) {
        const qsizetype n = std::min<qsizetype>(units, qsizetype(size - at) / 2);
        const QString s = QString::fromUtf16(reinterpret_cast<const char16_t*>(data + at), n);
        at += n * 2;
        return s;
    };
    const QString title = field(data[1] % 64);
    const QString author = field(data[2] % 64);
    QString file = field(data[3] % 32);
    file.remove(u'/');
    file.remove(QChar(0));
    while (QFile::encodeName(file).size() > 200) {
        file.chop(1);
    }

    const QString folder = work();
    const QString novel = folder + QStringLiteral("/n") + file + QStringLiteral(".txt");
    {
        QFile f(novel);
        if (!f.open(QIODevice::WriteOnly)) {
            return 0; // a name the file system will not take
        }
        f.write(reinterpret_cast<const char*>(data + at), qint64(size - at));
    }
    Settings s = Settings::defaults();
    s.DelSpaceLine = flags & 0x04;
    s.ConvertToSimple = flags & 0x08;
    s.SetInvalidTitle = false; // short chapters are kept: more pages, volumes and parts
    if (flags & 0x40) {
        s.TitleText = QStringLiteral("#([0-9]+)(.*)"); // easy to find without Chinese
    }
    static const TextCodec::Id encodings[] = {TextCodec::Gbk, TextCodec::Utf8, TextCodec::Utf16LE, TextCodec::Big5};
    Document doc;
    QuietHost host;
    doc.setEncodingChoice((flags & 0x03) == 0, encodings[flags & 0x03]);
    if (doc.OpenTextFile(novel, nullptr) && RunAnalysis(doc, s, host) && doc.IsAnalysed) {
        EpubOptions o;
        if (flags & 0x20) {
            o.title = title;
            o.author = author;
        }
        o.chapsInBook = flags & 0x10 ? 1 + (flags >> 7) : 0;
        o.coverPath = QStringLiteral(VELLOMAR_FUZZ_COVER);
        o.target = folder + QStringLiteral("/books");
        QDir().mkpath(o.target);
        const EpubResult r = RunEpub(doc, s, o, host);
        for (const QString& book : r.books) {
            checkBook(book);
        }
        QDir(o.target).removeRecursively();
    }
    QFile::remove(novel);
    return 0;
}
