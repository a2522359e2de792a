#include "frmAbout.h"

#include "ErrorHook.h"
#include "Prompts.h"
#include "WindowStyle.h"

#include "config/SystemError.h"
#include "config/Settings.h"
#include "config/StartUp.h"
#include "core/TextCodec.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>

frmAbout::frmAbout(const Settings& settings, QWidget* owner, const QString& programFolder)
    : QDialog(owner), m_programFolder(programFolder) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral(u"关于"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(480, 400);

    picMain = new QWidget(this);
    picMain->setObjectName(QStringLiteral("picMain"));

    lblTitle = new QLabel(AppTitle(), picMain);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblNotice = new QLabel(
        QStringLiteral(u"本程序为免费软件，可自由使用、复制和传播；使用中遇到问题，欢迎告诉我们。"), picMain);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblNotice->setWordWrap(true);
    txtAbout = new QPlainTextEdit(picMain);
    txtAbout->setObjectName(QStringLiteral("txtAbout"));
    txtAbout->setReadOnly(true);
    btnCopy = new QPushButton(QStringLiteral(u"复制到剪贴板(&C)"), picMain);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnCopy->setAutoDefault(false);
    btnOK = new QPushButton(QStringLiteral(u"确定(&O)"), picMain);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnCopy);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    auto* inner = new QVBoxLayout(picMain);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(8);
    inner->addWidget(lblTitle);
    inner->addWidget(lblNotice);
    inner->addWidget(txtAbout, 1);
    inner->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(picMain);

    connect(btnCopy, &QPushButton::clicked, this, &frmAbout::btnCopy_Click);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    ApplyFontName(this, settings.FontName);
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    lblTitle->setFont(titleFont);
    SetTopMost(this, settings.TopMost);
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Read once the box is on screen, so that an error report has the box to stand over.
    if (!m_notesLoaded)
        QMetaObject::invokeMethod(this, &frmAbout::Form_Activate, Qt::QueuedConnection);
}

void frmAbout::Form_Activate() {
    if (m_notesLoaded)
        return;
    m_notesLoaded = true;
    const QString path = NotesPath(m_programFolder);
    if (path.isEmpty()) {
        txtAbout->setPlainText(builtInNotes());
        return;
    }
    QFile file(path);
    QByteArray bytes;
    errno = 0;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reportError(QStringLiteral(u"无法读取文件: %1（%2）").arg(path, fileFailureReason(path, errno, file.errorString())),
                    FileAccessError,
                    QStringLiteral("frmAbout::Form_Activate() - txtAbout"), this);
        return;
    }
    txtAbout->setPlainText(decodeNotes(bytes));
}

void frmAbout::btnCopy_Click() {
    QGuiApplication::clipboard()->setText(txtAbout->toPlainText());
    Prompts::messageBox(this, QStringLiteral(u"复制成功！"), QStringLiteral(u"复制"),
                        QMessageBox::Information);
}

QString frmAbout::decodeNotes(const QByteArray& bytes) {
    // Edited by hand, so in whatever encoding the editor chose: detected as a novel's is.
    int bom = 0;
    const TextCodec& codec = TextCodec::forId(TextCodec::detect(bytes, &bom));
    QString text = codec.decode(QByteArrayView(bytes).sliced(bom));
    // Bytes that are no text show as the replacement mark, not as invisible characters.
    for (QChar& c : text) {
        if (TextCodec::isEscape(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString frmAbout::builtInNotes() {
    return QStringLiteral(
        u"未找到“说明.txt”文件\n"
        u"==============================\n"
        u"\n"
        u"维洛玛 Vellomar 把长篇的 TXT 小说按章节切分成一个个文件。\n"
        u"\n"
        u"用法\n"
        u"1. 打开小说（也可以把 .txt 文件拖到列表上），程序找出每一章的标题。\n"
        u"2. 在列表里检查章节：勾选的标题不作为分章位置；可以排序、撤销、修改章节号和标题。\n"
        u"3. 选择“输出”，各章写入以小说命名的文件夹，章节之前的内容写入 Index.txt。\n"
        u"\n"
        u"本版说明\n"
        u"· 章节标题用正则表达式识别，章节号可以是阿拉伯数字、中文数字、大写数字或全角数字。\n"
        u"· 相隔太近的标题自动判为无效，可选择过滤前一个还是后一个。\n"
        u"· 每个文件的章节数、每个目录的文件数和文件名格式都可以设置。\n"
        u"· 输出时可以过滤字符串、删除空行、把繁体转换成简体。\n"
        u"· 选项里可以当场检验章节标题表达式：输入一行文字，即可看到它是否算作标题。\n"
        u"· 窗口可以最小化到托盘区，分析和输出的进度与结果用气泡提示。\n"
        u"· 自动识别编码（GBK/GB18030、UTF-8、UTF-16），也可以在“编码”菜单中指定；输出使用相同编码。\n"
        u"· 常用标题规则可直接选用，可导入导出阅读软件通用的 JSON 规则，并能推荐最合适的规则。\n"
        u"· 列表下方预览所选章节；章节号缺号、重号、回退处有标记，按 F3 逐个查看。\n"
        u"\n"
        u"设置保存在 config.ini 中：程序目录可写时在程序目录下，否则（例如安装到系统中）在\n"
        u"~/.config/vellomar/ 下；出错时可以把错误报告保存到 err.log（与 config.ini 同一目录）。\n");
}
