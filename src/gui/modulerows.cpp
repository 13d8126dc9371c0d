#include "modulerows.h"

#include <QPushButton>
#include <QTreeWidget>

QList<QPushButton *> Velmora::AddModuleRows(QTreeWidget *pTree, const QList<T_ModuleRow> &lstModules,
                                            const QString &strOpenText, QObject *pFilter)
{
    QList<QPushButton *> lstButtons;
    for (const T_ModuleRow &stModule : lstModules) {
        auto *pItem = new QTreeWidgetItem;
        pItem->setText(0, stModule.strName);
        pItem->setData(0, Qt::UserRole, stModule.strId);
        pTree->addTopLevelItem(pItem);
        auto *pButton = new QPushButton(strOpenText);
        pButton->setProperty("item", QVariant::fromValue(reinterpret_cast<quintptr>(pItem)));
        pButton->installEventFilter(pFilter);
        pTree->setItemWidget(pItem, 1, pButton);
        lstButtons.append(pButton);
    }
    return lstButtons;
}
