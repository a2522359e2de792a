#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

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

    QString convert(const QString& text) const;

    /// True when no dictionary entry starts with any character of the text, so conversion
    /// cannot change it (the common case for text already in the target script).
    bool isUnchanged(QStringView text) const;

    bool isAvailable() const { return m_available; }
    QString errorString() const { return m_error; }

private:
    ScriptConverter(const char* phrases, const char* characters);
    ScriptConverter(const ScriptConverter&) = delete;
    ScriptConverter& operator=(const ScriptConverter&) = delete;

    bool load(const QString& path, bool phrases);

    bool m_available = false;
    std::vector<quint8> m_phraseMax;       // BMP unit -> longest phrase key starting with it
    std::vector<bool> m_starts;            // BMP unit -> some key starts with it
    std::vector<char16_t> m_single;        // BMP character -> its mapping, 0 when none
    QHash<QString, QString> m_phrases;     // phrase key -> first value (same length only)
    QHash<char32_t, char32_t> m_wide;      // supplementary character -> same-length mapping
    QString m_error;
};
