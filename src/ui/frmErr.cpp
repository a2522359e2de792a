#include "frmErr.h"

#include "Prompts.h"
#include "WindowStyle.h"
#include "config/SystemError.h"
#include "config/AnsiText.h"
#include "config/Settings.h"
#include "config/StartUp.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <cerrno>

namespace {

QString& logFilePath()
{
    static QString path;
    return path;
}

const QString CrLf = QStringLiteral("\r\n");

} // namespace

frmErr::frmErr(const QString& des, qint32 num, const QString& process, const Settings& settings, QWidget* owner)
    : QDialog(owner), strErrDes(des), lErrNum(num), strProcess(process), m_settings(settings)
{
    setObjectName(QStringLiteral("frmErr"));
    setWindowTitle(QStringLiteral(u"错误报告"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    imgErr = new QLabel(this);
    imgErr->setObjectName(QStringLiteral("imgErr"));
    imgErr->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(40, 40));
    imgErr->setAlignment(Qt::AlignTop);

    lblAppTitle = new QLabel(this);
    lblAppTitle->setObjectName(QStringLiteral("lblAppTitle"));
    lblAppTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblAppTitle->setWordWrap(true);

    auto* lbl1 = new QLabel(QStringLiteral(u"请将错误信息发送给我，会对我的开发有很大的帮助，谢谢！"), this);
    lbl1->setObjectName(QStringLiteral("lbl"));
    lbl1->setWordWrap(true);
    auto* lbl2 = new QLabel(
        QStringLiteral(u"你可以在下面写入更多的信息，比如错误发生的现象，如何重现这个错误，你的QQ、邮箱……"), this);
    lbl2->setObjectName(QStringLiteral("lbl"));
    lbl2->setWordWrap(true);

    txtMemo = new QPlainTextEdit(this);
    txtMemo->setObjectName(QStringLiteral("txtMemo"));
    txtMemo->setTabChangesFocus(true);

    btnSave = new QPushButton(QStringLiteral(u"保存报告"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnCancel = new QPushButton(QStringLiteral(u"不保存"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnSave->setDefault(true);

    lblLink = new QLabel(QStringLiteral(u"<a href=\"#\">我的博客</a>"), this);
    lblLink->setObjectName(QStringLiteral("lblLink"));
    lblLink->setCursor(Qt::PointingHandCursor);
    lblLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);

    auto* head = new QHBoxLayout;
    head->addWidget(imgErr);
    head->addWidget(lblAppTitle, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblLink);
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addSpacing(6);
    layout->addWidget(lbl1);
    layout->addWidget(lbl2);
    layout->addWidget(txtMemo, 1);
    layout->addLayout(buttons);
    resize(440, 330);

    connect(btnSave, &QPushButton::clicked, this, &frmErr::btnSave_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lblLink, &QLabel::linkActivated, this, &frmErr::lblLink_Click);

    // Form_Load
    ApplyFontName(this, m_settings.FontName);
    lblAppTitle->setText(Summary(strErrDes, lErrNum, strProcess));
    setProperty("promptText", lblAppTitle->text());
    SetTopMost(this, m_settings.TopMost);
}

void frmErr::ShowErrMsg(const QString& strDes, qint32 lNum, const QString& strProcess, QWidget* owner,
                        const Settings& settings)
{
    if (lNum == 0) {
        return;
    }
    frmErr report(strDes, lNum, strProcess, settings, owner);
    Prompts::exec(&report);
}

void frmErr::setLogFile(const QString& path) { logFilePath() = path; }

QString frmErr::logFile()
{
    if (logFilePath().isEmpty()) {
        return QFileInfo(ConfigPath()).absolutePath() + QStringLiteral("/err.log");
    }
    return logFilePath();
}

QString frmErr::Summary(const QString& des, qint32 num, const QString& process)
{
    return QStringLiteral(u"描述：") + des + CrLf + QStringLiteral(u"错误号：") + QString::number(num) + CrLf +
           QStringLiteral(u"来源：") + process;
}

QString frmErr::formatTime(const QDateTime& when)
{
    return QLocale::system().toString(when.date(), QLocale::ShortFormat) + u' ' +
           when.time().toString(QStringLiteral("HH:mm:ss"));
}

QByteArray frmErr::LogRecord(const QString& summary, const QString& memo, const QDateTime& when)
{
    // A note typed here has bare LF breaks; the log is a CR LF file like every text we write.
    QString note = memo;
    note.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\n', CrLf);
    const QString stars(20, u'*');
    const QString text = stars + CrLf + formatTime(when) + CrLf + summary + CrLf + QString(5, u'-') + CrLf + note +
                         CrLf + stars + CrLf;
    return toAnsi(text);
}

void frmErr::btnSave_Click()
{
    const QByteArray record =
        LogRecord(lblAppTitle->text(), txtMemo->toPlainText(), QDateTime::currentDateTime());
    QFile log(logFile());
    errno = 0;
    bool ok = log.open(QIODevice::WriteOnly | QIODevice::Append);
    ok = ok && log.write(record) == record.size();
    ok = log.flush() && ok;
    const QString why = fileFailureReason(logFile(), errno, log.errorString());
    log.close();
    if (!ok) {
        // The report stays open so that its text can still be copied from it.
        Prompts::messageBox(this, QStringLiteral(u"无法保存错误报告到 ") + logFile() + QStringLiteral(u"：\r\n") + why,
                            windowTitle(), QMessageBox::Warning);
        return;
    }
    accept();
}

void frmErr::lblLink_Click() { Prompts::openOrSay(this, HomePage(), QStringLiteral(u"我的主页")); }
