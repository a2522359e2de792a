#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <mutex>
#include <vector>

/// Traditional <-> simplified Chinese with OpenCC's dictionaries and OpenCC's own rule
/// (longest phrase first, then single characters), run by our own code so that a line costs
/// a table look-up per character rather than a round trip through OpenCC.
///
/// Every character keeps its place: a mapping that would change the UTF-16 length (only
/// characters outside the Basic Multilingual Plane do, and no legacy code page can store
/// them) leaves the original text, so a line's output can be checked position by position.
class ScriptConverter {
public:
    static const ScriptConverter& traditionalToSimplified();
    static const ScriptConverter& simplifiedToTraditional();
    /// Reads what text output with conversion needs (both directions' characters, the phrases to
    /// simplified), so that a thread with nothing else to do can read it ahead.
    static void preload();

    /// The phrase dictionary is read on the first call that needs it (conversion, the tables
    /// below, isAvailable()): most runs ask only which script a character belongs to, and the
    /// simplified-to-traditional phrases alone are 50,000 entries.
    QString convert(const QString& text) const;

    /// True when the text holds no character that any mapping changes, so conversion cannot
    /// change it (the common case for text already in the target script).
    bool isUnchanged(QStringView text) const;

    /// 1 for every BMP unit whose presence may let conversion change a text (65536 entries).
    const quint8* changeTable() const { return phrases().m_starts.data(); }

    /// For each BMP unit that changeTable() flags: what it becomes when every flagged unit of a
    /// text has an entry here, for then no phrase changes the text otherwise than character by
    /// character; 0 for a unit whose result depends on its neighbours.
    const char16_t* contextFreeTable() const { return phrases().m_contextFree.data(); }

    /// True for a character only the source script writes: one this conversion changes and the
    /// target script's standard set lacks (GB2312 for simplified, Big5 for traditional). A
    /// few mapped characters are in both scripts (孙乾, 麴义 are simplified text).
    bool isSourceOnly(char16_t c) const { return m_sourceOnly[c]; }

    bool isAvailable() const { return phrases().m_available; }
    QString errorString() const { return phrases().m_error; }

private:
    ScriptConverter(const char* phrases, const char* characters, const char* targetSet);
    ScriptConverter(const ScriptConverter&) = delete;
    ScriptConverter& operator=(const ScriptConverter&) = delete;

    bool load(const QString& path, bool phrases);
    // The converter with its phrases read (once, whichever thread asks first).
    const ScriptConverter& phrases() const
    {
        std::call_once(m_phrasesRead, [this] { const_cast<ScriptConverter*>(this)->loadPhrases(); });
        return *this;
    }
    void loadPhrases();

    const char* m_phraseFile;
    mutable std::once_flag m_phrasesRead;
    bool m_available = false;
    struct Phrase {
        QString key;
        QString value; // same length as the key
    };
    std::vector<quint32> m_phraseFirst;    // BMP unit -> (index << 8 | count) into m_phraseList
    std::vector<Phrase> m_phraseList;      // grouped by first unit, longest key first
    std::vector<quint8> m_starts;          // BMP unit -> some mapping changes it
    std::vector<char16_t> m_single;        // BMP character -> its mapping, 0 when none
    std::vector<char16_t> m_contextFree;   // BMP character -> its mapping in any context, 0 when none
    std::vector<quint8> m_sourceOnly;      // BMP character -> only the source script writes it
    QHash<char32_t, char32_t> m_wide;      // supplementary character -> same-length mapping
    QStringList m_changing;                // phrases whose value differs, while loading
    QString m_error;
};
