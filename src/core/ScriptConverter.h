#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <vector>

/// Traditional <-> simplified Chinese through OpenCC's dictionaries, keeping every character
/// in its place: the result always has as many UTF-16 units as the input, so the output of a
/// line can be checked and repaired position by position.
class ScriptConverter {
public:
    static const ScriptConverter& traditionalToSimplified();
    static const ScriptConverter& simplifiedToTraditional();

    QString convert(const QString& text) const;

    /// True when no dictionary entry starts with any character of the text, so conversion
    /// cannot change it (the common case for simplified text, checked without OpenCC).
    bool isUnchanged(QStringView text) const;

    bool isAvailable() const { return m_handle != nullptr; }
    QString errorString() const { return m_error; }

private:
    ScriptConverter(const char* config, const char* const* dictionaries, int dictionaryCount);
    ~ScriptConverter();
    ScriptConverter(const ScriptConverter&) = delete;
    ScriptConverter& operator=(const ScriptConverter&) = delete;

    QString convertPiece(QStringView piece) const;

    void* m_handle = nullptr;            // opencc_t
    std::vector<bool> m_starts;          // BMP units that begin some dictionary key
    QHash<char16_t, char16_t> m_single;  // one-to-one character mapping, the fallback
    QString m_error;
};
