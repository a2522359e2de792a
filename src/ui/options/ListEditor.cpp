#include "ListEditor.h"

#include "Prompts.h"

#include <QComboBox>
#include <QListWidget>

int shownIndex(const QComboBox* combo) {
    const int k = combo->currentIndex();
    return k >= 0 && combo->itemText(k) == combo->currentText() ? k : -1;
}

ListEditor::ListEditor(QComboBox* combo, Texts texts, QWidget* dialog)
    : QObject(dialog), m_combo(combo), m_texts(std::move(texts)), m_dialog(dialog) {}

ListEditor::ListEditor(QListWidget* list, Texts texts, QWidget* dialog)
    : QObject(dialog), m_list(list), m_texts(std::move(texts)), m_dialog(dialog) {}

int ListEditor::count() const {
    return m_combo ? m_combo->count() : m_list->count();
}

QString ListEditor::text(int index) const {
    return m_combo ? m_combo->itemText(index) : m_list->item(index)->text();
}

int ListEditor::findExact(const QString& wanted) const {
    for (int i = 0; i < count(); ++i) {
        if (text(i) == wanted) {
            return i;
        }
    }
    return -1;
}

void ListEditor::warn(const QString& text, const QString& caption) {
    Prompts::messageBox(m_dialog, text, caption, QMessageBox::Warning);
}

bool ListEditor::ask(const QString& caption, const QString& initial, QString* answer) {
    QString text;
    if (!Prompts::inputBox(m_dialog, m_texts.prompt, caption, initial, &text)) {
        return false;
    }
    *answer = text.trimmed();
    return !answer->isEmpty();
}

void ListEditor::addTyped(const QString& initial) {
    QString answer;
    if (ask(m_texts.askCaption, initial, &answer)) {
        add(answer);
    }
}

bool ListEditor::add(const QString& entry) {
    if (findExact(entry) >= 0) {
        warn(m_texts.repeated + entry, m_texts.repeatedCaption);
        return false;
    }
    if (m_combo) {
        m_combo->addItem(entry);
        m_combo->setCurrentIndex(m_combo->count() - 1);
    } else {
        m_list->addItem(entry);
        m_list->clearSelection();
        m_list->setCurrentRow(m_list->count() - 1, QItemSelectionModel::ClearAndSelect);
    }
    emit edited();
    return true;
}

void ListEditor::removeChosen(bool keepShownText) {
    if (m_list) {
        bool removed = false;
        for (int i = m_list->count() - 1; i >= 0; --i) {
            if (m_list->item(i)->isSelected()) {
                delete m_list->takeItem(i);
                removed = true;
            }
        }
        if (!removed) {
            warn(m_texts.chooseFirst, m_texts.removeCaption);
            return;
        }
        emit edited();
        return;
    }
    const int k = shownIndex(m_combo);
    if (k < 0) {
        warn(m_texts.chooseFirst, m_texts.removeCaption);
        return;
    }
    const QString shown = m_combo->currentText();
    m_combo->removeItem(k);
    if (m_combo->count() > 0) {
        m_combo->setCurrentIndex(k == 0 ? 0 : k - 1);
    } else {
        m_combo->setCurrentIndex(-1);
        m_combo->setEditText(keepShownText ? shown : QString());
    }
    emit edited();
}

void ListEditor::editChosen() {
    QListWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected()) {
        const QList<QListWidgetItem*> selected = m_list->selectedItems();
        item = selected.isEmpty() ? nullptr : selected.first();
    }
    if (!item) {
        warn(m_texts.editChooseFirst, m_texts.editCaption);
        return;
    }
    QString answer;
    if (!ask(m_texts.editCaption, item->text(), &answer)) {
        return;
    }
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i) != item && m_list->item(i)->text() == answer) {
            warn(m_texts.repeated + answer, m_texts.editRepeatedCaption);
            return;
        }
    }
    item->setText(answer);
    emit edited();
}
