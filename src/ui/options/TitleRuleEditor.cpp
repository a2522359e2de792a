#include "TitleRuleEditor.h"

#include "OptionsWidgets.h"
#include "Prompts.h"
#include "cCommonDialog.h"

#include "config/SystemError.h"
#include "config/Settings.h"
#include "core/HeadingMatcher.h"
#include "core/cRegExp.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include <cerrno>

#include <algorithm>

namespace {

const QString RuleFilter = QStringLiteral(u"规则文件 (*.json)|*.json|所有文件|*.*");
const QString CustomRule = QStringLiteral(u"（自定义）");
const QColor GoodNote(0x1B, 0x6E, 0x20);
const QColor BadNote(0xB7, 0x1C, 0x1C);

// Rules passed around without a name are known by their pattern.
QString ruleName(const TitleRule& rule) {
    return rule.name.isEmpty() ? rule.rule : rule.name;
}

} // namespace

TitleRuleEditor::TitleRuleEditor(const Settings& settings, QWidget* parent)
    : QObject(parent), m_settings(settings), m_parent(parent) {
    txtTitle = new QLineEdit(parent);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    txtVolume = new QLineEdit(parent);
    txtVolume->setObjectName(QStringLiteral("txtVolume"));
    txtVolume->setPlaceholderText(QStringLiteral(u"留空则不分卷"));
    txtVolume->setToolTip(QStringLiteral(u"分卷标题（第…卷、第…部 等）的正则表达式：第 1 组为卷号，第 2 组为卷名"));
    cmbTitleRules = new QComboBox(parent);
    cmbTitleRules->setObjectName(QStringLiteral("cmbTitleRules"));
    // Long imported names must not widen the dialog; the list itself shows them whole.
    cmbTitleRules->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbTitleRules->setMinimumContentsLength(10);
    // A list of dozens of rules scrolls instead of covering the screen.
    cmbTitleRules->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    cmbTitleRules->setMaxVisibleItems(16);
    cmbTitleRules->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto textButton = [parent](const QString& text, const QString& name) {
        auto* button = new QPushButton(text, parent);
        button->setObjectName(name);
        button->setAutoDefault(false);
        return button;
    };
    btnSuggestRule = textButton(QStringLiteral(u"推荐规则"), QStringLiteral("btnSuggestRule"));
    btnImportRules = textButton(QStringLiteral(u"导入规则..."), QStringLiteral("btnImportRules"));
    btnImportRules->setToolTip(QStringLiteral(u"从 JSON 规则列表添加规则"));
    btnExportRules = textButton(QStringLiteral(u"导出规则..."), QStringLiteral("btnExportRules"));
    btnExportRules->setToolTip(QStringLiteral(u"把列表中的全部规则存为 JSON 文件"));
    txtTitleTest = new QLineEdit(parent);
    txtTitleTest->setObjectName(QStringLiteral("txtTitleTest"));
    txtTitleTest->setPlaceholderText(QStringLiteral(u"在此输入一行文字，看它是否算作章节标题"));
    lblTitleTest = new QLabel(parent);
    lblTitleTest->setObjectName(QStringLiteral("lblTitleTest"));
    lblTitleTest->setTextFormat(Qt::PlainText);
    lblTitleTest->setMinimumHeight(lblTitleTest->fontMetrics().height());

    connect(txtTitle, &QLineEdit::textChanged, this, &TitleRuleEditor::updateTitleTest);
    connect(txtTitleTest, &QLineEdit::textChanged, this, &TitleRuleEditor::updateTitleTest);
    connect(txtTitle, &QLineEdit::textChanged, this, &TitleRuleEditor::syncTitleRule);
    connect(txtTitle, &QLineEdit::textChanged, this, &TitleRuleEditor::edited);
    connect(txtVolume, &QLineEdit::textChanged, this, &TitleRuleEditor::updateTitleTest);
    connect(txtVolume, &QLineEdit::textChanged, this, &TitleRuleEditor::edited);
    connect(cmbTitleRules, &QComboBox::activated, this, &TitleRuleEditor::cmbTitleRules_Click);
    connect(btnImportRules, &QPushButton::clicked, this, &TitleRuleEditor::btnImportRules_Click);
    connect(btnExportRules, &QPushButton::clicked, this, &TitleRuleEditor::btnExportRules_Click);
    connect(btnSuggestRule, &QPushButton::clicked, this, &TitleRuleEditor::btnSuggestRule_Click);
    setRuleTrial(nullptr);
}

