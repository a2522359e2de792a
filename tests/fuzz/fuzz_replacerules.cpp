// Arbitrary bytes as a replace-rule list (an import, or the rule file): never a crash; every
// entry is taken or named; what is taken exports and reads back the same; every rule compiles
// or says why.
#include "config/ReplaceRules.h"
#include "core/Cleanup.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<ReplaceRule> rules;
    QStringList problems;
    QString error;
    if (!readReplaceRules(json, &rules, &problems, &error)) {
        if (error.isEmpty()) {
            abort(); // a refusal says why
        }
        QList<ReplaceRule> imported;
        if (importReplaceRules(json, &imported, &error)) {
            abort();
        }
        return 0;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    const qsizetype entries = doc.isArray() ? doc.array().size() : 1;
    if (rules.size() + problems.size() != entries) {
        abort(); // every entry is either a rule or named
    }
    QList<ReplaceRule> imported;
    if (importReplaceRules(json, &imported, &error) != problems.isEmpty() || (problems.isEmpty() && imported != rules)) {
        abort();
    }
    QList<ReplaceRule> again;
    QStringList none;
    if (!readReplaceRules(exportReplaceRules(rules), &again, &none, &error) || !none.isEmpty() || again != rules) {
        abort(); // what the rule file keeps comes back unchanged
    }
    for (const ReplaceRule& r : std::as_const(rules)) {
        const CompiledRule c = compileRule(r);
        if (!c.error.isEmpty() == (!r.pattern.isEmpty() && (!r.isRegex || c.re))) {
            abort(); // compiled, or an error; never both, never neither
        }
    }
    return 0;
}
