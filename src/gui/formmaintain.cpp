#include "formmaintain.h"
#include "ui_formmaintain.h"

#include "batch/cbatchupgrade.h"
#include "cmsgbox.h"
#include "common/timescale.h"
#include "common/vlog.h"
#include "filechooser.h"
#include "http/chttpupgrade.h"
#include "modulerows.h"
#include "product/hostmodel.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"
#include "sysinfoitems.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QContextMenuEvent>
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
    : QWidget(parent), ui(new Ui::CFormMaintain), m_stDevInfo(stDevInfo), m_pAgent(pAgent),
      m_upgradeWatch(CBatchUpgrade::MODULE_LIMIT_MS)
{
    Velmora::RegisterMaintainMetaTypes();
    ui->setupUi(this);
    connect(&m_timer, &QTimer::timeout, this, &CFormMaintain::slotOperationTimeout);
    connect(&m_upgradeWatch, &CProgressWatch::signalStalled, this, &CFormMaintain::slotOperationTimeout);
    connect(m_pAgent, &CMaintainAgent::OnUpgradeNotify, this, &CFormMaintain::slotOnUpgradeNotify);
    connect(m_pAgent, &CMaintainAgent::OnSysInfoNotify, this, &CFormMaintain::slotOnSysInfoNotify);
    connect(m_pAgent, &CMaintainAgent::OnDownloadLogNotify, this, &CFormMaintain::slotOnDownloadLogNotify);

    m_pAgent->GetSysInfo(m_stDevInfo.strHostName);
    if (Velmora::IsHttpHostModel(m_stDevInfo.strHostName)) {
        m_pHttp = new CHttpUpgrade(m_stDevInfo, this);
        connect(m_pHttp, &CHttpUpgrade::signalHttpUpgradeNotify, this, &CFormMaintain::slotOnUpgradeNotify);
        connect(m_pHttp, &CHttpUpgrade::signalHttpVersionNotify, this, &CFormMaintain::slotOnSysInfoNotify);
        m_pHttp->QueryVersion();
    }
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
    m_pAgent->disconnect(this);
    if (m_pHttp) {
        m_pHttp->disconnect(this);
        delete m_pHttp;
        m_pHttp = nullptr;
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
    m_upgradeWatch.Clear();
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
    return m_bHttpRun ? m_pHttp->LastError() : m_pAgent->LastError(m_stDevInfo.strHostName);
}

void CFormMaintain::on_btnStartUpgrade_clicked()
{
    m_i32CurRow = 0;
    const int i32Row = NextRowWithFile(m_i32CurRow);
    if (i32Row < 0) {
        ShowError(tr("Select upgrade file first!"));
        return;
    }
    m_i32CurRow = i32Row;
    m_i32StartRow = i32Row;
    // A web-server model takes the whole run over HTTP when it begins at the first row, and
    // through the Vaza session when it begins further down.
    m_bHttpRun = m_pHttp && m_i32StartRow == 0;
    const QString strRefusal = AttemptModule(i32Row);
    if (!strRefusal.isEmpty())
        ShowError(strRefusal);
}

QString CFormMaintain::AttemptModule(int i32Row)
{
    QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(i32Row);
    T_UpgradeInfo stUpgradeInfo;
    stUpgradeInfo.strDevAddr = pItem->data(0, Qt::UserRole).toString();
    stUpgradeInfo.u32DevPort = 0;
    stUpgradeInfo.strFilePath = pItem->text(COL_FILE);
    pItem->setToolTip(COL_STEP, QString());
    VLOG(lcUi) << m_stDevInfo.strHostName << "row" << i32Row << stUpgradeInfo.strDevAddr
               << (m_bHttpRun ? "http" : "vaza");

    // Every module is bounded on both routes by the batch's silence limit: a device that never
    // ends its installation must not hold the form for ever, and only progress that moves
    // keeps it going.
    BeginOperation(OP_UPGRADE, 0);
    m_upgradeWatch.Watch(m_stDevInfo.strHostName);
    if (m_bHttpRun) {
        // The upgrader reports its first step from inside the call.
        const QPointer<CFormMaintain> self(this);
        const bool bStarted = m_pHttp->StartUpgrade(stUpgradeInfo.strFilePath, stUpgradeInfo);
        if (!self || bStarted)
            return QString();
        FailRow(pItem, m_pHttp->LastError());
        EndOperation();
        return tr("'%1' Upgrade error occur!").arg(m_stDevInfo.strHostName);
    }
    const E_CmdResult eResult = m_pAgent->StartUpgrade(m_stDevInfo.strHostName, stUpgradeInfo);
    if (eResult == CMD_OK)
        return QString();
    EndOperation();
    return Velmora::CmdResultText(eResult, E_CmdKind::Upgrade, m_pAgent->LastError(m_stDevInfo.strHostName));
}

void CFormMaintain::slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo, QString strCurStep, bool bError,
                                        bool bFinished, int i32CurProgress)
{
    if (stDevInfo.strHostName != m_stDevInfo.strHostName || m_eOperation != OP_UPGRADE)
        return;
    // Only the channel the run goes through speaks for it; a late report from a module that
    // timed out, or from the other channel, changes nothing.
    const QObject *pExpected = m_bHttpRun ? static_cast<QObject *>(m_pHttp) : static_cast<QObject *>(m_pAgent);
    if (sender() != pExpected)
        return;
    QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(m_i32CurRow);
    if (!pItem)
        return;
    if (bError) {
        FailRow(pItem, UpgradeFailureReason());
        EndOperation();
        ShowError(tr("'%1' Upgrade error occur!").arg(stDevInfo.strHostName));
        return;
    }
    pItem->setText(COL_STEP, Velmora::DisplayText(strCurStep));
    pItem->setText(COL_PROGRESS, QStringLiteral("%1%").arg(i32CurProgress));
    if (!bFinished) {
        m_upgradeWatch.Report(stDevInfo.strHostName, strCurStep, i32CurProgress);
        return;
    }

    m_upgradeWatch.Clear();
    const int i32Next = NextRowWithFile(m_i32CurRow + 1);
    if (i32Next < 0) {
        m_i32CurRow = ui->twUpgrade->topLevelItemCount();
        EndOperation();
        return;
    }
    m_i32CurRow = i32Next;
    const QString strRefusal = AttemptModule(i32Next);
    if (!strRefusal.isEmpty())
        ShowError(strRefusal);
}

