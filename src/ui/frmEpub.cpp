#include "frmEpub.h"

#include "Prompts.h"

#include "core/FileName.h"
#include "epub/Cover.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

frmEpub::frmEpub(const BookMeta& meta, int chapsInBook, const QString& target, QWidget* owner, bool vertical, int maxBookMB,
                 BookFormat format)
    : QDialog(owner) {
    setObjectName(QStringLiteral("frmEpub"));
    setWindowTitle(QStringLiteral(u"输出 EPUB"));

    txtTitle = new QLineEdit(meta.title, this);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    txtAuthor = new QLineEdit(meta.author, this);
    txtAuthor->setObjectName(QStringLiteral("txtAuthor"));

    optCoverDrawn = new QRadioButton(QStringLiteral(u"用书名和作者生成(&G)"), this);
    optCoverDrawn->setObjectName(QStringLiteral("optCoverDrawn"));
    optCoverDrawn->setChecked(true);
    optCoverFile = new QRadioButton(QStringLiteral(u"图片(&I):"), this);
    optCoverFile->setObjectName(QStringLiteral("optCoverFile"));
    txtCover = new QLineEdit(this);
    txtCover->setObjectName(QStringLiteral("txtCover"));
    txtCover->setPlaceholderText(QStringLiteral(u"JPEG 或 PNG"));
    btnCover = new QPushButton(QStringLiteral(u"浏览..."), this);
    btnCover->setObjectName(QStringLiteral("btnCover"));
    picCover = new QLabel(this);
    picCover->setObjectName(QStringLiteral("picCover"));
    picCover->setFixedSize(100, 160);
    picCover->setFrameShape(QFrame::Box);
    picCover->setAlignment(Qt::AlignCenter);

    spnChaps = new QSpinBox(this);
    spnChaps->setObjectName(QStringLiteral("spnChaps"));
    spnChaps->setRange(0, 32767);
    spnChaps->setValue(chapsInBook);
    spnChaps->setSpecialValueText(QStringLiteral(u"全部在一本书里"));
    spnChaps->setSuffix(QStringLiteral(u" 章一本"));
    spnMaxMB = new QSpinBox(this);
    spnMaxMB->setObjectName(QStringLiteral("spnMaxMB"));
    spnMaxMB->setRange(0, 32767);
    spnMaxMB->setValue(maxBookMB);
    spnMaxMB->setSpecialValueText(QStringLiteral(u"不限"));
    spnMaxMB->setSuffix(QStringLiteral(u" MB"));
    spnMaxMB->setToolTip(QStringLiteral(u"一本书超过这个大小时，在章节之间分成下一本（Send-to-Kindle 只收 50 MB 以内的书）"));

    chkVertical = new QCheckBox(QStringLiteral(u"竖排，从右往左翻页(&V)"), this);
    chkVertical->setObjectName(QStringLiteral("chkVertical"));
    chkVertical->setChecked(vertical);

    optEpub = new QRadioButton(QStringLiteral("&EPUB"), this);
    optEpub->setObjectName(QStringLiteral("optEpub"));
    optAzw3 = new QRadioButton(QStringLiteral(u"A&ZW3（Kindle）"), this);
    optAzw3->setObjectName(QStringLiteral("optAzw3"));
    (format == BookFormat::Azw3 ? optAzw3 : optEpub)->setChecked(true);

    txtTarget = new QLineEdit(target, this);
    txtTarget->setObjectName(QStringLiteral("txtTarget"));
    txtTarget->setMinimumWidth(320);
    btnTarget = new QPushButton(QStringLiteral(u"浏览..."), this);
    btnTarget->setObjectName(QStringLiteral("btnTarget"));

    auto* coverRow = new QHBoxLayout;
    coverRow->addWidget(optCoverFile);
    coverRow->addWidget(txtCover, 1);
    coverRow->addWidget(btnCover);
    auto* coverBox = new QVBoxLayout;
    coverBox->addWidget(optCoverDrawn);
    coverBox->addLayout(coverRow);
    coverBox->addStretch();
    auto* cover = new QHBoxLayout;
    cover->addLayout(coverBox, 1);
    cover->addWidget(picCover);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(txtTarget, 1);
    targetRow->addWidget(btnTarget);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral(u"书名(&T):"), txtTitle);
    form->addRow(QStringLiteral(u"作者(&A):"), txtAuthor);
    form->addRow(QStringLiteral(u"封面:"), cover);
    form->addRow(QStringLiteral(u"分册(&N):"), spnChaps);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(optEpub);
    formatRow->addWidget(optAzw3);
    formatRow->addStretch();
    form->addRow(QStringLiteral(u"格式:"), formatRow);
    form->addRow(QStringLiteral(u"排版:"), chkVertical);
    form->addRow(QStringLiteral(u"每本书最大(&M):"), spnMaxMB);
    // A label before a row of widgets needs its buddy to take the access key.
    auto* lblTarget = new QLabel(QStringLiteral(u"保存为(&S):"), this);
    lblTarget->setObjectName(QStringLiteral("lblTarget"));
    lblTarget->setBuddy(txtTarget);
    form->addRow(lblTarget, targetRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral(u"输出(&O)"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral(u"取消"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &frmEpub::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnCover, &QPushButton::clicked, this, &frmEpub::chooseCover);
    connect(btnTarget, &QPushButton::clicked, this, &frmEpub::chooseTarget);
    connect(txtCover, &QLineEdit::textChanged, this, [this] {
        optCoverFile->setChecked(!txtCover->text().isEmpty());
        showCover();
    });
    connect(optCoverDrawn, &QRadioButton::toggled, this, &frmEpub::showCover);
    connect(optAzw3, &QRadioButton::toggled, this, &frmEpub::formatChanged);
    // The file is named after the book until the user names it otherwise.
    m_namedAfter = QFileInfo(target).completeBaseName();
    connect(txtTitle, &QLineEdit::textEdited, this, [this](const QString& title) {
        const QFileInfo current(txtTarget->text().trimmed());
        if (title.trimmed().isEmpty() || current.completeBaseName() != m_namedAfter) {
            return;
        }
        m_namedAfter = BookFileName(title.trimmed(), current.fileName());
        txtTarget->setText(QDir(current.path()).filePath(m_namedAfter + u'.' + bookExtension(this->format())));
    });
    showCover();
    formatChanged();
}

BookFormat frmEpub::format() const {
    return optAzw3->isChecked() ? BookFormat::Azw3 : BookFormat::Epub;
}

// The file's extension follows the format; the window says which it writes.
void frmEpub::formatChanged() {
    const QString extension = u'.' + bookExtension(format());
    const QString other = format() == BookFormat::Azw3 ? QStringLiteral(".epub") : QStringLiteral(".azw3");
    QString target = txtTarget->text().trimmed();
    if (target.endsWith(other, Qt::CaseInsensitive)) {
        target.chop(other.size());
        txtTarget->setText(target + extension);
    }
    setWindowTitle(QStringLiteral(u"输出 ") + bookExtension(format()).toUpper());
}

void frmEpub::showCover() {
    if (optCoverDrawn->isChecked()) {
        picCover->setPixmap(QPixmap());
        picCover->setText(QStringLiteral(u"自动生成\n的封面"));
        return;
    }
    const QPixmap image(txtCover->text());
    if (image.isNull()) {
        picCover->setPixmap(QPixmap());
        picCover->setText(QStringLiteral(u"无法显示\n此图片"));
    } else {
        picCover->setPixmap(image.scaled(picCover->size() - QSize(2, 2), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
}

void frmEpub::chooseCover() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral(u"选择封面图片"), txtCover->text(),
                                                      QStringLiteral(u"图片 (*.jpg *.jpeg *.png)"));
    if (!path.isEmpty()) {
        txtCover->setText(path);
    }
}

void frmEpub::chooseTarget() {
    const QString name = bookExtension(format()).toUpper();
    const QString extension = u'.' + bookExtension(format());
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral(u"保存 ") + name, txtTarget->text(),
                                                      QStringLiteral(u"%1 电子书 (*%2)").arg(name, extension), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        txtTarget->setText(path.endsWith(extension, Qt::CaseInsensitive) ? path : path + extension);
    }
}

void frmEpub::accept() {
    if (txtTitle->text().trimmed().isEmpty()) {
        Prompts::messageBox(this, QStringLiteral(u"请填写书名。"), windowTitle(), QMessageBox::Information);
        txtTitle->setFocus();
        return;
    }
    if (optCoverFile->isChecked()) {
        const CoverImage cover = loadCover(txtCover->text());
        if (!cover.error.isEmpty()) {
            Prompts::messageBox(this, cover.error, windowTitle(), QMessageBox::Warning);
            txtCover->setFocus();
            return;
        }
    }
    const QFileInfo target(txtTarget->text().trimmed());
    if (txtTarget->text().trimmed().isEmpty() || !IsLegalFileName(target.fileName())) {
        Prompts::messageBox(this, QStringLiteral(u"文件名中有非法字符！"), windowTitle(), QMessageBox::Warning);
        txtTarget->setFocus();
        return;
    }
    QDialog::accept();
}

EpubOptions frmEpub::options() const {
    EpubOptions o;
    o.title = txtTitle->text().trimmed();
    o.author = txtAuthor->text().trimmed();
    o.coverPath = optCoverFile->isChecked() ? txtCover->text() : QString();
    o.chapsInBook = spnChaps->value();
    o.format = format();
    o.vertical = chkVertical->isChecked();
    o.maxBookMB = spnMaxMB->value();
    QString target = txtTarget->text().trimmed();
    const QString extension = u'.' + bookExtension(o.format);
    if (!target.endsWith(extension, Qt::CaseInsensitive)) {
        target += extension;
    }
    o.target = QFileInfo(target).absoluteFilePath();
    return o;
}
