#include "config/ConfigFile.h"
#include "config/ReplaceRules.h"
#include "config/cInifile.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

// Literal bytes, embedded NULs included.
template <qsizetype N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every field of the two records, by name, so that a failure says which ones differ.
#define VELLOMAR_SETTINGS_FIELDS(X)                                                                          \
    X(TitleText)                                                                                             \
    X(OutPaths)                                                                                              \
    X(TextFilters) X(OutFiles) X(ChapsInFile) X(FilesInDir) X(DelSpaceLine) X(ConvertToSimple)               \
        X(SetInvalidTitle) X(InvalidLines) X(PathDefaultSelect) X(FileDefaultSelect) X(OutPath) X(OutFile)   \
            X(AutoAnalyze) X(AppendText) X(MiniToTray) X(ShowBalloonTip) X(AutoOpenNotepad) X(TopMost)       \
                X(LogPosition) X(ListBackColor) X(ItemBackColor) X(FontName) X(FilterAfterLine)              \
                    X(PositionLeft) X(PositionTop) X(PositionWidth) X(PositionHeight) X(ShowPreview)             \
                        X(ColumnWidths) X(RecentFiles)

QStringList differences(const Settings& a, const Settings& b) {
    QStringList fields;
#define X(field)                                                                                             \
    if (!(a.field == b.field))                                                                               \
        fields << QStringLiteral(#field);
    VELLOMAR_SETTINGS_FIELDS(X)
#undef X
    return fields;
}

QVariant field(const Settings& s, const QString& name) {
#define X(f)                                                                                                 \
    if (name == QLatin1String(#f))                                                                           \
        return QVariant::fromValue(s.f);
    VELLOMAR_SETTINGS_FIELDS(X)
#undef X
    return QVariant();
}

// A record in which every field differs from the defaults, to show what loading replaced.
Settings unlikeDefaults() {
    Settings s = Settings::defaults();
#define X(f) s.f = decltype(s.f)(s.f + 1);
    X(ChapsInFile)
    X(FilesInDir)
    X(InvalidLines) X(PathDefaultSelect) X(FileDefaultSelect) X(ListBackColor) X(ItemBackColor)
        X(PositionLeft) X(PositionTop) X(PositionWidth) X(PositionHeight)
#undef X
#define X(f) s.f = !s.f;
            X(DelSpaceLine) X(ConvertToSimple) X(SetInvalidTitle) X(AutoAnalyze) X(AppendText) X(MiniToTray)
                X(ShowBalloonTip) X(AutoOpenNotepad) X(TopMost) X(LogPosition) X(FilterAfterLine) X(ShowPreview)
#undef X
#define X(f) s.f = u"other"_s;
                    X(TitleText) X(OutPaths) X(TextFilters) X(OutFiles) X(OutPath) X(OutFile) X(FontName)
#undef X
    s.ColumnWidths = {1, 2};
    s.RecentFiles = {RecentFile{u"/other.txt"_s, u"gbk"_s}};
    return s;
}

} // namespace

class tst_Config : public QObject {
    Q_OBJECT

private slots:
    void init();

    void load_partialFile_keepsDefaultsOfMissingKeys();
    void load_convertsEachKeyOnItsOwn_data();
    void load_convertsEachKeyOnItsOwn();
    void load_outPathWithoutSeparator_isCorrectedInFile();
    void load_selectsOutPathAndOutFile_data();
    void load_selectsOutPathAndOutFile();
    void load_hostileFile_readsWhatItCan();
    void save_writesDenseListsAndKeepsTheRest();
    void load_unreadableFile_changesNothing();
    void volumeKeys_missingEmptyOrGiven_data();
    void volumeKeys_missingEmptyOrGiven();
    void writers_keepCharactersGbkLacks_data();
    void writers_keepCharactersGbkLacks();
    void writers_reportFailedWrite_data();
    void writers_reportFailedWrite();
    void savePosition_readsBackWhatFits();
    void recentFiles_newestFirstAndReadBack();
    void writeDefault_exactText();
    void writeDefault_keepsEmptyPieces();
    void defaults_surviveRoundTrip();
    void cleanSection_absentUntilUsedAndReadBack();
    void ruleFile_keepsManyLongRulesWhole();
    void legacyRules_movedWholeOnce();
    void ruleFile_problemsNamedAndOldFileKept_data();
    void ruleFile_problemsNamedAndOldFileKept();
    void unreadableConfig_ruleFileLoadedAndLeftAlone();
    void parseColor_data();
    void parseColor();
    void formatColor_data();
    void formatColor();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void tst_Config::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"config.ini"_s);
}

void tst_Config::load_partialFile_keepsDefaultsOfMissingKeys() {
    writeFile(m_path, "[text]\r\nChapsInFile=3\r\n");
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);

    Settings expected = Settings::defaults();
    expected.ChapsInFile = 3;
    expected.FontName = u"Tahoma"_s;
    expected.ListBackColor = 0;
    expected.ItemBackColor = 0;
    expected.TextFilters.clear();
    expected.OutPaths.clear();
    expected.OutFiles.clear();
    QCOMPARE(differences(loaded, expected).join(u", "_s), QString());
    QCOMPARE(loaded.OutPath, u"(default)"_s);
    QCOMPARE(loaded.OutFile, u"%chap3%-%title%"_s);
}

