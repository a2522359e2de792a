#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

// The real novels and the shared rule list some tests read. A developer without them gets a
// skip; a CI run (CI=true) must have them, so there a missing file fails instead of passing
// unseen. VELLOMAR_CORPUS_DIR points the tests at another corpus folder.

/// A file of the corpus folder ("../data/…" for the shared data beside it).
inline QString corpusPath(const QString& name)
{
    const QString dir = qEnvironmentVariable("VELLOMAR_CORPUS_DIR");
    return (dir.isEmpty() ? QStringLiteral(VELLOMAR_CORPUS) : dir) + u'/' + name;
}

inline bool corpusRequired()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

/// Skips the test (fails it under CI) when `path` is missing.
#define VELLOMAR_REQUIRE_CORPUS(path)                                                                            \
    do {                                                                                                         \
        if (!QFileInfo::exists(path)) {                                                                          \
            const QByteArray missing = "corpus file missing: " + QFile::encodeName(path);                        \
            if (corpusRequired()) {                                                                              \
                QFAIL(missing.constData());                                                                      \
            }                                                                                                    \
            QSKIP(missing.constData());                                                                          \
        }                                                                                                        \
    } while (false)
