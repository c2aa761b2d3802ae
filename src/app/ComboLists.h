// ComboLists: sorted drop-down lists that keep each entry once (the address, name and e-mail
// histories).
#pragma once
#include <QString>

class QComboBox;

// Orders the entries alphabetically without regard to case; the field's text stays as it is.
void SortComboItems(QComboBox* combo);
// Adds text at its sorted place unless the list already holds exactly that text; keeps the
// field's text. Returns true when it was added.
bool AddSortedComboItem(QComboBox* combo, const QString& text);
// Removes every entry equal to text (exact match); keeps the field's text.
void RemoveComboItem(QComboBox* combo, const QString& text);
