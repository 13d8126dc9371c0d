#include "cdevlistactions.h"

#include "cdevforms.h"
#include "cdevlistmirror.h"
#include "cmsgbox.h"
#include "devlist/cdevlist.h"
#include "devlist/devlistcsv.h"
#include "filechooser.h"
#include "sysinfoitems.h"
#include "telnet/ctelnetreboot.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QSaveFile>
#include <QStatusBar>
#include <QTreeWidget>

namespace
{
constexpr quint16 TELNET_PORT = 24;
// How long a failed reboot or a finished export stays in the status bar.
constexpr int REBOOT_MESSAGE_MS = 30000;
} // namespace

CDevListActions::CDevListActions(const CDevList *pDevices, CDevListMirror *pDevList, CDevForms *pDevForms,
                                 QTreeWidget *pTree, std::function<bool()> fnBatchRunning, QMainWindow *pWindow)
    : QObject(pWindow), m_pDevices(pDevices), m_pDevList(pDevList), m_pDevForms(pDevForms), m_pTree(pTree),
      m_pWindow(pWindow), m_fnBatchRunning(std::move(fnBatchRunning))
{
    m_pTree->installEventFilter(this);
}

bool CDevListActions::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched != m_pTree || pEvent->type() != QEvent::ContextMenu)
        return QObject::eventFilter(pWatched, pEvent);
    const QStringList lstSelected = m_pDevList->SelectedHosts();
    const bool bBatchRunning = m_fnBatchRunning();
    if (m_pDevices->Count() == 0)
        return true;
    QMenu menu(m_pWindow);
    if (!lstSelected.isEmpty()) {
        QAction *pRemove = menu.addAction(tr("Remove"), this, &CDevListActions::RemoveSelected);
        QAction *pReboot = menu.addAction(tr("Reboot"), this, [this] { Reboot(QString()); });
        // A running batch keeps its devices and sessions until its summary, a device form its own.
        bool bSelectedBusy = false;
        for (const QString &strHost : lstSelected)
            bSelectedBusy = bSelectedBusy || m_pDevForms->IsBusy(strHost);
        pRemove->setEnabled(!bBatchRunning && !bSelectedBusy);
        pReboot->setEnabled(!bBatchRunning && !m_pDevForms->IsBusy(m_pDevList->CurrentHost()));
        menu.addSeparator();
    }
    menu.addAction(tr("Export list..."), this, &CDevListActions::ExportList);
    menu.exec(static_cast<QContextMenuEvent *>(pEvent)->globalPos());
    return true;
}

void CDevListActions::RemoveSelected()
{
    if (m_fnBatchRunning())
        return;
    const QStringList lstSelected = m_pDevList->SelectedHosts();
    for (const QString &strHost : lstSelected)
        if (m_pDevForms->IsBusy(strHost))
            return;
    if (CMsgBox::Question(m_pWindow, QString(), tr("Sure to remove selected devices?")) != QMessageBox::Yes)
        return;
    emit signalRemoving(lstSelected);
}

void CDevListActions::ExportList()
{
    const QString strPath =
        Velmora::ChooseSaveFile(m_pWindow, tr("Export list"), QStringLiteral("devices.csv"), tr("CSV files (*.csv)"));
    if (strPath.isEmpty())
        return;
    // Written whole or not at all: an inventory cut short by a full disk would look complete.
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(Velmora::DevListCsv(*m_pDevices, m_pDevList->Hosts())) < 0 ||
        !file.commit()) {
        CMsgBox::Show(m_pWindow, QMessageBox::Critical, QString(),
                      tr("Cannot write '%1': %2").arg(QDir::toNativeSeparators(strPath), file.errorString()));
        return;
    }
    m_pWindow->statusBar()->showMessage(tr("List exported to '%1'.").arg(QDir::toNativeSeparators(strPath)),
                                        REBOOT_MESSAGE_MS);
}

void CDevListActions::Reboot(const QString &strHostName)
{
    const QString strHost = strHostName.isEmpty() ? m_pDevList->CurrentHost() : strHostName;
    const T_DevListRow *pRow = m_pDevices->Find(strHost);
    if (!pRow)
        return;
    if (strHostName.isEmpty() && m_fnBatchRunning())
        return;
    if (m_pDevForms->IsBusy(strHost))
        return;
    auto *pReboot = new CTelnetReboot(strHost, pRow->strAddr, TELNET_PORT, this);
    connect(pReboot, &CTelnetReboot::finished, this, &CDevListActions::slotOnDeleteTelnet);
    if (!pReboot->Start()) {
        delete pReboot;
        slotOnDeleteTelnet(strHost, QStringLiteral("not an IP address"));
        return;
    }
    emit signalRebooting(strHost);
}

void CDevListActions::slotOnDeleteTelnet(QString strHostName, QString strReason)
{
    if (auto *pReboot = qobject_cast<CTelnetReboot *>(sender()))
        pReboot->deleteLater();
    if (strReason.isEmpty())
        return;
    // The row is gone already: the reason is the only trace the operator gets of the failure.
    m_pWindow->statusBar()->showMessage(tr("'%1' reboot failed: %2").arg(Velmora::DisplayText(strHostName), strReason),
                                        REBOOT_MESSAGE_MS);
}
