#include "config/cInifile.h"

#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

// Literal bytes, embedded NULs included.
template <qsizetype N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// A null array stands for "no file".
void writeFile(const QString& path, const QByteArray& content) {
    QFile::remove(path);
    if (content.isNull())
        return;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_cInifile : public QObject {
    Q_OBJECT

private slots:
    void init();

    void read_data();
    void read();
    void read_cutsValueOnCharacterBoundary_data();
    void read_cutsValueOnCharacterBoundary();
    void write_data();
    void write();
    void enumerate_data();
    void enumerate();
    void enumerate_dropsNamesBeyondListBuffer_data();
    void enumerate_dropsNamesBeyondListBuffer();
    void success_followsLastWriteOnly();
    void failedWrite_leavesOldFileIntact();
    void held_readsOnceAndWritesAtRelease();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void tst_cInifile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("test.ini"));
}

void tst_cInifile::read_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");

    const QString none = QStringLiteral("none");
    const QString a = QStringLiteral("a");
    const QString k = QStringLiteral("k");
    QTest::newRow("missing file, no default") << QByteArray() << a << k << QString() << QString();
    QTest::newRow("missing file, default") << QByteArray() << a << k << none << none;
    QTest::newRow("missing section") << bytes("[b]\r\nk=1\r\n") << a << k << none << none;
    QTest::newRow("missing key") << bytes("[a]\r\nj=1\r\n") << a << k << none << none;
    QTest::newRow("names ignore case") << bytes("[Text]\r\nChapsInFile=3\r\n") << QStringLiteral("TEXT")
                                       << QStringLiteral("chapsinfile") << none << QStringLiteral("3");
    QTest::newRow("blanks around value removed")
        << bytes("[a]\r\nk = \t v v \t\r\n") << a << k << none << QStringLiteral("v v");
    QTest::newRow("blanks around names ignored") << bytes("  [ a ]  \r\n  k  =1\r\n") << QStringLiteral(" a")
                                                 << QStringLiteral("k ") << none << QStringLiteral("1");
    QTest::newRow("comment is no key")
        << bytes("[a]\r\n;k=1\r\n") << a << QStringLiteral(";k") << none << none;
    QTest::newRow("key before any section") << bytes("k=1\r\n[a]\r\n") << a << k << none << none;
    QTest::newRow("first duplicate section wins")
        << bytes("[a]\r\nk=1\r\n[A]\r\nk=2\r\n") << a << k << none << QStringLiteral("1");
    QTest::newRow("first duplicate key wins")
        << bytes("[a]\r\nk=1\r\nK=2\r\n") << a << k << none << QStringLiteral("1");
    QTest::newRow("equals sign inside value")
        << bytes("[a]\r\nk=x=y\r\n") << a << k << none << QStringLiteral("x=y");
    QTest::newRow("key without equals sign") << bytes("[a]\r\nk\r\n") << a << k << none << QString();
    QTest::newRow("LF-only lines") << bytes("[a]\nj=1\nk=2\n") << a << k << none << QStringLiteral("2");
    QTest::newRow("no final line end") << bytes("[a]\r\nk=last") << a << k << none << QStringLiteral("last");
    QTest::newRow("GBK names and value")
        << gbk(QStringLiteral(u"[中文]\r\n键=维洛玛\r\n")) << QStringLiteral(u"中文") << QStringLiteral(u"键")
        << none << QStringLiteral(u"维洛玛");
    QTest::newRow("GB18030 four-byte value") << bytes("[a]\r\nk=\x95\x32\x82\x36\x80") << a << k << none
                                             << QString::fromUcs4(U"\U00020000\u20AC");
    QTest::newRow("UTF-8 file with its mark")
        << "\xEF\xBB\xBF" + u"[中文]\r\n键=维洛玛\r\n"_s.toUtf8() << QStringLiteral(u"中文")
        << QStringLiteral(u"键") << none << QStringLiteral(u"维洛玛");
    QTest::newRow("binary noise and a 100 KB line")
        << bytes("\xff\xfe\x00\x81[bad\r\n") + QByteArray(100 * 1024, 'x') + bytes("\r\n[a]\r\nk=1") << a << k
        << none << QStringLiteral("1");
}

