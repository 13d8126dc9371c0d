#include "cformdevicesupgrade.h"
#include "ui_cformdevicesupgrade.h"

#include "cmsgbox.h"
#include "common/timescale.h"
#include "common/vlog.h"
#include "filechooser.h"
#include "modulerows.h"
#include "product/cdevicetypes.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "sysinfoitems.h"
#include "treelookup.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>

namespace
{
constexpr int RESPONSE_TIMEOUT_MS = 5000;

// Column 0 keeps the device's identity; column 1 shows the display name as plain text and
// keeps the name as the device gave it, which is what reports are matched against.
constexpr int ROLE_HOST = Qt::UserRole;
constexpr int ROLE_ADDR = Qt::UserRole + 1;
constexpr int ROLE_VERSION = Qt::UserRole + 2;
constexpr int ROLE_DISPNAME = Qt::UserRole;

// Everything up to the last "-"; the whole text when it has none.
QString TypeOf(const QString &strName)
{
    const int i32Dash = strName.lastIndexOf(QLatin1Char('-'));
    return i32Dash < 0 ? strName : strName.left(i32Dash);
}
} // namespace

CFormDevicesUpgrade::CFormDevicesUpgrade(CMaintainAgent *pAgent, const CDeviceTypes *pTypes, QWidget *parent)
    : QWidget(parent), ui(new Ui::CFormDevicesUpgrade), m_pAgent(pAgent), m_pTypes(pTypes),
      m_batch(pAgent, &m_httpAgent)
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
    // Sized so every column, the reboot buttons included, fits the form at the window's
    // initial size; longer names are elided and the full text is in the tool tip.
    ui->twDev->setColumnWidth(0, 40);
    ui->twDev->setColumnWidth(1, 170);
    ui->twDev->setColumnWidth(2, 120);
    ui->twDev->setColumnWidth(3, 60);
    ui->twDev->setColumnWidth(4, 70);
    ui->twModule->setColumnWidth(0, 180);
    ui->twSysInfo->setColumnWidth(0, 160);
    m_timerRes.setSingleShot(true);

    connect(&m_httpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CFormDevicesUpgrade::slotDevVersion);
    connect(&m_httpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CFormDevicesUpgrade::signalHttpVersion);
    connect(m_pAgent, &CMaintainAgent::OnSysInfoNotify, this, &CFormDevicesUpgrade::slotDevVersion);
    connect(m_pAgent, &CMaintainAgent::OnDownloadLogNotify, this, &CFormDevicesUpgrade::slotOnDownloadLogNotify);
    connect(ui->cbDevType, &QComboBox::currentTextChanged, this, &CFormDevicesUpgrade::slotDevTypeChange);
    connect(ui->twDev, &QDevListWidget::signalAddDev, this, &CFormDevicesUpgrade::slotDropToAddDev);
    connect(ui->twDev, &QTreeWidget::currentItemChanged, this, &CFormDevicesUpgrade::slotCurrentDevChange);
    connect(&m_timerRes, &QTimer::timeout, this, &CFormDevicesUpgrade::slotResTimeOut);
    connect(ui->cbDevVersion, &QComboBox::currentTextChanged, this,
            &CFormDevicesUpgrade::onDevVersionCurrentIndexChanged);

    connect(&m_batch, &CBatchUpgrade::signalDeviceProgress, this, &CFormDevicesUpgrade::slotDeviceProgress);
    connect(&m_batch, &CBatchUpgrade::signalDeviceFailed, this, &CFormDevicesUpgrade::slotDeviceFailed);
    connect(&m_batch, &CBatchUpgrade::signalBatchFinished, this, &CFormDevicesUpgrade::slotBatchFinished);
    connect(&m_batch, &CBatchUpgrade::signalReplyTimeOut, this, &CFormDevicesUpgrade::slotReplyTimeOut);
    connect(&m_batch, &CBatchUpgrade::signalModuleNotStarted, this, &CFormDevicesUpgrade::slotModuleNotStarted);
}

