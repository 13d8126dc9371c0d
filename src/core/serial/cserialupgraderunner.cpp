#include "serial/cserialupgraderunner.h"

#include "batch/cbatchupgrade.h"
#include "common/timescale.h"
#include "common/vlog.h"
#include "serial/cserialmaintain.h"

#include <QCoreApplication>
#include <QPointer>

namespace
{
const QString kDevice = QString::fromLatin1(CSerialMaintain::MCU_MODULE);

enum E_Limit { LIMIT_ANSWER, LIMIT_REPORT, LIMIT_PROGRESS };

QString TimeOutReason(E_Limit eLimit, int i32LimitMs)
{
    const int i32S = i32LimitMs / 1000;
    switch (eLimit) {
    case LIMIT_ANSWER:
        return QCoreApplication::translate("CSerialUpgradeRunner", "operation timeout: no answer within %1 s")
            .arg(i32S);
    case LIMIT_REPORT:
        return QCoreApplication::translate("CSerialUpgradeRunner", "operation timeout: no report within %1 s")
            .arg(i32S);
    case LIMIT_PROGRESS:
        break;
    }
    return QCoreApplication::translate("CSerialUpgradeRunner", "operation timeout: no progress for %1 s").arg(i32S);
}
} // namespace

CSerialUpgradeRunner::CSerialUpgradeRunner(const QString &strPort, quint32 u32Baud, QObject *parent)
    : QObject(parent), m_strPort(strPort), m_u32Baud(u32Baud), m_stallWatch(CBatchUpgrade::MODULE_LIMIT_MS)
{
    Velmora::RegisterMaintainMetaTypes();
    qRegisterMetaType<CSerialUpgradeRunner::T_Result>("CSerialUpgradeRunner::T_Result");
    m_timerWatchdog.setSingleShot(true);
    connect(&m_timerWatchdog, &QTimer::timeout, this, &CSerialUpgradeRunner::slotOnTimeout);
    connect(&m_stallWatch, &CProgressWatch::signalStalled, this, &CSerialUpgradeRunner::slotOnStalled);
}

CSerialUpgradeRunner::~CSerialUpgradeRunner()
{
    CloseSession();
}

void CSerialUpgradeRunner::OpenSession()
{
    CloseSession();
    T_BaseDevInfo stDev;
    stDev.strHostName = kDevice;
    stDev.strAddr = m_strPort;
    stDev.u32Port = m_u32Baud;
    m_pSession = new CSerialMaintain(stDev);
    connect(m_pSession, &CBaseMaintainSession::OnUpgradeNotify, this, &CSerialUpgradeRunner::slotOnUpgradeNotify);
    connect(m_pSession, &CBaseMaintainSession::OnVersionQueryNotify, this,
            &CSerialUpgradeRunner::slotOnVersionQueryNotify);
}

void CSerialUpgradeRunner::CloseSession()
{
    CSerialMaintain *pSession = m_pSession;
    m_pSession = nullptr;
    if (!pSession)
        return;
    pSession->disconnect(this);
    // Deleted now, not later: the port is closed at once, so the next operation (or another
    // program) can open it; the session copes with being deleted inside its port's signals.
    delete pSession;
}

QString CSerialUpgradeRunner::RefusalReason(E_CmdResult eResult) const
{
    const QString strLast = m_pSession ? m_pSession->LastError() : QString();
    switch (eResult) {
    case CMD_CONNECT_FAIL:
        return strLast.isEmpty() ? tr("serial port is not open") : strLast;
    case CMD_BUSY:
        return tr("busy");
    case CMD_NOT_SUPPORT:
        return tr("not supported");
    default:
        return strLast.isEmpty() ? tr("refused") : strLast;
    }
}

E_CmdResult CSerialUpgradeRunner::QueryVersion()
{
    if (IsRunning())
        return CMD_BUSY;
    m_stResult = T_Result();
    m_stResult.strStep = QStringLiteral("version");
    OpenSession();
    return Begin(PHASE_QUERY, m_pSession->QueryVersion(QByteArray(CSerialMaintain::MCU_MODULE), 0));
}

E_CmdResult CSerialUpgradeRunner::StartUpgrade(const QString &strFilePath)
{
    if (IsRunning())
        return CMD_BUSY;
    m_stResult = T_Result();
    m_stResult.bUpgrade = true;
    m_stResult.strStep = QStringLiteral("start");
    OpenSession();
    return Begin(PHASE_UPGRADE, m_pSession->StartUpgrade({kDevice, 0, strFilePath}));
}