void tst_Config::load_convertsEachKeyOnItsOwn_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QVariant>("expected"); // invalid: the field keeps its default

    const QVariant unchanged;
    auto i16 = [](int v) { return QVariant::fromValue(qint16(v)); };
    auto row = [](const char* name, const QString& line, const char* field, const QVariant& expected) {
        QTest::newRow(name) << line << QString::fromLatin1(field) << expected;
    };
    row("integer", u"[text]\r\nChapsInFile=12"_s, "ChapsInFile", i16(12));
    row("integer not numeric", u"[text]\r\nChapsInFile=abc"_s, "ChapsInFile", unchanged);
    row("integer beyond 16 bits", u"[text]\r\nChapsInFile=70000"_s, "ChapsInFile", unchanged);
    row("integer empty", u"[text]\r\nChapsInFile="_s, "ChapsInFile", unchanged);
    row("integer rounded", u"[text]\r\nChapsInFile=2.6"_s, "ChapsInFile", i16(3));
    row("integer half to even", u"[text]\r\nChapsInFile=2.5"_s, "ChapsInFile", i16(2));
    row("integer negative", u"[text]\r\nInvalidLines=-3"_s, "InvalidLines", i16(-3));
    row("integer at limit", u"[text]\r\nFilesInDir=32767"_s, "FilesInDir", i16(32767));
    row("integer past limit", u"[text]\r\nFilesInDir=32767.6"_s, "FilesInDir", unchanged);
    row("position", u"[position]\r\nLeft=-120"_s, "PositionLeft", i16(-120));
    row("position too wide", u"[position]\r\nWidth=40000"_s, "PositionWidth", unchanged);
    row("boolean any case", u"[favorite]\r\nAppendText=tRuE"_s, "AppendText", true);
    row("boolean false", u"[text]\r\nSetInvalidTitle=FALSE"_s, "SetInvalidTitle", false);
    row("boolean zero", u"[text]\r\nDelSpaceLine=0"_s, "DelSpaceLine", false);
    row("boolean other number", u"[favorite]\r\nAppendText=2"_s, "AppendText", true);
    row("boolean word", u"[favorite]\r\nTopMost=yes"_s, "TopMost", unchanged);
    row("preview hidden", u"[favorite]\r\nShowPreview=0"_s, "ShowPreview", false);
    row("preview unreadable", u"[favorite]\r\nShowPreview=maybe"_s, "ShowPreview", unchanged);
    row("column widths", u"[favorite]\r\nColumnWidths=40, 0,120"_s, "ColumnWidths", QVariant::fromValue(QList<int>{40, 0, 120}));
    row("column widths unreadable", u"[favorite]\r\nColumnWidths=40,wide"_s, "ColumnWidths", unchanged);
    row("column width past 16 bits", u"[favorite]\r\nColumnWidths=40,99999"_s, "ColumnWidths", unchanged);
    row("boolean empty", u"[favorite]\r\nTopMost="_s, "TopMost", unchanged);
    row("colour hash", u"[favorite]\r\nListBackColor=#FF0000"_s, "ListBackColor", 0xFF0000);
    row("colour unreadable", u"[favorite]\r\nItemBackColor=blue"_s, "ItemBackColor", 0);
    row("font trimmed", u"[favorite]\r\nFontName=  宋体 "_s, "FontName", u"宋体"_s);
    row("font blank", u"[favorite]\r\nFontName= "_s, "FontName", u"Tahoma"_s);
    row("title", u"[text]\r\nTitleText=(.*)"_s, "TitleText", u"(.*)"_s);
    row("title empty", u"[text]\r\nTitleText="_s, "TitleText", unchanged);
    row("filters follow key order", u"[textfilter]\r\nx9=a\r\n;c=no\r\nb=\r\nfilter0=c"_s, "TextFilters",
        u"a\r\n\r\nc\r\n"_s);
}

void tst_Config::load_convertsEachKeyOnItsOwn() {
    QFETCH(QString, line);
    QFETCH(QString, fieldName);
    QFETCH(QVariant, expected);
    writeFile(m_path, gbk(line));

    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    const QVariant actual = field(loaded, fieldName);
    QCOMPARE(actual, expected.isValid() ? expected : field(Settings::defaults(), fieldName));
}

