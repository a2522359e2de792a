#pragma once

#include <QObject>
#include <QString>

class QComboBox;
class QListWidget;
class QWidget;

/// The editing behind the options dialog's three lists (output folders, filter strings, name
/// templates): entries are added without repeats, the chosen ones removed or edited, and every
/// change reported by `edited()`. It works on a single-choice box or on a multi-choice list.
class ListEditor : public QObject {
    Q_OBJECT

public:
    struct Texts {
        QString prompt;          ///< the question for a typed entry
        QString askCaption;      ///< its caption when adding
        QString repeated;        ///< put before an entry that is listed already
        QString repeatedCaption; ///< caption of that warning when adding
        QString chooseFirst;     ///< warning when nothing is chosen to remove
        QString removeCaption;
        QString editChooseFirst; ///< warning when nothing is chosen to edit
        QString editCaption;     ///< caption of the edit question and of its warnings
        QString editRepeatedCaption;
    };

    ListEditor(QComboBox* combo, Texts texts, QWidget* dialog);
    ListEditor(QListWidget* list, Texts texts, QWidget* dialog);

    /// Asks for an entry (starting from `initial`) and adds it.
    void addTyped(const QString& initial);
    /// Adds an entry and chooses it, unless it is listed already (the user is told).
    bool add(const QString& entry);
    /// Removes the chosen entries. A box that becomes empty keeps showing the removed text when
    /// `keepShownText`, else shows nothing.
    void removeChosen(bool keepShownText);
    /// Asks for a new text for the chosen entry.
    void editChosen();

    int count() const;
    QString text(int index) const;
    int findExact(const QString& text) const;

signals:
    void edited();

private:
    bool ask(const QString& caption, const QString& initial, QString* answer);
    void warn(const QString& text, const QString& caption);

    QComboBox* m_combo = nullptr;
    QListWidget* m_list = nullptr;
    Texts m_texts;
    QWidget* m_dialog;
};

/// The entry an editable box shows as chosen: a box whose text was typed over has none (-1).
int shownIndex(const QComboBox* combo);
