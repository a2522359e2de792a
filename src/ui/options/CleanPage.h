#pragma once

#include "config/Settings.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

/// "清理": the replace rules with a live test on a line, and the cleanup options.
class CleanPage : public QWidget {
    Q_OBJECT

public:
    explicit CleanPage(QWidget* dialog);

    void load(const Settings& s);
    void apply(Settings& s);
    /// The rules as the table holds them now.
    QList<ReplaceRule> rules() const;

signals:
    void changed();

private:
    void fillTable(const QList<ReplaceRule>& rules);
    void addRow(const ReplaceRule& rule);
    void updateTest();
    void btnRuleImport_Click();
    void btnRuleExport_Click();

    QWidget* m_dialog;
    QTableWidget* lvwRules;
    QList<QString> m_extra; // by row: the unknown JSON fields of an imported rule
    QStringList m_loadProblems; // rules that could not be loaded at start, named above the test
    QPushButton* btnRuleAdd;
    QPushButton* btnRuleSub;
    QPushButton* btnRuleImport;
    QPushButton* btnRuleExport;
    QLabel* lblRuleErrors;
    QLineEdit* txtCleanTest;
    QLabel* lblCleanResult;
    QCheckBox* chkDropRepeatedTitle;
    QCheckBox* chkIndentParagraphs;
    QCheckBox* chkReflow;
    bool m_loading = false;
};
