#pragma once

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
} // namespace Velmora
