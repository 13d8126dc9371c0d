#include "cdevlistmirror.h"

#include "devlist/cdevlist.h"
#include "sysinfoitems.h"
#include "treelookup.h"

#include <QCoreApplication>
#include <QTreeWidget>

namespace
{
constexpr int ROLE_HOST = Qt::UserRole;

// The texts belong to the window the operator reads them in, and keep its translations.
QString DeviceToolTip(const T_DevListRow &stRow)
{
    QString strTip =
        QCoreApplication::translate("MainWindow", "Hostname: %1\nIP Address: %2").arg(stRow.strDispName, stRow.strAddr);
    if (!stRow.strNameFailure.isEmpty())
        strTip += QLatin1Char('\n') +
                  QCoreApplication::translate("MainWindow", "Name not read: %1").arg(stRow.strNameFailure);
    return Velmora::PlainToolTip(strTip);
}
} // namespace

CDevListMirror::CDevListMirror(const CDevList *pRows, QTreeWidget *pTree, QObject *parent)
    : QObject(parent), m_pRows(pRows), m_pTree(pTree)
{
    connect(m_pRows, &CDevList::signalRowAdded, this, &CDevListMirror::slotRowAdded);
    connect(m_pRows, &CDevList::signalRowChanged, this, &CDevListMirror::slotRowChanged);
    connect(m_pRows, &CDevList::signalRowRemoved, this, &CDevListMirror::slotRowRemoved);
}

QString CDevListMirror::HostOf(const QTreeWidgetItem *pItem)
{
    return pItem ? pItem->data(0, ROLE_HOST).toString() : QString();
}

QTreeWidgetItem *CDevListMirror::Item(const QString &strHostName) const
{
    return Velmora::FindTopLevelItem(m_pTree, 0, ROLE_HOST, strHostName);
}

QStringList CDevListMirror::Hosts() const
{
    QStringList lstHosts;
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i)
        lstHosts.append(HostOf(m_pTree->topLevelItem(i)));
    return lstHosts;
}

QStringList CDevListMirror::SelectedHosts() const
{
    QStringList lstHosts;
    for (const QTreeWidgetItem *pItem : m_pTree->selectedItems())
        lstHosts.append(HostOf(pItem));
    return lstHosts;
}

QString CDevListMirror::CurrentHost() const
{
    return HostOf(m_pTree->currentItem());
}

void CDevListMirror::Fill(QTreeWidgetItem *pItem, const QString &strHostName) const
{
    const T_DevListRow *pRow = m_pRows->Find(strHostName);
    if (!pRow)
        return;
    const QString lstCells[] = {pRow->strAlias,   pRow->strDispName,   pRow->strAddr,
                                pRow->strVersion, pRow->strVideoInput, pRow->strVideoTiming};
    for (int i = 0; i < 6; ++i)
        pItem->setText(i, Velmora::DisplayText(lstCells[i]));
    pItem->setToolTip(0, DeviceToolTip(*pRow));
}

void CDevListMirror::slotRowAdded(const QString &strHostName)
{
    // Filled before it is added: a sorted list places it once, by its final text.
    auto *pItem = new QTreeWidgetItem;
    pItem->setData(0, ROLE_HOST, strHostName);
    Fill(pItem, strHostName);
    m_pTree->addTopLevelItem(pItem);
}

void CDevListMirror::slotRowChanged(const QString &strHostName)
{
    if (QTreeWidgetItem *pItem = Item(strHostName))
        Fill(pItem, strHostName);
}

void CDevListMirror::slotRowRemoved(const QString &strHostName)
{
    if (QTreeWidgetItem *pItem = Item(strHostName))
        delete m_pTree->takeTopLevelItem(m_pTree->indexOfTopLevelItem(pItem));
}
