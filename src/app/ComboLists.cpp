// ComboLists: sorted drop-down lists that keep each entry once (the address, name and e-mail
// histories).
#include "app/ComboLists.h"

#include <QComboBox>
#include <QStringList>
#include <algorithm>

namespace {

bool lessNoCase(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

QStringList items(const QComboBox* combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

void replaceItems(QComboBox* combo, const QStringList& list)
{
    const QString text = combo->currentText();
    const bool blocked = combo->blockSignals(true);
    combo->clear();
    combo->addItems(list);
    if (combo->isEditable())
        combo->setEditText(text);
    else
        combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    combo->blockSignals(blocked);
}

} // namespace

void SortComboItems(QComboBox* combo)
{
    QStringList list = items(combo);
    std::stable_sort(list.begin(), list.end(), lessNoCase);
    replaceItems(combo, list);
}

bool AddSortedComboItem(QComboBox* combo, const QString& text)
{
    QStringList list = items(combo);
    if (list.contains(text, Qt::CaseSensitive))
        return false;
    list.insert(std::upper_bound(list.begin(), list.end(), text, lessNoCase), text);
    replaceItems(combo, list);
    return true;
}

void RemoveComboItem(QComboBox* combo, const QString& text)
{
    QStringList list = items(combo);
    if (list.removeAll(text) > 0)
        replaceItems(combo, list);
}
