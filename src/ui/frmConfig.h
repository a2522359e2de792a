#pragma once

#include "core/TitleRules.h"

#include <QDialog>

#include <functional>

struct Settings;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

/// "选项...": every setting except the window position, on two pages. The dialog edits the
/// `settings` it is given and saves them to `configPath` on Apply, and on OK when something
/// changed since the last Apply.
class frmConfig : public QDialog {
    Q_OBJECT

public:
    frmConfig(Settings& settings, const QString& configPath, QWidget* owner = nullptr);

    /// Shows page `index` (1 "文本选项", 2 "偏好设置") and gives it the focus.
    void ShowPage(int index);
    /// Copies every control into the settings and saves them. False when config.ini could not
    /// be written; the user has been told, and the settings hold the new values all the same.
    bool ApplyConfig();
    /// First edit since the dialog opened or was applied: Apply becomes available.
    void MarkChanged();
    /// Gives every control the configured face.
    void ApplyDialogFont();

    bool Changed() const { return m_changed; }

    /// Tries rules on the open novel, one result per rule, for "推荐规则".
    using RuleTrialFunction = std::function<QList<RuleTrial>(const QList<TitleRule>&)>;
    /// Without a trial (no novel open) the suggestion is unavailable.
    void setRuleTrial(RuleTrialFunction trial);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void buildPageText(QWidget* page);
    void buildPageFavorite(QWidget* page);
    void connectChangeTracking();

    void btnOK_Click();
    void btnApply_Click();
    void btnPathEdit_Click();
    void btnPathSub_Click();
    void btnFilterAdd_Click();
    void btnFilterEdit_Click();
    void btnFilterSub_Click();
    void btnFileAdd_Click();
    void btnFileSub_Click();
    void btnColor_Click(int index);
    void txtColor_LostFocus(int index);
    void repairNumberBox(QLineEdit* box);
    void chkSetInvalidTitle_Click();
    void updateTitleTest();
    void showTitleNote(const QString& text, bool good);
    QString shownPattern() const;

    void addTitleRule(TitleRule rule);
    void syncTitleRule();
    void fitRuleList();
    bool useTitleRule(int rule);
    void cmbTitleRules_Click(int index);
    void btnImportRules_Click();
    void btnExportRules_Click();
    void btnSuggestRule_Click();

    void warn(const QString& text, const QString& caption);
    bool ask(const QString& prompt, const QString& caption, const QString& initial, QString* answer);
    QLabel* newLabel(const QString& text, QWidget* parent);

    Settings& m_settings;
    QString m_configPath;
    bool m_changed = false;
    bool m_activated = false;
    int m_labelCount = 0;
    QList<TitleRule> m_rules; ///< what cmbTitleRules lists; each entry's data is its index here
    RuleTrialFunction m_ruleTrial;

    QTabWidget* tabConfig;
    QWidget* picTabs[2];
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnApply;

    QGroupBox* grpText;
    QLineEdit* txtTitle;
    QComboBox* cmbTitleRules;
    QPushButton* btnSuggestRule;
    QPushButton* btnImportRules;
    QPushButton* btnExportRules;
    QLineEdit* txtTitleTest;
    QLabel* lblTitleTest;
    QComboBox* cmbOutPaths;
    QPushButton* btnPathSub;
    QPushButton* btnPathEdit;
    QListWidget* lstFilters;
    QPushButton* btnFilterAdd;
    QPushButton* btnFilterSub;
    QPushButton* btnFilterEdit;
    QComboBox* cmbFileNames;
    QPushButton* btnFileAdd;
    QPushButton* btnFileSub;
    QLineEdit* txtChapsInFile;
    QLineEdit* txtFilesInDir;

    QGroupBox* grpOther;
    QCheckBox* chkDelSpaceLine;
    QCheckBox* chkConvertToSimple;
    QCheckBox* chkSetInvalidTitle;
    QLineEdit* txtInvalidLines;
    QComboBox* cmbFilterAfterLine;

    QGroupBox* grpFavorite;
    QCheckBox* chkAutoAnalyze;
    QCheckBox* chkMiniToTray;
    QCheckBox* chkShowBalloon;
    QCheckBox* chkAutoOpenNotepad;
    QCheckBox* chkTopMost;
    QCheckBox* chkLogPosition;
    QCheckBox* chkAppendText;
    QLineEdit* txtColor[2];
    QPushButton* btnColor[2];
    QComboBox* cmbFonts;
    QLabel* lblVellomar;
};
