#include "ScriptConverter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdio>
#include <cstring>

namespace {

QString dataDir()
{
    const QByteArray env = qgetenv("VELLOMAR_OPENCC_DIR");
    return env.isEmpty() ? QStringLiteral("/usr/share/opencc") : QString::fromLocal8Bit(env);
}

// Whether a code page lacks a character, as QStringEncoder reports it (an error, or a '?' or
// substitution byte written for the character), with one ICU converter for every character
// asked about: opening a converter for each took longer than the rest of loading.
class CodePage {
public:
    explicit CodePage(const char* name)
    {
        UErrorCode error = U_ZERO_ERROR;
        m_converter = ucnv_open(name, &error);
        if (m_converter) {
            ucnv_setFromUCallBack(m_converter, noteMissing, &m_missing, nullptr, nullptr, &error);
        }
    }
    ~CodePage()
    {
        if (m_converter) {
            ucnv_close(m_converter);
        }
    }
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    /// `substitute`: the code page's substitution byte also says the character is missing.
    bool lacks(char16_t c, bool substitute)
    {
        if (!m_converter) {
            return false;
        }
        char bytes[16];
        UErrorCode error = U_ZERO_ERROR;
        m_missing = false;
        ucnv_resetFromUnicode(m_converter);
        const int32_t n = ucnv_fromUChars(m_converter, bytes, sizeof bytes, &c, 1, &error);
        return U_FAILURE(error) || m_missing || std::memchr(bytes, '?', size_t(n))
               || (substitute && std::memchr(bytes, 0x1A, size_t(n)));
    }

private:
    // Notes an unmappable character, then substitutes as the default callback would.
    static void noteMissing(const void* context, UConverterFromUnicodeArgs* args, const UChar* units,
                            int32_t length, UChar32 code, UConverterCallbackReason reason, UErrorCode* error)
    {
        if (reason <= UCNV_IRREGULAR) {
            *static_cast<bool*>(const_cast<void*>(context)) = true;
        }
        UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, units, length, code, reason, error);
    }

    UConverter* m_converter = nullptr;
    bool m_missing = false;
};

} // namespace

const ScriptConverter& ScriptConverter::traditionalToSimplified()
{
    static const ScriptConverter conv("TSPhrases.ocd2", "TSCharacters.ocd2", "GB2312");
    return conv;
}

const ScriptConverter& ScriptConverter::simplifiedToTraditional()
{
    static const ScriptConverter conv("STPhrases.ocd2", "STCharacters.ocd2", "Big5");
    return conv;
}

void ScriptConverter::preload()
{
    traditionalToSimplified().phrases();
    simplifiedToTraditional();
}

ScriptConverter::ScriptConverter(const char* phrases, const char* characters, const char* targetSet)
    : m_phraseFile(phrases), m_starts(0x10000, 0), m_single(0x10000, 0), m_sourceOnly(0x10000, 0)
{
    // A failure here is reported by isAvailable(), with the phrases' own failure first.
    load(QDir(dataDir()).filePath(QString::fromLatin1(characters)), false);
    // The target script's own standard set: a mapped character outside it is the source script's.
    CodePage target(targetSet);
    for (size_t c = 0; c < 0x10000; ++c) {
        if (m_single[c]) {
            m_sourceOnly[c] = target.lacks(char16_t(c), true);
        }
    }
}

