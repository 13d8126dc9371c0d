#include "formmaintain.h"
#include "ui_formmaintain.h"

#include "batch/cbatchupgrade.h"
#include "clogview.h"
#include "cmsgbox.h"
#include "common/timescale.h"
#include "common/vlog.h"
#include "filechooser.h"
#include "http/chttpagent.h"
#include "modulerows.h"
#include "product/hostmodel.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"
#include "sysinfoitems.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

namespace
{
constexpr int REQUEST_MS = 30000;
constexpr int COL_FILE = 1;
constexpr int COL_STEP = 2;
constexpr int COL_PROGRESS = 3;
} // namespace

CFormMaintain::CFormMaintain(const T_BaseDevInfo &stDevInfo, CMaintainAgent *pAgent, QWidget *parent)
    : QWidget(parent), ui(new Ui::CFormMaintain), m_stDevInfo(stDevInfo), m_pAgent(pAgent)
{
    Velmora::RegisterMaintainMetaTypes();
    ui->setupUi(this);
    m_pLogView = std::make_unique<CLogView>(ui->teLog);
    connect(&m_timer, &QTimer::timeout, this, &CFormMaintain::slotOperationTimeout);
    connect(m_pAgent, &CMaintainAgent::OnSysInfoNotify, this, &CFormMaintain::slotOnSysInfoNotify);
    connect(m_pAgent, &CMaintainAgent::OnDownloadLogNotify, this, &CFormMaintain::slotOnDownloadLogNotify);

    m_pAgent->GetSysInfo(m_stDevInfo.strHostName);
    if (Velmora::IsHttpHostModel(m_stDevInfo.strHostName)) {
        m_pHttpAgent = new CHttpAgent(this);
        connect(m_pHttpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CFormMaintain::slotOnSysInfoNotify);
        m_pHttpAgent->QueryVersion(m_stDevInfo);
    }
    // The device's upgrades run on the batch engine, as a batch of one with the version read
    // back: the console program's --hosts runs the same rules and reports the same reasons.
    m_pRun = new CBatchUpgrade(m_pAgent, m_pHttpAgent, this);
    m_pRun->SetVersionCheck(true);
    connect(m_pRun, &CBatchUpgrade::signalModuleStarted, this, &CFormMaintain::slotRunModuleStarted);
    connect(m_pRun, &CBatchUpgrade::signalDeviceProgress, this, &CFormMaintain::slotRunProgress);
    connect(m_pRun, &CBatchUpgrade::signalDeviceStalled, this, [this] { m_bStalled = true; });
    connect(m_pRun, &CBatchUpgrade::signalDeviceFailed, this, &CFormMaintain::slotRunFailed);
    connect(m_pRun, &CBatchUpgrade::signalBatchFinished, this, &CFormMaintain::slotRunEnded);
    connect(m_pRun, &CBatchUpgrade::signalReplyTimeOut, this, &CFormMaintain::slotRunEnded);
    connect(m_pRun, &CBatchUpgrade::signalModuleNotStarted, this, &CFormMaintain::slotRunEnded);
    // The start-up read is not the operator's: its time-out says nothing, and it locks nothing.
    m_eOperation = OP_STARTUP;
    m_timer.start(Velmora::ScaledMs(REQUEST_MS));
    LoadModules();
}

CFormMaintain::~CFormMaintain()
{
    // Sessions and the upgrader may be inside their own signals right now (the window closed
    // from a message shown by one of our slots): nothing they still emit may reach us, the
    // session goes through the agent's deferred deletion, and the upgrader copes with being
    // deleted from its own signal.
    m_timer.stop();
    // The run first: it would otherwise abort through agents that are half gone.
    m_pRun->disconnect(this);
    delete m_pRun;
    m_pRun = nullptr;
    m_pAgent->disconnect(this);
    if (m_pHttpAgent) {
        m_pHttpAgent->disconnect(this);
        delete m_pHttpAgent;
        m_pHttpAgent = nullptr;
    }
    m_pAgent->RemoveSession(m_stDevInfo.strHostName);
    if (m_bBusy) {
        m_bBusy = false;
        emit signalRunningChanged(false);
    }
    delete ui;
}