void tst_Config::load_outPathWithoutSeparator_isCorrectedInFile() {
    writeFile(m_path, "[text]\r\nPathDefaultSelect=1\r\n"
                      "[outpath]\r\npath0=(default)\r\npath1=/srv/Books\r\npath2=\r\npath3=/mnt/\r\n");
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);

    QCOMPARE(loaded.OutPath, u"/srv/Books/"_s);
    QCOMPARE(loaded.OutPaths, u"(default)\r\n/srv/Books/\r\n/\r\n/mnt/\r\n"_s);
    QCOMPARE(readFile(m_path), QByteArray("[text]\r\nPathDefaultSelect=1\r\n"
                                          "[outpath]\r\npath0=(default)\r\npath1=/srv/Books/\r\npath2=/\r\n"
                                          "path3=/mnt/\r\n"));
}

void tst_Config::load_selectsOutPathAndOutFile_data() {
    QTest::addColumn<int>("pathSelect");
    QTest::addColumn<int>("fileSelect");
    QTest::addColumn<QString>("outPath");
    QTest::addColumn<QString>("outFile");

    QTest::newRow("first entries") << 0 << 0 << u"(default)"_s << u"%id%"_s;
    QTest::newRow("last entries") << 2 << 1 << u"/c/"_s << u"%title%"_s;
    QTest::newRow("beyond the lists") << 5 << 2 << u"keep/"_s << u"keep"_s;
    QTest::newRow("negative") << -1 << -1 << u"keep/"_s << u"keep"_s;
}

void tst_Config::load_selectsOutPathAndOutFile() {
    QFETCH(int, pathSelect);
    QFETCH(int, fileSelect);
    QFETCH(QString, outPath);
    QFETCH(QString, outFile);
    writeFile(m_path, QStringLiteral("[text]\r\nPathDefaultSelect=%1\r\nFileDefaultSelect=%2\r\n"
                                     "[outpath]\r\np=(default)\r\np2=/b/\r\np3=/c/\r\n"
                                     "[outfile]\r\nf=%id%\r\nf2=%title%\r\n")
                          .arg(pathSelect)
                          .arg(fileSelect)
                          .toLatin1());
    Settings loaded = Settings::defaults();
    loaded.OutPath = u"keep/"_s;
    loaded.OutFile = u"keep"_s;
    LoadConfig(loaded, m_path);

    QCOMPARE(loaded.OutPath, outPath);
    QCOMPARE(loaded.OutFile, outFile);
    QCOMPARE(loaded.OutFiles, u"%id%\r\n%title%\r\n"_s);
}

void tst_Config::load_hostileFile_readsWhatItCan() {
    const QByteArray noise = bytes("\x00\xff\xfe\x81\x81\x80\r\n\x80\xff\x00=\x01\r\n");
    writeFile(m_path, noise + "[text]\r\nTitleText=" + QByteArray(100 * 1024, 'x') + "\r\n" + noise +
                          "ChapsInFile=7\r\nChapsInFile=9\r\n" + gbk(u"[favorite]\nFontName=宋体\n"_s) +
                          noise + "[textfilter]\r\nfilter0=a\r\nfilter0=b\r\n[outfile]\r\nfile0=%id%");
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);

    QCOMPARE(loaded.TitleText, QString(cInifile::ValueBufferSize - 1, u'x'));
    QCOMPARE(loaded.ChapsInFile, qint16(7));
    QCOMPARE(loaded.FontName, u"宋体"_s);
    QCOMPARE(loaded.TextFilters, u"a\r\na\r\n"_s); // a repeated key reads as its first copy
    QCOMPARE(loaded.OutFiles, u"%id%\r\n"_s);
    QCOMPARE(loaded.OutFile, u"%id%"_s);
}

void tst_Config::save_writesDenseListsAndKeepsTheRest() {
    QVERIFY(WriteDefaultConfig(Settings::defaults(), m_path));
    const QByteArray own = gbk(u"[mine]\r\n;自己的注释\r\nx=1\r\n"_s);
    QByteArray before = readFile(m_path);
    before.insert(0, own);
    writeFile(m_path, before + "[outpath]\r\npath9=/old/\r\n");

    Settings saved = Settings::defaults();
    saved.ChapsInFile = 7;
    saved.FontName = u"宋体"_s;
    saved.TextFilters = u"a\r\n\r\nb"_s;
    saved.OutPaths = u"\r\n/x/\r\n"_s;
    QString error;
    QVERIFY2(SaveConfig(saved, m_path, &error), qPrintable(error));

    // The first two sections change only in the two values (our own keys, at their defaults,
    // stay out); the rest of them stays as it was.
    const QByteArray after = readFile(m_path);
    const QByteArray head = before.left(before.indexOf("[textfilter]"))
                                .replace("ChapsInFile=1", "ChapsInFile=7")
                                .replace(gbk(u"FontName=微软雅黑\r\n"_s), gbk(u"FontName=宋体\r\n"_s));
    QVERIFY(after.startsWith(head));
    QVERIFY(!after.contains("ShowPreview"));

    cInifile ini;
    ini.setPath(m_path);
    QStringList keys;
    qint32 count = 0;
    ini.setSection(u"textfilter"_s);
    ini.EnumerateCurrentSection(keys, count);
    QCOMPARE(keys, (QStringList{u"filter0"_s, u"filter1"_s}));
    ini.setSection(u"outpath"_s);
    ini.EnumerateCurrentSection(keys, count);
    QCOMPARE(keys, QStringList{u"path0"_s});

    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    saved.TextFilters = u"a\r\nb\r\n"_s;
    saved.OutPaths = u"/x/\r\n"_s;
    saved.OutPath = u"/x/"_s;
    saved.OutFiles += u"\r\n"_s;
    QCOMPARE(differences(loaded, saved).join(u", "_s), QString());
}

