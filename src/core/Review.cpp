#include "core/Review.h"

#include "core/Document.h"
#include "core/TitleRules.h"
#include "core/cRegExp.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace {

constexpr int FormatVersion = 1;
// A review file this large is no review of ours: not read, so that a stray file costs nothing.
constexpr qint64 MaxReviewBytes = 64 << 20;
constexpr qint64 EdgeBlock = 64 << 10;
constexpr qint64 InnerBlock = 4 << 10;
constexpr int InnerBlocks = 16;

QString cannotRead(const QString& path, const QString& why) {
    return QStringLiteral(u"无法读取“%1”：%2").arg(QDir::toNativeSeparators(path), why);
}

QJsonArray titlesToJson(const QList<Review::Title>& titles) {
    QJsonArray a;
    for (const Review::Title& t : titles)
        a.append(QJsonObject{{QStringLiteral("line"), t.line},
                             {QStringLiteral("number"), t.chapnum},
                             {QStringLiteral("title"), t.title}});
    return a;
}

bool titlesFromJson(const QJsonValue& value, QList<Review::Title>* titles) {
    if (!value.isArray() && !value.isUndefined())
        return false;
    for (const QJsonValue& v : value.toArray()) {
        const QJsonObject o = v.toObject();
        const double line = o.value(QStringLiteral("line")).toDouble(-1);
        const double number = o.value(QStringLiteral("number")).toDouble(1e9);
        if (!v.isObject() || line < 1 || line > 2147483646 || number < -32768 || number > 32767
            || !o.value(QStringLiteral("title")).isString())
            return false;
        titles->append({qint32(line), qint16(number), o.value(QStringLiteral("title")).toString()});
    }
    return true;
}

} // namespace

// --- The novel's key -------------------------------------------------------------------------------------

bool NovelKey::sampled(const QString& path, NovelKey* key, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = cannotRead(path, file.errorString());
        return false;
    }
    key->size = file.size();
    key->digest.clear();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    // The edges, where a novel is most often edited, and blocks spread over the middle.
    QList<qint64> starts = {0};
    for (int i = 1; i <= InnerBlocks; ++i)
        starts.append(key->size * i / (InnerBlocks + 1));
    starts.append(std::max<qint64>(0, key->size - EdgeBlock));
    for (int i = 0; i < starts.size(); ++i) {
        const qint64 length = i == 0 || i + 1 == starts.size() ? EdgeBlock : InnerBlock;
        if (!file.seek(starts.at(i))) {
            if (error)
                *error = cannotRead(path, file.errorString());
            return false;
        }
        const QByteArray block = file.read(length);
        if (block.isNull() && file.error() != QFileDevice::NoError) {
            if (error)
                *error = cannotRead(path, file.errorString());
            return false;
        }
        hash.addData(block);
    }
    key->sample = hash.result().toHex();
    return true;
}

bool NovelKey::addDigest(const QString& path, QString* error) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        if (error)
            *error = cannotRead(path, file.errorString());
        return false;
    }
    // A file that grew or shrank while it was hashed is not the one that was sampled.
    if (file.size() != size) {
        if (error)
            *error = cannotRead(path, QStringLiteral(u"文件正在被修改"));
        return false;
    }
    digest = hash.result().toHex();
    return true;
}

QString NovelKey::fileName() const {
    return QString::number(size) + u'-' + QString::fromLatin1(sample) + QStringLiteral(".json");
}

// --- The review file -------------------------------------------------------------------------------------

