#include "ConfigFile.h"

#include "SystemError.h"

#include "AnsiText.h"
#include "ReplaceRules.h"
#include "cInifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString DefaultOutPath = QStringLiteral("(default)");
// What a read gives for a key that is not there: no stored value can hold a line feed.
const QString MissingValue = QStringLiteral("\n");

// Decimal text rounded to the nearest integer, halves to even; blanks, a sign, a fraction and
// an exponent are accepted. Text beyond 16 bits fails rather than wrapping.
std::optional<qint16> toInt16(const QString& text) {
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    const double rounded = std::nearbyint(number);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

std::optional<bool> toBool(const QString& text) {
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number != 0.0;
}

QString boolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isAsciiHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return isAsciiDigit(c) || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool allOf(QStringView text, bool (*test)(QChar)) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), test);
}

// Up to 32 bits of hexadecimal digits; eight digits may set the sign bit, as colour numbers do.
std::optional<qint32> hexToInt32(QStringView digits) {
    if (!allOf(digits, isAsciiHexDigit))
        return std::nullopt;
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (!ok || value > 0xFFFFFFFFULL)
        return std::nullopt;
    return static_cast<qint32>(static_cast<quint32>(value));
}

std::optional<qint32> decimalToInt32(QStringView text) {
    const bool hasSign = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'));
    if (!allOf(hasSign ? text.sliced(1) : text, isAsciiDigit))
        return std::nullopt;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? std::optional<qint32>(value) : std::nullopt;
}

// "r,g,b" with each component 0-255, laid out 0x00BBGGRR like every other colour here.
std::optional<qint32> rgbToInt32(QStringView text) {
    const QList<QStringView> parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return std::nullopt;
    qint32 color = 0;
    for (int i = 0; i < 3; ++i) {
        const QStringView part = parts[i].trimmed();
        if (part.size() > 3 || !allOf(part, isAsciiDigit))
            return std::nullopt;
        const int component = part.toInt();
        if (component > 255)
            return std::nullopt;
        color |= component << (8 * i);
    }
    return color;
}

const QString CleanSection = QStringLiteral("clean");

// A rule key of [clean] as older versions wrote them ("rule0"...): one compact JSON object.
bool isRuleKey(const QString& key) {
    return key.startsWith(QLatin1String("rule"), Qt::CaseInsensitive);
}

std::optional<ReplaceRule> ruleFromValue(const QString& value) {
    const QJsonDocument rule = QJsonDocument::fromJson(value.toUtf8());
    if (!rule.isObject() || !rule.object().value(QLatin1String("pattern")).isString())
        return std::nullopt;
    return ruleFromJson(rule.object());
}

struct LegacyRules {
    QList<ReplaceRule> rules;
    QStringList keys;     // of the rules read, to remove once they are in the rule file
    QStringList problems;
};

// The rule keys still in config.ini's [clean], read whole: the value buffer would cut a long rule
// and the key list stop after about a thousand keys.
LegacyRules legacyRules(cInifile& ini, const QString& configPath) {
    LegacyRules legacy;
    ini.setSection(CleanSection);
    const auto entries = ini.SectionEntries();
    for (const auto& [key, value] : entries) {
        if (!isRuleKey(key))
            continue;
        if (const auto rule = ruleFromValue(value)) {
            legacy.rules << *rule;
            legacy.keys << key;
        } else {
            legacy.problems << QStringLiteral(u"%1 [clean] %2: 不是替换规则的 JSON，未使用（%3）")
                                   .arg(QFileInfo(configPath).fileName(), key, value.left(40));
        }
    }
    return legacy;
}

bool readWhole(const QString& path, QByteArray* bytes, QString* error) {
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = fileFailureReason(path, errno, file.errorString());
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = fileFailureReason(path, errno, file.errorString());
        return false;
    }
    return true;
}

bool writeWhole(const QString& path, const QByteArray& bytes, QString* error) {
    return replaceFileWhole(path, bytes, error);
}

// Writes key by key into one reading of the file and saves it once at the end, so that a
// file that cannot be read is never replaced and a failure leaves the old file whole.
class ConfigWriter {
public:
    explicit ConfigWriter(const QString& path) {
        m_ini.setPath(path);
        if (QString why; !m_ini.holdFile(&why))
            m_error = QStringLiteral(u"无法读取配置文件 %1: %2").arg(path, why);
    }