CFormDevicesUpgrade::~CFormDevicesUpgrade()
{
    // Members outlive the widgets by a moment: nothing the engine or the agents stop while
    // they are taken down may reach a slot of this form.
    m_batch.disconnect(this);
    m_httpAgent.disconnect(this);
    m_pAgent->disconnect(this);
    delete ui;
}

bool CFormDevicesUpgrade::IsRunning() const
{
    return m_batch.IsRunning();
}

QTreeWidgetItem *CFormDevicesUpgrade::FindDevRow(const QString &strDispName) const
{
    return Velmora::FindTopLevelItem(ui->twDev, 1, ROLE_DISPNAME, strDispName);
}

QTreeWidgetItem *CFormDevicesUpgrade::FindDevRowByHost(const QString &strHostName) const
{
    return Velmora::FindTopLevelItem(ui->twDev, 0, ROLE_HOST, strHostName);
}

int CFormDevicesUpgrade::AddDev(T_BaseDevInfo stDevInfo)
{
    if (IsRunning() || FindDevRow(stDevInfo.strDispName))
        return 0;
    if (TypeOf(stDevInfo.strDispName) != ui->cbDevType->currentText()) {
        VLOG(lcUi) << "type" << ui->cbDevType->currentText() << "device" << stDevInfo.strDispName;
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Please select the same device!"));
        return -1;
    }
    if (Velmora::IsHttpHostModel(stDevInfo.strHostName) && m_httpAgent.AddDevice(stDevInfo) < 0)
        return -1;

    auto *pItem = new QTreeWidgetItem;
    pItem->setText(0, QString::number(ui->twDev->topLevelItemCount() + 1));
    pItem->setData(0, ROLE_HOST, stDevInfo.strHostName);
    pItem->setData(0, ROLE_ADDR, stDevInfo.strAddr);
    pItem->setData(0, ROLE_VERSION, stDevInfo.strDevVersion);
    pItem->setText(1, Velmora::DisplayText(stDevInfo.strDispName));
    pItem->setData(1, ROLE_DISPNAME, stDevInfo.strDispName);
    pItem->setToolTip(1, Velmora::PlainToolTip(stDevInfo.strDispName));
    ui->twDev->addTopLevelItem(pItem);

    auto *pButton = new QPushButton(tr("reboot"));
    pButton->setProperty("item", QVariant::fromValue(reinterpret_cast<quintptr>(pItem)));
    pButton->installEventFilter(this);
    pButton->setEnabled(false);
    connect(pButton, &QPushButton::clicked, this, &CFormDevicesUpgrade::slotReboot);
    ui->twDev->setItemWidget(pItem, 4, pButton);

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
    ui->twSysInfo->clear();
    ui->teLog->clear();
    m_stInfoDev = stDevInfo;
}

void CFormDevicesUpgrade::RequestHttpVersion(const T_BaseDevInfo &stDevInfo)
{
    m_httpAgent.QueryVersion(stDevInfo);
}

void CFormDevicesUpgrade::LoadModules()
{
    const QString strKey = m_pTypes->ModelOf(ui->cbDevType->currentText());
    ui->twModule->clear();
    const T_UpgradeConf stConf = ReadUpgradeConf(DefaultUpgradeConfPath(), strKey, E_MatchRule::Exact);
    if (stConf.eStatus == E_UpgradeConfStatus::NotExists) {
        CMsgBox::Show(this, QMessageBox::Critical, QString(),
                      tr("Upgrade config file '%1' not exists!").arg(stConf.strPath));
        return;
    }
    if (stConf.eStatus == E_UpgradeConfStatus::Invalid) {
        CMsgBox::Show(this, QMessageBox::Critical, QString(),
                      tr("Upgrade config file '%1' is invalid!").arg(stConf.strPath));
        return;
    }
    for (QPushButton *pButton : Velmora::AddModuleRows(ui->twModule, stConf.lstModules, tr("Open..."), this))
        connect(pButton, &QPushButton::clicked, this, &CFormDevicesUpgrade::slotSelectUpgradeFile);
}