void TitleRuleEditor::addTo(QGridLayout* grid, int& row) {
    grid->addWidget(options::label(QStringLiteral(u"章节标题："), m_parent), row, 0);
    grid->addWidget(txtTitle, row++, 1, 1, 2);
    grid->addWidget(options::label(QStringLiteral(u"分卷标题："), m_parent), row, 0);
    grid->addWidget(txtVolume, row++, 1, 1, 2);
    auto* ruleChoice = new QHBoxLayout;
    ruleChoice->setSpacing(6);
    ruleChoice->addWidget(cmbTitleRules, 1);
    ruleChoice->addWidget(btnSuggestRule);
    grid->addWidget(options::label(QStringLiteral(u"标题规则："), m_parent), row, 0);
    grid->addLayout(ruleChoice, row++, 1, 1, 2);
    auto* ruleFiles = new QHBoxLayout;
    ruleFiles->setSpacing(6);
    ruleFiles->addStretch();
    ruleFiles->addWidget(btnImportRules);
    ruleFiles->addWidget(btnExportRules);
    grid->addLayout(ruleFiles, row++, 1, 1, 2);
    grid->addWidget(txtTitleTest, row++, 1, 1, 2);
    grid->addWidget(lblTitleTest, row++, 1, 1, 2);
}

void TitleRuleEditor::load(const QString& pattern, const QString& volumePattern) {
    for (const TitleRule& rule : builtInTitleRules())
        addTitleRule(rule);
    txtTitle->setText(pattern);
    txtTitle->setCursorPosition(0); // a long pattern shows its beginning
    txtVolume->setText(volumePattern);
    txtVolume->setCursorPosition(0);
    syncTitleRule();
}

void TitleRuleEditor::showPatternStart() {
    // Showing a dialog focuses its first box as if tabbed into, which selects all and
    // scrolls a long pattern to its end; show its beginning instead.
    QMetaObject::invokeMethod(
        txtTitle,
        [this] {
            txtTitle->deselect();
            txtTitle->setCursorPosition(0);
            txtVolume->setCursorPosition(0);
        },
        Qt::QueuedConnection);
}

void TitleRuleEditor::fitRuleList() {
    QAbstractItemView* view = cmbTitleRules->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width() +
                          2 * view->frameWidth() + 8);
}

void TitleRuleEditor::updateTitleTest() {
    // An empty pattern is not applied (the current one stays), so the current one is tested;
    // an empty volume pattern is applied as it is (no volumes).
    HeadingMatcher matcher(shownPattern(), txtVolume->text());
    QString result;
    QString tip;
    bool good = false;
    if (!matcher.title.isValid()) {
        result = matcher.title.errorString();
    } else if (matcher.volumesOn && !matcher.volume.isValid()) {
        result = QStringLiteral(u"分卷标题正则表达式有误: %1").arg(matcher.volume.errorDetail());
    } else if (!txtTitleTest->text().isEmpty()) {
        good = matcher.match(txtTitleTest->text());
        const QString volume = QStringLiteral(u"是分卷标题：卷号 %1，卷名“%2”")
                                   .arg(matcher.volume.ChaptorNum())
                                   .arg(matcher.volume.ChaptorTitle().trimmed());
        const QString title = QStringLiteral(u"是章节标题：章节号 %1，标题“%2”")
                                  .arg(matcher.title.ChaptorNum())
                                  .arg(matcher.title.ChaptorTitle());
        // Both on one line fits the box only in short; the tool tip has them whole.
        if (matcher.isVolume && matcher.isTitle) {
            result = QStringLiteral(u"是分卷标题和章节标题：卷号 %1，章节号 %2，标题“%3”")
                         .arg(matcher.volume.ChaptorNum())
                         .arg(matcher.title.ChaptorNum())
                         .arg(matcher.title.ChaptorTitle());
            tip = volume + u'\n' + title;
        } else {
            result = matcher.isVolume ? volume : matcher.isTitle ? title : QStringLiteral(u"不是章节标题");
        }
    }
    showTitleNote(result, good);
    lblTitleTest->setToolTip(tip);
}

