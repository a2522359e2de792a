#include "TitleRules.h"

#include "config/Settings.h"
#include "core/TextCodec.h"
#include "core/LineReader.h"
#include "core/TidyTitles.h"
#include "core/cRegExp.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString Numerals = QStringLiteral(u"0-9○〇一二三四五六七八九十百千万零两壹贰叁肆伍陆柒捌玖拾佰仟萬兩０-９Ｏ");
const QString Space = QStringLiteral(u"[\\s\\t　]*");

TitleRule make(const QString& name, const QString& rule, const QString& example, qint64 serial,
               std::optional<QString> volume = std::nullopt)
{
    TitleRule r;
    r.name = name;
    r.rule = rule;
    r.volume = std::move(volume);
    r.example = example;
    r.id = 7000 + serial; // clear of the negative ids reader apps give their own defaults
    r.serialNumber = serial;
    return r;
}

QString compileError(const QString& pattern)
{
    if (pattern.isEmpty()) {
        return QStringLiteral(u"规则为空");
    }
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
    if (re.isValid()) {
        return QString();
    }
    return QStringLiteral(u"%1 (位置 %2)").arg(re.errorString()).arg(re.patternErrorOffset());
}

} // namespace

QList<TitleRule> builtInTitleRules()
{
    const QString num = u'[' + Numerals + u']';
    const QString volumes = Settings::defaultVolumeText();
    return {
        make(QStringLiteral(u"第…章/节（默认）"), Settings::defaultTitleText(), QStringLiteral(u"第一百零三章 风起"), 0, volumes),
        make(QStringLiteral(u"第…回"), u"第("_qs + num + u"+)回"_qs + Space + u"(.*)"_qs, QStringLiteral(u"第十二回 史湘云醉眠"), 1,
             volumes),
        // The match starts at the chapter ("\K"): the volume before it on the line is a volume.
        make(QStringLiteral(u"第…卷 + 第…章"),
             u"第"_qs + num + u"+[卷部集]"_qs + Space + u"\\K第("_qs + num + u"+)[章节回]"_qs + Space + u"(.*)"_qs,
             QStringLiteral(u"第二卷 第十五章 出山"), 2, volumes),
        make(QStringLiteral(u"Chapter N"), QStringLiteral(u"^\\s*chapter\\s*([0-9]+)[\\s:.：-]*(.*)"),
             QStringLiteral(u"Chapter 12: The Storm"), 3,
             QStringLiteral(u"^\\s*(?:volume|book|part)\\s*([0-9]+)[\\s:.：-]*(.{0,40})$")),
        make(QStringLiteral(u"序章/楔子/番外/尾声"),
             u"^"_qs + Space + u"()((?:序章|序言|楔子|引子|尾声|后记|终章|番外)[^，。！？]{0,30})$"_qs,
             QStringLiteral(u"番外一 旧事"), 4),
        make(QStringLiteral(u"1、标题"), u"^"_qs + Space + u"([0-9０-９]{1,5})[、.．:：]"_qs + Space + u"(\\S.{0,40})$"_qs,
             QStringLiteral(u"12、重逢"), 5),
        make(QStringLiteral(u"【…】括号标题"),
             u"^"_qs + Space + u"【"_qs + Space + u"(?:第("_qs + num + u"+)[章回节])?"_qs + Space + u"([^】]*)】"_qs + Space + u"$"_qs,
             QStringLiteral(u"【第三章 归来】"), 6, volumes),
    };
}

bool importTitleRules(const QByteArray& json, QList<TitleRule>* rules, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral(u"不是有效的 JSON：%1（位置 %2）").arg(parse.errorString()).arg(parse.offset);
        return false;
    }
    if (!doc.isArray()) {
        *error = QStringLiteral(u"JSON 不是规则数组");
        return false;
    }
    rules->clear();
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        TitleRule r;
        r.name = o.value(QLatin1String("name")).toString();
        r.rule = o.value(QLatin1String("rule")).toString();
        r.example = o.value(QLatin1String("example")).toString();
        r.enable = o.value(QLatin1String("enable")).toBool(true);
        r.id = qint64(o.value(QLatin1String("id")).toDouble());
        r.serialNumber = qint64(o.value(QLatin1String("serialNumber")).toDouble());
        if (const QJsonValue volume = o.value(QLatin1String("volume")); volume.isString()) {
            r.volume = volume.toString();
        }
        r.error = compileError(r.rule);
        rules->append(r);
    }
    return true;
}

