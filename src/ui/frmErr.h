#pragma once

#include <QDateTime>
#include <QDialog>

struct Settings;
class QLabel;
class QPlainTextEdit;
class QPushButton;

/// The error report: what failed and where, a note from the user, and "保存报告", which appends
/// the whole report to err.log so that it can be sent to us.
class frmErr : public QDialog {
    Q_OBJECT

public:
    frmErr(const QString& strErrDes, qint32 lErrNum, const QString& strProcess, const Settings& settings,
           QWidget* owner = nullptr);

    /// Shows a report modally; number 0 means there is no error and shows nothing.
    static void ShowErrMsg(const QString& strDes, qint32 lNum, const QString& strProcess, QWidget* owner,
                           const Settings& settings);

    /// Where reports are appended: err.log beside config.ini unless set.
    static void setLogFile(const QString& path);
    static QString logFile();

    /// The three summary lines joined by CR LF.
    static QString Summary(const QString& strErrDes, qint32 lErrNum, const QString& strProcess);
    /// One err.log record in GBK, every item followed by CR LF; the note's line breaks become CR LF.
    static QByteArray LogRecord(const QString& summary, const QString& memo, const QDateTime& when);
    /// The date and time as the record writes them (the system's short date, then the time).
    static QString formatTime(const QDateTime& when);

    QString strErrDes;
    qint32 lErrNum = 0;
    QString strProcess;

private:
    void btnSave_Click();
    void lblLink_Click();

    const Settings& m_settings;
    QLabel* imgErr;
    QLabel* lblAppTitle;
    QPlainTextEdit* txtMemo;
    QPushButton* btnSave;
    QPushButton* btnCancel;
    QLabel* lblLink;
};