void tst_Config::volumeKeys_missingEmptyOrGiven_data() {
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("volumeText");
    QTest::newRow("missing: built-in") << QString() << Settings::defaultVolumeText();
    QTest::newRow("empty: none") << u"VolumeText=\r\n"_s << QString();
    QTest::newRow("own pattern") << u"VolumeText=^卷(.)(.*)\r\nFolderPerVolume=True\r\n"_s << u"^卷(.)(.*)"_s;
}

// A missing VolumeText is the built-in pattern, an empty one no volumes; saving writes the keys
// once they differ from the built-in values (a file without them keeps its [text] section).
void tst_Config::volumeKeys_missingEmptyOrGiven() {
    QFETCH(QString, lines);
    writeFile(m_path, gbk(u"[text]\r\nChapsInFile=3\r\n"_s + lines));
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    QTEST(loaded.VolumeText, "volumeText");
    QCOMPARE(loaded.FolderPerVolume, lines.contains(u"True"_s));
    QVERIFY(SaveConfig(loaded, m_path));
    QCOMPARE(readFile(m_path).contains("VolumeText"), !lines.isEmpty());
    Settings again = Settings::defaults();
    LoadConfig(again, m_path);
    QCOMPARE(again.VolumeText, loaded.VolumeText);
    QCOMPARE(again.FolderPerVolume, loaded.FolderPerVolume);
}

void tst_Config::load_unreadableFile_changesNothing() {
    QVERIFY(QDir(m_dir->path()).mkdir(u"config.ini"_s)); // there, but nothing to read
    Settings loaded = unlikeDefaults();
    QString error;
    QVERIFY(!LoadConfig(loaded, m_path, &error));
    QVERIFY2(error.contains(m_path) && error.contains(u"这是一个文件夹"_s), qPrintable(error));
    QCOMPARE(differences(loaded, unlikeDefaults()).join(u", "_s), QString());
    // Nor is it replaced by a write.
    QVERIFY(!SaveConfig(loaded, m_path));
    QVERIFY(!SavePosition(m_path, 1, 2, 3, 4));
    QVERIFY(QFileInfo(m_path).isDir());
}

void tst_Config::writers_keepCharactersGbkLacks_data() {
    QTest::addColumn<bool>("whole");
    QTest::newRow("SaveConfig") << false;
    QTest::newRow("WriteDefaultConfig") << true;
}

void tst_Config::writers_keepCharactersGbkLacks() {
    QFETCH(bool, whole);
    // ǹ and 𠀀 are not GBK; € is GBK's single byte 0x80.
    const QString folder = QString::fromUcs4(U"/书/\u01F9\U00020000\u20AC/");
    Settings s = Settings::defaults();
    s.OutPaths = folder;
    s.FontName = QString::fromUcs4(U"\U00020000");
    QVERIFY(whole ? WriteDefaultConfig(s, m_path) : SaveConfig(s, m_path));
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    QCOMPARE(loaded.OutPaths, folder + u"\r\n"_s);
    QCOMPARE(loaded.FontName, s.FontName);
}

void tst_Config::writers_reportFailedWrite_data() {
    QTest::addColumn<int>("writer");
    QTest::newRow("SaveConfig") << 0;
    QTest::newRow("WriteDefaultConfig") << 1;
    QTest::newRow("SavePosition") << 2;
}

