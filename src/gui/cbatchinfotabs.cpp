#include "cbatchinfotabs.h"

#include "batch/crollout.h"
#include "clogview.h"
#include "common/timescale.h"
#include "common/vlog.h"
#include "http/chttpagent.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"
#include "sysinfoitems.h"

#include <QPlainTextEdit>
#include <QTreeWidget>

namespace
{
constexpr int RESPONSE_TIMEOUT_MS = 5000;
} // namespace

CBatchInfoTabs::CBatchInfoTabs(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, const CRollout *pRollout,
                               QTreeWidget *pSysInfo, QPlainTextEdit *pLog, QWidget *pLocked, QObject *parent)
    : QObject(parent), m_pAgent(pAgent), m_pHttpAgent(pHttpAgent), m_pRollout(pRollout), m_pSysInfo(pSysInfo),
      m_pLocked(pLocked), m_pLogView(std::make_unique<CLogView>(pLog))
{
    m_pSysInfo->setColumnWidth(0, 160);
    m_timerRes.setSingleShot(true);
    connect(m_pHttpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CBatchInfoTabs::slotDevVersion);
    connect(m_pAgent, &CMaintainAgent::OnSysInfoNotify, this, &CBatchInfoTabs::slotDevVersion);
    connect(m_pAgent, &CMaintainAgent::OnDownloadLogNotify, this, &CBatchInfoTabs::slotOnDownloadLogNotify);
    connect(&m_timerRes, &QTimer::timeout, this, &CBatchInfoTabs::slotResTimeOut);
}

void CBatchInfoTabs::SetDevice(const T_BaseDevInfo &stDevInfo)
{
    m_pSysInfo->clear();
    m_pLogView->Clear();
    m_stInfoDev = stDevInfo;
}

bool CBatchInfoTabs::IsInformationDevice(const T_BaseDevInfo &stDevInfo) const
{
    return !m_stInfoDev.strHostName.isEmpty() && stDevInfo.strHostName == m_stInfoDev.strHostName;
}

void CBatchInfoTabs::AbortInformationRequest()
{
    const QString strHost = m_stInfoDev.strHostName;
    // Only the running wave's devices are being upgraded; a later wave's are not yet touched.
    const CBatchUpgrade *pBatch = m_pRollout->Batch();
    if (strHost.isEmpty() || (pBatch && pBatch->IsRunning() && pBatch->BatchList().contains(strHost)))
        return;
    if (Velmora::IsHttpHostModel(strHost))
        return; // the HTTP version request ends on its own; an abort would cut an upload
    m_pAgent->AbortCmd(strHost);
}

bool CBatchInfoTabs::InRunningRollout() const
{
    return m_pRollout->IsRunning() && m_pRollout->Wave(m_stInfoDev.strHostName) >= 0;
}

void CBatchInfoTabs::WaitForAnswer()
{
    m_bWaitingInfo = true;
    m_pLocked->setEnabled(false);
    m_timerRes.start(Velmora::ScaledMs(RESPONSE_TIMEOUT_MS));
}

void CBatchInfoTabs::EndInformationRequest()
{
    m_timerRes.stop();
    if (m_bWaitingInfo)
        AbortInformationRequest();
    m_bWaitingInfo = false;
    m_pLocked->setEnabled(true);
}

void CBatchInfoTabs::ReadSysInfo()
{
    VLOG(lcUi) << m_stInfoDev.strHostName;
    m_pSysInfo->clear();
    if (m_stInfoDev.strHostName.isEmpty())
        return;
    if (Velmora::IsHttpHostModel(m_stInfoDev.strHostName)) {
        if (m_pHttpAgent->QueryVersion(m_stInfoDev) < 0)
            return;
    } else {
        // A device of a running rollout may get its place or its wave at any moment: a
        // request of ours would then have its upgrade refused as busy.
        const E_CmdResult eResult = InRunningRollout() ? CMD_BUSY : m_pAgent->GetSysInfo(m_stInfoDev.strHostName);
        if (eResult != CMD_OK) {
            const QString strStatus =
                Velmora::CmdResultText(eResult, E_CmdKind::SysInfo, m_pAgent->LastError(m_stInfoDev.strHostName));
            m_pSysInfo->addTopLevelItem(new QTreeWidgetItem(QStringList{strStatus}));
            return;
        }
    }
    WaitForAnswer();
}

void CBatchInfoTabs::slotDevVersion(T_BaseDevInfo stDevInfo, bool bError,
                                    CBaseMaintainSession::E_InfoDataType e32DataType, QByteArray strData)
{
    VLOG(lcUi) << stDevInfo.strHostName << bError << e32DataType << Velmora::Hex(strData.left(64));
    // Answers to the main window's requests after a search pass here too: only the
    // device these tabs show is their business.
    if (!IsInformationDevice(stDevInfo))
        return;
    m_pSysInfo->clear();
    EndInformationRequest();
    if (bError)
        return;
    if (Velmora::IsHttpHostModel(stDevInfo.strHostName)) {
        emit signalHttpVersion(stDevInfo, false, e32DataType, strData);
        Velmora::AddInfoRows(m_pSysInfo, HttpVersionRows(strData));
        return;
    }
    Velmora::AddInfoDocument(m_pSysInfo, e32DataType != CBaseMaintainSession::INFO_XML, strData);
}

CBatchInfoTabs::~CBatchInfoTabs() = default;

void CBatchInfoTabs::ReadLog()
{
    m_pLogView->Clear();
    if (m_stInfoDev.strHostName.isEmpty() || Velmora::IsHttpHostModel(m_stInfoDev.strHostName))
        return;
    if (InRunningRollout() || m_pAgent->DownloadLog(m_stInfoDev.strHostName) != CMD_OK)
        return;
    WaitForAnswer();
}

void CBatchInfoTabs::slotOnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError,
                                             bool bFinished)
{
    if (!IsInformationDevice(stDevInfo))
        return;
    // A log arrives in chunks: only its end or an error ends the request, and every chunk
    // shows the download is still moving.
    if (bError || bFinished) {
        EndInformationRequest();
        return;
    }
    m_timerRes.start(Velmora::ScaledMs(RESPONSE_TIMEOUT_MS));
    m_pLogView->Append(strLogText);
}

void CBatchInfoTabs::slotResTimeOut()
{
    EndInformationRequest();
}
