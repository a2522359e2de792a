#pragma once

#include "core/TitleRules.h"

#include <QDialog>

#include <functional>

struct Settings;
class CleanPage;
class FavoritePage;
class TextPage;
class QPushButton;
class QTabWidget;

/// "选项...": every setting except the window position, on two pages (options/TextPage and
/// options/FavoritePage). The dialog edits the `settings` it is given and saves them to
/// `configPath` on Apply, and on OK when something changed since the last Apply.
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
    /// `scope` says where the trial looks (see trialScope), for the suggestion's note.
    void setRuleTrial(RuleTrialFunction trial, const QString& scope = QString());

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void btnOK_Click();
    void btnApply_Click();

    Settings& m_settings;
    QString m_configPath;
    bool m_changed = false;
    bool m_activated = false;

    QTabWidget* tabConfig;
    TextPage* m_textPage;
    FavoritePage* m_favoritePage;
    CleanPage* m_cleanPage = nullptr;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnApply;
};
