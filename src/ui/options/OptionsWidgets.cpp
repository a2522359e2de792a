#include "OptionsWidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace options {

QPushButton* smallButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFixedWidth(28);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* numberBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setFixedWidth(56);
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    return box;
}

QComboBox* listCombo(const QString& name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    // Entries are added by the buttons and by Apply only; completion would change what the
    // user typed, and a typed folder is matched exactly against the entries.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(10);
    return combo;
}

QLabel* label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

void repairNumberBox(QLineEdit* box, const QString& emptyValue, bool stripZeros) {
    QString text = box->text();
    if (text.isEmpty()) {
        text = emptyValue;
    } else if (stripZeros) {
        // Its value without leading zeros: 007 becomes 7, 000 becomes 0.
        while (text.size() > 1 && text.startsWith(QLatin1Char('0'))) {
            text.remove(0, 1);
        }
    }
    if (text.size() > 4) {
        text.truncate(4);
    }
    if (text != box->text()) {
        box->setText(text);
    }
    box->setCursorPosition(int(text.size()));
}

} // namespace options
