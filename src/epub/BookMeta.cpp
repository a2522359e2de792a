#include "BookMeta.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

namespace {

QString cleaned(QString s)
{
    static const QRegularExpression edges(QStringLiteral(u"^[\\s\u3000《「『【]+|[\\s\u3000》」』】]+$"));
    s.remove(edges);
    return s;
}

} // namespace

BookMeta detectBookMeta(const QString& filePath, const QStringList& frontLines)
{
    BookMeta meta;
    QString name = QFileInfo(filePath).fileName();
    if (name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    QString nameTitle;
    QString nameAuthor;
    bool nameSaysTitle = false;
    static const QRegularExpression bracketed(QStringLiteral(u"《([^》]+)》"));
    static const QRegularExpression byAuthor(QStringLiteral(u"^(.*?)[\\s\u3000_-]*作者[:：\\s\u3000]*(.+)$"));
    if (const QRegularExpressionMatch m = byAuthor.match(name); m.hasMatch()) {
        nameTitle = m.captured(1);
        nameAuthor = cleaned(m.captured(2));
    } else {
        nameTitle = name;
    }
    if (const QRegularExpressionMatch m = bracketed.match(nameTitle); m.hasMatch()) {
        nameTitle = m.captured(1);
        nameSaysTitle = true;
    }
    nameTitle = cleaned(nameTitle);
    nameSaysTitle = nameSaysTitle || !nameAuthor.isEmpty();

    QString frontTitle;
    QString frontAuthor;
    static const QRegularExpression titleLine(QStringLiteral(u"^[\\s\u3000]*(?:书名|書名)[:：][\\s\u3000]*(.+)$"));
    static const QRegularExpression authorLine(QStringLiteral(u"^[\\s\u3000]*(?:作者|作\u3000者|作 者)[:：][\\s\u3000]*(.+)$"));
    // A line that is only a title in book brackets names the book too.
    static const QRegularExpression bracketLine(QStringLiteral(u"^[\\s\u3000]*《([^》]+)》[\\s\u3000]*$"));
    for (const QString& line : frontLines) {
        if (frontTitle.isEmpty()) {
            if (const QRegularExpressionMatch m = titleLine.match(line); m.hasMatch()) {
                frontTitle = cleaned(m.captured(1));
            } else if (const QRegularExpressionMatch b = bracketLine.match(line); b.hasMatch()) {
                frontTitle = cleaned(b.captured(1));
            }
        }
        if (frontAuthor.isEmpty()) {
            if (const QRegularExpressionMatch m = authorLine.match(line); m.hasMatch()) {
                frontAuthor = cleaned(m.captured(1));
            }
        }
    }
    meta.title = nameSaysTitle || frontTitle.isEmpty() ? nameTitle : frontTitle;
    if (meta.title.isEmpty()) {
        meta.title = frontTitle.isEmpty() ? name : frontTitle;
    }
    meta.author = nameAuthor.isEmpty() ? frontAuthor : nameAuthor;
    return meta;
}

QDateTime bookDate(const QDateTime& modified)
{
    // A day inside either end, so that the zip's local time is in range in every time zone.
    static const QDateTime first(QDate(1980, 1, 2), QTime(0, 0), Qt::UTC);
    static const QDateTime last(QDate(2107, 12, 30), QTime(0, 0), Qt::UTC);
    if (!modified.isValid()) {
        return first;
    }
    QDateTime utc = modified.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return std::clamp(utc, first, last);
}

QString uuidFromDigest(const QByteArray& sha1)
{
    QByteArray b = sha1.left(16);
    b.resize(16);
    b[6] = char((quint8(b[6]) & 0x0F) | 0x50);
    b[8] = char((quint8(b[8]) & 0x3F) | 0x80);
    return QStringLiteral("urn:uuid:") + QUuid::fromRfc4122(b).toString(QUuid::WithoutBraces);
}
