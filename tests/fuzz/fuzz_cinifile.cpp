// Arbitrary config.ini bytes, then a write, a read back and a delete: a value written reads
// back, and the other sections keep their values.
#include "config/cInifile.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QStringLiteral("/tmp/vellomar-fuzz-ini-%1.ini").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            abort();
        }
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    cInifile ini;
    ini.setPath(path);
    QStringList sections;
    qint32 count = 0;
    ini.EnumerateAllSections(sections, count);
    // What every other section holds before the write.
    struct Entry {
        QString section, key, value;
    };
    QList<Entry> before;
    for (const QString& s : sections) {
        if (s.compare(QLatin1String("fuzz"), Qt::CaseInsensitive) == 0 || s.trimmed() != s) {
            continue;
        }
        ini.setSection(s);
        QStringList keys;
        qint32 n = 0;
        ini.EnumerateCurrentSection(keys, n);
        for (const QString& k : keys) {
            if (k.isEmpty() || k.trimmed() != k) {
                continue;
            }
            ini.setKey(k);
            before.append({s, k, ini.Value()});
        }
    }
    const QString value = QStringLiteral(u"值 %1 ✓").arg(size);
    ini.setSection(QStringLiteral("fuzz"));
    ini.setKey(QStringLiteral("key"));
    ini.setValue(value);
    if (!ini.Success()) {
        abort();
    }
    if (ini.Value() != value) {
        abort(); // ✓ is not GBK, but GB18030 (or a UTF-8 file) keeps it
    }
    for (const Entry& e : std::as_const(before)) {
        ini.setSection(e.section);
        ini.setKey(e.key);
        if (ini.Value() != e.value) {
            abort();
        }
    }
    ini.setSection(QStringLiteral("fuzz"));
    ini.DeleteKey();
    ini.setDefault(QStringLiteral("gone"));
    if (ini.Value() != QLatin1String("gone")) {
        abort();
    }
    return 0;
}