    bool hasKey(const QString& section, const QString& key) {
        if (!m_error.isEmpty())
            return false;
        m_ini.setSection(section);
        m_ini.setKey(key);
        m_ini.setDefault(MissingValue);
        const bool there = m_ini.Value() != MissingValue;
        m_ini.setDefault(QString());
        return there;
    }

    void write(const QString& section, const QString& key, const QString& value) {
        if (!m_error.isEmpty())
            return;
        m_ini.setSection(section);
        m_ini.setKey(key);
        m_ini.setValue(value);
    }

    void deleteSection(const QString& section) {
        if (!m_error.isEmpty())
            return;
        m_ini.setSection(section);
        m_ini.DeleteSection();
    }

    bool readable() const { return m_error.isEmpty(); }

    // The rule keys that older versions kept in [clean] and that are in the rule file now;
    // a key that never was a rule stays for the user to see.
    void removeLegacyRules() {
        if (!m_error.isEmpty())
            return;
        m_ini.setSection(CleanSection);
        const auto entries = m_ini.SectionEntries();
        for (const auto& [key, value] : entries) {
            if (isRuleKey(key) && ruleFromValue(value)) {
                m_ini.setKey(key);
                m_ini.DeleteKey();
            }
        }
    }

    bool finish(QString* error) {
        if (QString why; m_error.isEmpty() && !m_ini.releaseFile(&why))
            m_error = QStringLiteral(u"无法写入配置文件 %1: %2").arg(m_ini.Path(), why);
        if (error && !m_error.isEmpty())
            *error = m_error;
        return m_error.isEmpty();
    }

private:
    cInifile m_ini;
    QString m_error;
};

// "64,0,120": widths of 0 to 32767; anything else, or more pieces than a list has columns
// to speak of, is not a width list.
std::optional<QList<int>> toWidths(const QString& text) {
    const QStringList pieces = text.split(QLatin1Char(','));
    if (text.trimmed().isEmpty() || pieces.size() > 32)
        return std::nullopt;
    QList<int> widths;
    for (const QString& piece : pieces) {
        const QString digits = piece.trimmed();
        if (!allOf(digits, isAsciiDigit) || digits.size() > 5 || digits.toInt() > 32767)
            return std::nullopt;
        widths << digits.toInt();
    }
    return widths;
}

QString widthsText(const QList<int>& widths) {
    QStringList pieces;
    for (int w : widths)
        pieces << QString::number(std::clamp(w, 0, 32767));
    return pieces.join(QLatin1Char(','));
}

const QString RecentSection = QStringLiteral("recent");

// Entries of a list as written by the default file: every piece, empty ones included.
QStringList allPieces(const QString& list) {
    return list.isEmpty() ? QStringList() : list.split(CrLf);
}

} // namespace

