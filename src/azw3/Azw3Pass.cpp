#include "Azw3Pass.h"

#include "azw3/Azw3Writer.h"

EpubResult RunAzw3(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host)
{
    EpubOptions azw3 = options;
    azw3.format = BookFormat::Azw3;
    return RunBookPass(doc, settings, azw3, host,
                       [](const BookSource& src) { return std::make_unique<Azw3Writer>(src); });
}

EpubResult RunBook(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host)
{
    return options.format == BookFormat::Azw3 ? RunAzw3(doc, settings, options, host)
                                              : RunEpub(doc, settings, options, host);
}

BookFormat bookFormatOf(const QString& target, BookFormat fallback)
{
    if (target.endsWith(QLatin1String(".azw3"), Qt::CaseInsensitive)) {
        return BookFormat::Azw3;
    }
    if (target.endsWith(QLatin1String(".epub"), Qt::CaseInsensitive)) {
        return BookFormat::Epub;
    }
    return fallback;
}