void ScriptConverter::loadPhrases()
{
    const bool characters = m_error.isEmpty();
    m_available = load(QDir(dataDir()).filePath(QString::fromLatin1(m_phraseFile)), true) && characters;
    // A text can change only through a mapped character or a changing phrase, and a phrase
    // matches only when every one of its characters is there. So it is enough to watch the
    // mapped characters and, for each changing phrase without one, one character of its own.
    // The character watched is preferably a rare one (outside the common GB2312 set), so that
    // ordinary text is not converted for nothing.
    CodePage common("GB2312");
    for (const QString& key : std::as_const(m_changing)) {
        bool covered = false;
        QChar watch = key.at(key.size() - 1);
        for (QChar c : key) {
            covered = covered || m_starts[c.unicode()];
            if (common.lacks(c.unicode(), false)) {
                watch = c;
            }
        }
        if (!covered) {
            m_starts[watch.unicode()] = 1;
        }
    }
    m_changing.clear();
    // A phrase that gives what its characters give one by one changes nothing by matching.
    // A mapped character that no other phrase holds is converted the same in any text whose
    // flagged characters are all of this kind: a phrase matched there either holds such a
    // character or holds no flagged one, and then changes nothing (or it would be watched).
    std::vector<quint8> bound(0x10000, 0);
    for (const Phrase& p : m_phraseList) {
        bool same = true;
        for (qsizetype k = 0; same && k < p.key.size(); ++k) {
            const char16_t c = p.key.at(k).unicode();
            same = !QChar::isSurrogate(c) && p.value.at(k).unicode() == (m_single[c] ? m_single[c] : c);
        }
        if (!same) {
            for (QChar c : p.key) {
                bound[c.unicode()] = 1;
            }
        }
    }
    m_contextFree.assign(0x10000, 0);
    for (size_t c = 0; c < 0x10000; ++c) {
        if (m_single[c] && !bound[c]) {
            m_contextFree[c] = m_single[c];
        }
    }
    // Group the phrases by first unit, longest first, so a position tries only its own.
    std::stable_sort(m_phraseList.begin(), m_phraseList.end(), [](const Phrase& a, const Phrase& b) {
        if (a.key.at(0) != b.key.at(0)) {
            return a.key.at(0) < b.key.at(0);
        }
        return a.key.size() > b.key.size();
    });
    m_phraseFirst.assign(0x10000, 0);
    for (size_t i = 0; i < m_phraseList.size();) {
        const char16_t first = m_phraseList[i].key.at(0).unicode();
        size_t j = i;
        while (j < m_phraseList.size() && m_phraseList[j].key.at(0).unicode() == first && j - i < 255) {
            ++j;
        }
        m_phraseFirst[first] = quint32(i << 8 | (j - i));
        while (j < m_phraseList.size() && m_phraseList[j].key.at(0).unicode() == first) {
            ++j; // more than 255 phrases on one character: the longest 255 are kept
        }
        i = j;
    }
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
            if (phrases) {
                if (key != value) {
                    m_changing.append(key);
                }
                // A phrase whose value has another length is still matched (it ends the
                // longest-match step) but keeps its own text.
                m_phraseList.push_back({key, value.size() == key.size() ? value : key});
            } else if (key.size() == 1 && value.size() == 1) {
                if (value != key) {
                    m_single[first] = value.at(0).unicode();
                    m_starts[first] = 1;
                }
            } else if (key.size() == 2 && key.at(0).isHighSurrogate() && value.size() == 2) {
                m_wide.insert(QChar::surrogateToUcs4(key.at(0), key.at(1)),
                              QChar::surrogateToUcs4(value.at(0), value.at(1)));
                m_starts[first] = 1;
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
    phrases();
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
    QString out = text; // shared until the first character that really changes
    const qsizetype n = text.size();
    const QChar* t = text.constData();
    auto put = [&out, t](qsizetype at, char16_t c) {
        if (t[at].unicode() != c) {
            out.data()[at] = QChar(c);
        }
    };
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = t[i].unicode();
        if (const quint32 group = m_phraseFirst[c]) {
            const Phrase* p = m_phraseList.data() + (group >> 8);
            const Phrase* e = p + (group & 0xFF);
            for (; p != e; ++p) {
                const qsizetype len = p->key.size();
                if (len <= n - i && QStringView(t + i, len) == p->key) {
                    break;
                }
            }
            if (p != e) {
                const qsizetype len = p->key.size();
                for (qsizetype k = 0; k < len; ++k) {
                    put(i + k, p->value.at(k).unicode());
                }
                i += len;
                continue;
            }
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && t[i + 1].isLowSurrogate()) {
            const auto it = m_wide.constFind(QChar::surrogateToUcs4(c, t[i + 1].unicode()));
            if (it != m_wide.cend()) {
                put(i, QChar::highSurrogate(*it));
                put(i + 1, QChar::lowSurrogate(*it));
            }
            i += 2;
            continue;
        }
        if (const char16_t m = m_single[c]) {
            put(i, m);
        }
        ++i;
    }
    return out;
}