QByteArray Review::toJson() const {
    QJsonArray lines;
    for (qint32 line : ignored)
        lines.append(line);
    const QJsonObject o{
        {QStringLiteral("format"), FormatVersion},
        {QStringLiteral("size"), QString::number(novel.size)},
        {QStringLiteral("sample"), QString::fromLatin1(novel.sample)},
        {QStringLiteral("sha1"), QString::fromLatin1(novel.digest)},
        {QStringLiteral("novel"), novelName},
        {QStringLiteral("encoding"), encoding},
        {QStringLiteral("detected"), detected},
        {QStringLiteral("titleRule"), titleRule},
        {QStringLiteral("volumeRule"), volumeRule},
        {QStringLiteral("ignored"), lines},
        {QStringLiteral("edited"), titlesToJson(edited)},
        {QStringLiteral("added"), titlesToJson(added)},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool Review::fromJson(const QByteArray& json, Review* review, QString* error) {
    QJsonParseError parse;
    const QJsonDocument d = QJsonDocument::fromJson(json, &parse);
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (parse.error != QJsonParseError::NoError)
        return fail(QStringLiteral(u"不是有效的审阅文件（%1，位置 %2）").arg(parse.errorString()).arg(parse.offset));
    const QJsonObject o = d.object();
    if (!d.isObject() || o.value(QStringLiteral("format")).toInt() != FormatVersion)
        return fail(QStringLiteral(u"不是本程序能读的审阅文件"));
    Review r;
    bool sizeOk = false;
    r.novel.size = o.value(QStringLiteral("size")).toString().toLongLong(&sizeOk);
    r.novel.sample = o.value(QStringLiteral("sample")).toString().toLatin1();
    r.novel.digest = o.value(QStringLiteral("sha1")).toString().toLatin1();
    r.novelName = o.value(QStringLiteral("novel")).toString();
    r.encoding = o.value(QStringLiteral("encoding")).toString();
    r.detected = o.value(QStringLiteral("detected")).toBool(true);
    r.titleRule = o.value(QStringLiteral("titleRule")).toString();
    r.volumeRule = o.value(QStringLiteral("volumeRule")).toString();
    TextCodec::Id id;
    bool detect = false;
    const QJsonValue ignored = o.value(QStringLiteral("ignored"));
    if (!sizeOk || r.novel.size < 0 || r.novel.digest.size() != 40 || r.titleRule.isEmpty()
        || !TextCodec::fromName(r.encoding, &id, &detect) || !ignored.isArray()
        || !titlesFromJson(o.value(QStringLiteral("edited")), &r.edited)
        || !titlesFromJson(o.value(QStringLiteral("added")), &r.added))
        return fail(QStringLiteral(u"审阅文件已损坏"));
    for (const QJsonValue& v : ignored.toArray()) {
        const double line = v.toDouble(-1);
        if (line < 1 || line > 2147483646)
            return fail(QStringLiteral(u"审阅文件已损坏"));
        r.ignored.append(qint32(line));
    }
    *review = std::move(r);
    return true;
}

bool Review::save(const QString& path, QString* error) const {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral(u"无法创建文件夹“%1”").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(toJson()) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral(u"无法写入“%1”：%2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

bool Review::load(const QString& path, Review* review, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = cannotRead(path, file.errorString());
        return false;
    }
    if (file.size() > MaxReviewBytes) {
        if (error)
            *error = cannotRead(path, QStringLiteral(u"文件过大，不是审阅文件"));
        return false;
    }
    QString why;
    if (!fromJson(file.readAll(), review, &why)) {
        if (error)
            *error = cannotRead(path, why);
        return false;
    }
    return true;
}

QString reviewFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vellomar/reviews");
}

SavedReview findSavedReview(const QString& novelPath) {
    SavedReview found;
    NovelKey key;
    if (!NovelKey::sampled(novelPath, &key, &found.error)) {
        found.kind = SavedReview::Unreadable;
        return found;
    }
    found.path = reviewFolder() + u'/' + key.fileName();
    // Most novels have none: the whole file is read only when one may match.
    if (!QFileInfo::exists(found.path))
        return found;
    if (!Review::load(found.path, &found.review, &found.error)) {
        found.kind = SavedReview::Unreadable;
        return found;
    }
    if (!key.addDigest(novelPath, &found.error)) {
        found.kind = SavedReview::Unreadable;
        return found;
    }
    // Same size and samples but other bytes: a changed novel, whose lines may have moved.
    if (found.review.novel.digest != key.digest || found.review.novel.size != key.size)
        return found;
    found.kind = SavedReview::Found;
    return found;
}

// --- Taking and applying -----------------------------------------------------------------------------

Review captureReview(const Document& doc, const QString& titleRule, const QString& volumeRule) {
    const ChapterModel& model = doc.model();
    Review r;
    r.novelName = Document::fileNamePart(doc.FilePath);
    r.encoding = doc.codec().name();
    r.detected = doc.detectsEncoding();
    r.titleRule = titleRule;
    r.volumeRule = volumeRule;
    const QVector<bool> touched = model.handTouched();
    const QList<qint32> added = model.handAddedRecords();
    const QSet<qint32> byHand(added.cbegin(), added.cend());
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.isChecked(row))
            r.ignored.append(model.chapline().at(model.tag(row)));
    }
    std::sort(r.ignored.begin(), r.ignored.end());
    for (qint32 rec = 0; rec < model.recordCount() && rec < touched.size(); ++rec) {
        const Review::Title t{model.chapline().at(rec), model.chapnum().at(rec), model.title().at(rec)};
        if (byHand.contains(rec))
            r.added.append(t);
        else if (touched.at(rec))
            r.edited.append(t);
    }
    return r;
}

