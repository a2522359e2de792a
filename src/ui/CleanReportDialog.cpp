#include "CleanReportDialog.h"

#include "config/SystemError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CleanReportDialog::CleanReportDialog(const CleanupLedger& ledger, const QString& folder, QWidget* owner)
    : QDialog(owner), m_ledger(ledger), m_folder(folder)
{
    setObjectName(QStringLiteral("frmCleanReport"));
    setWindowTitle(QStringLiteral(u"清理报告"));
    resize(720, 420);
    auto* summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("lblSummary"));
    QString text = ledger.isEmpty() ? QStringLiteral(u"清理没有修改或删除任何行。")
                                    : QStringLiteral(u"共修改 %1 行，删除 %2 行。")
                                          .arg(ledger.totalChanged())
                                          .arg(ledger.totalRemoved());
    for (const QString& e : ledger.errors) {
        text += QStringLiteral(u"\n未使用的规则（无法编译）: %1").arg(e);
    }
    for (const QString& t : ledger.timeouts) {
        text += QStringLiteral(u"\n规则超时: %1").arg(t);
    }
    summary->setText(text);
    summary->setWordWrap(true);

    lvwReport = new QTableWidget(0, 4, this);
    lvwReport->setObjectName(QStringLiteral("lvwReport"));
    lvwReport->setHorizontalHeaderLabels({QStringLiteral(u"规则"), QStringLiteral(u"修改"), QStringLiteral(u"删除"),
                                          QStringLiteral(u"示例")});
    lvwReport->verticalHeader()->setVisible(false);
    lvwReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwReport->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvwReport->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    lvwReport->setWordWrap(true);
    for (const CleanupLedger::Entry& e : ledger.entries()) {
        const int row = lvwReport->rowCount();
        lvwReport->insertRow(row);
        QStringList examples;
        for (const CleanupLedger::Example& x : e.examples) {
            examples << QStringLiteral(u"第 %1 行: %2 → %3")
                            .arg(x.line)
                            .arg(x.before, x.removed ? QStringLiteral(u"(删除)") : x.after);
        }
        lvwReport->setItem(row, 0, new QTableWidgetItem(e.rule));
        lvwReport->setItem(row, 1, new QTableWidgetItem(QString::number(e.changed)));
        lvwReport->setItem(row, 2, new QTableWidgetItem(QString::number(e.removed)));
        lvwReport->setItem(row, 3, new QTableWidgetItem(examples.join(u'\n')));
    }
    lvwReport->resizeRowsToContents();

    btnSave = new QPushButton(QStringLiteral(u"保存报告(&S)"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setToolTip(QStringLiteral(u"保存为输出文件夹中的 清理报告.txt"));
    btnSave->setAutoDefault(false);
    btnClose = new QPushButton(QStringLiteral(u"关闭(&C)"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSave);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(lvwReport, 1);
    layout->addLayout(buttons);

    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnSave, &QPushButton::clicked, this, [this] {
        QString error;
        if (save(&error)) {
            btnSave->setEnabled(false);
            btnSave->setText(QStringLiteral(u"已保存"));
        } else {
            QMessageBox::warning(this, QStringLiteral(u"清理报告"), error);
        }
    });
}

QString CleanReportDialog::reportPath() const
{
    return QDir(m_folder).filePath(QStringLiteral(u"清理报告.txt"));
}

bool CleanReportDialog::save(QString* error)
{
    // UTF-8 with CR LF, so that any editor shows the examples whatever the novel's encoding.
    QString text = m_ledger.text();
    text.replace(u'\n', QStringLiteral("\r\n"));
    QString reason;
    if (!replaceFileWhole(reportPath(), text.toUtf8(), &reason)) {
        *error = QStringLiteral(u"无法写入 %1：%2").arg(reportPath(), reason);
        return false;
    }
    return true;
}
