#pragma once

#include "core/Document.h"
#include "core/PassHost.h"

#include <QStringList>
#include <functional>

/// A front end for tests: records what a pass shows and answers its questions from queues.
class FakeHost : public PassHost {
public:
    explicit FakeHost(Document* doc = nullptr) : m_doc(doc) {}

    QStringList statuses, processes, messages, notices, errors, questions, overwriteAsked;
    QList<qint64> progressValues;
    QList<bool> yesNoAnswers;          ///< next answers to askYesNo (default: Yes)
    QStringList overwriteAnswers;      ///< next answers to askOverwrite (default: ":Yes")
    int progressVisible = 0;
    bool listVisible = true;
    int stopAtTurn = -1;               ///< request Stop at this processEvents turn (0-based)
    int turns = 0;
    std::function<void()> onTurn;
    std::function<QString(const QString&)> onOverwrite; ///< answers instead of the queue when set

    void setStatusText(const QString& t) override { statuses << t; }
    void setProcessText(const QString& t) override { processes << t; }
    void progressStart(qint64) override { progressVisible = 1; }
    void progress(qint64 value, int, const QString&, const QString&) override { progressValues << value; }
    void progressEnd() override { progressVisible = 0; }
    void setListVisible(bool v) override { listVisible = v; }
    void processEvents() override
    {
        if (m_doc && turns == stopAtTurn) {
            m_doc->DocState = StopRequested;
        }
        if (onTurn) {
            onTurn();
        }
        ++turns;
    }
    void messageBox(const QString& text, const QString&, Icon) override { messages << text; }
    bool askYesNo(const QString& text, const QString&) override
    {
        questions << text;
        return yesNoAnswers.isEmpty() ? true : yesNoAnswers.takeFirst();
    }
    void notice(const QString& text, const QString&, int) override { notices << text; }
    QString askOverwrite(const QString& path) override
    {
        overwriteAsked << path;
        if (onOverwrite) {
            return onOverwrite(path);
        }
        return overwriteAnswers.isEmpty() ? QStringLiteral(":Yes") : overwriteAnswers.takeFirst();
    }
    void error(const QString& description, int, const QString& context) override
    {
        errors << description + QStringLiteral(" @ ") + context;
    }

private:
    Document* m_doc;
};