void applyReview(Document& doc, const Review& review, const QString& outFile, QStringList* notes) {
    ChapterModel& model = doc.model();
    const bool recording = model.undoRecording();
    model.setUndoRecording(false);
    for (const Review::Title& t : review.added) {
        ChapterRecord rec;
        rec.line = t.line;
        rec.chapnum = t.chapnum;
        rec.title = t.title;
        if (model.recordAtLine(t.line) >= 0) {
            continue; // the rule finds it now
        }
        if (!doc.readLine(t.line, &rec.offset, &rec.lineText) || model.addTitle(rec, outFile) < 0) {
            notes->append(QStringLiteral(u"第 %1 行的标题“%2”无法加入").arg(t.line).arg(t.title));
        }
    }
    for (const Review::Title& t : review.edited) {
        const qint32 rec = model.recordAtLine(t.line);
        const int row = rec >= 0 ? model.rowOfTag(rec) : -1;
        if (row < 0) {
            notes->append(QStringLiteral(u"第 %1 行没有找到标题“%2”").arg(t.line).arg(t.title));
            continue;
        }
        model.UpdateChapItem(row, t.chapnum, t.title, outFile);
    }
    // In one batch: a check mark each would have the views (and the review of the numbers)
    // follow every row.
    const QSet<qint32> ignored(review.ignored.cbegin(), review.ignored.cend());
    model.beginBatch();
    for (int row = 0; row < model.rowCount(); ++row) {
        model.setChecked(row, ignored.contains(model.chapline().at(model.tag(row))));
    }
    model.endBatch();
    model.setUndoRecording(recording);
    model.UpdateChapCount();
}

// --- A title made by hand ----------------------------------------------------------------------------

ChapterRecord readHandTitle(const QString& line, const QString& titleRule, qint16 previous) {
    ChapterRecord rec;
    rec.lineText = line;
    QStringList rules = {titleRule};
    for (const TitleRule& r : builtInTitleRules())
        rules.append(r.rule);
    for (const QString& rule : std::as_const(rules)) {
        cRegExp re;
        re.InitRegexp(rule);
        if (re.isValid() && re.GetMatch(line)) {
            rec.chapnum = re.ChaptorNum(previous);
            rec.title = re.ChaptorTitle();
            if (rec.chapnum > 0 && !rec.title.isEmpty())
                return rec;
        }
    }
    const QString trimmed = line.trimmed(); // U+3000 included
    static const QRegularExpression numeral(
        QStringLiteral(u"第\\s*([0-9０-９零〇一二两三四五六七八九十百千]+)\\s*[章回节節卷集部篇话話折则則]?"));
    const QRegularExpressionMatch m = numeral.match(trimmed);
    if (m.hasMatch()) {
        rec.chapnum = cRegExp::ParseChaptorNum(m.capturedView(1), previous);
        rec.title = trimmed.mid(m.capturedEnd(0)).trimmed();
    }
    if (rec.chapnum <= 0)
        rec.chapnum = qint16(std::min<int>(previous + 1, 32767));
    if (rec.title.isEmpty())
        rec.title = trimmed;
    return rec;
}