void tst_cInifile::read() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);
    writeFile(m_path, file);

    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(section);
    ini.setKey(key);
    ini.setDefault(defaultText);
    QCOMPARE(ini.Value(), expected);
}

void tst_cInifile::read_cutsValueOnCharacterBoundary_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const QString ascii(300, QLatin1Char('a'));
    const QString chinese(128, QChar(u'章'));
    QTest::newRow("300 ASCII characters") << ascii << ascii.left(254);
    QTest::newRow("127 Chinese characters fill 254 bytes") << chinese.left(127) << chinese.left(127);
    QTest::newRow("128 Chinese characters") << chinese << chinese.left(127);
    QTest::newRow("odd byte left over")
        << QLatin1Char('a') + chinese.left(127) << QLatin1Char('a') + chinese.left(126);
    const QString fourBytes(64, QChar(0x0100)); // not GBK: four bytes each in GB18030
    QTest::newRow("64 four-byte characters") << fourBytes << fourBytes.left(63);
}

void tst_cInifile::read_cutsValueOnCharacterBoundary() {
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QStringEncoder gb18030("GB18030");
    writeFile(m_path, gb18030.encode(QStringLiteral("[a]\r\nk=") + value + QStringLiteral("\r\n")));

    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(QStringLiteral("a"));
    ini.setKey(QStringLiteral("k"));
    QCOMPARE(ini.Value(), expected);
}

void tst_cInifile::write_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QString set = QStringLiteral("set");
    const QString a = QStringLiteral("a");
    const QString k = QStringLiteral("k");
    QTest::newRow("creates missing file")
        << QByteArray() << set << a << k << QStringLiteral("v") << bytes("[a]\r\nk=v\r\n");
    QTest::newRow("replaces value in place")
        << bytes("; top\r\n[a]\r\nK = old\r\nj=2\r\n\r\n[b]\r\nk=3\r\n") << set << a << k
        << QStringLiteral("new") << bytes("; top\r\n[a]\r\nK =new\r\nj=2\r\n\r\n[b]\r\nk=3\r\n");
    QTest::newRow("adds key at end of its section")
        << bytes("[a]\r\nk=1\r\n\r\n[b]\r\nx=1\r\n") << set << a << QStringLiteral("j") << QStringLiteral("2")
        << bytes("[a]\r\nk=1\r\nj=2\r\n\r\n[b]\r\nx=1\r\n");
    QTest::newRow("adds section at end of file")
        << bytes("[a]\r\nk=1") << set << QStringLiteral("b") << k << QStringLiteral("2")
        << bytes("[a]\r\nk=1\r\n[b]\r\nk=2\r\n");
    QTest::newRow("keeps LF-only line ends")
        << bytes("[a]\nk=1\nj=2\n") << set << a << k << QStringLiteral("9") << bytes("[a]\nk=9\nj=2\n");
    QTest::newRow("replaces first duplicate key") << bytes("[a]\r\nk=1\r\nk=2\r\n") << set << a << k
                                                  << QStringLiteral("3") << bytes("[a]\r\nk=3\r\nk=2\r\n");
    QTest::newRow("comment that looks like the key stays")
        << bytes("[a]\r\n;k=1\r\n") << set << a << k << QStringLiteral("2")
        << bytes("[a]\r\n;k=1\r\nk=2\r\n");
    QTest::newRow("removes NUL characters")
        << QByteArray() << set << a << k << QString::fromUtf16(u"x\0y\0\0z", 6) << bytes("[a]\r\nk=xyz\r\n");
    QTest::newRow("writes GBK") << QByteArray() << set << QStringLiteral(u"中文") << QStringLiteral(u"键")
                                << QStringLiteral(u"维洛玛")
                                << gbk(QStringLiteral(u"[中文]\r\n键=维洛玛\r\n"));
    QTest::newRow("writes GB18030 where GBK has no character")
        << QByteArray() << set << a << k << QString::fromUcs4(U"\u01F9\U00020000\u20AC")
        << bytes("[a]\r\nk=\xA8\xBF\x95\x32\x82\x36\x80\r\n");
    QTest::newRow("UTF-8 file stays UTF-8")
        << "\xEF\xBB\xBF" + u"[a]\r\nk=旧\r\n"_s.toUtf8() << set << a << k << QStringLiteral(u"维洛玛")
        << "\xEF\xBB\xBF" + u"[a]\r\nk=维洛玛\r\n"_s.toUtf8();
    QTest::newRow("keeps binary noise")
        << bytes("\xff\x80\x00noise\r\n[a]\r\nk=1\r\n") << set << a << k << QStringLiteral("2")
        << bytes("\xff\x80\x00noise\r\n[a]\r\nk=2\r\n");
    QTest::newRow("delete key removes every copy")
        << bytes("[a]\r\n;c\r\nk=1\r\nj=2\r\nK=3\r\n[b]\r\nk=4\r\n") << QStringLiteral("deleteKey") << a << k
        << QString() << bytes("[a]\r\n;c\r\nj=2\r\n[b]\r\nk=4\r\n");
    QTest::newRow("delete key of missing file creates none")
        << QByteArray() << QStringLiteral("deleteKey") << a << k << QString() << QByteArray();
    QTest::newRow("delete section removes every copy")
        << bytes("[a]\r\nk=1\r\n\r\n[b]\r\nj=2\r\n[A]\r\nx=3\r\n") << QStringLiteral("deleteSection") << a
        << QString() << QString() << bytes("[b]\r\nj=2\r\n");
}

