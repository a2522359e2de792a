#include "CleanPage.h"

#include "config/ReplaceRules.h"
#include "core/Cleanup.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { Enabled, Name, Pattern, Replacement, Regex, Title, Content, ColumnCount };

QTableWidgetItem* flagItem(bool on)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    return item;
}

} // namespace

CleanPage::CleanPage(QWidget* dialog) : QWidget(dialog), m_dialog(dialog)
{
    auto* grpRules = new QGroupBox(QStringLiteral(u"替换规则(&R)"), this);
    grpRules->setObjectName(QStringLiteral("grpRules"));
    lvwRules = new QTableWidget(0, ColumnCount, grpRules);
    lvwRules->setObjectName(QStringLiteral("lvwRules"));
    lvwRules->setHorizontalHeaderLabels({QStringLiteral(u"启用"), QStringLiteral(u"名称"), QStringLiteral(u"查找"),
                                         QStringLiteral(u"替换为"), QStringLiteral(u"正则"), QStringLiteral(u"标题"),
                                         QStringLiteral(u"正文")});
    lvwRules->verticalHeader()->setVisible(false);
    lvwRules->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvwRules->horizontalHeader()->setSectionResizeMode(Pattern, QHeaderView::Stretch);
    lvwRules->setSelectionBehavior(QAbstractItemView::SelectRows);
    btnRuleAdd = new QPushButton(QStringLiteral(u"＋"), grpRules);
    btnRuleAdd->setObjectName(QStringLiteral("btnRuleAdd"));
    btnRuleSub = new QPushButton(QStringLiteral(u"－"), grpRules);
    btnRuleSub->setObjectName(QStringLiteral("btnRuleSub"));
    btnRuleImport = new QPushButton(QStringLiteral(u"导入..."), grpRules);
    btnRuleImport->setObjectName(QStringLiteral("btnRuleImport"));
    btnRuleExport = new QPushButton(QStringLiteral(u"导出..."), grpRules);
    btnRuleExport->setObjectName(QStringLiteral("btnRuleExport"));
    lblRuleErrors = new QLabel(grpRules);
    lblRuleErrors->setObjectName(QStringLiteral("lblRuleErrors"));
    lblRuleErrors->setWordWrap(true);
    lblRuleErrors->setStyleSheet(QStringLiteral("color: #c00000"));
    txtCleanTest = new QLineEdit(grpRules);
    txtCleanTest->setObjectName(QStringLiteral("txtCleanTest"));
    txtCleanTest->setPlaceholderText(QStringLiteral(u"输入一行正文，查看规则的效果"));
    lblCleanResult = new QLabel(grpRules);
    lblCleanResult->setObjectName(QStringLiteral("lblCleanResult"));
    lblCleanResult->setWordWrap(true);
    lblCleanResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnRuleAdd, btnRuleSub, btnRuleImport, btnRuleExport}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto* rulesLayout = new QVBoxLayout(grpRules);
    rulesLayout->addWidget(lvwRules, 1);
    rulesLayout->addLayout(buttons);
    rulesLayout->addWidget(lblRuleErrors);
    rulesLayout->addWidget(new QLabel(QStringLiteral(u"测试："), grpRules));
    rulesLayout->addWidget(txtCleanTest);
    rulesLayout->addWidget(lblCleanResult);

    auto* grpClean = new QGroupBox(QStringLiteral(u"其他(&Q)"), this);
    chkDropRepeatedTitle = new QCheckBox(QStringLiteral(u"删除正文开头重复的章节标题"), grpClean);
    chkDropRepeatedTitle->setObjectName(QStringLiteral("chkDropRepeatedTitle"));
    chkIndentParagraphs = new QCheckBox(QStringLiteral(u"段首统一缩进两个全角空格（文本输出）"), grpClean);
    chkIndentParagraphs->setObjectName(QStringLiteral("chkIndentParagraphs"));
    chkReflow = new QCheckBox(QStringLiteral(u"重新分段：把按固定宽度断开的行接回段落（文本输出、电子书、预览）"), grpClean);
    chkReflow->setObjectName(QStringLiteral("chkReflow"));
    chkReflow->setToolTip(QStringLiteral(u"只对分析时看出是按固定宽度断行的小说起作用；标题、空行和缩进开头的行不接。"
                                         u"接了哪些行，清理报告里有数目和例子。"));
    auto* cleanLayout = new QVBoxLayout(grpClean);
    cleanLayout->addWidget(chkDropRepeatedTitle);
    cleanLayout->addWidget(chkIndentParagraphs);
    cleanLayout->addWidget(chkReflow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpRules, 1);
    layout->addWidget(grpClean);

    connect(lvwRules, &QTableWidget::itemChanged, this, [this] {
        if (!m_loading) {
            updateTest();
            emit changed();
        }
    });
    connect(txtCleanTest, &QLineEdit::textChanged, this, &CleanPage::updateTest);
    connect(btnRuleAdd, &QPushButton::clicked, this, [this] {
        ReplaceRule r;
        r.name = QStringLiteral(u"新规则");
        addRow(r);
        lvwRules->setCurrentCell(lvwRules->rowCount() - 1, Pattern);
        lvwRules->editItem(lvwRules->item(lvwRules->rowCount() - 1, Pattern));
        emit changed();
    });
    connect(btnRuleSub, &QPushButton::clicked, this, [this] {
        const int row = lvwRules->currentRow();
        if (row < 0) {
            QMessageBox::warning(m_dialog, QStringLiteral(u"删除规则"), QStringLiteral(u"请选择一项!"));
            return;
        }
        lvwRules->removeRow(row);
        m_extra.removeAt(row);
        updateTest();
        emit changed();
    });
    connect(btnRuleImport, &QPushButton::clicked, this, &CleanPage::btnRuleImport_Click);
    connect(btnRuleExport, &QPushButton::clicked, this, &CleanPage::btnRuleExport_Click);
    for (QCheckBox* c : {chkDropRepeatedTitle, chkIndentParagraphs, chkReflow}) {
        connect(c, &QCheckBox::clicked, this, &CleanPage::changed);
    }
}

