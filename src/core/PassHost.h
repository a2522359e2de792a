#pragma once

#include "config/SystemError.h"
#include "core/PathClaims.h"

#include <QString>

#include <functional>

/// What a long pass asks of its front end (the window, the command line, a test). The pass
/// decides every text; the front end only shows it and answers the questions.
class PassHost {
public:
    virtual ~PassHost() = default;

    enum Icon { Information = 0, Warning = 1, Critical = 2, Question = 3 };

    virtual void setStatusText(const QString& text) = 0;   ///< status panel "text"
    virtual void setProcessText(const QString& text) = 0;  ///< status panel "process"
    virtual void progressStart(qint64 maximum) = 0;         ///< progress bar shown, value 0
    /// One step of a pass: the window shows `value` and "p%" in its bar, or the balloon
    /// text and title while it is hidden.
    virtual void progress(qint64 value, int percent, const QString& balloonText, const QString& balloonTitle) = 0;
    virtual void progressEnd() = 0;                         ///< progress bar hidden, value 0
    virtual void setListVisible(bool visible) { (void)visible; }

    /// One turn of the event loop: the place where the Stop command can arrive.
    virtual void processEvents() {}

    virtual void messageBox(const QString& text, const QString& caption, Icon icon) = 0;
    virtual bool askYesNo(const QString& text, const QString& caption) = 0;
    /// A notice: message box, or a balloon when the window is minimised or hidden.
    virtual void notice(const QString& text, const QString& caption, int kind) = 0;
    /// A balloon shown only when the window is hidden (not merely minimised).
    virtual void balloonIfHidden(const QString& text, const QString& title) { (void)text, (void)title; }
    /// Asks about an existing file: ":Yes", ":All", ":No", ":Cancel" or a new full path.
    virtual QString askOverwrite(const QString& path) = 0;
    /// The same question for a file this very pass wrote moments ago (two chapters whose
    /// names coincide): asked even after ":All", since the answer decides whether text of
    /// this run is replaced.
    virtual QString askOverwriteWrittenThisPass(const QString& path) { return askOverwrite(path); }
    /// Without a person to ask, a file whose name this pass has already used goes beside it
    /// under a free name ("name (2).txt") instead: text of this run is never replaced. The
    /// pass then reports the new path through `renamedRepeat`.
    virtual bool freeNamesForRepeats() const { return false; }
    virtual void renamedRepeat(const QString& from, const QString& to) { (void)from, (void)to; }
    /// The output pass ended well: `text` says how many files, `folder` where they are.
    virtual void outputDone(const QString& text, const QString& folder)
    {
        (void)folder;
        notice(text, QStringLiteral(u"输出"), 0);
    }
    /// The analysis found no title: `notice` is its first sentence, `encoding` what the novel
    /// was read as. Each front end adds the advice that fits it (and the window an offer).
    virtual void noTitleFound(const QString& notice, const QString& encoding)
    {
        this->notice(notice + QStringLiteral(u"\r\n文件是按 %1 编码读取的；编码不对时请另选编码，或换一条标题规则再试。").arg(encoding),
                     QStringLiteral(u"分析"), 1);
    }
    /// The error report: description, number and the context "form::procedure()".
    virtual void error(const QString& description, int number, const QString& context) = 0;

    /// Whether something is at `path` already: any directory entry (a link to nothing too), a
    /// file another pass of the run has written or queued, or, while an output pass asks, a
    /// file that pass has written or is about to write. A new name chosen in answer to a
    /// question must pass this test, or be confirmed by the user.
    bool pathTaken(const QString& path) const
    {
        return m_taken ? m_taken(path) : entryKind(path) != EntryKind::None || takenByOtherPass(path);
    }
    /// Set by the output pass around its questions.
    void setTakenTest(std::function<bool(const QString&)> test) { m_taken = std::move(test); }

    /// The paths shared by the passes of one run (a batch); none by default.
    void setSharedClaims(PathClaims* claims)
    {
        m_claims = claims;
        m_owner = claims ? claims->newOwner() : 0;
    }
    /// Whether another pass of the run has written or queued `path`.
    bool takenByOtherPass(const QString& path) const { return m_claims && m_claims->heldByOther(path, m_owner); }
    /// Takes `path` for this pass before it is written; false when another pass of the run
    /// has it, unless `force` (the user confirmed replacing it).
    bool claimPath(const QString& path, bool force = false) { return !m_claims || m_claims->claim(path, m_owner, force); }

private:
    std::function<bool(const QString&)> m_taken;
    PathClaims* m_claims = nullptr;
    quint64 m_owner = 0;
};