void CFormMaintain::LoadModules()
{
    ui->btnStartUpgrade->setEnabled(false);
    ui->twUpgrade->clear();
    const T_UpgradeConf stConf =
        ReadUpgradeConf(DefaultUpgradeConfPath(), Velmora::ModelOfHostName(m_stDevInfo.strHostName));
    if (stConf.eStatus == E_UpgradeConfStatus::NotExists) {
        ShowError(tr("Upgrade config file '%1' not exists!").arg(stConf.strPath));
        return;
    }
    if (stConf.eStatus == E_UpgradeConfStatus::Invalid) {
        ShowError(tr("Upgrade config file '%1' is invalid!").arg(stConf.strPath));
        return;
    }
    if (!stConf.bDeviceFound)
        return;
    for (QPushButton *pButton : Velmora::AddModuleRows(ui->twUpgrade, stConf.lstModules, tr("Open..."), this))
        connect(pButton, &QPushButton::clicked, this, &CFormMaintain::slotSelectUpgradeFile);
    // Module names are the operator's only guide to which image goes where: shown whole.
    ui->twUpgrade->resizeColumnToContents(0);
    ui->btnStartUpgrade->setEnabled(true);
}

QTreeWidgetItem *CFormMaintain::ButtonRow(const QObject *pButton) const
{
    // Only compared, never followed: the button a menu action still names may be gone.
    if (!pButton)
        return nullptr;
    for (int i = 0; i < ui->twUpgrade->topLevelItemCount(); ++i) {
        QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(i);
        if (static_cast<const QObject *>(ui->twUpgrade->itemWidget(pItem, COL_FILE)) == pButton)
            return pItem;
    }
    return nullptr;
}

int CFormMaintain::NextRowWithFile(int i32From) const
{
    for (int i = qMax(0, i32From); i < ui->twUpgrade->topLevelItemCount(); ++i)
        if (!ui->twUpgrade->topLevelItem(i)->text(COL_FILE).isEmpty())
            return i;
    return -1;
}

void CFormMaintain::slotSelectUpgradeFile()
{
    const QObject *pSender = sender();
    if (!ButtonRow(pSender))
        return;
    const QPointer<CFormMaintain> self(this);
    const QString strPath = Velmora::ChooseOpenFile(this);
    // The dialog runs its own event loop: the form or the row may be gone when it returns.
    QTreeWidgetItem *pItem = self && !strPath.isEmpty() ? ButtonRow(pSender) : nullptr;
    if (!pItem)
        return;
    auto *pButton = static_cast<QPushButton *>(ui->twUpgrade->itemWidget(pItem, COL_FILE));
    pItem->setText(COL_FILE, strPath);
    pButton->setText(Velmora::DisplayText(strPath.mid(strPath.lastIndexOf(QLatin1Char('/')) + 1)));
    pButton->setToolTip(Velmora::PlainToolTip(strPath));
}

void CFormMaintain::slotRemoveUpgradeFile()
{
    auto *pAction = qobject_cast<QAction *>(sender());
    QTreeWidgetItem *pItem = pAction ? ButtonRow(pAction->data().value<QObject *>()) : nullptr;
    if (!pItem)
        return;
    auto *pButton = static_cast<QPushButton *>(ui->twUpgrade->itemWidget(pItem, COL_FILE));
    pItem->setText(COL_FILE, QString());
    pButton->setToolTip(QString());
    pButton->setText(tr("Open..."));
}

