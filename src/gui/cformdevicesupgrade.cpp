#include "cformdevicesupgrade.h"
#include "ui_cformdevicesupgrade.h"

#include "cbatchdevrows.h"
#include "cbatchinfotabs.h"
#include "cbatchmodules.h"
#include "cmsgbox.h"
#include "common/vlog.h"
#include "crolloutfields.h"
#include "crolloutrows.h"
#include "product/cdevicetypes.h"
#include "product/httpmodels.h"
#include "product/productconfig.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

CFormDevicesUpgrade::CFormDevicesUpgrade(CMaintainAgent *pAgent, const CDeviceTypes *pTypes, QWidget *parent)
    : QWidget(parent), ui(new Ui::CFormDevicesUpgrade), m_pTypes(pTypes), m_rollout(pAgent, &m_httpAgent)
{
    Velmora::RegisterMaintainMetaTypes();
    ui->setupUi(this);
    setAcceptDrops(true);
    ui->tab->setCurrentIndex(0);
    // Display types are product names; the box grows with them rather than cutting them.
    ui->cbDevType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ui->cbDevType->addItem(QString());
    ui->cbDevVersion->setCurrentIndex(-1);
    ui->twDev->installEventFilter(this);
    m_pRows = std::make_unique<CBatchDevRows>(ui->twDev);
    m_pRolloutFields =
        std::make_unique<CRolloutFields>(ui->leMaxParallel, ui->leCanary, ui->leWave, ui->leMaxFailures, ui->leRetries);
    m_pRolloutRows = std::make_unique<CRolloutRows>(&m_rollout, m_pRows.get());
    m_pModules = new CBatchModules(ui->twModule, this);

    // Every HTTP version page goes on to the main window, the information device's also
    // through its tab.
    m_pInfoTabs = std::make_unique<CBatchInfoTabs>(pAgent, &m_httpAgent, &m_rollout, ui->twSysInfo, ui->teLog, this);
    connect(m_pInfoTabs.get(), &CBatchInfoTabs::signalHttpVersion, this, &CFormDevicesUpgrade::signalHttpVersion);
    connect(&m_httpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CFormDevicesUpgrade::signalHttpVersion);
    connect(ui->cbDevType, &QComboBox::currentTextChanged, this, &CFormDevicesUpgrade::slotDevTypeChange);
    connect(ui->twDev, &QDevListWidget::signalAddDev, this, &CFormDevicesUpgrade::slotDropToAddDev);
    connect(ui->twDev, &QTreeWidget::currentItemChanged, this, &CFormDevicesUpgrade::slotCurrentDevChange);
    connect(ui->cbDevVersion, &QComboBox::currentTextChanged, this,
            &CFormDevicesUpgrade::onDevVersionCurrentIndexChanged);

    connect(&m_rollout, &CRollout::signalDeviceProgress, this, &CFormDevicesUpgrade::slotDeviceProgress);
    connect(&m_rollout, &CRollout::signalDeviceFailed, this, &CFormDevicesUpgrade::slotDeviceFailed);
    connect(&m_rollout, &CRollout::signalFinished, this, &CFormDevicesUpgrade::slotRolloutFinished);
}

CFormDevicesUpgrade::~CFormDevicesUpgrade()
{
    // Members outlive the widgets by a moment: nothing the engine or the agents stop while
    // they are taken down may reach a slot of this form or of its tabs.
    m_pInfoTabs.reset();
    m_pRolloutRows.reset();
    m_rollout.disconnect(this);
    m_httpAgent.disconnect(this);
    delete ui;
}

bool CFormDevicesUpgrade::IsRunning() const
{
    return m_rollout.IsRunning();
}

int CFormDevicesUpgrade::AddDev(T_BaseDevInfo stDevInfo)
{
    if (IsRunning() || m_pRows->Find(stDevInfo.strDispName))
        return 0;
    // A bare dropped text carries no display name: it is no listed device, of no type.
    const QString strType = stDevInfo.strDispName.isEmpty() ? QString() : GetDisplayType(stDevInfo.strHostName);
    if (strType != ui->cbDevType->currentText()) {
        VLOG(lcUi) << "type" << ui->cbDevType->currentText() << "device" << stDevInfo.strDispName;
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Please select the same device!"));
        return -1;
    }
    // The batch's members are its rows. The HTTP agent may know the device already from a
    // version query: that is no refusal, and the agent takes over the address listed now.
    if (Velmora::IsHttpHostModel(stDevInfo.strHostName))
        m_httpAgent.AddDevice(stDevInfo);

    QPushButton *pButton = m_pRows->Append(stDevInfo, tr("reboot"), this);
    connect(pButton, &QPushButton::clicked, this, &CFormDevicesUpgrade::slotReboot);
    AddDevVersion(stDevInfo.strDevVersion);
    return 1;
}