// A missing folder, and a full disk (the file-size limit) under an existing config.ini: the
// failure is reported with the file's name and the reason, the old file stays whole and
// nothing temporary is left.
void tst_Config::writers_reportFailedWrite() {
    QFETCH(int, writer);
    Settings s = Settings::defaults();
    s.OutPaths = QString(2000, u'长'); // more than the limit lets through
    auto write = [&](const QString& path, QString* error) {
        return writer == 0   ? SaveConfig(s, path, error)
               : writer == 1 ? WriteDefaultConfig(s, path, error)
                             : SavePosition(path, 1, 2, 3, 4, error);
    };
    const QString path = m_dir->filePath(u"missing/config.ini"_s);
    QString error;
    QVERIFY(!write(path, &error));
    QVERIFY2(error.contains(path), qPrintable(error));

    const QByteArray old = gbk(u"[text]\r\nChapsInFile=3\r\n"_s) + QByteArray(3000, ';') + "\r\n";
    writeFile(m_path, old);
    error.clear();
    bool written;
    {
        FileSizeLimit limit(old.size());
        written = write(m_path, &error);
    }
    QVERIFY(!written);
    QVERIFY2(error.contains(m_path) && error.contains(u"文件过大"_s), qPrintable(error));
    QCOMPARE(readFile(m_path), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(m_path).fileName()});
}

void tst_Config::savePosition_readsBackWhatFits() {
    QVERIFY(WriteDefaultConfig(Settings::defaults(), m_path));
    const QByteArray before = readFile(m_path);
    QVERIFY(SavePosition(m_path, 10, -20, 9000, 40000));
    QCOMPARE(readFile(m_path), before + "[position]\r\nLeft=10\r\nTop=-20\r\nWidth=9000\r\nHeight=40000\r\n");

    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    QCOMPARE(loaded.PositionLeft, qint16(10));
    QCOMPARE(loaded.PositionTop, qint16(-20));
    QCOMPARE(loaded.PositionWidth, qint16(9000));
    QCOMPARE(loaded.PositionHeight, Settings::defaults().PositionHeight);
}

void tst_Config::recentFiles_newestFirstAndReadBack() {
    QList<RecentFile> files;
    for (int n = 1; n <= MaxRecentFiles + 2; ++n)
        addRecentFile(files, {u"/书/%1.txt"_s.arg(n), u"auto"_s});
    addRecentFile(files, {u"/书/5.txt"_s, u"big5"_s}); // opened again: first, with its new encoding
    // Paths config.ini could not give back whole are not kept.
    addRecentFile(files, {u"/书/"_s + QString(200, u'长') + u".txt"_s, u"auto"_s});
    addRecentFile(files, {u"/书/a.txt "_s, u"auto"_s});
    QStringList paths;
    for (const RecentFile& f : files)
        paths << f.path.mid(3);
    QCOMPARE(paths, (QStringList{u"5.txt"_s, u"10.txt"_s, u"9.txt"_s, u"8.txt"_s, u"7.txt"_s, u"6.txt"_s,
                                 u"4.txt"_s, u"3.txt"_s}));
    QCOMPARE(files.first().encoding, u"big5"_s);

    QVERIFY(WriteDefaultConfig(Settings::defaults(), m_path));
    QVERIFY(SaveRecentFiles(m_path, files));
    QVERIFY(SaveConfig(Settings::defaults(), m_path)); // the options' save leaves the list alone
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    QCOMPARE(loaded.RecentFiles, files);

    // A hand-edited section: gaps, a repeated path and a missing encoding.
    writeFile(m_path, "[recent]\r\nfile1=/b.txt\r\nencoding1=gbk\r\nfile3=/c.txt\r\nfile4=/b.txt\r\n");
    LoadConfig(loaded, m_path);
    QCOMPARE(loaded.RecentFiles, (QList<RecentFile>{{u"/b.txt"_s, u"gbk"_s}, {u"/c.txt"_s, u"auto"_s}}));
}

