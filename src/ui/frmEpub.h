#pragma once

#include "epub/EpubPass.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

/// "输出 EPUB": the book's title, author, cover, chapters per book, format (EPUB or AZW3) and
/// file, before writing.
class frmEpub : public QDialog {
    Q_OBJECT

public:
    /// Starts from the detected metadata, the remembered chapters per book and folder.
    frmEpub(const BookMeta& meta, int chapsInBook, const QString& target, QWidget* owner = nullptr, bool vertical = false,
            int maxBookMB = 0, BookFormat format = BookFormat::Epub);

    /// The choices, once accepted.
    EpubOptions options() const;

    void accept() override;

private:
    void chooseCover();
    void chooseTarget();
    void showCover();
    BookFormat format() const;
    void formatChanged();

    QLineEdit* txtTitle;
    QLineEdit* txtAuthor;
    QRadioButton* optCoverDrawn;
    QRadioButton* optCoverFile;
    QLineEdit* txtCover;
    QPushButton* btnCover;
    QLabel* picCover;
    QSpinBox* spnChaps;
    QRadioButton* optEpub;
    QRadioButton* optAzw3;
    QCheckBox* chkVertical;
    QSpinBox* spnMaxMB;
    QLineEdit* txtTarget;
    QPushButton* btnTarget;
    QString m_namedAfter; // the file name (without .epub) that follows the title
};