void CleanPage::addRow(const ReplaceRule& rule)
{
    const bool loading = m_loading;
    m_loading = true;
    const int row = lvwRules->rowCount();
    lvwRules->insertRow(row);
    lvwRules->setItem(row, Enabled, flagItem(rule.isEnabled));
    lvwRules->setItem(row, Name, new QTableWidgetItem(rule.name));
    lvwRules->setItem(row, Pattern, new QTableWidgetItem(rule.pattern));
    lvwRules->setItem(row, Replacement, new QTableWidgetItem(rule.replacement));
    lvwRules->setItem(row, Regex, flagItem(rule.isRegex));
    lvwRules->setItem(row, Title, flagItem(rule.scopeTitle));
    lvwRules->setItem(row, Content, flagItem(rule.scopeContent));
    lvwRules->item(row, Name)->setData(Qt::UserRole, rule.order);
    m_extra.append(rule.extra);
    m_loading = loading;
}

void CleanPage::fillTable(const QList<ReplaceRule>& rules)
{
    m_loading = true;
    lvwRules->setRowCount(0);
    m_extra.clear();
    for (const ReplaceRule& r : rules) {
        addRow(r);
    }
    m_loading = false;
    updateTest();
}

QList<ReplaceRule> CleanPage::rules() const
{
    QList<ReplaceRule> out;
    for (int row = 0; row < lvwRules->rowCount(); ++row) {
        ReplaceRule r;
        r.isEnabled = lvwRules->item(row, Enabled)->checkState() == Qt::Checked;
        r.name = lvwRules->item(row, Name)->text();
        r.pattern = lvwRules->item(row, Pattern)->text();
        r.replacement = lvwRules->item(row, Replacement)->text();
        r.isRegex = lvwRules->item(row, Regex)->checkState() == Qt::Checked;
        r.scopeTitle = lvwRules->item(row, Title)->checkState() == Qt::Checked;
        r.scopeContent = lvwRules->item(row, Content)->checkState() == Qt::Checked;
        r.order = lvwRules->item(row, Name)->data(Qt::UserRole).toInt();
        r.extra = m_extra.value(row);
        out << r;
    }
    return out;
}