void CFormDevicesUpgrade::AddDevVersion(const QString &strVersion)
{
    if (strVersion.isEmpty() || ui->cbDevVersion->findText(strVersion) >= 0)
        return;
    const QSignalBlocker blocker(ui->cbDevVersion);
    ui->cbDevVersion->addItem(strVersion);
}

void CFormDevicesUpgrade::AddDevType(const QString &strDispType, const QString &strModelType)
{
    if (ui->cbDevType->findText(strDispType) >= 0)
        return;
    ui->cbDevType->addItem(strDispType, strModelType);
}

void CFormDevicesUpgrade::ClearDevType()
{
    {
        const QSignalBlocker blocker(ui->cbDevType);
        ui->cbDevType->clear();
        ui->cbDevType->addItem(QString());
        ui->cbDevType->setCurrentIndex(0);
    }
    // Selecting the empty type, exactly once: the device list and modules follow it.
    slotDevTypeChange(QString());
}

void CFormDevicesUpgrade::SetCurrentDev(const T_BaseDevInfo &stDevInfo)
{
    VLOG(lcUi) << stDevInfo.strHostName;
    ui->tab->setCurrentWidget(ui->tab_SysInfo);
    m_pInfoTabs->SetDevice(stDevInfo);
}

void CFormDevicesUpgrade::RequestHttpVersion(const T_BaseDevInfo &stDevInfo)
{
    m_httpAgent.QueryVersion(stDevInfo);
}

void CFormDevicesUpgrade::slotDevTypeChange(QString devType)
{
    m_httpAgent.Clear();
    m_strDevType = devType;
    ClearDevices();
    m_pModules->Load(m_pTypes->ModelOf(ui->cbDevType->currentText()));
    {
        const QSignalBlocker blocker(ui->cbDevVersion);
        ui->cbDevVersion->clear();
        ui->cbDevVersion->setEnabled(!devType.isEmpty());
        ui->cbDevVersion->addItem(tr("all"));
    }
    emit signalDevTypeChange(devType, QString());
}

void CFormDevicesUpgrade::onDevVersionCurrentIndexChanged(QString arg1)
{
    ClearDevices();
    m_httpAgent.Clear();
    const QString strVersion = ui->cbDevVersion->currentIndex() == 0 ? QString() : arg1;
    emit signalDevTypeChange(ui->cbDevType->currentText(), strVersion);
}

void CFormDevicesUpgrade::ClearDevices()
{
    ui->twDev->clear();
    ui->pbDelete->setEnabled(false);
}

void CFormDevicesUpgrade::slotDropToAddDev(QByteArray info)
{
    // A row of the device list is dragged as "display name, blank, address", and display
    // names hold blanks themselves ("ZR410 Encoder-A1B20A"): read up to the last blank and
    // add the listed device of that name, with its real host name and version.
    const int i32Last = info.lastIndexOf(' ');
    T_BaseDevInfo stListed;
    if (m_resolver && i32Last > 0 && m_resolver(QString::fromLatin1(info.left(i32Last)), &stListed)) {
        AddDev(stListed);
        return;
    }
    const int i32Space = info.indexOf(' ');
    T_BaseDevInfo stDevInfo;
    stDevInfo.strHostName = QString::fromLatin1(i32Space < 0 ? info : info.left(i32Space));
    stDevInfo.strAddr = i32Space < 0 ? QString() : QString::fromLatin1(info.mid(i32Space + 1));
    AddDev(stDevInfo);
}

void CFormDevicesUpgrade::slotCurrentDevChange()
{
    ui->pbDelete->setEnabled(ui->twDev->currentItem() && !IsRunning());
}

void CFormDevicesUpgrade::RemoveRow(QTreeWidgetItem *pItem)
{
    const QString strHost = CBatchDevRows::HostOf(pItem);
    m_httpAgent.RemoveAt(m_httpAgent.IndexOf(strHost));
    m_pRows->Remove(pItem);
}

void CFormDevicesUpgrade::RemoveDevice(const QString &strHostName)
{
    QTreeWidgetItem *pItem = m_pRows->FindByHost(strHostName);
    if (!pItem || IsRunning())
        return;
    RemoveRow(pItem);
    RowsRemoved();
    slotCurrentDevChange();
}

