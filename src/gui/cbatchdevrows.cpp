#include "cbatchdevrows.h"

#include "sysinfoitems.h"
#include "treelookup.h"

#include <QPushButton>
#include <QTreeWidget>

namespace
{
constexpr int COL_NUMBER = 0;
constexpr int COL_NAME = 1;
constexpr int COL_STEP = 2;
constexpr int COL_PROGRESS = 3;
constexpr int COL_REBOOT = 4;

constexpr int ROLE_HOST = Qt::UserRole;
constexpr int ROLE_ADDR = Qt::UserRole + 1;
constexpr int ROLE_VERSION = Qt::UserRole + 2;
constexpr int ROLE_DISPNAME = Qt::UserRole;
} // namespace

CBatchDevRows::CBatchDevRows(QTreeWidget *pTree) : m_pTree(pTree)
{
    // Sized so every column, the reboot buttons included, fits the form at the window's
    // initial size; longer names are elided and the full text is in the tool tip.
    m_pTree->setColumnWidth(COL_NUMBER, 40);
    m_pTree->setColumnWidth(COL_NAME, 170);
    m_pTree->setColumnWidth(COL_STEP, 120);
    m_pTree->setColumnWidth(COL_PROGRESS, 60);
    m_pTree->setColumnWidth(COL_REBOOT, 70);
}

int CBatchDevRows::Count() const
{
    return m_pTree->topLevelItemCount();
}

QTreeWidgetItem *CBatchDevRows::Find(const QString &strDispName) const
{
    return Velmora::FindTopLevelItem(m_pTree, COL_NAME, ROLE_DISPNAME, strDispName);
}

QTreeWidgetItem *CBatchDevRows::FindByHost(const QString &strHostName) const
{
    return Velmora::FindTopLevelItem(m_pTree, COL_NUMBER, ROLE_HOST, strHostName);
}

QTreeWidgetItem *CBatchDevRows::At(int i32Row) const
{
    return m_pTree->topLevelItem(i32Row);
}

QString CBatchDevRows::HostOf(const QTreeWidgetItem *pItem)
{
    return pItem->data(COL_NUMBER, ROLE_HOST).toString();
}

QTreeWidgetItem *CBatchDevRows::RowOf(const QPushButton *pButton) const
{
    return Velmora::ButtonRow(m_pTree, pButton);
}

QPushButton *CBatchDevRows::Append(const T_BaseDevInfo &stDevInfo, const QString &strRebootText, QObject *pFilter)
{
    auto *pItem = new QTreeWidgetItem;
    pItem->setText(COL_NUMBER, QString::number(m_pTree->topLevelItemCount() + 1));
    pItem->setData(COL_NUMBER, ROLE_HOST, stDevInfo.strHostName);
    pItem->setData(COL_NUMBER, ROLE_ADDR, stDevInfo.strAddr);
    pItem->setData(COL_NUMBER, ROLE_VERSION, stDevInfo.strDevVersion);
    pItem->setText(COL_NAME, Velmora::DisplayText(stDevInfo.strDispName));
    pItem->setData(COL_NAME, ROLE_DISPNAME, stDevInfo.strDispName);
    pItem->setToolTip(COL_NAME, Velmora::PlainToolTip(stDevInfo.strDispName));
    m_pTree->addTopLevelItem(pItem);

    auto *pButton = new QPushButton(strRebootText);
    pButton->setProperty("item", QVariant::fromValue(reinterpret_cast<quintptr>(pItem)));
    pButton->installEventFilter(pFilter);
    pButton->setEnabled(false);
    m_pTree->setItemWidget(pItem, COL_REBOOT, pButton);
    return pButton;
}

void CBatchDevRows::Remove(QTreeWidgetItem *pItem)
{
    delete m_pTree->takeTopLevelItem(m_pTree->indexOfTopLevelItem(pItem));
}

void CBatchDevRows::ReleaseRebootButton(QTreeWidgetItem *pItem)
{
    m_pTree->removeItemWidget(pItem, COL_REBOOT);
}

void CBatchDevRows::Renumber()
{
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i)
        m_pTree->topLevelItem(i)->setText(COL_NUMBER, QString::number(i + 1));
}

QList<T_BaseDevInfo> CBatchDevRows::Devices() const
{
    QList<T_BaseDevInfo> lstDevices;
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *pItem = m_pTree->topLevelItem(i);
        T_BaseDevInfo st;
        st.strHostName = pItem->data(COL_NUMBER, ROLE_HOST).toString();
        st.strAddr = pItem->data(COL_NUMBER, ROLE_ADDR).toString();
        st.strDevVersion = pItem->data(COL_NUMBER, ROLE_VERSION).toString();
        st.strDispName = pItem->data(COL_NAME, ROLE_DISPNAME).toString();
        lstDevices.append(st);
    }
    return lstDevices;
}

void CBatchDevRows::ShowStep(QTreeWidgetItem *pItem, const QString &strStep, int i32Progress)
{
    pItem->setText(COL_STEP, Velmora::DisplayText(strStep));
    pItem->setText(COL_PROGRESS, QStringLiteral("%1%").arg(i32Progress));
}

void CBatchDevRows::ShowState(QTreeWidgetItem *pItem, const QString &strState)
{
    pItem->setText(COL_STEP, strState);
    pItem->setText(COL_PROGRESS, QString());
}

void CBatchDevRows::ShowReason(QTreeWidgetItem *pItem, const QString &strReason)
{
    pItem->setToolTip(COL_STEP, Velmora::PlainToolTip(strReason));
}

void CBatchDevRows::ClearStates()
{
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i) {
        ShowState(m_pTree->topLevelItem(i), QString());
        m_pTree->topLevelItem(i)->setToolTip(COL_STEP, QString());
    }
}

void CBatchDevRows::SetRebootButtonsEnabled(bool bEnabled)
{
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i)
        if (QWidget *pButton = m_pTree->itemWidget(m_pTree->topLevelItem(i), COL_REBOOT))
            pButton->setEnabled(bEnabled);
}
