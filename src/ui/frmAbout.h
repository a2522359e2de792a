#pragma once

#include <QCoreApplication>
#include <QDialog>

struct Settings;
class QLabel;
class QPlainTextEdit;
class QPushButton;

/// "关于": the program's title, our notice and the notes, from "说明.txt" in the program's
/// folder (GBK text) when it is there, else the text built in.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    /// `programFolder` is where "说明.txt" is looked for.
    explicit frmAbout(const Settings& settings, QWidget* owner = nullptr,
                      const QString& programFolder = QCoreApplication::applicationDirPath());

    /// The text shown when there is no "说明.txt": its first line says so, then a line of
    /// "=", then our release notes.
    static QString builtInNotes();
    /// Notes file bytes as text, the encoding detected as for a novel (byte-order mark, UTF-8,
    /// else GBK/GB18030).
    static QString decodeNotes(const QByteArray& bytes);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Activate();
    void btnCopy_Click();

    QString m_programFolder;
    bool m_notesLoaded = false;

    QWidget* picMain;
    QLabel* lblTitle;
    QLabel* lblNotice;
    QPlainTextEdit* txtAbout;
    QPushButton* btnCopy;
    QPushButton* btnOK;
};
