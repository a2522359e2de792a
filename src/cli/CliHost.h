#pragma once

#include "core/PassHost.h"

#include <QMutex>
#include <QTextStream>

class Document;

/// The terminal's answers to a pass: progress on stderr while it is a terminal, questions
/// asked there when allowed, or answered by the command line's options.
class CliHost : public PassHost {
public:
    enum Overwrite { Ask, All, None, CancelAll };

    CliHost(Document& doc, QTextStream& out, QTextStream& err);

    Overwrite overwrite = Ask;
    bool yes = false;         ///< answer the folder question with Yes
    bool interactive = false; ///< questions may be asked on the terminal
    bool showProgress = false;
    bool reportedError = false;
    bool noticedWarning = false;
    bool quietNotices = false;          ///< the batch's summary line replaces the completion notice and --yes echoes
    QString label;                      ///< names the novel in questions when several run at once
    QTextStream* terminal = nullptr;    ///< where questions go when `err` is a novel's own buffer
    QMutex* terminalLock = nullptr;     ///< one question on the terminal at a time
    QString lastProblem;                ///< the last error or warning, for the batch's summary

    void setStatusText(const QString&) override {}
    void setProcessText(const QString&) override {}
    void progressStart(qint64 maximum) override;
    void progress(qint64 value, int percent, const QString&, const QString&) override;
    void progressEnd() override;
    void processEvents() override;
    void messageBox(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    void notice(const QString& text, const QString& caption, int kind) override;
    QString askOverwrite(const QString& path) override;
    bool freeNamesForRepeats() const override;
    void renamedRepeat(const QString& from, const QString& to) override;
    void error(const QString& description, int number, const QString& context) override;
    void noTitleFound(const QString& notice, const QString& encoding) override;

    /// Installs the handler of Ctrl+C, and of SIGTERM, SIGHUP and SIGPIPE (a reader such as
    /// `| head` that went away): the pass stops at its next title or chapter, and removes its
    /// half-written file, instead of the process dying with it.
    static void installInterruptHandler();
    static bool interrupted();

private:
    QString readAnswer();
    QTextStream& asking();
    void clearProgress();

    Document& m_doc;
    QTextStream& m_out;
    QTextStream& m_err;
    qint64 m_max = 0;
    bool m_progressShown = false;
    bool m_stopByInterrupt = false;
};
