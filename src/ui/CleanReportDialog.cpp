#include "CleanReportDialog.h"

#include "config/SystemError.h"
#include "core/TextCodec.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
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

    // One line per rule, so that name and counts stay in view however long a line is; the
    // whole examples of the current rule are in the pane below and in the tool tip.
    lvwReport = new QTableWidget(0, 4, this);
    lvwReport->setObjectName(QStringLiteral("lvwReport"));
    lvwReport->setHorizontalHeaderLabels({QStringLiteral(u"规则"), QStringLiteral(u"修改"), QStringLiteral(u"删除"),
                                          QStringLiteral(u"示例")});
    lvwReport->verticalHeader()->setVisible(false);
    lvwReport->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvwReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwReport->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwReport->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwReport->setWordWrap(false);
    lvwReport->setTextElideMode(Qt::ElideRight);
    lvwReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView* header = lvwReport->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    header->resizeSection(0, 200);
    for (const CleanupLedger::Entry& e : ledger.entries()) {
        const int row = lvwReport->rowCount();
        lvwReport->insertRow(row);
        QStringList examples;
        for (const CleanupLedger::Example& x : e.examples) {
            examples << QStringLiteral(u"第 %1 行: %2 → %3")
                            .arg(x.line)
                            .arg(x.before, x.removed ? QStringLiteral(u"(删除)") : x.after);
        }
        const QString all = examples.join(u'\n');
        // A tool tip of a whole 5 KB line would cover the screen: the pane below holds it whole.
        const QString tip = all.size() > 600 ? all.left(600) + QStringLiteral(u"…") : all;
        auto* name = new QTableWidgetItem(e.rule);
        name->setToolTip(e.rule);
        auto* first = new QTableWidgetItem(examples.isEmpty() ? QString() : QString(examples.first()).replace(u'\n', u' '));
        first->setToolTip(tip);
        first->setData(Qt::UserRole, all);
        lvwReport->setItem(row, 0, name);
        lvwReport->setItem(row, 1, new QTableWidgetItem(QString::number(e.changed)));
        lvwReport->setItem(row, 2, new QTableWidgetItem(QString::number(e.removed)));
        lvwReport->setItem(row, 3, first);
    }
    txtExamples = new QPlainTextEdit(this);
    txtExamples->setObjectName(QStringLiteral("txtExamples"));
    txtExamples->setReadOnly(true);
    txtExamples->setPlaceholderText(QStringLiteral(u"选中一条规则，这里显示它的全部示例"));
    connect(lvwReport, &QTableWidget::currentCellChanged, this, [this](int row) {
        const QTableWidgetItem* item = row >= 0 ? lvwReport->item(row, 3) : nullptr;
        txtExamples->setPlainText(item ? item->data(Qt::UserRole).toString() : QString());
    });
    if (lvwReport->rowCount() > 0) {
        lvwReport->setCurrentCell(0, 0);
    }

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
    layout->addWidget(lvwReport, 3);
    layout->addWidget(txtExamples, 2);
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
