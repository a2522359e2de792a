#pragma once

#include <QString>

#include <optional>
#include <utility>

struct Review;
struct Settings;
class CleanupLedger;
class Document;
class ListCommands;
class PassFrontEnd;
class QWidget;
class WindowConfig;

/// The commands that run a pass over the open novel, one at a time, on the window's thread:
/// analysis, chapter files, an EPUB book, and "推荐规则", which analyses again with the rule it
/// found. Each reports through the window's front end; a window closed during a pass closes
/// once the pass has stopped.
class PassCommands {
public:
    /// What the passes need of the window besides the pieces handed in.
    class Window {
    public:
        /// The commands follow the document's state, which a pass changes behind the window's back.
        virtual void syncCommands() = 0;
        /// Before an analysis replaces a reviewed list: false when the user keeps it.
        virtual bool reviewMayGo() = 0;
        /// An analysis has filled the list (and applied the review it was given).
        virtual void analysisShown() = 0;

    protected:
        ~Window() = default;
    };

    /// `widget` is the window itself: the dialogs stand over it, and it closes after a pass
    /// when asked to during one.
    PassCommands(Window& window, QWidget& widget, Document& doc, Settings& settings, WindowConfig& config,
                 ListCommands& list, PassFrontEnd& host);

    /// Whether a pass runs: opening, closing or reading the novel another way waits for it.
    bool running() const { return m_running; }
    /// The window was asked to close during a pass: the pass is asked to stop, and the window
    /// closes once it has.
    void closeWhenDone();

    void mnuO_Analyze_Click();
    /// Analyses the novel just opened, with the review to take up when given. When the title
    /// rule finds nothing and the suggested rule finds chapters, the suggestion is taken for
    /// this novel without a question, and the status bar says so.
    void analyseOpened(const Review* review);
    /// A title rule for the open novel only (a review's, or the suggestion taken on opening);
    /// the configured rule again when cleared.
    void setNovelRule(const QString& titleRule, const QString& volumeRule);
    void clearNovelRule() { m_novelRule.reset(); }
    /// The rules the open novel is analysed with.
    QString titleRule() const;
    QString volumeRule() const;
    void mnuO_SaveOut_Click();
    void mnuO_SaveEpub_Click();
    void mnuO_Stop_Click();
    /// Tries every built-in rule on the open novel's beginning and, when one fits and the user
    /// agrees, makes it the title pattern and analyses again.
    void suggestTitleRule();

private:
    void analyse(const Review* review, bool onOpen);
    /// The rule suggestion, taken without a question, after the title rule found nothing on
    /// opening; the held notice when no rule fits.
    void suggestOnOpen(const QString& notice, const QString& encoding);
    Settings analysisSettings() const;
    void afterPass();
    void showCleanReport(const CleanupLedger& ledger, const QString& folder);

    Window& m_window;
    QWidget& m_widget;
    Document& m_doc;
    Settings& m_settings;
    WindowConfig& m_config;
    ListCommands& m_list;
    PassFrontEnd& m_host;
    bool m_running = false;
    bool m_closePending = false;
    std::optional<std::pair<QString, QString>> m_novelRule;
};
