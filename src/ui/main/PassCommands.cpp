#include "PassCommands.h"

#include "CleanReportDialog.h"
#include "ErrorHook.h"
#include "ListCommands.h"
#include "PassFrontEnd.h"
#include "Prompts.h"
#include "WindowConfig.h"
#include "frmEpub.h"

#include "azw3/Azw3Pass.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/Review.h"
#include "core/TitleRules.h"
#include "output/OutputPass.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>

namespace {

// The error number users quote for a settings file that cannot be written.
constexpr int PathFile = 75;

} // namespace

PassCommands::PassCommands(Window& window, QWidget& widget, Document& doc, Settings& settings,
                           WindowConfig& config, ListCommands& list, PassFrontEnd& host)
    : m_window(window), m_widget(widget), m_doc(doc), m_settings(settings), m_config(config), m_list(list),
      m_host(host) {}

void PassCommands::closeWhenDone() {
    m_closePending = true;
    if (m_doc.DocState == Busy) {
        m_doc.DocState = StopRequested;
    }
}

void PassCommands::mnuO_Analyze_Click() { analyse(nullptr, false); }

void PassCommands::analyseOpened(const Review* review) { analyse(review, true); }

void PassCommands::setNovelRule(const QString& titleRule, const QString& volumeRule) {
    m_novelRule = std::make_pair(titleRule, volumeRule);
}

QString PassCommands::titleRule() const { return m_novelRule ? m_novelRule->first : m_settings.TitleText; }

QString PassCommands::volumeRule() const { return m_novelRule ? m_novelRule->second : m_settings.VolumeText; }

Settings PassCommands::analysisSettings() const {
    Settings s = m_settings;
    s.TitleText = titleRule();
    s.VolumeText = volumeRule();
    return s;
}

void PassCommands::analyse(const Review* review, bool onOpen) {
    if (m_running || (m_doc.IsAnalysed && !m_window.reviewMayGo())) {
        return;
    }
    m_running = true;
    const Settings settings = analysisSettings();
    m_host.setHoldNoTitle(onOpen);
    trapErrors(QStringLiteral("frmMain::mnuO_Analyze_Click()"), &m_widget,
               [this, &settings] { RunAnalysis(m_doc, settings, m_host); });
    m_host.setHoldNoTitle(false);
    m_list.analysisDone();
    QStringList notes;
    if (review && m_doc.DocState == Analysed) {
        applyReview(m_doc, *review, m_settings.OutFile, &notes);
    }
    m_list.ReviewNumbering();
    afterPass();
    if (m_doc.DocState == Analysed) {
        m_window.analysisShown();
    }
    if (review && m_doc.DocState == Analysed) {
        const ChapterModel& model = m_doc.model();
        m_host.setStatusText(ChapCountText(model.recordCount(), model.checkedCount()) +
                             QStringLiteral(u"　已继续上次的审阅"));
        if (!notes.isEmpty()) {
            Prompts::messageBox(&m_widget, QStringLiteral(u"上次的审阅有几处无法恢复：\r\n") + notes.join(QStringLiteral("\r\n")),
                                QStringLiteral(u"审阅"), QMessageBox::Warning);
        }
    }
    QString notice;
    QString encoding;
    if (m_host.takeNoTitle(&notice, &encoding)) {
        suggestOnOpen(notice, encoding);
    }
}

void PassCommands::suggestOnOpen(const QString& notice, const QString& encoding) {
    if (!m_doc.isOpen()) {
        return;
    }
    const QList<TitleRule> rules = builtInTitleRules();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QList<RuleTrial> trials = tryTitleRules(m_doc.reader(), m_doc.codec(), rules);
    QApplication::restoreOverrideCursor();
    const int best = ::suggestTitleRule(trials);
    if (best < 0 || best >= rules.size() || rules[best].rule == titleRule()) {
        m_host.noTitleFound(notice, encoding);
        return;
    }
    const QString name = suggestionName(rules[best], trials[best]);
    setNovelRule(rules[best].rule, rules[best].volume ? *rules[best].volume : volumeRule());
    analyse(nullptr, false);
    if (m_doc.DocState != Analysed) {
        clearNovelRule();
        return;
    }
    const ChapterModel& model = m_doc.model();
    m_host.setStatusText(ChapCountText(model.recordCount(), model.checkedCount()) +
                         QStringLiteral(u"　默认规则没有找到章节标题，已改用推荐规则“%1”（只用于这部小说，可在“选项”里换）").arg(name));
}

void PassCommands::mnuO_SaveOut_Click() {
    if (m_running) {
        return;
    }
    m_running = true;
    OutputResult result;
    trapErrors(QStringLiteral("frmMain::mnuO_SaveOut_Click()"), &m_widget,
               [this, &result] { result = RunOutput(m_doc, m_settings, m_host); });
    afterPass();
    if (m_doc.IsAnalysed) {
        m_host.keepChapCount(m_doc.model().recordCount(), m_doc.model().checkedCount());
    }
    if (result.kind == OutputResult::Done) {
        showCleanReport(result.ledger, OutputRoot(m_doc.FilePath, m_settings.OutPath));
    }
}