bool LoadConfig(Settings& settings, const QString& configPath, QString* error) {
    // The rule file first: its rules are there even when config.ini cannot be read.
    settings.ReplaceRuleProblems.clear();
    const bool ruleFile = QFileInfo::exists(ReplaceRulesPath(configPath));
    if (ruleFile)
        LoadReplaceRules(settings, configPath);
    cInifile ini;
    ini.setPath(configPath);
    // One reading of the file for every key below, however large a damaged file has grown.
    if (QString why; !ini.holdFile(&why)) {
        if (error)
            *error = QStringLiteral(u"无法读取配置文件 %1: %2").arg(configPath, why);
        return false;
    }
    auto read = [&ini](const QString& section, const QString& key) {
        ini.setSection(section);
        ini.setKey(key);
        return ini.Value();
    };
    auto readInt = [&read](const QString& section, const QString& key, qint16& field) {
        if (const auto value = toInt16(read(section, key)))
            field = *value;
    };
    auto readBool = [&read](const QString& section, const QString& key, bool& field) {
        if (const auto value = toBool(read(section, key)))
            field = *value;
    };

    const QString text = QStringLiteral("text");
    if (const QString title = read(text, QStringLiteral("TitleText")); !title.isEmpty())
        settings.TitleText = title;
    readInt(text, QStringLiteral("ChapsInFile"), settings.ChapsInFile);
    readInt(text, QStringLiteral("FilesInDir"), settings.FilesInDir);
    readBool(text, QStringLiteral("SetInvalidTitle"), settings.SetInvalidTitle);
    readInt(text, QStringLiteral("InvalidLines"), settings.InvalidLines);
    readBool(text, QStringLiteral("FilterAfterLine"), settings.FilterAfterLine);
    readBool(text, QStringLiteral("DelSpaceLine"), settings.DelSpaceLine);
    readBool(text, QStringLiteral("ConvertToSimple"), settings.ConvertToSimple);
    readInt(text, QStringLiteral("PathDefaultSelect"), settings.PathDefaultSelect);
    readInt(text, QStringLiteral("FileDefaultSelect"), settings.FileDefaultSelect);
    // Unlike TitleText, an empty VolumeText is a choice (no volumes); only a missing key
    // leaves the pattern as it was.
    ini.setDefault(MissingValue);
    if (const QString volume = read(text, QStringLiteral("VolumeText")); volume != MissingValue)
        settings.VolumeText = volume;
    ini.setDefault(QString());
    readBool(text, QStringLiteral("FolderPerVolume"), settings.FolderPerVolume);

    const QString favorite = QStringLiteral("favorite");
    readBool(favorite, QStringLiteral("AutoAnalyze"), settings.AutoAnalyze);
    readBool(favorite, QStringLiteral("AppendText"), settings.AppendText);
    readBool(favorite, QStringLiteral("MiniToTray"), settings.MiniToTray);
    readBool(favorite, QStringLiteral("ShowBalloonTip"), settings.ShowBalloonTip);
    readBool(favorite, QStringLiteral("AutoOpenNotepad"), settings.AutoOpenNotepad);
    readBool(favorite, QStringLiteral("TopMost"), settings.TopMost);
    readBool(favorite, QStringLiteral("LogPosition"), settings.LogPosition);
    readBool(favorite, QStringLiteral("ShowPreview"), settings.ShowPreview);
    readBool(favorite, QStringLiteral("AutoTidy"), settings.AutoTidy);
    readInt(QStringLiteral("epub"), QStringLiteral("ChapsInBook"), settings.EpubChapsInBook);
    if (settings.EpubChapsInBook < 0)
        settings.EpubChapsInBook = 0;
    settings.EpubFolder = read(QStringLiteral("epub"), QStringLiteral("Folder")).trimmed();
    if (read(QStringLiteral("epub"), QStringLiteral("Format")).trimmed().compare(QLatin1String("azw3"), Qt::CaseInsensitive) == 0)
        settings.EpubFormat = QStringLiteral("azw3");
    readBool(QStringLiteral("epub"), QStringLiteral("Vertical"), settings.EpubVertical);
    readInt(QStringLiteral("epub"), QStringLiteral("MaxBookMB"), settings.EpubMaxBookMB);
    if (settings.EpubMaxBookMB < 0)
        settings.EpubMaxBookMB = 0;
    if (const auto widths = toWidths(read(favorite, QStringLiteral("ColumnWidths"))))
        settings.ColumnWidths = *widths;
    settings.ListBackColor = ParseColor(read(favorite, QStringLiteral("ListBackColor")));
    settings.ItemBackColor = ParseColor(read(favorite, QStringLiteral("ItemBackColor")));
    settings.FontName = read(favorite, QStringLiteral("FontName")).trimmed();
    if (settings.FontName.isEmpty())
        settings.FontName = QStringLiteral("Tahoma");

    QStringList keys;
    qint32 count = 0;

    readBool(CleanSection, QStringLiteral("DropRepeatedTitle"), settings.DropRepeatedTitle);
    readBool(CleanSection, QStringLiteral("IndentParagraphs"), settings.IndentParagraphs);
    readBool(CleanSection, QStringLiteral("Reflow"), settings.Reflow);
    const LegacyRules legacy = legacyRules(ini, configPath);
    settings.ReplaceRuleProblems << legacy.problems;
    if (!ruleFile) {
        // Rules that older versions kept in config.ini move to the rule file, once.
        settings.ReplaceRules = legacy.rules;
        QString why;
        if (legacy.rules.isEmpty()) {
            // nothing to move
        } else if (SaveReplaceRules(legacy.rules, configPath, &why)) {
            for (const QString& key : legacy.keys) {
                ini.setSection(CleanSection);
                ini.setKey(key);
                ini.DeleteKey();
            }
        } else {
            settings.ReplaceRuleProblems
                << QStringLiteral(u"替换规则未能移到 %1，这次仍从 %2 读取：%3")
                       .arg(ReplaceRulesPath(configPath), QFileInfo(configPath).fileName(), why);
        }
    }

    settings.TextFilters.clear();
    ini.setSection(QStringLiteral("textfilter"));
    ini.EnumerateCurrentSection(keys, count);
    for (const QString& key : std::as_const(keys)) {
        ini.setKey(key);
        settings.TextFilters += ini.Value() + CrLf;
    }

    settings.OutPaths.clear();
    ini.setSection(QStringLiteral("outpath"));
    ini.EnumerateCurrentSection(keys, count);
    for (qint32 i = 1; i <= count; ++i) {
        ini.setKey(keys[i - 1]);
        QString path = ini.Value();
        // A folder is joined to file names directly, so it must end in the separator.
        if (!path.endsWith(QLatin1Char('/')) && path != DefaultOutPath) {
            path += QLatin1Char('/');
            ini.setValue(path);
        }
        if (i == settings.PathDefaultSelect + 1)
            settings.OutPath = path;
        settings.OutPaths += path + CrLf;
    }

    settings.OutFiles.clear();
    ini.setSection(QStringLiteral("outfile"));
    ini.EnumerateCurrentSection(keys, count);
    for (qint32 i = 1; i <= count; ++i) {
        ini.setKey(keys[i - 1]);
        const QString file = ini.Value();
        if (i == settings.FileDefaultSelect + 1)
            settings.OutFile = file;
        settings.OutFiles += file + CrLf;
    }

    const QString position = QStringLiteral("position");
    readInt(position, QStringLiteral("Left"), settings.PositionLeft);
    readInt(position, QStringLiteral("Top"), settings.PositionTop);
    readInt(position, QStringLiteral("Width"), settings.PositionWidth);
    readInt(position, QStringLiteral("Height"), settings.PositionHeight);

    settings.RecentFiles.clear();
    for (int n = 0; n < MaxRecentFiles; ++n) {
        const QString path = read(RecentSection, QStringLiteral("file") + QString::number(n));
        QString encoding = read(RecentSection, QStringLiteral("encoding") + QString::number(n));
        if (encoding.isEmpty())
            encoding = QStringLiteral("auto");
        if (!path.isEmpty() &&
            std::none_of(settings.RecentFiles.cbegin(), settings.RecentFiles.cend(),
                         [&path](const RecentFile& f) { return f.path == path; }))
            settings.RecentFiles << RecentFile{path, encoding};
    }
    ini.releaseFile(); // the corrected folders; like every settings write, a failure is passed over
    return true;
}

