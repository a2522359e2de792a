#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

/// "设为章节标题": the line a title is made of, with the number and title read from it, both
/// editable before the title joins the list.
class frmAddTitle : public QDialog {
public:
    frmAddTitle(qint32 line, const QString& lineText, qint16 chapnum, const QString& title, QWidget* owner = nullptr);

    qint16 chapnum() const;
    QString title() const;

    void accept() override;

private:
    QSpinBox* txtChapNum;
    QLineEdit* txtTitle;
};
