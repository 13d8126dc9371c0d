#pragma once

#include <QPushButton>
#include <QString>
#include <QTreeWidget>

namespace Velmora
{
// The first top-level row whose data of iColumn under iRole is strValue, or null. Rows are
// found again this way, by what they stand for, never through an address kept elsewhere.
inline QTreeWidgetItem *FindTopLevelItem(const QTreeWidget *pTree, int iColumn, int iRole, const QString &strValue)
{
    for (int i = 0; i < pTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *pItem = pTree->topLevelItem(i);
        if (pItem->data(iColumn, iRole).toString() == strValue)
            return pItem;
    }
    return nullptr;
}

// The top-level row of pTree a file or reboot button belongs to (its "item" property); null
// when that row is gone. The address kept on the button is only trusted once it is found
// among the rows again: the row may be gone by the time the button is pressed.
inline QTreeWidgetItem *ButtonRow(const QTreeWidget *pTree, const QPushButton *pButton)
{
    if (!pButton)
        return nullptr;
    const quintptr uItem = pButton->property("item").value<quintptr>();
    for (int i = 0; i < pTree->topLevelItemCount(); ++i)
        if (reinterpret_cast<quintptr>(pTree->topLevelItem(i)) == uItem)
            return pTree->topLevelItem(i);
    return nullptr;
}
} // namespace Velmora