bool CFormMaintain::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pEvent->type() == QEvent::ContextMenu) {
        QTreeWidgetItem *pItem = ButtonRow(pWatched);
        if (pItem && !pItem->text(COL_FILE).isEmpty()) {
            QMenu menu(this);
            QAction *pRemove = menu.addAction(tr("Remove"));
            pRemove->setData(QVariant::fromValue(pWatched));
            connect(pRemove, &QAction::triggered, this, &CFormMaintain::slotRemoveUpgradeFile);
            menu.exec(static_cast<QContextMenuEvent *>(pEvent)->globalPos());
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CFormMaintain::SetControlsEnabled(bool bEnabled)
{
    ui->btnReadLog->setEnabled(bEnabled);
    ui->btnReadSysInfo->setEnabled(bEnabled);
    ui->btnStartUpgrade->setEnabled(bEnabled);
    for (int i = 0; i < ui->twUpgrade->topLevelItemCount(); ++i)
        if (QWidget *pButton = ui->twUpgrade->itemWidget(ui->twUpgrade->topLevelItem(i), COL_FILE))
            pButton->setEnabled(bEnabled);
    if (m_bBusy != !bEnabled) {
        m_bBusy = !bEnabled;
        emit signalRunningChanged(m_bBusy);
    }
}

void CFormMaintain::BeginOperation(E_Operation eOperation, int i32Ms)
{
    m_eOperation = eOperation;
    if (i32Ms > 0)
        m_timer.start(Velmora::ScaledMs(i32Ms));
    else
        m_timer.stop();
    SetControlsEnabled(false);
}

void CFormMaintain::EndOperation()
{
    m_timer.stop();
    m_eOperation = OP_NONE;
    SetControlsEnabled(true);
}

void CFormMaintain::ShowError(const QString &strText)
{
    CMsgBox::Show(this, QMessageBox::Critical, QString(), strText);
}

void CFormMaintain::FailRow(QTreeWidgetItem *pItem, const QString &strReason)
{
    pItem->setText(COL_STEP, tr("Upgrade failed"));
    pItem->setText(COL_PROGRESS, QString());
    pItem->setToolTip(COL_STEP, Velmora::PlainToolTip(strReason));
}

QString CFormMaintain::UpgradeFailureReason() const
{
    return m_pAgent->LastError(m_stDevInfo.strHostName);
}

void CFormMaintain::FollowAddress()
{
    // A search since the form opened may have found the device at another address; the
    // agent's entry is where it is now, for uploads and version reads alike.
    const int i32Index = m_pAgent->IndexOf(m_stDevInfo.strHostName);
    if (i32Index < 0 || m_pAgent->DeviceAt(i32Index).strAddr == m_stDevInfo.strAddr)
        return;
    m_stDevInfo.strAddr = m_pAgent->DeviceAt(i32Index).strAddr;
    if (m_pHttpAgent)
        m_pHttpAgent->AddDevice(m_stDevInfo);
}

void CFormMaintain::on_btnStartUpgrade_clicked()
{
    FollowAddress();
    const int i32Row = NextRowWithFile(0);
    if (i32Row < 0) {
        ShowError(tr("Select upgrade file first!"));
        return;
    }
    QList<T_BatchModule> lstModules;
    for (int i = 0; i < ui->twUpgrade->topLevelItemCount(); ++i) {
        QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(i);
        pItem->setToolTip(COL_STEP, QString());
        lstModules << T_BatchModule{pItem->data(0, Qt::UserRole).toString(), pItem->text(0), pItem->text(COL_FILE)};
    }
    m_i32CurRow = i32Row;
    // A web-server model takes the whole run over HTTP when it begins at the first row, and
    // through the Vaza session when it begins further down. The choice is this form's alone.
    m_pRun->SetVazaOnly(!m_pHttpAgent || i32Row != 0);
    m_pRun->SetDevices({m_stDevInfo});
    m_pRun->SetModules(lstModules);
    m_bStalled = false;
    BeginOperation(OP_UPGRADE, 0);
    VLOG(lcUi) << m_stDevInfo.strHostName << "from row" << i32Row;
    // Refusals of a device come as failures from inside this call; the run's end always comes
    // later. A run refused as a whole sends nothing.
    if (m_pRun->Start() == CBatchUpgrade::START_EMPTY_FILE) {
        EndOperation();
        ShowError(tr("Upgrade file '%1' is empty!").arg(QDir::toNativeSeparators(m_pRun->EmptyFile())));
    }
}

void CFormMaintain::slotRunModuleStarted(int i32Module)
{
    m_i32CurRow = i32Module;
}

void CFormMaintain::slotRunProgress(T_BaseDevInfo, int i32Module, QString strCurStep, int i32CurProgress, bool bError,
                                    bool)
{
    QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(i32Module);
    if (!pItem || bError)
        return;
    pItem->setText(COL_STEP, Velmora::DisplayText(strCurStep));
    pItem->setText(COL_PROGRESS, QStringLiteral("%1%").arg(i32CurProgress));
}

void CFormMaintain::slotRunFailed(T_BaseDevInfo, int i32Module, QString, QString strReason)
{
    if (QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(i32Module))
        FailRow(pItem, strReason);
    if (m_eOperation == OP_UPGRADE)
        EndOperation();
    // A module that stopped moving is marked on its row alone, as any operation's time-out is.
    if (m_bStalled)
        return;
    // A refused start says why in the words every face uses; any other failure sends the
    // operator to the row's tool tip.
    const bool bRefused = m_pRun->Refusal(m_stDevInfo.strHostName) != CMD_OK;
    ShowError(bRefused ? strReason : tr("'%1' Upgrade error occur!").arg(m_stDevInfo.strHostName));
}

void CFormMaintain::slotRunEnded()
{
    if (m_eOperation == OP_UPGRADE)
        EndOperation();
}

void CFormMaintain::on_btnReadSysInfo_clicked()
{
    FollowAddress();
    if (m_pHttpAgent) {
        // The version page answers quickly or not at all; nothing is locked for it.
        m_pHttpAgent->QueryVersion(m_stDevInfo);
        return;
    }
    const E_CmdResult eResult = m_pAgent->GetSysInfo(m_stDevInfo.strHostName);
    if (eResult == CMD_OK) {
        BeginOperation(OP_SYSINFO, REQUEST_MS);
        return;
    }
    ShowError(Velmora::CmdResultText(eResult, E_CmdKind::SysInfo, m_pAgent->LastError(m_stDevInfo.strHostName)));
}

void CFormMaintain::slotOnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError,
                                        CBaseMaintainSession::E_InfoDataType e32DataType, QByteArray strData)
{
    if (stDevInfo.strHostName != m_stDevInfo.strHostName)
        return;
    // An answer that comes while an upgrade or a log download runs (a late start-up read)
    // fills the tree but neither stops that operation's watchdog nor unlocks its controls.
    const bool bOurs = m_eOperation != OP_UPGRADE && m_eOperation != OP_LOG;
    ui->twSysInfo->clear();
    if (bOurs)
        EndOperation();
    if (bError) {
        if (bOurs)
            ShowError(tr("'%1' Get system info error occur!").arg(stDevInfo.strHostName));
        return;
    }
    // The version page comes from the upgrader only; a Vaza document of the same device is
    // never cut into "build time" and "version".
    if (m_pHttpAgent && sender() == m_pHttpAgent) {
        Velmora::AddInfoRows(ui->twSysInfo, HttpVersionRows(strData));
        ui->twSysInfo->expandAll();
    } else if (e32DataType == CBaseMaintainSession::INFO_XML || e32DataType == CBaseMaintainSession::INFO_JSON) {
        Velmora::AddInfoDocument(ui->twSysInfo, e32DataType == CBaseMaintainSession::INFO_JSON, strData);
    }
}

void CFormMaintain::on_btnReadLog_clicked()
{
    m_pLogView->Clear();
    const E_CmdResult eResult = m_pAgent->DownloadLog(m_stDevInfo.strHostName);
    if (eResult == CMD_OK) {
        BeginOperation(OP_LOG, REQUEST_MS);
        return;
    }
    ShowError(Velmora::CmdResultText(eResult, E_CmdKind::Log, m_pAgent->LastError(m_stDevInfo.strHostName)));
}

void CFormMaintain::slotOnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError, bool bFinished)
{
    if (stDevInfo.strHostName != m_stDevInfo.strHostName || m_eOperation != OP_LOG)
        return;
    ui->btnReadLog->setEnabled(bFinished);
    if (bError) {
        EndOperation();
        ShowError(tr("'%1' Download log error occur!").arg(stDevInfo.strHostName));
        return;
    }
    if (bFinished)
        EndOperation();
    else
        m_timer.start();
    m_pLogView->Append(strLogText);
}

void CFormMaintain::slotOperationTimeout()
{
    VLOG(lcUi) << m_stDevInfo.strHostName << m_eOperation;
    const int eRunning = m_pAgent->AbortCmd(m_stDevInfo.strHostName);
    const E_Operation eOperation = m_eOperation;
    EndOperation();
    if (eOperation == OP_STARTUP)
        return;
    if (eRunning == CUR_UPGRADE) {
        if (QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(m_i32CurRow)) {
            pItem->setText(COL_STEP, tr("Upgrade failed"));
            pItem->setToolTip(COL_STEP, Velmora::PlainToolTip(UpgradeFailureReason()));
            return;
        }
    }
    ShowError(tr("'%1' operation timeout!").arg(m_stDevInfo.strHostName));
}