QTreeWidgetItem *CFormDevicesUpgrade::ButtonRow(QTreeWidget *pTree, const QPushButton *pButton)
{
    if (!pButton)
        return nullptr;
    // The row's address kept on the button is only trusted once it is found among the rows
    // again: the row may be gone by the time the button is pressed.
    const quintptr uItem = pButton->property("item").value<quintptr>();
    for (int i = 0; i < pTree->topLevelItemCount(); ++i)
        if (reinterpret_cast<quintptr>(pTree->topLevelItem(i)) == uItem)
            return pTree->topLevelItem(i);
    return nullptr;
}

void CFormDevicesUpgrade::slotSelectUpgradeFile()
{
    auto *pButton = qobject_cast<QPushButton *>(sender());
    QTreeWidgetItem *pItem = ButtonRow(ui->twModule, pButton);
    if (!pItem)
        return;
    const QString strPath = Velmora::ChooseOpenFile(this);
    if (strPath.isEmpty())
        return;
    pItem->setText(1, strPath);
    pButton->setText(strPath.mid(strPath.lastIndexOf(QLatin1Char('/')) + 1));
    pButton->setToolTip(Velmora::PlainToolTip(strPath));
}

void CFormDevicesUpgrade::slotDevTypeChange(QString devType)
{
    m_httpAgent.Clear();
    m_strDevType = devType;
    ClearDevices();
    ui->twModule->clear();
    LoadModules();
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
    m_batch.SetDevices({});
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

void CFormDevicesUpgrade::RenumberRows()
{
    for (int i = 0; i < ui->twDev->topLevelItemCount(); ++i)
        ui->twDev->topLevelItem(i)->setText(0, QString::number(i + 1));
}

void CFormDevicesUpgrade::RemoveRow(QTreeWidgetItem *pItem)
{
    const QString strHost = pItem->data(0, ROLE_HOST).toString();
    m_batch.RemoveDevice(strHost);
    delete ui->twDev->takeTopLevelItem(ui->twDev->indexOfTopLevelItem(pItem));
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
    const QString strHost = pItem->data(0, ROLE_HOST).toString();
    if (Velmora::IsHttpHostModel(strHost) && !m_httpAgent.RemoveAt(m_httpAgent.IndexOf(strHost)))
        return;
    RemoveRow(pItem);
    RenumberRows();
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
    // The version selection empties the list too: not under a running batch.
    ui->cbDevVersion->setEnabled(bEnabled && !m_strDevType.isEmpty());
    if (bEnabled)
        slotCurrentDevChange();
}

void CFormDevicesUpgrade::SetRebootButtonsEnabled(bool bEnabled)
{
    for (int i = 0; i < ui->twDev->topLevelItemCount(); ++i)
        if (QWidget *pButton = ui->twDev->itemWidget(ui->twDev->topLevelItem(i), 4))
            pButton->setEnabled(bEnabled);
}

void CFormDevicesUpgrade::SetRunning(bool bRunning)
{
    SetBatchControlsEnabled(!bRunning);
    emit signalRunningChanged(bRunning);
}

void CFormDevicesUpgrade::on_pbStart_clicked()
{
    SetRebootButtonsEnabled(false);
    QList<T_BaseDevInfo> lstDevices;
    for (int i = 0; i < ui->twDev->topLevelItemCount(); ++i) {
        QTreeWidgetItem *pItem = ui->twDev->topLevelItem(i);
        T_BaseDevInfo st;
        st.strHostName = pItem->data(0, ROLE_HOST).toString();
        st.strAddr = pItem->data(0, ROLE_ADDR).toString();
        st.strDevVersion = pItem->data(0, ROLE_VERSION).toString();
        st.strDispName = pItem->data(1, ROLE_DISPNAME).toString();
        lstDevices.append(st);
        pItem->setToolTip(2, QString());
    }
    QList<T_BatchModule> lstModules;
    for (int i = 0; i < ui->twModule->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *pItem = ui->twModule->topLevelItem(i);
        lstModules.append({pItem->data(0, Qt::UserRole).toString(), pItem->text(0), pItem->text(1)});
    }
    m_batch.SetDevices(lstDevices);
    m_batch.SetModules(lstModules);
    switch (m_batch.Start()) {
    case CBatchUpgrade::START_OK:
        SetRunning(true);
        break;
    case CBatchUpgrade::START_NO_FILE:
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Select upgrade file first!"));
        break;
    case CBatchUpgrade::START_NO_DEVICES:
        CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Select upgrade devices first!"));
        break;
    case CBatchUpgrade::START_RUNNING:
        break;
    }
}

void CFormDevicesUpgrade::slotDeviceProgress(T_BaseDevInfo stDevInfo, int, QString strCurStep, int i32CurProgress,
                                             bool bError, bool)
{
    QTreeWidgetItem *pItem = FindDevRow(stDevInfo.strDispName);
    if (!pItem)
        return;
    if (bError) {
        pItem->setText(2, tr("Upgrade failed"));
        pItem->setText(3, QString());
        CMsgBox::Show(this, QMessageBox::Critical, QString(),
                      tr("'%1' Upgrade error occur!").arg(stDevInfo.strDispName));
        return;
    }
    pItem->setText(2, Velmora::DisplayText(strCurStep));
    pItem->setText(3, QStringLiteral("%1%").arg(i32CurProgress));
}

void CFormDevicesUpgrade::slotDeviceFailed(T_BaseDevInfo stDevInfo, int, QString, QString strReason)
{
    // Refusals and time-outs come without an error report: the row still says what happened.
    QTreeWidgetItem *pItem = FindDevRow(stDevInfo.strDispName);
    if (!pItem)
        return;
    pItem->setText(2, tr("Upgrade failed"));
    pItem->setText(3, QString());
    pItem->setToolTip(2, Velmora::PlainToolTip(strReason));
}

void CFormDevicesUpgrade::slotBatchFinished(int i32Successes, int i32Total, QStringList lstRebootHosts)
{
    SetRunning(false);
    SetRebootButtonsEnabled(true);
    CMsgBox::Show(this, QMessageBox::NoIcon, tr("upgradation summary"),
                  tr("succeeded: %1, total: %2.").arg(i32Successes).arg(i32Total));
    if (!ui->cbReboot->isChecked())
        return;
    for (const QString &strHost : lstRebootHosts) {
        if (QTreeWidgetItem *pItem = FindDevRowByHost(strHost))
            RemoveRow(pItem);
        emit signalDevReboot(strHost);
    }
    if (ui->twDev->topLevelItemCount() == 0)
        emit signalUpdateType();
    else
        RenumberRows();
}

void CFormDevicesUpgrade::slotReplyTimeOut()
{
    CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("upgrade failed!"));
    SetRunning(false);
}

