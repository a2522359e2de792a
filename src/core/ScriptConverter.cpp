#include "ScriptConverter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

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

} // namespace

const ScriptConverter& ScriptConverter::traditionalToSimplified()
{
    static const ScriptConverter conv("TSPhrases.ocd2", "TSCharacters.ocd2");
    return conv;
}

const ScriptConverter& ScriptConverter::simplifiedToTraditional()
{
    static const ScriptConverter conv("STPhrases.ocd2", "STCharacters.ocd2");
    return conv;
}

ScriptConverter::ScriptConverter(const char* phrases, const char* characters)
    : m_phraseMax(0x10000, 0), m_starts(0x10000, false), m_single(0x10000, 0)
{
    const QDir dir(dataDir());
    m_available = load(dir.filePath(QString::fromLatin1(phrases)), true)
                  && load(dir.filePath(QString::fromLatin1(characters)), false);
}

bool ScriptConverter::load(const QString& path, bool phrases)
{
    const QByteArray name = QFile::encodeName(path);
    FILE* fp = std::fopen(name.constData(), "rb");
    if (!fp) {
        m_error = QStringLiteral("OpenCC: cannot read ") + path;
        return false;
    }
    bool ok = true;
    try {
        const opencc::MarisaDictPtr dict = opencc::MarisaDict::NewFromFile(fp);
        for (const auto& entry : *dict->GetLexicon()) {
            const QString key = QString::fromStdString(entry->Key());
            const QString value = QString::fromStdString(entry->GetDefault());
            if (key.isEmpty()) {
                continue;
            }
            const char16_t first = key.at(0).unicode();
            m_starts[first] = true;
            if (phrases) {
                m_phraseMax[first] = quint8(std::max<qsizetype>(m_phraseMax[first], std::min<qsizetype>(key.size(), 255)));
                // A phrase whose value has another length is still matched (it ends the
                // longest-match step) but keeps its own text.
                m_phrases.insert(key, value.size() == key.size() ? value : key);
            } else if (key.size() == 1 && value.size() == 1) {
                m_single[first] = value.at(0).unicode();
            } else if (key.size() == 2 && key.at(0).isHighSurrogate() && value.size() == 2) {
                m_wide.insert(QChar::surrogateToUcs4(key.at(0), key.at(1)),
                              QChar::surrogateToUcs4(value.at(0), value.at(1)));
            }
        }
    } catch (...) {
        m_error = QStringLiteral("OpenCC: unreadable dictionary ") + path;
        ok = false;
    }
    std::fclose(fp);
    return ok;
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
    if (isUnchanged(text)) {
        return text;
    }
    QString out = text;
    QChar* o = out.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = text.at(i).unicode();
        if (const int longest = m_phraseMax[c]) {
            bool matched = false;
            for (qsizetype len = std::min<qsizetype>(longest, n - i); len >= 1 && !matched; --len) {
                const auto it = m_phrases.constFind(text.mid(i, len));
                if (it != m_phrases.cend()) {
                    std::copy(it->cbegin(), it->cend(), o + i);
                    i += len;
                    matched = true;
                }
            }
            if (matched) {
                continue;
            }
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            const auto it = m_wide.constFind(QChar::surrogateToUcs4(c, text.at(i + 1).unicode()));
            if (it != m_wide.cend()) {
                o[i] = QChar(QChar::highSurrogate(*it));
                o[i + 1] = QChar(QChar::lowSurrogate(*it));
            }
            i += 2;
            continue;
        }
        if (const char16_t m = m_single[c]) {
            o[i] = QChar(m);
        }
        ++i;
    }
    return out;
}