void tst_Config::writeDefault_exactText() {
    const Settings defaults = Settings::defaults();
    QVERIFY(WriteDefaultConfig(defaults, m_path));

    const QStringList lines{
        u"[text]"_s,
        u";章节标题的正则表达式"_s,
        u"TitleText="_s + defaults.TitleText,
        u";每个文件里包含多少章"_s,
        u"ChapsInFile=1"_s,
        u";每个目录里包含多少个文件"_s,
        u"FilesInDir=50"_s,
        u";是否自动过滤无效标题"_s,
        u"SetInvalidTitle=True"_s,
        u";判定正文在多少行内算无效标题"_s,
        u"InvalidLines=5"_s,
        u";是否判定后一行为无效标题"_s,
        u"FilterAfterLine=True"_s,
        u";是否删除空行"_s,
        u"DelSpaceLine=True"_s,
        u";是否转换为简体"_s,
        u"ConvertToSimple=True"_s,
        u";输出路径索引"_s,
        u"PathDefaultSelect=0"_s,
        u";输出文件格式索引"_s,
        u"FileDefaultSelect=0"_s,
        QString(),
        u"[favorite]"_s,
        u";打开文件后自动分析"_s,
        u"AutoAnalyze=True"_s,
        u";发现重名文件时直接添加到文件尾端"_s,
        u"AppendText=False"_s,
        u";最小化到系统托盘"_s,
        u"MiniToTray=True"_s,
        u";主窗口隐藏是是否显示气泡提示"_s,
        u"ShowBalloonTip=True"_s,
        u";复制过章节后是否自动打开记事本"_s,
        u"AutoOpenNotepad=True"_s,
        u";窗口置顶"_s,
        u"TopMost=True"_s,
        u";退出时保存窗口位置和大小"_s,
        u"LogPosition=True"_s,
        u";列表框背景色"_s,
        u"ListBackColor=&HFFFFFF"_s,
        u";选择项背景色"_s,
        u"ItemBackColor=&HD1D1D1"_s,
        u";字体"_s,
        u"FontName=微软雅黑"_s,
        QString(),
        u"[textfilter]"_s,
        u"filter0=(过滤字符串)"_s,
        u"filter1=广告"_s,
        u"filter2=等等"_s,
        QString(),
        u"[outpath]"_s,
        u"path0=(default)"_s,
        u"path1="_s + QDir::homePath() + u"/EBook/"_s,
        u"path2=/media/EBOOK/"_s,
        QString(),
        u"[outfile]"_s,
        u"file0=%chap3%-%title%"_s,
        u"file1=%id3%-%chap%_%title%"_s,
        u"file2=(%chap3%)%title%"_s,
        QString(),
    };
    QCOMPARE(readFile(m_path), gbk(lines.join(u"\r\n"_s) + u"\r\n"_s));
}

void tst_Config::writeDefault_keepsEmptyPieces() {
    Settings s = Settings::defaults();
    s.TextFilters = u"a\r\n\r\nb\r\n"_s;
    s.OutPaths.clear();
    QVERIFY(WriteDefaultConfig(s, m_path));
    QVERIFY(readFile(m_path).contains("\r\n[textfilter]\r\nfilter0=a\r\nfilter1=\r\nfilter2=b\r\nfilter3=\r\n"
                                      "\r\n[outpath]\r\n\r\n[outfile]\r\n"));
}

void tst_Config::defaults_surviveRoundTrip() {
    const Settings defaults = Settings::defaults();
    QVERIFY(WriteDefaultConfig(defaults, m_path));
    Settings loaded = unlikeDefaults();
    LoadConfig(loaded, m_path);

    Settings expected = defaults;
    expected.TextFilters += u"\r\n"_s;
    expected.OutPaths += u"\r\n"_s;
    expected.OutFiles += u"\r\n"_s;
    // The default file has no position section, nor the preview key: those fields keep what they held.
    expected.PositionLeft = loaded.PositionLeft;
    expected.PositionTop = loaded.PositionTop;
    expected.PositionWidth = loaded.PositionWidth;
    expected.PositionHeight = loaded.PositionHeight;
    QCOMPARE(loaded.ShowPreview, unlikeDefaults().ShowPreview);
    expected.ShowPreview = loaded.ShowPreview;
    QCOMPARE(loaded.ColumnWidths, unlikeDefaults().ColumnWidths);
    expected.ColumnWidths = loaded.ColumnWidths;
    QCOMPARE(differences(loaded, expected).join(u", "_s), QString());
#define X(f) +1
    QCOMPARE(differences(unlikeDefaults(), defaults).size(), 0 VELLOMAR_SETTINGS_FIELDS(X));
#undef X
}

// Cleanup settings stay out of a file until set; rules (unknown fields too) come back whole,
// and a removed rule leaves no key behind.
void tst_Config::cleanSection_absentUntilUsedAndReadBack() {
    Settings s = Settings::defaults();
    QVERIFY(SaveConfig(s, m_path));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("[clean]"));
    file.close();

    ReplaceRule a;
    a.name = u"广告"_s;
    a.pattern = u"本章未完.*$"_s;
    a.replacement = u"$1=\"x\""_s;
    a.isRegex = true;
    a.scopeTitle = true;
    a.order = 3;
    a.extra = u"{\"group\":\"网站\",\"id\":17}"_s;
    ReplaceRule b;
    b.pattern = u";注释？"_s;
    b.isEnabled = false;
    s.ReplaceRules = {a, b};
    s.DropRepeatedTitle = true;
    s.IndentParagraphs = true;
    s.Reflow = true;
    QVERIFY(SaveConfig(s, m_path));
    Settings loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    QCOMPARE(loaded.ReplaceRules, s.ReplaceRules);
    QVERIFY(loaded.DropRepeatedTitle && loaded.IndentParagraphs && loaded.Reflow);

    s.ReplaceRules = {b};
    s.IndentParagraphs = false;
    s.Reflow = false;
    QVERIFY(SaveConfig(s, m_path));
    loaded = Settings::defaults();
    LoadConfig(loaded, m_path);
    QCOMPARE(loaded.ReplaceRules, s.ReplaceRules);
    QVERIFY(loaded.DropRepeatedTitle && !loaded.IndentParagraphs && !loaded.Reflow);
}