void CFormDevicesUpgrade::slotModuleNotStarted()
{
    CMsgBox::Show(this, QMessageBox::Critical, QString(), tr("Select upgrade devices first!"));
    SetRunning(false);
    SetRebootButtonsEnabled(true);
}

void CFormDevicesUpgrade::slotReboot()
{
    auto *pButton = qobject_cast<QPushButton *>(sender());
    QTreeWidgetItem *pItem = ButtonRow(ui->twDev, pButton);
    if (!pItem || IsRunning())
        return;
    const QString strHost = pItem->data(0, ROLE_HOST).toString();
    // The button lives in the row: it goes with it, after this click has been handled.
    ui->twDev->removeItemWidget(pItem, 4);
    pButton->deleteLater();
    RemoveRow(pItem);
    emit signalDevReboot(strHost);
    if (ui->twDev->topLevelItemCount() == 0)
        emit signalUpdateType();
    else
        RenumberRows();
}

bool CFormDevicesUpgrade::IsInformationDevice(const T_BaseDevInfo &stDevInfo) const
{
    return !m_stInfoDev.strHostName.isEmpty() && stDevInfo.strHostName == m_stInfoDev.strHostName;
}

void CFormDevicesUpgrade::AbortInformationRequest()
{
    const QString strHost = m_stInfoDev.strHostName;
    if (strHost.isEmpty() || (IsRunning() && m_batch.BatchList().contains(strHost)))
        return;
    if (Velmora::HostNameStartsWithHttpModel(strHost))
        return; // the HTTP version request ends on its own; an abort would cut an upload
    m_pAgent->AbortCmd(strHost);
}

