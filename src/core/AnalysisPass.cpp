#include "AnalysisPass.h"

#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/PassHost.h"
#include "core/ByteSearch.h"
#include "core/cRegExp.h"

#include <QElapsedTimer>

namespace {

const QString Context = QStringLiteral("frmMain::mnuO_Analyze_Click()");

// An error ends the pass; the window must not stay busy with a hidden list, so it goes back
// to Opened with no rows.
void failPass(Document& doc, PassHost& host, const QString& description, int number)
{
    host.progressEnd();
    host.setProcessText(QString());
    doc.model().clearRows();
    doc.model().endBatch();
    host.setListVisible(true);
    const CommandStates c = doc.SetState(Opened);
    host.setStatusText(c.statusText);
    doc.reader().rewind();
    host.error(description, number, Context);
}

} // namespace

bool RunAnalysis(Document& doc, const Settings& settings, PassHost& host)
{
    if (doc.LineCount == 0) {
        host.messageBox(QStringLiteral(u"文件为空,无法分析!"), QStringLiteral(u"分析"), PassHost::Warning);
        host.setStatusText(QStringLiteral(u"文件为空文件..."));
        return false;
    }
    if (!doc.isOpen()) {
        host.messageBox(QStringLiteral(u"文件未打开!"), QStringLiteral(u"分析"), PassHost::Warning);
        host.setStatusText(QStringLiteral(u"文件未打开..."));
        return false;
    }
    doc.SetState(Busy);
    host.progressStart(doc.LineCount);
    host.setStatusText(QStringLiteral(u"正在分析文件..."));
    host.processEvents();

    ChapterModel& model = doc.model();
    model.SortByColumn(-1, 0);
    model.clearRows();
    host.setListVisible(false);
    model.beginBatch();

    cRegExp re;
    re.InitRegexp(settings.TitleText);
    re.setTrustedInput(true);
    if (!re.isValid()) {
        failPass(doc, host, re.errorString(), 5);
        return false;
    }
    // Lines without the pattern's required text cannot match and are skipped undecoded.
    QByteArray needle;
    if (!re.requiredLiteral().isEmpty()) {
        qsizetype bad = 0;
        doc.codec().encode(re.requiredLiteral(), needle, &bad);
        if (bad) {
            needle.clear();
        }
    }

    // When every match starts with the literal followed by a character of a known class, a
    // line is only worth decoding if some occurrence of the literal is followed by one.
    std::vector<quint8> follows;
    qsizetype literalBytes = 0;
    const GbkCodec* dbcs = dynamic_cast<const GbkCodec*>(&doc.codec());
    {
        QString literal, chars;
        if (!needle.isEmpty() && dbcs && cRegExp::leadingLiteralAndClass(settings.TitleText, &literal, &chars)
            && literal == re.requiredLiteral()) {
            follows.assign(0x10000, 0);
            for (QChar c : std::as_const(chars)) {
                follows[c.unicode()] = 1;
            }
            literalBytes = needle.size();
        }
    }
    auto worthDecoding = [&](QByteArrayView line) {
        if (follows.empty()) {
            return true;
        }
        const char* b = line.data();
        const char* e = b + line.size();
        for (const char* at = b; (at = findBytes(at, size_t(e - at), needle.data(), size_t(literalBytes)));
             ++at) {
            const auto* p = reinterpret_cast<const unsigned char*>(at + literalBytes);
            const auto* end = reinterpret_cast<const unsigned char*>(e);
            if (p < end && follows[dbcs->charAt(p, end)]) {
                return true;
            }
        }
        return false;
    };

    LineReader& reader = doc.reader();
    if (!reader.rewind()) {
        failPass(doc, host, reader.errorString(), 75);
        return false;
    }
    int k = 0;
    int j = 0;
    QString text;
    QByteArrayView line, terminator;
    const double lineCount = double(doc.LineCount);
    // One turn of the event loop with the progress and the stop question; false when the
    // user chose to stop (the pass has then been wound up).
    auto turn = [&](qint64 i) {
        const int p = int(double(i) * 100.0 / lineCount);
        host.progress(i, p, QStringLiteral(u"已经分析：%1%").arg(p), QStringLiteral(u"正在分析..."));
        host.processEvents();
        if (doc.DocState != StopRequested) {
            return true;
        }
        if (host.askYesNo(QStringLiteral(u"是否确定中断分析操作？"), QStringLiteral(u"分析"))) {
            host.progressEnd();
            doc.SetState(Opened);
            host.setStatusText(QStringLiteral(u"分析被中断！"));
            host.setProcessText(QString());
            model.clearRows();
            model.endBatch();
            host.setListVisible(true);
            reader.rewind();
            return false;
        }
        doc.DocState = Busy;
        return true;
    };
    // A long stretch without a title (or a pattern that backtracks badly) still gets a turn
    // now and then, so that the window answers and Stop works.
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    for (;;) {
        const LineReader::Result r = reader.nextContaining(needle, line, terminator);
        if (r == LineReader::Error) {
            failPass(doc, host, reader.errorString(), 57);
            return false;
        }
        if (r == LineReader::End) {
            break;
        }
        const bool candidate = worthDecoding(line);
        if (candidate) {
            doc.codec().decode(line.data(), line.size(), text);
        }
        if (!candidate || !re.GetMatch(text)) {
            if (sinceTurn.elapsed() >= 200) {
                if (!turn(reader.lineNumber())) {
                    return false;
                }
                sinceTurn.restart();
            }
            continue;
        }
        const qint64 i = reader.lineNumber();
        if (!turn(i)) {
            return false;
        }
        sinceTurn.restart();
        if (i > INT_MAX) {
            failPass(doc, host, QStringLiteral(u"文件行数过多"), 6);
            return false;
        }
        const QString title = re.ChaptorTitle();
        const qint16 num = re.ChaptorNum();
        const int row = model.AddChapItem(k + 1, num, title, text, qint32(i), settings.OutFile);
        doc.TitleOffsets.resize(k + 1);
        doc.TitleOffsets[k] = reader.lineOffset();
        if (k > 0 && settings.SetInvalidTitle && i - model.chapline().at(k - 1) <= settings.InvalidLines) {
            model.setChecked(settings.FilterAfterLine ? row : row - 1, true);
            ++j;
        }
        ++k;
    }
    model.endBatch();
    host.progressEnd();
    host.setProcessText(QString());
    host.setListVisible(true);
    if (k == 0) {
        doc.SetState(Opened);
        host.setStatusText(QStringLiteral(u"一共: 0/0 章"));
        // The advice to re-save as ANSI applies to a GBK reading only; otherwise say what was used.
        const QString advice = doc.codec().isGbkFamily()
                                   ? QStringLiteral(u"另外非ANSI编码也会导致无法识别，请到记事本里另存为，选择“ANSI”编码方式再试")
                                   : QStringLiteral(u"文件是按 %1 编码读取的；如果编码不对，请另选编码后再试").arg(doc.codec().name());
        host.notice(QStringLiteral(u"未发现章节标题，请检查“章节标题”正则表达式是否符合\r\n") + advice,
                    QStringLiteral(u"分析"), 1);
    } else {
        doc.SetState(Analysed);
        host.setStatusText(ChapCountText(model.recordCount(), j));
        host.balloonIfHidden(QStringLiteral(u"分析完成，一共 %1 章节！").arg(k), QStringLiteral(u"分析"));
    }
    return true;
}