void CFormMaintain::on_btnReadSysInfo_clicked()
{
    if (m_pHttp) {
        // The version page answers quickly or not at all; nothing is locked for it.
        m_pHttp->QueryVersion();
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
    if (m_pHttp && sender() == m_pHttp) {
        Velmora::AddInfoRows(ui->twSysInfo, HttpVersionRows(strData));
        ui->twSysInfo->expandAll();
    } else if (e32DataType == CBaseMaintainSession::INFO_XML || e32DataType == CBaseMaintainSession::INFO_JSON) {
        Velmora::AddInfoDocument(ui->twSysInfo, e32DataType == CBaseMaintainSession::INFO_JSON, strData);
    }
}

void CFormMaintain::on_btnReadLog_clicked()
{
    ui->teLog->clear();
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
    ui->teLog->appendPlainText(QString::fromUtf8(strLogText));
}

void CFormMaintain::slotOperationTimeout()
{
    VLOG(lcUi) << m_stDevInfo.strHostName << m_eOperation;
    const int eRunning = m_pAgent->AbortCmd(m_stDevInfo.strHostName);
    const E_Operation eOperation = m_eOperation;
    if (eOperation == OP_UPGRADE && m_bHttpRun)
        m_pHttp->Abort();
    EndOperation();
    if (eOperation == OP_STARTUP)
        return;
    if (eOperation == OP_UPGRADE || eRunning == CUR_UPGRADE) {
        if (QTreeWidgetItem *pItem = ui->twUpgrade->topLevelItem(m_i32CurRow)) {
            pItem->setText(COL_STEP, tr("Upgrade failed"));
            pItem->setToolTip(COL_STEP, Velmora::PlainToolTip(UpgradeFailureReason()));
            return;
        }
    }
    ShowError(tr("'%1' operation timeout!").arg(m_stDevInfo.strHostName));
}
