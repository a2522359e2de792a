#pragma once

#include <QDialog>

#include <functional>

struct Settings;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The question before an existing file is replaced. Its answer is one of the tokens ":Yes",
/// ":All", ":No", ":Cancel", or the full path the user typed to write to instead.
class frmYesAllNo : public QDialog {
    Q_OBJECT

public:
    explicit frmYesAllNo(const Settings& settings, QWidget* owner = nullptr);

    /// Whether a name typed for the rename is taken: the disk by default; an output pass also
    /// counts the files it has written or queued and that are not on disk yet.
    using TakenTest = std::function<bool(const QString&)>;

    /// Asks about `path` in a new dialog owned by `owner` and returns the answer.
    static QString ShowMsg(const QString& path, QWidget* owner, const Settings& settings, TakenTest taken = {});

    void setTakenTest(TakenTest taken) { m_taken = std::move(taken); }
    /// Fills the path box and the two labels from the existing file's full path.
    void setFileName(const QString& path);
    /// The answer; a dialog closed without one answers ":Cancel".
    QString Out();

    void done(int result) override;

private:
    void chkReName_Click();
    void btnOK_Click();
    void answer(const QString& token);

    const Settings& m_settings;
    TakenTest m_taken;
    QString m_out;
    QLabel* picTop;
    QWidget* picMain;
    QLabel* imgText;
    QLabel* lblText;
    QLabel* lblPath;
    QLabel* lbl;
    QCheckBox* chkReName;
    QLineEdit* txtFile;
    QPushButton* btnOK;
    QPushButton* btnAll;
    QPushButton* btnNo;
    QPushButton* btnCancel;
};