bool SaveConfig(const Settings& s, const QString& configPath, QString* error) {
    ConfigWriter out(configPath);
    const QString text = QStringLiteral("text");
    out.write(text, QStringLiteral("TitleText"), s.TitleText);
    out.write(text, QStringLiteral("ChapsInFile"), QString::number(s.ChapsInFile));
    out.write(text, QStringLiteral("FilesInDir"), QString::number(s.FilesInDir));
    out.write(text, QStringLiteral("SetInvalidTitle"), boolText(s.SetInvalidTitle));
    out.write(text, QStringLiteral("InvalidLines"), QString::number(s.InvalidLines));
    out.write(text, QStringLiteral("FilterAfterLine"), boolText(s.FilterAfterLine));
    out.write(text, QStringLiteral("DelSpaceLine"), boolText(s.DelSpaceLine));
    out.write(text, QStringLiteral("ConvertToSimple"), boolText(s.ConvertToSimple));
    out.write(text, QStringLiteral("PathDefaultSelect"), QString::number(s.PathDefaultSelect));
    out.write(text, QStringLiteral("FileDefaultSelect"), QString::number(s.FileDefaultSelect));
    // The volume keys are written once they differ from the built-in values or are there
    // already: a file that never had them keeps its [text] section as it was.
    if (s.VolumeText != Settings::defaultVolumeText() || out.hasKey(text, QStringLiteral("VolumeText")))
        out.write(text, QStringLiteral("VolumeText"), s.VolumeText);
    if (s.FolderPerVolume || out.hasKey(text, QStringLiteral("FolderPerVolume")))
        out.write(text, QStringLiteral("FolderPerVolume"), boolText(s.FolderPerVolume));

    const QString favorite = QStringLiteral("favorite");
    out.write(favorite, QStringLiteral("AutoAnalyze"), boolText(s.AutoAnalyze));
    out.write(favorite, QStringLiteral("AppendText"), boolText(s.AppendText));
    out.write(favorite, QStringLiteral("MiniToTray"), boolText(s.MiniToTray));
    out.write(favorite, QStringLiteral("ShowBalloonTip"), boolText(s.ShowBalloonTip));
    out.write(favorite, QStringLiteral("AutoOpenNotepad"), boolText(s.AutoOpenNotepad));
    out.write(favorite, QStringLiteral("TopMost"), boolText(s.TopMost));
    out.write(favorite, QStringLiteral("LogPosition"), boolText(s.LogPosition));
    out.write(favorite, QStringLiteral("ListBackColor"), FormatColor(s.ListBackColor));
    out.write(favorite, QStringLiteral("ItemBackColor"), FormatColor(s.ItemBackColor));
    out.write(favorite, QStringLiteral("FontName"), s.FontName);
    // Our own keys appear once they leave their defaults: the default file stays as it is.
    if (s.ShowPreview != Settings::defaults().ShowPreview || out.hasKey(favorite, QStringLiteral("ShowPreview")))
        out.write(favorite, QStringLiteral("ShowPreview"), boolText(s.ShowPreview));
    if (s.AutoTidy || out.hasKey(favorite, QStringLiteral("AutoTidy")))
        out.write(favorite, QStringLiteral("AutoTidy"), boolText(s.AutoTidy));
    const QString epub = QStringLiteral("epub");
    if (s.EpubChapsInBook != 0 || out.hasKey(epub, QStringLiteral("ChapsInBook")))
        out.write(epub, QStringLiteral("ChapsInBook"), QString::number(s.EpubChapsInBook));
    if (!s.EpubFolder.isEmpty() || out.hasKey(epub, QStringLiteral("Folder")))
        out.write(epub, QStringLiteral("Folder"), s.EpubFolder);
    if (s.EpubFormat != QLatin1String("epub") || out.hasKey(epub, QStringLiteral("Format")))
        out.write(epub, QStringLiteral("Format"), s.EpubFormat);
    if (s.EpubVertical || out.hasKey(epub, QStringLiteral("Vertical")))
        out.write(epub, QStringLiteral("Vertical"), boolText(s.EpubVertical));
    if (s.EpubMaxBookMB != 0 || out.hasKey(epub, QStringLiteral("MaxBookMB")))
        out.write(epub, QStringLiteral("MaxBookMB"), QString::number(s.EpubMaxBookMB));
    // [clean] appears once cleanup is first set up; the rules themselves are in their own file,
    // written only when config.ini could be read (else the rules were never loaded either).
    QString rulesError;
    const bool rulesSaved = out.readable() && SaveReplaceRules(s.ReplaceRules, configPath, &rulesError);
    if (s.DropRepeatedTitle || s.IndentParagraphs || out.hasKey(CleanSection, QStringLiteral("DropRepeatedTitle"))) {
        out.write(CleanSection, QStringLiteral("DropRepeatedTitle"), boolText(s.DropRepeatedTitle));
        out.write(CleanSection, QStringLiteral("IndentParagraphs"), boolText(s.IndentParagraphs));
    }
    if (s.Reflow || out.hasKey(CleanSection, QStringLiteral("Reflow")))
        out.write(CleanSection, QStringLiteral("Reflow"), boolText(s.Reflow));
    if (rulesSaved)
        out.removeLegacyRules();
    // Absent until the user first drags a column: the default file stays as it is.
    if (!s.ColumnWidths.isEmpty())
        out.write(favorite, QStringLiteral("ColumnWidths"), widthsText(s.ColumnWidths));

    const struct {
        const char16_t* section;
        const char16_t* prefix;
        const QString& list;
    } lists[] = {
        {u"textfilter", u"filter", s.TextFilters},
        {u"outpath", u"path", s.OutPaths},
        {u"outfile", u"file", s.OutFiles},
    };
    for (const auto& list : lists) {
        const QString section = QString::fromUtf16(list.section);
        out.deleteSection(section);
        const QStringList entries = splitList(list.list);
        for (qsizetype n = 0; n < entries.size(); ++n)
            out.write(section, QString::fromUtf16(list.prefix) + QString::number(n), entries[n]);
    }
    if (!out.finish(error))
        return false;
    if (!rulesError.isEmpty()) {
        if (error)
            *error = rulesError;
        return false;
    }
    return true;
}