void tst_cInifile::write() {
    QFETCH(QByteArray, before);
    QFETCH(QString, operation);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    writeFile(m_path, before);

    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(section);
    ini.setKey(key);
    if (operation == QLatin1String("set"))
        ini.setValue(value);
    else if (operation == QLatin1String("deleteKey"))
        ini.DeleteKey();
    else
        ini.DeleteSection();

    QVERIFY(ini.Success());
    QCOMPARE(QFile::exists(m_path), !after.isNull());
    QCOMPARE(readFile(m_path), after);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), after.isNull() ? 0 : 1);
}

void tst_cInifile::enumerate_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("sections");

    QTest::newRow("keys in file order") << bytes("[s]\r\na=1\r\nb=2\r\nc=3\r\n")
                                        << QStringList{u"a"_s, u"b"_s, u"c"_s} << QStringList{u"s"_s};
    QTest::newRow("comments skipped, empty names kept only for keys")
        << bytes("[S]\r\n;c=1\r\n\r\n=x\r\nb\r\n[]\r\n[t]\r\n") << QStringList{u""_s, u"b"_s}
        << QStringList{u"S"_s, u"t"_s};
    QTest::newRow("duplicates listed") << bytes("[s]\r\na=1\r\na=2\r\n[s]\r\nb=1\r\n")
                                       << QStringList{u"a"_s, u"a"_s} << QStringList{u"s"_s, u"s"_s};
    QTest::newRow("missing section") << bytes("[t]\r\na=1\r\n") << QStringList() << QStringList{u"t"_s};
    QTest::newRow("missing file") << QByteArray() << QStringList() << QStringList();
}

void tst_cInifile::enumerate() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, sections);
    writeFile(m_path, file);

    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(QStringLiteral("s"));
    QStringList names{QStringLiteral("stale")};
    qint32 count = -1;
    ini.EnumerateCurrentSection(names, count);
    QCOMPARE(names, keys);
    QCOMPARE(count, keys.size());
    ini.EnumerateAllSections(names, count);
    QCOMPARE(names, sections);
    QCOMPARE(count, sections.size());
}

void tst_cInifile::enumerate_dropsNamesBeyondListBuffer_data() {
    QTest::addColumn<QString>("prefix");
    QTest::newRow("ASCII names") << QStringLiteral("key_");
    QTest::newRow("GBK names") << QStringLiteral(u"章节");
}

void tst_cInifile::enumerate_dropsNamesBeyondListBuffer() {
    QFETCH(QString, prefix);
    QStringList all;
    QString keys = u"[s]\r\n"_s;
    QString headers;
    for (int i = 0; i < 2000; ++i) {
        all << prefix + QString::number(i).rightJustified(4, u'0');
        keys += all.last() + u"=1\r\n"_s;
        headers += u'[' + all.last() + u"]\r\n"_s;
    }
    const QString text = keys + headers;
    writeFile(m_path, gbk(text));
    // Each name takes its bytes plus a NUL; the buffer keeps one more NUL to close the list.
    const qsizetype room = cInifile::ListBufferSize - 1;
    const qsizetype nameBytes = gbk(all.first()).size() + 1;
    const qsizetype keysFitting = room / nameBytes;
    const qsizetype sectionsFitting = (room - 2) / nameBytes; // after "s" and its NUL
    QVERIFY(keysFitting < all.size());

    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(QStringLiteral("s"));
    QStringList names;
    qint32 count = 0;
    ini.EnumerateCurrentSection(names, count);
    QCOMPARE(names, all.first(keysFitting));
    QCOMPARE(count, keysFitting);
    ini.EnumerateAllSections(names, count);
    QCOMPARE(names, QStringList{u"s"_s} + all.first(sectionsFitting));
}