void CFormDevicesUpgrade::EndInformationRequest()
{
    m_timerRes.stop();
    if (m_bWaitingInfo)
        AbortInformationRequest();
    m_bWaitingInfo = false;
    setEnabled(true);
}

void CFormDevicesUpgrade::on_btnReadSysInfo_clicked()
{
    VLOG(lcUi) << m_stInfoDev.strHostName;
    ui->twSysInfo->clear();
    if (m_stInfoDev.strHostName.isEmpty())
        return;
    if (Velmora::HostNameStartsWithHttpModel(m_stInfoDev.strHostName)) {
        if (m_httpAgent.QueryVersion(m_stInfoDev) < 0)
            return;
    } else {
        const E_CmdResult eResult = m_pAgent->GetSysInfo(m_stInfoDev.strHostName);
        QString strStatus;
        switch (eResult) {
        case CMD_OK:
            break;
        case CMD_ERROR:
            strStatus = tr("param error");
            break;
        case CMD_NOT_SUPPORT:
            strStatus = tr("don't support this feature");
            break;
        case CMD_CONNECT_FAIL:
            strStatus = tr("send request failes");
            break;
        case CMD_BUSY:
            strStatus = tr("device is busying");
            break;
        }
        if (eResult != CMD_OK) {
            ui->twSysInfo->addTopLevelItem(new QTreeWidgetItem(QStringList{strStatus}));
            return;
        }
    }
    m_bWaitingInfo = true;
    setEnabled(false);
    m_timerRes.start(Velmora::ScaledMs(RESPONSE_TIMEOUT_MS));
}

void CFormDevicesUpgrade::slotDevVersion(T_BaseDevInfo stDevInfo, bool bError,
                                         CBaseMaintainSession::E_InfoDataType e32DataType, QByteArray strData)
{
    VLOG(lcUi) << stDevInfo.strHostName << bError << e32DataType << Velmora::Hex(strData.left(64));
    // Answers to the main window's requests after a search pass here too: only the
    // device this form shows is its business.
    if (!IsInformationDevice(stDevInfo))
        return;
    ui->twSysInfo->clear();
    EndInformationRequest();
    if (bError)
        return;
    if (Velmora::HostNameStartsWithHttpModel(stDevInfo.strHostName)) {
        emit signalHttpVersion(stDevInfo, false, e32DataType, strData);
        Velmora::AddInfoRows(ui->twSysInfo, HttpVersionRows(strData));
        return;
    }
    Velmora::AddInfoDocument(ui->twSysInfo, e32DataType != CBaseMaintainSession::INFO_XML, strData);
}

void CFormDevicesUpgrade::on_btnReadLog_clicked()
{
    ui->teLog->clear();
    if (m_stInfoDev.strHostName.isEmpty() || Velmora::HostNameStartsWithHttpModel(m_stInfoDev.strHostName))
        return;
    if (m_pAgent->DownloadLog(m_stInfoDev.strHostName) != CMD_OK)
        return;
    m_bWaitingInfo = true;
    setEnabled(false);
    m_timerRes.start(Velmora::ScaledMs(RESPONSE_TIMEOUT_MS));
}

void CFormDevicesUpgrade::slotOnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError, bool)
{
    if (!IsInformationDevice(stDevInfo))
        return;
    EndInformationRequest();
    if (!bError)
        ui->teLog->appendPlainText(QString::fromUtf8(strLogText));
}

void CFormDevicesUpgrade::slotResTimeOut()
{
    EndInformationRequest();
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
