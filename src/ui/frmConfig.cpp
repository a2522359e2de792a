#include "frmConfig.h"

#include "ErrorHook.h"
#include "WindowStyle.h"
#include "options/CleanPage.h"
#include "options/FavoritePage.h"
#include "options/TextPage.h"
#include "options/TitleRuleEditor.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// 6630 x 7500 twips at 15 twips to the pixel, and two rows more for the title rules.
constexpr int DialogWidth = 442;
constexpr int DialogHeight = 560;

} // namespace

frmConfig::frmConfig(Settings& settings, const QString& configPath, QWidget* owner)
    : QDialog(owner), m_settings(settings), m_configPath(configPath)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral(u"选项..."));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(DialogWidth, DialogHeight);

    tabConfig = new QTabWidget(this);
    tabConfig->setObjectName(QStringLiteral("tabConfig"));
    m_textPage = new TextPage(settings, this);
    m_textPage->setObjectName(QStringLiteral("picTabs_0"));
    m_favoritePage = new FavoritePage(this);
    m_favoritePage->setObjectName(QStringLiteral("picTabs_1"));
    tabConfig->addTab(m_textPage, QStringLiteral(u"文本选项"));
    tabConfig->addTab(m_favoritePage, QStringLiteral(u"偏好设置"));
    tabConfig->tabBar()->setTabData(0, QStringLiteral("text"));
    tabConfig->tabBar()->setTabData(1, QStringLiteral("favorite"));
    m_cleanPage = new CleanPage(this);
    m_cleanPage->setObjectName(QStringLiteral("picTabs_2"));
    tabConfig->addTab(m_cleanPage, QStringLiteral(u"清理"));
    tabConfig->tabBar()->setTabData(2, QStringLiteral("clean"));

    btnOK = new QPushButton(QStringLiteral(u"确定(&O)"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral(u"取消(&C)"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnApply = new QPushButton(QStringLiteral(u"应用(&A)"), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnApply);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(tabConfig);
    layout->addLayout(buttons);

    connect(tabConfig, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index >= 0) {
            ShowPage(index + 1);
        }
    });
    connect(btnOK, &QPushButton::clicked, this, &frmConfig::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, &frmConfig::btnApply_Click);

    Form_Load();
    connect(m_textPage, &TextPage::changed, this, &frmConfig::MarkChanged);
    connect(m_favoritePage, &FavoritePage::changed, this, &frmConfig::MarkChanged);
    connect(m_cleanPage, &CleanPage::changed, this, &frmConfig::MarkChanged);
    // An entry added or removed makes Apply available without counting as a change for OK.
    connect(m_textPage, &TextPage::listEdited, this, [this] { btnApply->setEnabled(true); });
}

void frmConfig::Form_Load()
{
    m_textPage->load(m_settings);
    m_favoritePage->load(m_settings);
    m_cleanPage->load(m_settings);
    ApplyDialogFont();
    SetTopMost(this, m_settings.TopMost);
    m_textPage->rules()->updateTitleTest();
}

void frmConfig::setRuleTrial(RuleTrialFunction trial, const QString& scope)
{
    m_textPage->rules()->setRuleTrial(std::move(trial), scope);
}

void frmConfig::ApplyDialogFont()
{
    ApplyFontName(this, m_settings.FontName);
    m_textPage->rules()->fitRuleList();
}

void frmConfig::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Message boxes and choosers that close over the dialog do not bring it back to its
    // first state: only opening does.
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
        m_textPage->rules()->showPatternStart();
    }
}

void frmConfig::Form_Activate()
{
    ShowPage(1);
    m_textPage->activate();
    btnApply->setEnabled(false);
    m_changed = false;
}

void frmConfig::ShowPage(int index)
{
    if (index < 1 || index > tabConfig->count()) {
        return;
    }
    tabConfig->setCurrentIndex(index - 1);
    // The focus goes to the first control of the page that can take it.
    QWidget* page = tabConfig->widget(index - 1);
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
            w->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void frmConfig::MarkChanged()
{
    if (!m_changed) {
        btnApply->setEnabled(true);
        m_changed = true;
    }
}

bool frmConfig::ApplyConfig()
{
    m_textPage->apply(m_settings);
    m_favoritePage->apply(m_settings);
    m_cleanPage->apply(m_settings);
    QString error;
    if (!SaveConfig(m_settings, m_configPath, &error)) {
        reportError(QStringLiteral(u"设置已生效，但未能保存：") + error, FileAccessError,
                    QStringLiteral("frmConfig::ApplyConfig()"), this);
        return false;
    }
    return true;
}

void frmConfig::btnApply_Click()
{
    // After a failed save Apply stays available, so that the user can try again.
    if (ApplyConfig()) {
        btnApply->setEnabled(false);
        m_changed = false;
    }
}

void frmConfig::btnOK_Click()
{
    if (btnApply->isEnabled()) {
        ApplyConfig();
    }
    accept();
}