QString ReplaceRulesPath(const QString& configPath) {
    const QFileInfo config(configPath);
    return config.dir().filePath(config.completeBaseName() + QStringLiteral(".rules.json"));
}

void LoadReplaceRules(Settings& settings, const QString& configPath) {
    const QString path = ReplaceRulesPath(configPath);
    if (!QFileInfo::exists(path))
        return;
    QByteArray bytes;
    QString why;
    QStringList problems;
    QList<ReplaceRule> rules;
    if (!readWhole(path, &bytes, &why) || !readReplaceRules(bytes, &rules, &problems, &why)) {
        settings.ReplaceRules.clear();
        settings.ReplaceRuleProblems << QStringLiteral(u"无法读取替换规则文件 %1：%2。这次不使用替换规则。").arg(path, why);
        return;
    }
    settings.ReplaceRules = rules;
    for (const QString& p : std::as_const(problems))
        settings.ReplaceRuleProblems << QStringLiteral(u"替换规则文件 %1：%2，未使用。").arg(path, p);
}

bool SaveReplaceRules(const QList<ReplaceRule>& rules, const QString& configPath, QString* error) {
    const QString path = ReplaceRulesPath(configPath);
    const QByteArray bytes = exportReplaceRules(rules);
    QString why;
    if (QFileInfo::exists(path)) {
        QByteArray old;
        if (!readWhole(path, &old, &why)) {
            if (error)
                *error = QStringLiteral(u"无法读取替换规则文件 %1：%2").arg(path, why);
            return false;
        }
        if (old == bytes)
            return true;
        // What the program could not read may still be the user's: it is kept aside.
        QList<ReplaceRule> loaded;
        QStringList problems;
        if ((!readReplaceRules(old, &loaded, &problems, &why) || !problems.isEmpty())
            && !writeWhole(path + QStringLiteral(".bak"), old, &why)) {
            if (error)
                *error = QStringLiteral(u"无法保留替换规则文件的旧版本 %1.bak：%2").arg(path, why);
            return false;
        }
    } else if (rules.isEmpty()) {
        return true;
    }
    if (!writeWhole(path, bytes, &why)) {
        if (error)
            *error = QStringLiteral(u"无法写入替换规则文件 %1：%2").arg(path, why);
        return false;
    }
    return true;
}