void TitleRuleEditor::showTitleNote(const QString& text, bool good) {
    lblTitleTest->setText(text);
    lblTitleTest->setToolTip(QString());
    QPalette palette = lblTitleTest->palette();
    palette.setColor(QPalette::WindowText, good ? GoodNote : BadNote);
    lblTitleTest->setPalette(palette);
}

QString TitleRuleEditor::shownPattern() const {
    // An empty pattern is not applied (the current one stays).
    return txtTitle->text().isEmpty() ? m_settings.TitleText : txtTitle->text();
}

void TitleRuleEditor::addTitleRule(TitleRule rule) {
    // The recognizer is what will run the pattern, so it has the last word on whether it compiles.
    if (rule.error.isEmpty()) {
        cRegExp recognizer;
        recognizer.InitRegexp(rule.rule);
        if (rule.rule.isEmpty())
            rule.error = QStringLiteral(u"规则为空");
        else if (!recognizer.isValid())
            rule.error = recognizer.errorString();
    }
    const QString name = ruleName(rule);
    const int at = cmbTitleRules->count();
    if (rule.error.isEmpty()) {
        cmbTitleRules->addItem(name, int(m_rules.size()));
        QString tip = rule.rule;
        if (!rule.example.isEmpty())
            tip += QStringLiteral(u"\n例：") + rule.example;
        if (!rule.rewritten.isEmpty())
            tip += QStringLiteral(u"\n导入时已改写：") + rule.rewritten;
        cmbTitleRules->setItemData(at, tip, Qt::ToolTipRole);
    } else {
        cmbTitleRules->addItem(name + QStringLiteral(u"（错误）"), int(m_rules.size()));
        cmbTitleRules->setItemData(at, rule.error, Qt::ToolTipRole);
        cmbTitleRules->setItemData(at, BadNote, Qt::ForegroundRole);
    }
    m_rules.append(rule);
}

// Shows the rule whose pattern is in the field, or "（自定义）" when none has it.
void TitleRuleEditor::syncTitleRule() {
    const QString pattern = shownPattern();
    auto matches = [&](int index) {
        const int k = cmbTitleRules->itemData(index).toInt();
        return index >= 0 && k >= 0 && m_rules[k].error.isEmpty() && m_rules[k].rule == pattern;
    };
    // Of two rules with the same pattern the chosen one stays chosen.
    int found = matches(cmbTitleRules->currentIndex()) ? cmbTitleRules->currentIndex() : -1;
    for (int i = 0; found < 0 && i < cmbTitleRules->count(); ++i) {
        if (matches(i))
            found = i;
    }
    const bool hasCustom = cmbTitleRules->count() > 0 && cmbTitleRules->itemData(0).toInt() < 0;
    if (found >= 0) {
        if (hasCustom) {
            cmbTitleRules->removeItem(0);
            --found;
        }
        cmbTitleRules->setCurrentIndex(found);
    } else {
        if (!hasCustom)
            cmbTitleRules->insertItem(0, CustomRule, -1);
        cmbTitleRules->setCurrentIndex(0);
    }
}

// Puts rule `rule` (an index into m_rules) into the pattern field; a rule that does not
// compile leaves the field alone and shows why.
bool TitleRuleEditor::useTitleRule(int rule) {
    const TitleRule& chosen = m_rules[rule];
    if (!chosen.error.isEmpty()) {
        syncTitleRule();
        showTitleNote(QStringLiteral(u"规则“%1”无法使用：%2").arg(ruleName(chosen), chosen.error), false);
        return false;
    }
    for (int i = 0; i < cmbTitleRules->count(); ++i) {
        if (cmbTitleRules->itemData(i).toInt() == rule)
            cmbTitleRules->setCurrentIndex(i);
    }
    txtTitle->setText(chosen.rule); // counts as an edit, as typing it would
    txtTitle->setCursorPosition(0);
    // A rule that names no volume pattern (as shared lists do) leaves the one in use.
    if (chosen.volume) {
        txtVolume->setText(*chosen.volume);
        txtVolume->setCursorPosition(0);
    }
    return true;
}

void TitleRuleEditor::cmbTitleRules_Click(int index) {
    const int rule = cmbTitleRules->itemData(index).toInt();
    if (rule >= 0)
        useTitleRule(rule);
}