QByteArray exportTitleRules(const QList<TitleRule>& rules)
{
    QJsonArray array;
    for (const TitleRule& r : rules) {
        QJsonObject o;
        o.insert(QLatin1String("id"), double(r.id));
        o.insert(QLatin1String("enable"), r.enable);
        o.insert(QLatin1String("name"), r.name);
        o.insert(QLatin1String("rule"), r.rule);
        o.insert(QLatin1String("example"), r.example);
        o.insert(QLatin1String("serialNumber"), double(r.serialNumber));
        if (r.volume) {
            o.insert(QLatin1String("volume"), *r.volume);
        }
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QList<RuleTrial> tryTitleRules(LineReader& reader, const TextCodec& codec, const QList<TitleRule>& rules, qint64 maxBytes)
{
    if (maxBytes < 0) {
        // A whole novel of up to 8 MB: the first 512 KB of a novel with a long preface may
        // hold too few titles to tell the rules apart.
        const qint64 size = QFileInfo(reader.openFilePath()).size();
        maxBytes = size <= WholeNovelLimit ? size + 1 : 512 * 1024;
    }
    // The lines are read once and kept, and every rule sees them.
    QStringList lines;
    reader.rewind();
    QByteArrayView line, term;
    while (reader.next(line, term) == LineReader::Line && reader.lineOffset() < maxBytes) {
        lines.append(codec.decode(line));
    }
    reader.rewind();
    // Non-blank characters of each line, for what stands between two titles.
    QVector<int> filled(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        filled[i] = int(std::count_if(lines[i].cbegin(), lines[i].cend(), [](QChar c) {
            return !c.isSpace() && c != u'\u3000';
        }));
    }

    QList<RuleTrial> trials;
    for (const TitleRule& rule : rules) {
        RuleTrial t;
        cRegExp re;
        re.InitRegexp(rule.rule);
        if (!re.isValid() || rule.rule.isEmpty()) {
            trials.append(t);
            continue;
        }
        QList<int> at;
        QVector<TidyTitle> finds;
        qint16 lastNumber = 0;
        for (int i = 0; i < lines.size(); ++i) {
            if (re.GetMatch(lines[i])) {
                at.append(i);
                TidyTitle f;
                f.number = re.ChaptorNum(lastNumber);
                lastNumber = f.number > 0 ? f.number : lastNumber;
                f.standalone = looksLikeHeading(lines[i], re.matchStart(), re.titleStart());
                f.guess = re.isGuess();
                finds.append(f);
            }
        }
        t.titles = int(at.size());
        if (t.titles >= 2) {
            for (int k = 0; k < t.titles; ++k) {
                const int end = k + 1 < t.titles ? at[k + 1] : int(lines.size());
                int body = 0;
                for (int i = at[k] + 1; i < end && body < BodyCap; ++i) {
                    body += filled[i];
                }
                finds[k].body = std::min(body, BodyCap);
                finds[k].textAfter = body > 0 || k + 1 == t.titles;
            }
            // The evidence is the chapter sequence the finds make (numbers rising, headings
            // rather than sentences, contents lists left out), and weakly the headings
            // without a number.
            int numbered = 0;
            const QVector<bool> sequence = tidySequence(finds, &numbered);
            double evidence = double(std::count(sequence.cbegin(), sequence.cend(), true));
            for (const TidyTitle& f : std::as_const(finds)) {
                evidence += f.number <= 0 && f.standalone ? 0.2 : 0.0;
            }
            // A pattern that takes a large share of all lines is not finding titles.
            const double share = double(t.titles) / std::max<qsizetype>(1, lines.size());
            t.score = evidence * (share > 0.2 ? 0.1 : 1.0);
        }
        trials.append(t);
    }
    return trials;
}

int suggestTitleRule(const QList<RuleTrial>& trials)
{
    int best = -1;
    double bestScore = 1.0; // below two plausible titles there is nothing to suggest
    for (int i = 0; i < trials.size(); ++i) {
        if (trials[i].score > bestScore) {
            best = i;
            bestScore = trials[i].score;
        }
    }
    return best;
}