bool WriteDefaultConfig(const Settings& s, const QString& configPath, QString* error) {
    QString text;
    auto line = [&text](QString content) {
        // A line break or NUL inside a value would break the file's structure, as in cInifile.
        content.remove(QChar(0)).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        text += content + CrLf;
    };
    auto entry = [&line](const char16_t* comment, const char16_t* key, const QString& value) {
        line(QString::fromUtf16(comment));
        line(QString::fromUtf16(key) + QLatin1Char('=') + value);
    };
    auto list = [&line](const char16_t* section, const char16_t* prefix, const QString& entries) {
        line(QString());
        line(QString::fromUtf16(section));
        const QStringList pieces = allPieces(entries);
        for (qsizetype n = 0; n < pieces.size(); ++n)
            line(QString::fromUtf16(prefix) + QString::number(n) + QLatin1Char('=') + pieces[n]);
    };

    line(QStringLiteral("[text]"));
    entry(u";章节标题的正则表达式", u"TitleText", s.TitleText);
    entry(u";每个文件里包含多少章", u"ChapsInFile", QString::number(s.ChapsInFile));
    entry(u";每个目录里包含多少个文件", u"FilesInDir", QString::number(s.FilesInDir));
    entry(u";是否自动过滤无效标题", u"SetInvalidTitle", boolText(s.SetInvalidTitle));
    entry(u";判定正文在多少行内算无效标题", u"InvalidLines", QString::number(s.InvalidLines));
    entry(u";是否判定后一行为无效标题", u"FilterAfterLine", boolText(s.FilterAfterLine));
    entry(u";是否删除空行", u"DelSpaceLine", boolText(s.DelSpaceLine));
    entry(u";是否转换为简体", u"ConvertToSimple", boolText(s.ConvertToSimple));
    entry(u";输出路径索引", u"PathDefaultSelect", QString::number(s.PathDefaultSelect));
    entry(u";输出文件格式索引", u"FileDefaultSelect", QString::number(s.FileDefaultSelect));
    line(QString());
    line(QStringLiteral("[favorite]"));
    entry(u";打开文件后自动分析", u"AutoAnalyze", boolText(s.AutoAnalyze));
    entry(u";发现重名文件时直接添加到文件尾端", u"AppendText", boolText(s.AppendText));
    entry(u";最小化到系统托盘", u"MiniToTray", boolText(s.MiniToTray));
    entry(u";主窗口隐藏是是否显示气泡提示", u"ShowBalloonTip", boolText(s.ShowBalloonTip));
    entry(u";复制过章节后是否自动打开记事本", u"AutoOpenNotepad", boolText(s.AutoOpenNotepad));
    entry(u";窗口置顶", u"TopMost", boolText(s.TopMost));
    entry(u";退出时保存窗口位置和大小", u"LogPosition", boolText(s.LogPosition));
    entry(u";列表框背景色", u"ListBackColor", FormatColor(s.ListBackColor));
    entry(u";选择项背景色", u"ItemBackColor", FormatColor(s.ItemBackColor));
    entry(u";字体", u"FontName", s.FontName);
    list(u"[textfilter]", u"filter", s.TextFilters);
    list(u"[outpath]", u"path", s.OutPaths);
    list(u"[outfile]", u"file", s.OutFiles);
    text += CrLf;

    const QByteArray bytes = toAnsi(text);
    QString reason;
    if (!replaceFileWhole(configPath, bytes, &reason)) {
        if (error)
            *error = QStringLiteral(u"无法写入配置文件 %1: %2").arg(configPath, reason);
        return false;
    }
    return true;
}

