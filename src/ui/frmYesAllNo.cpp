#include "frmYesAllNo.h"

#include "Prompts.h"
#include "WindowStyle.h"
#include "config/Settings.h"
#include "core/FileName.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral(u"覆盖");

// The banner across the top of the dialog.
QPixmap topPicture(int width)
{
    QPixmap pix(width, 36);
    QPainter p(&pix);
    QLinearGradient g(0, 0, width, 0);
    g.setColorAt(0, QColor(40, 80, 150));
    g.setColorAt(1, QColor(120, 170, 230));
    p.fillRect(pix.rect(), g);
    p.setPen(QPen(QColor(255, 255, 255, 90), 2));
    for (int x = width - 140; x < width; x += 14) {
        p.drawLine(x, 36, x + 24, 0);
    }
    return pix;
}

// Two pages, the newer one pushing onto the older: "replace".
QPixmap replacePicture()
{
    QPixmap pix(40, 40);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    auto sheet = [&](const QRectF& r, const QColor& fill) {
        p.setPen(QPen(QColor(70, 70, 80), 1));
        p.setBrush(fill);
        p.drawRect(r);
        p.setPen(QPen(QColor(140, 150, 170), 1));
        for (qreal y = r.top() + 5; y < r.bottom() - 3; y += 4) {
            p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
        }
    };
    sheet(QRectF(2.5, 2.5, 20, 26), QColor(235, 235, 230));
    sheet(QRectF(16.5, 11.5, 20, 26), Qt::white);
    p.setPen(QPen(QColor(40, 120, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 33), QPointF(14, 33));
    p.drawLine(QPointF(11.5, 30.5), QPointF(14, 33));
    p.drawLine(QPointF(11.5, 35.5), QPointF(14, 33));
    return pix;
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

QString namePart(const QString& path) { return path.mid(path.lastIndexOf(u'/') + 1); }

} // namespace

frmYesAllNo::frmYesAllNo(const Settings& settings, QWidget* owner)
    : QDialog(owner), m_settings(settings)
{
    setObjectName(QStringLiteral("frmYesAllNo"));
    setWindowTitle(QStringLiteral(u"确认文件替换"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    picTop = new QLabel(this);
    picTop->setObjectName(QStringLiteral("picTop"));
    picTop->setPixmap(topPicture(460));
    picTop->setFixedHeight(36);
    picTop->setScaledContents(true);

    picMain = new QWidget(this);
    picMain->setObjectName(QStringLiteral("picMain"));
    picMain->setAutoFillBackground(true);
    QPalette pal = picMain->palette();
    pal.setColor(QPalette::Window, Qt::white);
    picMain->setPalette(pal);

    imgText = new QLabel(picMain);
    imgText->setObjectName(QStringLiteral("imgText"));
    imgText->setPixmap(replacePicture());
    imgText->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblText = new QLabel(picMain);
    lblText->setObjectName(QStringLiteral("lblText"));
    lblText->setWordWrap(true);
    lblPath = new QLabel(picMain);
    lblPath->setObjectName(QStringLiteral("lblPath"));
    lblPath->setWordWrap(true);
    lblPath->setStyleSheet(QStringLiteral("color: #555;"));
    lbl = new QLabel(QStringLiteral(u"是否替换此文件？"), picMain);
    lbl->setObjectName(QStringLiteral("lbl"));
    chkReName = new QCheckBox(QStringLiteral(u"或重命名文件："), picMain);
    chkReName->setObjectName(QStringLiteral("chkReName"));
    txtFile = new QLineEdit(picMain);
    txtFile->setObjectName(QStringLiteral("txtFile"));
    txtFile->setEnabled(false);

    auto* text = new QVBoxLayout;
    text->addWidget(lblText);
    text->addWidget(lblPath);
    text->addSpacing(6);
    text->addWidget(lbl);
    auto* top = new QHBoxLayout;
    top->addWidget(imgText);
    top->addLayout(text, 1);
    auto* main = new QVBoxLayout(picMain);
    main->setContentsMargins(14, 12, 14, 12);
    main->addLayout(top);
    main->addSpacing(4);
    main->addWidget(chkReName);
    main->addWidget(txtFile);

    btnOK = new QPushButton(QStringLiteral(u"是(&Y)"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnAll = new QPushButton(QStringLiteral(u"全是(&A)"), this);
    btnAll->setObjectName(QStringLiteral("btnAll"));
    btnNo = new QPushButton(QStringLiteral(u"否(&N)"), this);
    btnNo->setObjectName(QStringLiteral("btnNo"));
    btnCancel = new QPushButton(QStringLiteral(u"取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnOK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(14, 8, 14, 10);
    buttons->addStretch(1);
    for (QPushButton* b : {btnOK, btnAll, btnNo, btnCancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(picTop);
    layout->addWidget(picMain, 1);
    layout->addLayout(buttons);
    resize(460, 250);

    connect(chkReName, &QCheckBox::clicked, this, &frmYesAllNo::chkReName_Click);
    connect(btnOK, &QPushButton::clicked, this, &frmYesAllNo::btnOK_Click);
    connect(btnAll, &QPushButton::clicked, this, [this] { answer(QStringLiteral(":All")); });
    connect(btnNo, &QPushButton::clicked, this, [this] { answer(QStringLiteral(":No")); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { answer(QStringLiteral(":Cancel")); });

    ApplyFontName(this, m_settings.FontName);
    SetTopMost(this, m_settings.TopMost);
}

QString frmYesAllNo::ShowMsg(const QString& path, QWidget* owner, const Settings& settings, TakenTest taken)
{
    frmYesAllNo dialog(settings, owner);
    dialog.setTakenTest(std::move(taken));
    dialog.setFileName(path);
    Prompts::exec(&dialog);
    return dialog.Out();
}

void frmYesAllNo::setFileName(const QString& path)
{
    txtFile->setText(path);
    lblPath->setText(folderOf(path));
    lblText->setText(QStringLiteral(u"此文件夹已经包含一个名为“") + namePart(path) + QStringLiteral(u"”的文件。"));
    setProperty("promptText", lblText->text());
}

QString frmYesAllNo::Out()
{
    if (m_out.isEmpty()) {
        m_out = QStringLiteral(":Cancel");
    }
    return m_out;
}

void frmYesAllNo::done(int result)
{
    // However the dialog closes (close box, Esc), an unanswered prompt stops the pass.
    if (m_out.isEmpty()) {
        m_out = QStringLiteral(":Cancel");
    }
    QDialog::done(result);
}

void frmYesAllNo::answer(const QString& token)
{
    m_out = token;
    accept();
}

void frmYesAllNo::chkReName_Click()
{
    const bool on = chkReName->isChecked();
    txtFile->setEnabled(on);
    if (on) {
        txtFile->setFocus();
        txtFile->end(false);
    }
}

void frmYesAllNo::btnOK_Click()
{
    if (!chkReName->isChecked()) {
        answer(QStringLiteral(":Yes"));
        return;
    }
    const QString text = txtFile->text();
    if (!IsLegalFileName(namePart(text))) {
        Prompts::messageBox(this, QStringLiteral(u"文件名中有非法字符！"), Caption, QMessageBox::Warning);
        return;
    }
    const bool exists = m_taken ? m_taken(text) : (QFileInfo::exists(text) || QFileInfo(text).isSymLink());
    if (exists &&
        !Prompts::askYesNo(this, QStringLiteral(u"文件: ") + text + QStringLiteral(u" 已存在，是否覆盖？"), Caption)) {
        return;
    }
    answer(text);
}