void PassCommands::mnuO_SaveEpub_Click() {
    if (m_running || !m_doc.IsAnalysed) {
        return;
    }
    const BookMeta meta = proposedBookMeta(m_doc);
    const QString folder = m_settings.EpubFolder.isEmpty()
                               ? defaultEpubFolder(m_doc.FilePath, m_settings.OutPath)
                               : m_settings.EpubFolder + u'/';
    const BookFormat format = m_settings.EpubFormat == QLatin1String("azw3") ? BookFormat::Azw3 : BookFormat::Epub;
    const QString target =
        QDir::cleanPath(folder + BookFileName(meta.title, m_doc.FilePath)) + u'.' + bookExtension(format);
    frmEpub dialog(meta, m_settings.EpubChapsInBook, target, &m_widget, m_settings.EpubVertical, m_settings.EpubMaxBookMB,
                   format);
    if (Prompts::exec(&dialog) != QDialog::Accepted) {
        return;
    }
    const EpubOptions options = dialog.options();
    m_settings.EpubChapsInBook = qint16(std::min(options.chapsInBook, 32767));
    m_settings.EpubVertical = options.vertical;
    m_settings.EpubMaxBookMB = qint16(std::min(options.maxBookMB, 32767));
    m_settings.EpubFolder = QFileInfo(options.target).absolutePath();
    m_settings.EpubFormat = bookExtension(options.format);
    QString error;
    if (!m_config.saveSettings(&error)) {
        m_host.setStatusText(QStringLiteral(u"EPUB 设置未能保存：") + error);
    }
    m_running = true;
    m_host.setBookPass(true);
    EpubResult result;
    trapErrors(QStringLiteral("frmMain::mnuO_SaveEpub_Click()"), &m_widget,
               [this, &options, &result] { result = RunBook(m_doc, m_settings, options, m_host); });
    m_host.setBookPass(false);
    afterPass();
    if (m_doc.IsAnalysed) {
        m_host.keepChapCount(m_doc.model().recordCount(), m_doc.model().checkedCount());
    }
    if (result.kind == EpubResult::Done && !result.books.isEmpty()) {
        showCleanReport(result.ledger, QFileInfo(result.books.first()).absolutePath());
    }
}

void PassCommands::mnuO_Stop_Click() { m_doc.DocState = StopRequested; }

// After a pass with cleanup on, what it changed; nothing when cleanup is off.
void PassCommands::showCleanReport(const CleanupLedger& ledger, const QString& folder) {
    if (!Cleaner(m_settings, true).isActive() && ledger.errors.isEmpty()) {
        return;
    }
    if (!m_widget.isVisible() || m_widget.isMinimized()) {
        m_host.setStatusText(QStringLiteral(u"清理：修改 %1 行，删除 %2 行")
                                 .arg(ledger.totalChanged())
                                 .arg(ledger.totalRemoved()));
        return;
    }
    CleanReportDialog dialog(ledger, folder, &m_widget);
    Prompts::exec(&dialog);
}

void PassCommands::afterPass() {
    m_running = false;
    m_window.syncCommands();
    if (m_closePending) {
        m_closePending = false;
        m_widget.close();
    }
}

void PassCommands::suggestTitleRule() {
    if (m_running || !m_doc.isOpen()) {
        return;
    }
    const QString caption = QStringLiteral(u"推荐规则");
    const QList<TitleRule> rules = builtInTitleRules();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QList<RuleTrial> trials = tryTitleRules(m_doc.reader(), m_doc.codec(), rules);
    QApplication::restoreOverrideCursor();
    const int best = ::suggestTitleRule(trials);
    if (best < 0 || best >= rules.size()) {
        Prompts::messageBox(&m_widget,
                            QStringLiteral(u"没有合适的规则。请在“编码”菜单里另选编码，或在“选项”里自己写一条标题规则。"),
                            caption, QMessageBox::Information);
        return;
    }
    const QString question = QStringLiteral(u"推荐“%1”：%2找到 %3 个标题。\r\n是否使用这条规则并重新分析？")
                                 .arg(suggestionName(rules[best], trials[best]),
                                      trialScope(QFileInfo(m_doc.FilePath).size()))
                                 .arg(trials[best].titles);
    if (!Prompts::askYesNo(&m_widget, question, caption)) {
        return;
    }
    m_settings.TitleText = rules[best].rule;
    if (rules[best].volume) {
        m_settings.VolumeText = *rules[best].volume;
    }
    clearNovelRule();
    QString error;
    if (!m_config.saveSettings(&error)) {
        reportError(QStringLiteral(u"规则已生效，但未能保存：") + error, PathFile,
                    QStringLiteral("frmMain::suggestTitleRule()"), &m_widget);
    }
    mnuO_Analyze_Click();
}