void CFormDevicesUpgrade::RowsRemoved()
{
    // An emptied list lets the main window offer the types it still lists.
    if (m_pRows->Count() == 0)
        emit signalUpdateType();
    else
        m_pRows->Renumber();
}

void CFormDevicesUpgrade::on_pbDelete_clicked()
{
    // Also reached from the main window (a row dragged out of this list) while a batch runs.
    if (IsRunning())
        return;
    if (CMsgBox::Show(this, QMessageBox::Warning, tr("remove device"), tr("Do you want to remove this device?"),
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return;
    QTreeWidgetItem *pItem = ui->twDev->currentItem();
    if (!pItem)
        return;
    RemoveRow(pItem);
    m_pRows->Renumber();
    slotCurrentDevChange();
}

void CFormDevicesUpgrade::on_pbClear_clicked()
{
    if (CMsgBox::Information(this, tr("remove device"), tr("Do you want to remove all devices?"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return;
    m_httpAgent.Clear();
    ClearDevices();
    m_strDevType.clear();
}

void CFormDevicesUpgrade::SetBatchControlsEnabled(bool bEnabled)
{
    for (QWidget *pWidget : {static_cast<QWidget *>(ui->pbStart), static_cast<QWidget *>(ui->twModule),
                             static_cast<QWidget *>(ui->pbClear), static_cast<QWidget *>(ui->cbDevType),
                             static_cast<QWidget *>(ui->pbDelete), static_cast<QWidget *>(ui->cbReboot)})
        pWidget->setEnabled(bEnabled);
    // The engine takes the rollout as it is at the start; Stop, in the same group, stays usable.
    for (QLineEdit *pEdit : ui->gbRollout->findChildren<QLineEdit *>())
        pEdit->setEnabled(bEnabled);
    // The version selection empties the list too: not under a running batch.
    ui->cbDevVersion->setEnabled(bEnabled && !m_strDevType.isEmpty());
    if (bEnabled)
        slotCurrentDevChange();
}

void CFormDevicesUpgrade::SetRunning(bool bRunning)
{
    SetBatchControlsEnabled(!bRunning);
    m_bStopRequested = false;
    ui->pbStop->setEnabled(bRunning);
    ui->pbStop->setText(tr("Stop"));
    ui->pbStop->setToolTip(tr("No further device starts; those upgrading finish their module."));
    emit signalRunningChanged(bRunning);
}

void CFormDevicesUpgrade::on_pbStart_clicked()
{
    m_pRows->SetRebootButtonsEnabled(false);
    // Refusals are reported from inside Start(): the last batch's states go first.
    m_pRows->ClearStates();
    const QList<T_BatchModule> lstModules = m_pModules->Modules();
    m_rollout.SetDevices(m_pRows->Devices());
    m_rollout.SetModules(lstModules);
    m_rollout.SetOptions(m_pRolloutFields->Options());
    m_pRolloutRows->Reset(lstModules);
    switch (m_rollout.Start()) {
    case CBatchUpgrade::START_OK:
        SetRunning(true);
        m_pRolloutRows->ShowLaterWaves();
        break;
    case CBatchUpgrade::START_NO_FILE:
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Select upgrade file first!"));
        break;
    case CBatchUpgrade::START_NO_DEVICES:
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Select upgrade devices first!"));
        break;
    case CBatchUpgrade::START_EMPTY_FILE:
        CMsgBox::Show(this, QMessageBox::Critical, QString(),
                      tr("Upgrade file '%1' is empty!").arg(QDir::toNativeSeparators(m_rollout.EmptyFile())));
        break;
    case CBatchUpgrade::START_RUNNING:
        break;
    }
}

void CFormDevicesUpgrade::slotDeviceProgress(T_BaseDevInfo stDevInfo, int, QString strCurStep, int i32CurProgress,
                                             bool bError, bool)
{
    QTreeWidgetItem *pItem = m_pRows->Find(stDevInfo.strDispName);
    if (!pItem)
        return;
    if (bError) {
        m_pRows->ShowState(pItem, tr("Upgrade failed"));
        // A canary's failure stops the rollout, and that one box names it and says why.
        if (m_rollout.Wave(stDevInfo.strHostName) == 0)
            return;
        CMsgBox::Show(this, QMessageBox::Critical, QString(),
                      tr("'%1' Upgrade error occur!").arg(stDevInfo.strDispName));
        return;
    }
    m_pRows->ShowStep(pItem, strCurStep, i32CurProgress);
}

void CFormDevicesUpgrade::slotDeviceFailed(T_BaseDevInfo stDevInfo, int, QString, QString strReason)
{
    // Refusals and time-outs come without an error report: the row still says what happened.
    QTreeWidgetItem *pItem = m_pRows->Find(stDevInfo.strDispName);
    if (!pItem)
        return;
    m_pRows->ShowState(pItem, tr("Upgrade failed"));
    m_pRows->ShowReason(pItem, strReason);
}

void CFormDevicesUpgrade::on_pbStop_clicked()
{
    if (!IsRunning())
        return;
    if (!m_bStopRequested) {
        m_bStopRequested = true;
        m_rollout.RequestStop();
        ui->pbStop->setText(tr("Abort"));
        ui->pbStop->setToolTip(tr("Cuts the devices still upgrading short."));
        return;
    }
    if (CMsgBox::Question(this, tr("stop upgrade"),
                          tr("Abort the devices still upgrading? Their upgrade is cut off where it is, and "
                             "they may need to be upgraded again."),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes ||
        !IsRunning())
        return;
    // The engine stops silently: what it cut off is said here.
    m_pRolloutRows->ShowAborted();
    m_rollout.Abort();
    SetRunning(false);
    m_pRows->SetRebootButtonsEnabled(true);
}

void CFormDevicesUpgrade::slotRolloutFinished(int i32Successes, int i32Total, QStringList lstRebootHosts,
                                              CRollout::E_End eEnd, QString strReason)
{
    SetRunning(false);
    const QString strSummary = tr("succeeded: %1, total: %2.").arg(i32Successes).arg(i32Total);
    switch (eEnd) {
    case CRollout::END_NO_REPORT:
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("upgrade failed!"));
        return;
    case CRollout::END_MODULE_NOT_RUN:
        CMsgBox::Show(this, QMessageBox::Critical, QString(),
                      strReason.isEmpty() ? tr("Select upgrade devices first!") : strReason);
        m_pRows->SetRebootButtonsEnabled(true);
        return;
    case CRollout::END_CANARY_FAILED:
    case CRollout::END_FAILURE_LIMIT:
        // One box for the stop, naming the device and its reason; the rows say the rest.
        m_pRows->SetRebootButtonsEnabled(true);
        CMsgBox::Show(this, QMessageBox::Warning, tr("upgrade stopped"), strReason + QStringLiteral("\n") + strSummary);
        break;
    case CRollout::END_DONE:
    case CRollout::END_STOPPED:
        m_pRows->SetRebootButtonsEnabled(true);
        CMsgBox::Show(this, QMessageBox::NoIcon, tr("upgradation summary"), strSummary);
        break;
    }
    if (!ui->cbReboot->isChecked())
        return;
    for (const QString &strHost : lstRebootHosts) {
        if (QTreeWidgetItem *pItem = m_pRows->FindByHost(strHost))
            RemoveRow(pItem);
        emit signalDevReboot(strHost);
    }
    RowsRemoved();
}

void CFormDevicesUpgrade::slotReboot()
{
    auto *pButton = qobject_cast<QPushButton *>(sender());
    QTreeWidgetItem *pItem = m_pRows->RowOf(pButton);
    if (!pItem || IsRunning())
        return;
    const QString strHost = CBatchDevRows::HostOf(pItem);
    // The button lives in the row: it goes with it, after this click has been handled.
    m_pRows->ReleaseRebootButton(pItem);
    pButton->deleteLater();
    RemoveRow(pItem);
    emit signalDevReboot(strHost);
    RowsRemoved();
}

void CFormDevicesUpgrade::on_btnReadSysInfo_clicked()
{
    m_pInfoTabs->ReadSysInfo();
}

void CFormDevicesUpgrade::on_btnReadLog_clicked()
{
    m_pInfoTabs->ReadLog();
}

bool CFormDevicesUpgrade::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched == ui->twDev && pEvent->type() == QEvent::ContextMenu) {
        if (!ui->twDev->selectedItems().isEmpty()) {
            QMenu menu(this);
            QAction *pRemove = menu.addAction(tr("Remove"));
            pRemove->setEnabled(!IsRunning());
            connect(pRemove, &QAction::triggered, this, &CFormDevicesUpgrade::on_pbDelete_clicked);
            menu.exec(static_cast<QContextMenuEvent *>(pEvent)->globalPos());
        }
        return true;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}
