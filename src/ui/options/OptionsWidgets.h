#pragma once

// Small builders shared by the pages of the options dialog.

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace options {

QPushButton* smallButton(const QString& text, const QString& name, QWidget* parent);
/// A box that takes only the digits 0-9, whether typed, pasted or dropped.
QLineEdit* numberBox(const QString& name, QWidget* parent);
/// An editable single-choice list whose entries change only through its buttons.
QComboBox* listCombo(const QString& name, QWidget* parent);
QLabel* label(const QString& text, QWidget* parent);
/// Puts a number box back in order when it loses the focus: empty becomes `emptyValue`,
/// leading zeros go when `stripZeros`, at most four digits.
void repairNumberBox(QLineEdit* box, const QString& emptyValue, bool stripZeros);

} // namespace options