namespace {

// A rule whose fields all depend on n, `size` characters of pattern.
ReplaceRule numberedRule(int n, int size) {
    ReplaceRule r;
    r.name = u"规则%1"_s.arg(n);
    r.pattern = (u"广告%1|"_s.arg(n) + QString(size, QChar(u'甲' + n % 500))).left(size);
    r.replacement = u"$1-"_s + QString::number(n);
    r.isRegex = n % 2 == 0;
    r.isEnabled = n % 3 != 0;
    r.scopeTitle = n % 5 == 0;
    r.order = n % 7;
    return r;
}

// One [clean] line as older versions wrote it.
QString legacyLine(int key, const ReplaceRule& r) {
    return u"rule%1="_s.arg(key) + QString::fromUtf8(QJsonDocument(ruleToJson(r)).toJson(QJsonDocument::Compact));
}

} // namespace

// Thousands of rules of 2 KB each come back unchanged: they live in a file of their own.
void tst_Config::ruleFile_keepsManyLongRulesWhole() {
    Settings s = Settings::defaults();
    for (int n = 0; n < 5000; ++n)
        s.ReplaceRules << numberedRule(n, 2048);
    QVERIFY(SaveConfig(s, m_path));
    QVERIFY(QFileInfo(m_dir->filePath(u"config.rules.json"_s)).isFile());
    QVERIFY(!readFile(m_path).contains("rule"));
    Settings loaded = Settings::defaults();
    QVERIFY(LoadConfig(loaded, m_path));
    QCOMPARE(loaded.ReplaceRules.size(), 5000);
    QVERIFY(loaded.ReplaceRules == s.ReplaceRules);
    QCOMPARE(loaded.ReplaceRuleProblems, QStringList());
    // The file is what an import reads.
    QList<ReplaceRule> imported;
    QString error;
    QVERIFY(importReplaceRules(readFile(m_dir->filePath(u"config.rules.json"_s)), &imported, &error));
    QVERIFY(imported == s.ReplaceRules);
}

// Rules an older version kept in config.ini are read whole (past 254 bytes and past the key
// list's thousand keys), moved to the rule file once, and a line that is no rule is named.
void tst_Config::legacyRules_movedWholeOnce() {
    QList<ReplaceRule> rules;
    QString text = u"[clean]\r\nDropRepeatedTitle=True\r\nIndentParagraphs=False\r\n"_s;
    for (int n = 0; n < 1500; ++n) {
        rules << numberedRule(n, n < 3 ? 300 : 8);
        text += legacyLine(n, rules.last()) + u"\r\n"_s;
        if (n == 700)
            text += u"rule_broken=不是 JSON\r\n"_s;
    }
    writeFile(m_path, gbk(text + u"[text]\r\nChapsInFile=2\r\n"_s));
    for (int round = 0; round < 2; ++round) {
        Settings loaded = Settings::defaults();
        QVERIFY(LoadConfig(loaded, m_path));
        QCOMPARE(loaded.ReplaceRules.size(), rules.size());
        QVERIFY(loaded.ReplaceRules == rules);
        QVERIFY(loaded.DropRepeatedTitle);
        QCOMPARE(loaded.ChapsInFile, 2);
        QCOMPARE(loaded.ReplaceRuleProblems.size(), 1);
        QVERIFY2(loaded.ReplaceRuleProblems.first().contains(u"rule_broken"_s), qPrintable(loaded.ReplaceRuleProblems.first()));
        // Moved: config.ini keeps the flags and the line that was no rule, nothing else of [clean].
        QVERIFY(QFileInfo(m_dir->filePath(u"config.rules.json"_s)).isFile());
        const QByteArray ini = readFile(m_path);
        QVERIFY(!ini.contains("rule0=") && !ini.contains("rule1499="));
        QVERIFY(ini.contains("rule_broken=") && ini.contains("DropRepeatedTitle=True"));
    }
}

void tst_Config::ruleFile_problemsNamedAndOldFileKept_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("loaded");
    QTest::addColumn<QStringList>("named");
    const QByteArray good = R"({"name":"a","pattern":"广告","replacement":""})";
    QTest::newRow("not JSON") << QByteArray("[{\"name\":") << 0 << QStringList{u"无法读取替换规则文件"_s};
    QTest::newRow("no list") << QByteArray("42") << 0 << QStringList{u"无法读取替换规则文件"_s};
    QTest::newRow("an entry is no object") << "[" + good + ",7," + good + "]" << 2 << QStringList{u"第 2 项"_s};
    QTest::newRow("entries without a pattern")
        << "[{\"name\":\"x\"}," + good + ",{\"pattern\":3}]" << 1 << QStringList{u"第 1 项"_s, u"第 3 项"_s};
}

