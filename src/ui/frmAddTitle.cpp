#include "frmAddTitle.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

frmAddTitle::frmAddTitle(qint32 line, const QString& lineText, qint16 chapnum, const QString& title, QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAddTitle"));
    setWindowTitle(QStringLiteral(u"设为章节标题"));
    auto* form = new QFormLayout(this);
    auto* lblLine = new QLabel(this);
    lblLine->setObjectName(QStringLiteral("lblLine"));
    // A long line would widen the box past the screen: shown elided, whole in the tool tip.
    lblLine->setText(fontMetrics().elidedText(lineText.trimmed(), Qt::ElideRight, 360));
    lblLine->setToolTip(lineText);
    form->addRow(QStringLiteral(u"第 %1 行：").arg(line), lblLine);
    txtChapNum = new QSpinBox(this);
    txtChapNum->setObjectName(QStringLiteral("txtChapNum"));
    txtChapNum->setRange(-32768, 32767);
    txtChapNum->setValue(chapnum);
    auto* lblChapNum = new QLabel(QStringLiteral(u"章节序号(&N)："), this);
    lblChapNum->setBuddy(txtChapNum);
    form->addRow(lblChapNum, txtChapNum);
    txtTitle = new QLineEdit(title, this);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    txtTitle->setMinimumWidth(300);
    auto* lblTitle = new QLabel(QStringLiteral(u"章节标题(&T)："), this);
    lblTitle->setBuddy(txtTitle);
    form->addRow(lblTitle, txtTitle);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral(u"确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral(u"取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmAddTitle::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    txtTitle->setFocus();
    txtTitle->selectAll();
}

qint16 frmAddTitle::chapnum() const { return qint16(txtChapNum->value()); }

QString frmAddTitle::title() const { return txtTitle->text().trimmed(); }

void frmAddTitle::accept()
{
    // A title without words would make a file named by its number alone: ask for one.
    if (title().isEmpty()) {
        txtTitle->setFocus();
        return;
    }
    QDialog::accept();
}
