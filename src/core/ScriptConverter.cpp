#include "ScriptConverter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMutex>

#include <opencc/opencc.h>
#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>

#include <cstdio>

namespace {

QString dataDir()
{
    const QByteArray env = qgetenv("VELLOMAR_OPENCC_DIR");
    return env.isEmpty() ? QStringLiteral("/usr/share/opencc") : QString::fromLocal8Bit(env);
}

// The converter is used from one thread at a time in practice, but OpenCC's handle is not
// documented as re-entrant, so calls are serialised.
QMutex& openccMutex()
{
    static QMutex m;
    return m;
}

} // namespace

const ScriptConverter& ScriptConverter::traditionalToSimplified()
{
    static const char* const dicts[] = {"TSPhrases.ocd2", "TSCharacters.ocd2"};
    static const ScriptConverter conv("t2s.json", dicts, 2);
    return conv;
}

const ScriptConverter& ScriptConverter::simplifiedToTraditional()
{
    static const char* const dicts[] = {"STPhrases.ocd2", "STCharacters.ocd2"};
    static const ScriptConverter conv("s2t.json", dicts, 2);
    return conv;
}

ScriptConverter::ScriptConverter(const char* config, const char* const* dictionaries, int dictionaryCount)
    : m_starts(0x10000, false)
{
    const QString dir = dataDir();
    const QByteArray configPath = QFile::encodeName(QDir(dir).filePath(QString::fromLatin1(config)));
    opencc_t h = opencc_open(configPath.constData());
    if (h == reinterpret_cast<opencc_t>(-1)) {
        m_error = QStringLiteral("OpenCC: ") + QString::fromUtf8(opencc_error());
        return;
    }
    m_handle = h;
    for (int d = 0; d < dictionaryCount; ++d) {
        const QByteArray path = QFile::encodeName(QDir(dir).filePath(QString::fromLatin1(dictionaries[d])));
        FILE* fp = std::fopen(path.constData(), "rb");
        if (!fp) {
            m_error = QStringLiteral("OpenCC: cannot read ") + QString::fromLocal8Bit(path);
            continue;
        }
        try {
            const opencc::MarisaDictPtr dict = opencc::MarisaDict::NewFromFile(fp);
            const bool characters = d == dictionaryCount - 1;
            for (const auto& entry : *dict->GetLexicon()) {
                const QString key = QString::fromStdString(entry->Key());
                if (key.isEmpty()) {
                    continue;
                }
                m_starts[key.at(0).unicode()] = true;
                if (characters && key.size() == 1) {
                    const QString value = QString::fromStdString(entry->GetDefault());
                    if (value.size() == 1 && !m_single.contains(key.at(0).unicode())) {
                        m_single.insert(key.at(0).unicode(), value.at(0).unicode());
                    }
                }
            }
        } catch (...) {
            m_error = QStringLiteral("OpenCC: bad dictionary ") + QString::fromLocal8Bit(path);
        }
        std::fclose(fp);
    }
}

ScriptConverter::~ScriptConverter()
{
    if (m_handle) {
        opencc_close(m_handle);
    }
}

bool ScriptConverter::isUnchanged(QStringView text) const
{
    for (const QChar c : text) {
        if (m_starts[c.unicode()]) {
            return false;
        }
    }
    return true;
}

QString ScriptConverter::convert(const QString& text) const
{
    if (!m_handle || isUnchanged(text)) {
        return text;
    }
    // OpenCC reads C strings: convert the pieces between NULs so nothing after one is lost.
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype nul = text.indexOf(QChar(0), from);
        const QStringView piece = QStringView(text).mid(from, (nul < 0 ? text.size() : nul) - from);
        out += convertPiece(piece);
        if (nul < 0) {
            break;
        }
        out += QChar(0);
        from = nul + 1;
    }
    return out;
}

QString ScriptConverter::convertPiece(QStringView piece) const
{
    if (piece.isEmpty() || isUnchanged(piece)) {
        return piece.toString();
    }
    const QByteArray utf8 = piece.toUtf8();
    QString converted;
    {
        QMutexLocker lock(&openccMutex());
        char* result = opencc_convert_utf8(m_handle, utf8.constData(), size_t(utf8.size()));
        if (result) {
            converted = QString::fromUtf8(result);
            opencc_convert_utf8_free(result);
        }
    }
    if (converted.size() == piece.size()) {
        return converted;
    }
    // A phrase mapping changed the length: fall back to single characters so that every
    // character keeps its place.
    QString out = piece.toString();
    for (QChar& c : out) {
        const auto it = m_single.constFind(c.unicode());
        if (it != m_single.cend()) {
            c = QChar(*it);
        }
    }
    return out;
}