E_CmdResult CSerialUpgradeRunner::Begin(E_Phase ePhase, E_CmdResult eStarted)
{
    if (eStarted != CMD_OK) {
        m_stResult.eResult = RESULT_FAILED;
        m_stResult.strReason = RefusalReason(eStarted);
        CloseSession();
        return eStarted;
    }
    m_ePhase = ePhase;
    m_bReported = false;
    m_timerWatchdog.start(Velmora::ScaledMs(CSerialMaintain::ANSWER_MS));
    if (ePhase == PHASE_UPGRADE)
        m_stallWatch.Watch(kDevice);
    return CMD_OK;
}

void CSerialUpgradeRunner::slotOnUpgradeNotify(T_BaseDevInfo, T_UpgradeInfo, QString strCurStep, bool bError,
                                               bool bFinished, int i32CurProgress)
{
    if (m_ePhase != PHASE_UPGRADE)
        return;
    m_stResult.strStep = strCurStep;
    m_bReported = true;
    if (bError) {
        const QString strReason = m_pSession ? m_pSession->LastError() : QString();
        Finish(RESULT_FAILED, strReason.isEmpty() ? tr("failed") : strReason);
        return;
    }
    if (bFinished) {
        m_stallWatch.Clear();
        m_timerWatchdog.stop();
        m_ePhase = PHASE_READ_BACK;
    } else {
        // Any report keeps the line alive; only one that moves keeps the upgrade alive.
        m_stallWatch.Report(kDevice, strCurStep, i32CurProgress);
        m_timerWatchdog.start(Velmora::ScaledMs(CSerialMaintain::REPORT_GAP_MS));
    }
    QPointer<CSerialUpgradeRunner> guard(this);
    emit signalProgress(strCurStep, i32CurProgress);
    if (guard && bFinished && m_ePhase == PHASE_READ_BACK)
        ReadBack();
}

void CSerialUpgradeRunner::ReadBack()
{
    // The version is asked on the same session: the port stays as the upgrade left it.
    const E_CmdResult eResult = m_pSession->QueryVersion(QByteArray(CSerialMaintain::MCU_MODULE), 0);
    if (eResult != CMD_OK) {
        Finish(RESULT_VERSION_UNREAD, RefusalReason(eResult));
        return;
    }
    m_timerWatchdog.start(Velmora::ScaledMs(CSerialMaintain::ANSWER_MS));
}

void CSerialUpgradeRunner::slotOnVersionQueryNotify(T_BaseDevInfo, bool bError, QByteArray, UInt32,
                                                    QByteArray strVersion)
{
    if (m_ePhase != PHASE_QUERY && m_ePhase != PHASE_READ_BACK) {
        // Left on the line by an earlier session: it must not end an upgrade.
        VLOG(lcSerial) << "version answer nobody waits for, dropped";
        return;
    }
    if (!bError)
        Finish(RESULT_OK, QString(), strVersion);
    else
        Finish(m_ePhase == PHASE_READ_BACK ? RESULT_VERSION_UNREAD : RESULT_FAILED,
               tr("the controller refused the query"));
}

void CSerialUpgradeRunner::slotOnTimeout()
{
    switch (m_ePhase) {
    case PHASE_QUERY:
        Finish(RESULT_TIMEOUT, TimeOutReason(LIMIT_ANSWER, CSerialMaintain::ANSWER_MS));
        break;
    case PHASE_READ_BACK:
        // The controller said the upgrade completed; a silent version read does not undo it.
        Finish(RESULT_VERSION_UNREAD, TimeOutReason(LIMIT_ANSWER, CSerialMaintain::ANSWER_MS));
        break;
    case PHASE_UPGRADE:
        Finish(RESULT_TIMEOUT,
               TimeOutReason(LIMIT_REPORT, m_bReported ? CSerialMaintain::REPORT_GAP_MS : CSerialMaintain::ANSWER_MS));
        break;
    case PHASE_IDLE:
        break;
    }
}

void CSerialUpgradeRunner::slotOnStalled()
{
    if (m_ePhase == PHASE_UPGRADE)
        Finish(RESULT_TIMEOUT, TimeOutReason(LIMIT_PROGRESS, m_stallWatch.LimitMs()));
}

void CSerialUpgradeRunner::Finish(E_Result eResult, const QString &strReason, const QByteArray &baVersion)
{
    VLOG(lcSerial) << eResult << m_stResult.strStep << strReason;
    m_timerWatchdog.stop();
    m_stallWatch.Clear();
    m_ePhase = PHASE_IDLE;
    m_stResult.eResult = eResult;
    m_stResult.strReason = strReason;
    m_stResult.baVersion = baVersion;
    // A time-out leaves the controller mid-step: closing the port also stops the session's
    // resends and polls, and the next operation starts on a newly opened port.
    CloseSession();
    emit signalFinished(m_stResult);
}