// Every rule that does not compile is listed; the test line goes through the enabled body
// rules in the order a pass runs them.
void CleanPage::updateTest()
{
    QStringList errors = m_loadProblems;
    const QList<CompiledRule> runnable = runnableRules(rules(), &errors);
    lblRuleErrors->setText(errors.isEmpty() ? QString() : QStringLiteral(u"无法使用的规则：\n") + errors.join(u'\n'));
    lblRuleErrors->setVisible(!errors.isEmpty());
    const QString line = txtCleanTest->text();
    if (line.isEmpty()) {
        lblCleanResult->clear();
        return;
    }
    QString text = line;
    QStringList used;
    QStringList slow; // out of time on this line: named, as output's report names them
    for (const CompiledRule& r : runnable) {
        if (!r.rule.scopeContent) {
            continue;
        }
        const RuleRun run = runRule(r, text);
        const QString name = r.rule.name.isEmpty() ? r.rule.pattern : r.rule.name;
        if (run == RuleRun::Changed) {
            used << name;
        } else if (run != RuleRun::Unchanged) {
            slow << name;
        }
    }
    if (!slow.isEmpty()) {
        lblCleanResult->setText(QStringLiteral(u"规则超时，没有用于这一行：%1\n").arg(slow.join(QStringLiteral(u"、")))
                                + (used.isEmpty() ? QStringLiteral(u"其他规则没有改变这一行。")
                                                  : QStringLiteral(u"结果：%1（%2）").arg(text, used.join(QStringLiteral(u"、")))));
    } else if (used.isEmpty()) {
        lblCleanResult->setText(QStringLiteral(u"没有规则改变这一行。"));
    } else if (isBlankText(text)) {
        lblCleanResult->setText(QStringLiteral(u"整行被删除（%1）").arg(used.join(QStringLiteral(u"、"))));
    } else {
        lblCleanResult->setText(QStringLiteral(u"结果：%1（%2）").arg(text, used.join(QStringLiteral(u"、"))));
    }
}

void CleanPage::btnRuleImport_Click()
{
    const QString path = QFileDialog::getOpenFileName(m_dialog, QStringLiteral(u"导入替换规则"), QString(),
                                                      QStringLiteral(u"替换规则 (*.json);;所有文件 (*)"));
    if (path.isEmpty()) {
        return;
    }
    QFile f(path);
    QList<ReplaceRule> imported;
    QString error;
    if (!f.open(QIODevice::ReadOnly)) {
        error = f.errorString();
    } else if (importReplaceRules(f.readAll(), &imported, &error)) {
        for (const ReplaceRule& r : std::as_const(imported)) {
            addRow(r);
        }
        updateTest();
        emit changed();
        return;
    }
    QMessageBox::warning(m_dialog, QStringLiteral(u"导入替换规则"), QStringLiteral(u"无法导入 %1：\n%2").arg(path, error));
}

void CleanPage::btnRuleExport_Click()
{
    const QString path = QFileDialog::getSaveFileName(m_dialog, QStringLiteral(u"导出替换规则"),
                                                      QStringLiteral(u"替换规则.json"),
                                                      QStringLiteral(u"替换规则 (*.json)"));
    if (path.isEmpty()) {
        return;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(exportReplaceRules(rules())) < 0 || !f.commit()) {
        QMessageBox::warning(m_dialog, QStringLiteral(u"导出替换规则"),
                             QStringLiteral(u"无法写入 %1：%2").arg(path, f.errorString()));
    }
}

void CleanPage::load(const Settings& s)
{
    m_loadProblems = s.ReplaceRuleProblems;
    fillTable(s.ReplaceRules);
    chkDropRepeatedTitle->setChecked(s.DropRepeatedTitle);
    chkIndentParagraphs->setChecked(s.IndentParagraphs);
    chkReflow->setChecked(s.Reflow);
}

void CleanPage::apply(Settings& s)
{
    s.ReplaceRules = rules();
    s.DropRepeatedTitle = chkDropRepeatedTitle->isChecked();
    s.IndentParagraphs = chkIndentParagraphs->isChecked();
    s.Reflow = chkReflow->isChecked();
}
