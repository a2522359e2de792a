#include "ReplaceRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

const char* const Known[] = {"name", "pattern", "replacement", "isRegex", "isEnabled",
                             "scopeTitle", "scopeContent", "order"};

// Apps disagree on whether a scope is a flag or a text; a text names a scope when it is
// not empty ("scope": "书名" in older files).
bool flag(const QJsonValue& v, bool missing)
{
    if (v.isBool()) {
        return v.toBool();
    }
    if (v.isDouble()) {
        return v.toDouble() != 0;
    }
    if (v.isString()) {
        const QString s = v.toString().trimmed().toLower();
        return !(s.isEmpty() || s == QLatin1String("false") || s == QLatin1String("0"));
    }
    return missing;
}

} // namespace

ReplaceRule ruleFromJson(const QJsonObject& object)
{
    ReplaceRule r;
    r.name = object.value(QLatin1String("name")).toString();
    r.pattern = object.value(QLatin1String("pattern")).toString();
    r.replacement = object.value(QLatin1String("replacement")).toString();
    r.isRegex = flag(object.value(QLatin1String("isRegex")), false);
    r.isEnabled = flag(object.value(QLatin1String("isEnabled")), true);
    r.scopeTitle = flag(object.value(QLatin1String("scopeTitle")), false);
    r.scopeContent = flag(object.value(QLatin1String("scopeContent")), true);
    r.order = object.value(QLatin1String("order")).toInt();
    QJsonObject extra = object;
    for (const char* k : Known) {
        extra.remove(QLatin1String(k));
    }
    if (!extra.isEmpty()) {
        r.extra = QString::fromUtf8(QJsonDocument(extra).toJson(QJsonDocument::Compact));
    }
    return r;
}

QJsonObject ruleToJson(const ReplaceRule& rule)
{
    QJsonObject o = QJsonDocument::fromJson(rule.extra.toUtf8()).object();
    o.insert(QLatin1String("name"), rule.name);
    o.insert(QLatin1String("pattern"), rule.pattern);
    o.insert(QLatin1String("replacement"), rule.replacement);
    o.insert(QLatin1String("isRegex"), rule.isRegex);
    o.insert(QLatin1String("isEnabled"), rule.isEnabled);
    o.insert(QLatin1String("scopeTitle"), rule.scopeTitle);
    o.insert(QLatin1String("scopeContent"), rule.scopeContent);
    o.insert(QLatin1String("order"), rule.order);
    return o;
}

bool readReplaceRules(const QByteArray& json, QList<ReplaceRule>* rules, QStringList* problems, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError || !(doc.isArray() || doc.isObject())) {
        if (error) {
            *error = parse.error != QJsonParseError::NoError
                         ? QStringLiteral(u"不是有效的 JSON: %1 (位置 %2)").arg(parse.errorString()).arg(parse.offset)
                         : QStringLiteral(u"不是替换规则的列表");
        }
        return false;
    }
    QJsonArray items;
    if (doc.isArray()) {
        items = doc.array();
    } else {
        items.append(doc.object());
    }
    QList<ReplaceRule> out;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QJsonValue v = items.at(i);
        if (!v.isObject() || !v.toObject().value(QLatin1String("pattern")).isString()) {
            if (problems) {
                *problems << QStringLiteral(u"第 %1 项不是替换规则（%2）")
                                 .arg(i + 1)
                                 .arg(v.isObject() ? QStringLiteral(u"缺少 pattern") : QStringLiteral(u"不是对象"));
            }
            continue;
        }
        out << ruleFromJson(v.toObject());
    }
    *rules = out;
    return true;
}

bool importReplaceRules(const QByteArray& json, QList<ReplaceRule>* rules, QString* error)
{
    QList<ReplaceRule> read;
    QStringList problems;
    if (!readReplaceRules(json, &read, &problems, error)) {
        return false;
    }
    if (!problems.isEmpty()) {
        if (error) {
            *error = problems.first();
        }
        return false;
    }
    *rules = read;
    return true;
}

QByteArray exportReplaceRules(const QList<ReplaceRule>& rules)
{
    QJsonArray a;
    for (const ReplaceRule& r : rules) {
        a.append(ruleToJson(r));
    }
    return QJsonDocument(a).toJson(QJsonDocument::Indented);
}