// Every rule that cannot be loaded is named; the file is kept aside before it is replaced.
void tst_Config::ruleFile_problemsNamedAndOldFileKept() {
    QFETCH(QByteArray, file);
    QFETCH(int, loaded);
    QFETCH(QStringList, named);
    const QString rulePath = m_dir->filePath(u"config.rules.json"_s);
    writeFile(m_path, "[text]\r\nChapsInFile=2\r\n");
    writeFile(rulePath, file);
    Settings s = Settings::defaults();
    QVERIFY(LoadConfig(s, m_path));
    QCOMPARE(s.ReplaceRules.size(), loaded);
    QCOMPARE(s.ReplaceRuleProblems.size(), named.size());
    for (int i = 0; i < named.size(); ++i)
        QVERIFY2(s.ReplaceRuleProblems[i].contains(named[i]) && s.ReplaceRuleProblems[i].contains(rulePath),
                 qPrintable(s.ReplaceRuleProblems[i]));
    QVERIFY(SaveConfig(s, m_path));
    QCOMPARE(readFile(rulePath + u".bak"_s), file);
    QList<ReplaceRule> now;
    QString error;
    QVERIFY(importReplaceRules(readFile(rulePath), &now, &error));
    QCOMPARE(now.size(), loaded);
}

// config.ini that cannot be read does not keep the rules from being used, nor lets a save
// replace their file with the empty list it would hold.
void tst_Config::unreadableConfig_ruleFileLoadedAndLeftAlone() {
    QVERIFY(QDir(m_dir->path()).mkdir(u"config.ini"_s));
    const QString rulePath = m_dir->filePath(u"config.rules.json"_s);
    const QByteArray file = exportReplaceRules({numberedRule(1, 10)});
    writeFile(rulePath, file);
    Settings s = Settings::defaults();
    QVERIFY(!LoadConfig(s, m_path));
    QCOMPARE(s.ReplaceRules, QList<ReplaceRule>{numberedRule(1, 10)});
    s.ReplaceRules.clear();
    QVERIFY(!SaveConfig(s, m_path));
    QCOMPARE(readFile(rulePath), file);
}

void tst_Config::parseColor_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("color");

    QTest::newRow("hash") << u"#FF0000"_s << 0xFF0000;
    QTest::newRow("&H") << u"&HFF0000"_s << 0xFF0000;
    QTest::newRow("&h lower case") << u"&hff0000"_s << 0xFF0000;
    QTest::newRow("decimal") << u"16711680"_s << 0xFF0000;
    QTest::newRow("hash keeps digit order") << u"#1A2B3C"_s << 0x1A2B3C;
    QTest::newRow("blanks around") << u" &HD1D1D1 "_s << 0xD1D1D1;
    QTest::newRow("eight digits set the sign") << u"&HFFFFFFFF"_s << -1;
    QTest::newRow("negative decimal") << u"-5"_s << -5;
    QTest::newRow("r,g,b") << u"255,0,0"_s << 0x0000FF;
    QTest::newRow("r, g, b with blanks") << u"0, 128 ,255"_s << 0xFF8000;
    QTest::newRow("word") << u"blue"_s << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("hash alone") << u"#"_s << 0;
    QTest::newRow("&H alone") << u"&H"_s << 0;
    QTest::newRow("C hex prefix") << u"#0x12"_s << 0;
    QTest::newRow("nine digits") << u"&H100000000"_s << 0;
    QTest::newRow("decimal beyond 32 bits") << u"2147483648"_s << 0;
    QTest::newRow("trailing letters") << u"12abc"_s << 0;
    QTest::newRow("component above 255") << u"256,0,0"_s << 0;
    QTest::newRow("negative component") << u"-1,0,0"_s << 0;
    QTest::newRow("two components") << u"1,2"_s << 0;
    QTest::newRow("empty component") << u"1,,2"_s << 0;
}

void tst_Config::parseColor() {
    QFETCH(QString, text);
    QFETCH(qint32, color);
    QCOMPARE(ParseColor(text), color);
}

void tst_Config::formatColor_data() {
    QTest::addColumn<qint32>("color");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0 << u"&H0"_s;
    QTest::newRow("white") << 0xFFFFFF << u"&HFFFFFF"_s;
    QTest::newRow("grey") << 0xD1D1D1 << u"&HD1D1D1"_s;
    QTest::newRow("no leading zeros") << 0x00000AB << u"&HAB"_s;
    QTest::newRow("negative") << -2 << u"&HFFFFFFFE"_s;
}

void tst_Config::formatColor() {
    QFETCH(qint32, color);
    QFETCH(QString, text);
    QCOMPARE(FormatColor(color), text);
    QCOMPARE(ParseColor(text), color);
}

QTEST_GUILESS_MAIN(tst_Config)
#include "tst_config.moc"
