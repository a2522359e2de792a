#pragma once

#include "core/TitleRules.h"

#include <QObject>

#include <functional>

struct Settings;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

/// The title pattern and the volume pattern with their named rules (built in, imported,
/// exported, suggested for the open novel) and the live test of a line against the patterns
/// being edited.
class TitleRuleEditor : public QObject {
    Q_OBJECT

public:
    TitleRuleEditor(const Settings& settings, QWidget* parent);

    /// Tries rules on the open novel, one result per rule, for "推荐规则".
    using RuleTrialFunction = std::function<QList<RuleTrial>(const QList<TitleRule>&)>;
    /// Without a trial (no novel open) the suggestion is unavailable.
    void setRuleTrial(RuleTrialFunction trial, const QString& scope = QString());

    /// Places the controls in `grid` from `row` on (which it advances).
    void addTo(QGridLayout* grid, int& row);
    void load(const QString& pattern, const QString& volumePattern);
    /// The rule list opens wide enough for long imported names, whatever the box's width.
    void fitRuleList();
    void updateTitleTest();
    /// After the dialog is first shown: the pattern's beginning is in view, nothing selected.
    void showPatternStart();
    QLineEdit* patternBox() const { return txtTitle; }
    /// The volume pattern; empty looks for no volumes.
    QLineEdit* volumeBox() const { return txtVolume; }

signals:
    void edited();

private:
    void showTitleNote(const QString& text, bool good);
    QString shownPattern() const;
    void addTitleRule(TitleRule rule);
    void syncTitleRule();
    bool useTitleRule(int rule);
    void cmbTitleRules_Click(int index);
    void btnImportRules_Click();
    void btnExportRules_Click();
    void btnSuggestRule_Click();
    void warn(const QString& text, const QString& caption);

    const Settings& m_settings;
    QWidget* m_parent;
    QList<TitleRule> m_rules; ///< what cmbTitleRules lists; each entry's data is its index here
    RuleTrialFunction m_ruleTrial;
    QString m_trialScope;

    QLineEdit* txtTitle;
    QLineEdit* txtVolume;
    QComboBox* cmbTitleRules;
    QPushButton* btnSuggestRule;
    QPushButton* btnImportRules;
    QPushButton* btnExportRules;
    QLineEdit* txtTitleTest;
    QLabel* lblTitleTest;
};