bool SavePosition(const QString& configPath, int left, int top, int width, int height, QString* error) {
    ConfigWriter out(configPath);
    const QString position = QStringLiteral("position");
    out.write(position, QStringLiteral("Left"), QString::number(left));
    out.write(position, QStringLiteral("Top"), QString::number(top));
    out.write(position, QStringLiteral("Width"), QString::number(width));
    out.write(position, QStringLiteral("Height"), QString::number(height));
    return out.finish(error);
}

bool SaveColumnWidths(const QString& configPath, const QList<int>& widths, QString* error) {
    ConfigWriter out(configPath);
    out.write(QStringLiteral("favorite"), QStringLiteral("ColumnWidths"), widthsText(widths));
    return out.finish(error);
}

bool SaveRecentFiles(const QString& configPath, const QList<RecentFile>& files, QString* error) {
    ConfigWriter out(configPath);
    out.deleteSection(RecentSection);
    for (qsizetype n = 0; n < files.size() && n < MaxRecentFiles; ++n) {
        out.write(RecentSection, QStringLiteral("file") + QString::number(n), files[n].path);
        out.write(RecentSection, QStringLiteral("encoding") + QString::number(n), files[n].encoding);
    }
    return out.finish(error);
}

qint32 ParseColor(const QString& text) {
    const QStringView t = QStringView(text).trimmed();
    std::optional<qint32> color;
    if (t.contains(QLatin1Char('#')))
        color = hexToInt32(t.sliced(1));
    else if (t.contains(QLatin1Char(',')))
        color = rgbToInt32(t);
    else if (t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive))
        color = hexToInt32(t.sliced(2));
    else
        color = decimalToInt32(t);
    return color.value_or(0);
}

QString FormatColor(qint32 color) {
    return QStringLiteral("&H") + QString::number(static_cast<quint32>(color), 16).toUpper();
}