void TitleRuleEditor::btnImportRules_Click() {
    const QString caption = QStringLiteral(u"导入规则");
    QString file, fileTitle, filter = RuleFilter;
    qint32 filterIndex = 1, flags = 0;
    bool readOnly = false;
    if (!cCommonDialog().VBGetOpenFileName(file, fileTitle, true, false, readOnly, true, filter, filterIndex,
                                           QString(), caption, QString(), m_parent, flags))
        return;
    QFile in(file);
    errno = 0;
    if (!in.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral(u"无法读取文件：%1\n%2").arg(file, fileFailureReason(file, errno, in.errorString())), caption);
        return;
    }
    QList<TitleRule> rules;
    QString error;
    const bool read = importTitleRules(in.readAll(), &rules, &error);
    // An array of anything but rule objects (numbers, strings) is no rule list either.
    const qsizetype entries = rules.size();
    rules.removeIf([](const TitleRule& r) { return r.name.isEmpty() && r.rule.isEmpty(); });
    if (!read || (entries > 0 && rules.isEmpty())) {
        if (read)
            error = QStringLiteral(u"数组中没有规则");
        warn(QStringLiteral(u"不是规则文件：%1\n%2").arg(file, error), caption);
        return;
    }
    int added = 0, broken = 0, known = 0, rewritten = 0;
    for (const TitleRule& rule : std::as_const(rules)) {
        // Importing a list twice, or a list exported from here, does not repeat entries.
        const bool listed = std::any_of(m_rules.cbegin(), m_rules.cend(), [&](const TitleRule& r) {
            return r.name == rule.name && r.rule == rule.rule;
        });
        if (listed) {
            ++known;
            continue;
        }
        addTitleRule(rule);
        ++added;
        broken += m_rules.last().error.isEmpty() ? 0 : 1;
        rewritten += rule.rewritten.isEmpty() ? 0 : 1;
    }
    fitRuleList();
    QString note = QStringLiteral(u"导入 %1 条规则").arg(added);
    QStringList which;
    if (rewritten > 0)
        which << QStringLiteral(u"%1 条的后行断言已改写").arg(rewritten);
    if (broken > 0)
        which << QStringLiteral(u"%1 条有误").arg(broken);
    if (!which.isEmpty())
        note += QStringLiteral(u"，其中 ") + which.join(QStringLiteral(u"，"));
    if (known > 0)
        note += QStringLiteral(u"；%1 条已在列表中").arg(known);
    showTitleNote(note, added > broken);
}

void TitleRuleEditor::btnExportRules_Click() {
    const QString caption = QStringLiteral(u"导出规则");
    const QString file = cCommonDialog().sGetSaveFileName(
        m_parent, caption, QStringLiteral("titlerules.json"), RuleFilter, QStringLiteral("json"));
    if (file.isEmpty())
        return;
    QString reason;
    if (!replaceFileWhole(file, exportTitleRules(m_rules), &reason)) {
        warn(QStringLiteral(u"无法写入文件：%1\n%2").arg(file, reason), caption);
        return;
    }
    showTitleNote(QStringLiteral(u"已导出 %1 条规则").arg(m_rules.size()), true);
}

void TitleRuleEditor::setRuleTrial(RuleTrialFunction trial, const QString& scope) {
    m_ruleTrial = std::move(trial);
    m_trialScope = scope;
    btnSuggestRule->setEnabled(bool(m_ruleTrial));
    btnSuggestRule->setToolTip(m_ruleTrial ? QStringLiteral(u"在小说上试用每条规则，选出最合适的")
                                           : QStringLiteral(u"请先打开小说"));
}

void TitleRuleEditor::btnSuggestRule_Click() {
    if (!m_ruleTrial)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QList<RuleTrial> trials = m_ruleTrial(m_rules);
    QApplication::restoreOverrideCursor();
    const int best = suggestTitleRule(trials);
    if (best < 0 || best >= m_rules.size()) {
        showTitleNote(QStringLiteral(u"没有合适的规则"), false);
        return;
    }
    if (useTitleRule(best)) {
        TitleRule named = m_rules[best];
        named.name = ruleName(named);
        showTitleNote(QStringLiteral(u"推荐“%1”：%2找到 %3 个标题")
                          .arg(suggestionName(named, trials[best]), m_trialScope)
                          .arg(trials[best].titles),
                      true);
    }
}

void TitleRuleEditor::warn(const QString& text, const QString& caption) {
    Prompts::messageBox(m_parent, text, caption, QMessageBox::Warning);
}
