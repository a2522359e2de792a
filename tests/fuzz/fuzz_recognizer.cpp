// Arbitrary lines through the recognizer: the default pattern, the numeral reader, filters,
// the blank-line test and script conversion never fail and keep their promises.
#include "config/Settings.h"
#include "core/cRegExp.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromUtf16(reinterpret_cast<const char16_t*>(data), qsizetype(size / 2));
    static cRegExp re = [] {
        cRegExp r;
        r.InitRegexp(Settings::defaultTitleText());
        r.SetFilters(QString(), QStringLiteral(u"广告\r\n\r\n等等"));
        return r;
    }();
    const qint16 n = cRegExp::ParseChaptorNum(line);
    if (n < 0) {
        abort();
    }
    if (re.GetMatch(line)) {
        const QString title = re.ChaptorTitle();
        if (title.startsWith(u' ') || title.endsWith(u' ') || re.ChaptorNum() < 0) {
            abort();
        }
    }
    QString filtered = line;
    re.FilterString(filtered);
    if (filtered.contains(QStringLiteral(u"广告")) && !line.contains(QStringLiteral(u"广告"))) {
        abort(); // removal may join text, but only text that was there
    }
    if (filtered.size() > line.size()) {
        abort();
    }
    (void)re.IsSpaceLine(line);
    if (cRegExp::GetSimpleStr(line).size() != line.size() || cRegExp::GetTraditionStr(line).size() != line.size()) {
        abort();
    }
    // Arbitrary text as a pattern never crashes: it compiles or says why not.
    cRegExp any;
    any.InitRegexp(line.left(64));
    if (!any.isValid() && any.errorString().isEmpty()) {
        abort();
    }
    // The text the analysis looks for before it runs the pattern is in every line it matches.
    const QString rest = line.mid(64);
    if (any.isValid() && any.GetMatch(rest) && !rest.contains(any.requiredLiteral())) {
        abort();
    }
    return 0;
}