void tst_cInifile::success_followsLastWriteOnly() {
    cInifile ini;
    QVERIFY(!ini.Success());
    QCOMPARE(ini.LastReturnCode(), 0);

    ini.setSection(QStringLiteral("a"));
    ini.setKey(QStringLiteral("k"));
    ini.setPath(m_dir->filePath(QStringLiteral("no/such/folder/test.ini")));
    ini.setValue(QStringLiteral("1"));
    QVERIFY(!ini.Success());
    QVERIFY(!ini.errorString().isEmpty());

    ini.setPath(m_path);
    ini.setValue(QStringLiteral("1"));
    QVERIFY(ini.Success());
    QVERIFY(ini.errorString().isEmpty());

    ini.setPath(m_dir->filePath(QStringLiteral("no/such/folder/test.ini")));
    QCOMPARE(ini.Value(), QString());
    QVERIFY(ini.Success()); // reads leave the code alone
    ini.DeleteSection();    // nothing to delete in a missing file
    QVERIFY(ini.Success());
}

// config.ini is replaced through a temporary file: a write that fails half way (the file-size
// limit stands in for a full disk, and stops root too) leaves the old file whole and nothing
// temporary behind; one that succeeds puts a new file in place, so a second name of the old
// file still holds the old text.
void tst_cInifile::failedWrite_leavesOldFileIntact() {
    const QByteArray old = bytes("[a]\r\nk=old\r\n");
    writeFile(m_path, old);
    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(QStringLiteral("a"));
    ini.setKey(QStringLiteral("k"));
    {
        FileSizeLimit limit(old.size() + 8);
        ini.setValue(QString(200, u'n'));
    }
    QVERIFY(!ini.Success());
    QCOMPARE(ini.LastReturnCode(), 0);
    QCOMPARE(readFile(m_path), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("test.ini")});

    const QString second = m_dir->filePath(QStringLiteral("second-name.ini"));
    QCOMPARE(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(second).constData()), 0);
    ini.setValue(QStringLiteral("new"));
    QVERIFY(ini.Success());
    QCOMPARE(readFile(m_path), bytes("[a]\r\nk=new\r\n"));
    QCOMPARE(readFile(second), old);
}

void tst_cInifile::held_readsOnceAndWritesAtRelease() {
    writeFile(m_path, bytes("[a]\r\nk=1\r\n"));
    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(QStringLiteral("a"));
    ini.setKey(QStringLiteral("k"));
    QVERIFY(ini.holdFile());
    writeFile(m_path, bytes("[a]\r\nk=other\r\n")); // another writer, unseen while held
    QCOMPARE(ini.Value(), QStringLiteral("1"));
    ini.setValue(QStringLiteral("2"));
    QVERIFY(ini.Success());
    QCOMPARE(ini.Value(), QStringLiteral("2"));
    QCOMPARE(readFile(m_path), bytes("[a]\r\nk=other\r\n"));
    QVERIFY(ini.releaseFile());
    QCOMPARE(readFile(m_path), bytes("[a]\r\nk=2\r\n"));

    // A file that is there but cannot be read is not held, nor written.
    const QString folder = m_dir->filePath(QStringLiteral("folder.ini"));
    QVERIFY(QDir().mkdir(folder));
    ini.setPath(folder);
    QString error;
    QVERIFY(!ini.holdFile(&error));
    QVERIFY(!error.isEmpty());
    ini.setValue(QStringLiteral("3"));
    QVERIFY(!ini.Success());
    QVERIFY(QFileInfo(folder).isDir());
}

QTEST_GUILESS_MAIN(tst_cInifile)
#include "tst_cinifile.moc"
