#include "Settings.h"

#include "AnsiText.h"
#include "cInifile.h"

#include <QDir>

QString Settings::defaultTitleText()
{
    // 〇 千 仟 万 萬 两 兩 are in the number class so that chapters from 1000 on are found.
    return QStringLiteral(u"第([0-9○一二三四五六七八九十零壹贰叁肆伍陆柒捌玖拾百佰０１２３４５６７８９Ｏ〇千仟万萬两兩]+)"
                          u"[章草节][\\s\\t　]*(.*)");
}

QString Settings::defaultVolumeText()
{
    // The volume word must not begin a longer word of running text (第九部队, 第三部分的…,
    // 第二集团军, 篇幅); 部分 counts alone or before a separator. The heading's own title
    // that follows has at most 30 characters and is no sentence (no 。，；). A part line may
    // stand in brackets (【第二部】). The whole pattern
    // stays within the 254 bytes that config.ini keeps of a value.
    const QString num = QStringLiteral(u"[0-9０-９〇○零一二三四五六七八九十百]+");
    const QString sep = QStringLiteral(u"[\\s　:：、·—】-]");
    return QStringLiteral(u"^[\\s　]*[【]?(?|第(%1)(?:卷|部分(?=%2|$)|部(?![队分门长落位下署件族属])|集(?![团合中体结市会])"
                          u"|篇(?!幅))|卷(%1)|([上中下])卷)%2*([^。，；]{0,30})$")
        .arg(num, sep);
}

Settings Settings::defaults()
{
    Settings s;
    s.TitleText = defaultTitleText();
    s.VolumeText = defaultVolumeText();
    // The two Windows drive folders of the original list become the usual Linux places.
    s.OutPaths = QStringLiteral(u"(default)\r\n") + QDir::homePath() + QStringLiteral(u"/EBook/\r\n/media/EBOOK/");
    s.TextFilters = QStringLiteral(u"(过滤字符串)\r\n广告\r\n等等");
    s.OutFiles = QStringLiteral(u"%chap3%-%title%\r\n%id3%-%chap%_%title%\r\n(%chap3%)%title%");
    s.OutPath = s.OutPaths.left(s.OutPaths.indexOf(QStringLiteral("\r\n")));
    s.OutFile = s.OutFiles.left(s.OutFiles.indexOf(QStringLiteral("\r\n")));
    s.FontName = QStringLiteral(u"微软雅黑");
    return s;
}

QStringList splitList(const QString& list)
{
    return list.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

void addRecentFile(QList<RecentFile>& files, const RecentFile& file)
{
    files.removeIf([&file](const RecentFile& f) { return f.path == file.path; });
    // A value is read back trimmed and cut to the read buffer: such a path would come back as another.
    if (file.path.isEmpty() || file.path != file.path.trimmed() ||
        ansiSize(file.path) >= cInifile::ValueBufferSize) {
        return;
    }
    files.prepend(file);
    if (files.size() > MaxRecentFiles) {
        files.resize(MaxRecentFiles);
    }
}
