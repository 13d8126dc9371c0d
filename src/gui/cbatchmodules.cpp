#include "cbatchmodules.h"

#include "cmsgbox.h"
#include "filechooser.h"
#include "modulerows.h"
#include "sysinfoitems.h"
#include "treelookup.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QPushButton>
#include <QTreeWidget>

CBatchModules::CBatchModules(QTreeWidget *pTree, QWidget *pForm) : QObject(pForm), m_pTree(pTree), m_pForm(pForm)
{
    m_pTree->setColumnWidth(0, 180);
}

void CBatchModules::Load(const QString &strModel)
{
    m_pTree->clear();
    const T_UpgradeConf stConf = ReadUpgradeConf(DefaultUpgradeConfPath(), strModel);
    if (stConf.eStatus == E_UpgradeConfStatus::NotExists) {
        CMsgBox::Show(m_pForm, QMessageBox::Critical, QString(),
                      tr("Upgrade config file '%1' not exists!").arg(stConf.strPath));
        return;
    }
    if (stConf.eStatus == E_UpgradeConfStatus::Invalid) {
        CMsgBox::Show(m_pForm, QMessageBox::Critical, QString(),
                      tr("Upgrade config file '%1' is invalid!").arg(stConf.strPath));
        return;
    }
    for (QPushButton *pButton : Velmora::AddModuleRows(m_pTree, stConf.lstModules, tr("Open..."), m_pForm))
        connect(pButton, &QPushButton::clicked, this, &CBatchModules::slotSelectUpgradeFile);
}

QList<T_BatchModule> CBatchModules::Modules() const
{
    QList<T_BatchModule> lstModules;
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *pItem = m_pTree->topLevelItem(i);
        lstModules.append({pItem->data(0, Qt::UserRole).toString(), pItem->text(0), pItem->text(1)});
    }
    return lstModules;
}

void CBatchModules::slotSelectUpgradeFile()
{
    auto *pButton = qobject_cast<QPushButton *>(sender());
    QTreeWidgetItem *pItem = Velmora::ButtonRow(m_pTree, pButton);
    if (!pItem)
        return;
    const QString strPath = Velmora::ChooseOpenFile(m_pForm);
    if (strPath.isEmpty())
        return;
    pItem->setText(1, strPath);
    pButton->setText(strPath.mid(strPath.lastIndexOf(QLatin1Char('/')) + 1));
    pButton->setToolTip(Velmora::PlainToolTip(strPath));
}
