#include "batch/cbatchupgrade.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "http/chttpagent.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"

#include <QPointer>

namespace
{
// Where a device is told nothing happened yet: it was turned away at the start of a module.
const QString STEP_START = QStringLiteral("start");
const QString STEP_VERSION = QStringLiteral("version");
} // namespace

CBatchUpgrade::CBatchUpgrade(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent)
    : QObject(parent), m_pAgent(pAgent), m_pHttpAgent(pHttpAgent)
{
    Velmora::RegisterMaintainMetaTypes();
    m_timerReply.setSingleShot(true);
    connect(&m_timerReply, &QTimer::timeout, this, &CBatchUpgrade::slotReplyTimerOut);
    connect(&m_watch, &CProgressWatch::signalStalled, this, &CBatchUpgrade::slotStalled);
    connect(&m_readBack, &CVersionReadBack::signalRead, this, &CBatchUpgrade::slotVersionRead);
    connect(&m_pacer, &CStartPacer::signalStart, this, &CBatchUpgrade::StartDevice);
    connect(m_pAgent, &CMaintainAgent::OnUpgradeNotify, this, &CBatchUpgrade::slotOnUpgradeNotify);
    if (m_pHttpAgent) {
        connect(m_pHttpAgent, &CHttpAgent::signalHttpUpgradeNotify, this, &CBatchUpgrade::slotOnHttpUpgradeNotify);
    }
}

CBatchUpgrade::~CBatchUpgrade() = default;

bool CBatchUpgrade::SetDevices(const QList<T_BaseDevInfo> &lstDevices)
{
    if (m_bRunning)
        return false;
    m_ledger.SetDevices(lstDevices);
    return true;
}

bool CBatchUpgrade::SetModules(const QList<T_BatchModule> &lstModules)
{
    if (m_bRunning)
        return false;
    m_modules.Set(lstModules);
    return true;
}

void CBatchUpgrade::SetVersionCheck(bool bCheck, const QString &strExpected)
{
    m_bVersionCheck = bCheck;
    m_strExpectedVersion = strExpected;
}

CBatchUpgrade::E_StartResult CBatchUpgrade::Start()
{
    if (m_bRunning)
        return START_RUNNING;
    m_ledger.BeginBatch();
    m_i32CurModule = 0;
    m_bStopRequested = false;
    const int i32First = m_modules.NextWithFile(0);
    if (i32First < 0)
        return START_NO_FILE;
    if (m_ledger.Devices().isEmpty())
        return START_NO_DEVICES;
    const QString strEmptyFile = m_modules.EmptyFile();
    if (!strEmptyFile.isEmpty()) {
        m_strEmptyFile = strEmptyFile;
        return START_EMPTY_FILE;
    }
    m_channel.Choose(m_bVazaOnly, m_ledger.Batch().first());
    if (!m_channel.IsHttp()) // only a Vaza session tells its device the image's checksum
        m_modules.PrepareChecksums();
    m_bRunning = true;
    m_pacer.SetOpen(true);
    // Armed before the first request: a channel may report from inside its start call.
    m_timerReply.start(Velmora::ScaledMs(REPLY_TIMEOUT_MS));
    StartModule(i32First);
    return START_OK;
}

bool CBatchUpgrade::StartModule(int i32Module)
{
    m_ledger.BeginPass();
    if (m_ledger.Devices().isEmpty())
        return false;
    m_i32CurModule = i32Module;
    ++m_i32Pass;
    m_readBack.Clear();
    const T_BatchModule &stModule = m_modules.List().at(i32Module);
    VLOG(lcSession) << "module" << i32Module << stModule.strId << stModule.strFilePath << "on" << m_ledger.Batch()
                    << (m_channel.IsHttp() ? "over HTTP" : "over Vaza");
    m_watch.Clear();
    m_queue.Begin(m_ledger.Batch());

    QPointer<CBatchUpgrade> self(this);
    ++m_i32Hold;
    emit signalModuleStarted(i32Module);
    if (!self)
        return true;
    m_pacer.StartQueued();
    if (!self)
        return true;
    if (m_bRunning) {
        // Those that start on the next turns do not wait for a place: only the rest are told.
        int i32Soon = m_queue.FreeSlots();
        const QStringList lstHosts = m_ledger.Batch();
        for (const QString &strHost : lstHosts) {
            if (m_ledger.State(strHost) != CBatchLedger::DEV_WAITING || i32Soon-- > 0)
                continue;
            emit signalDeviceWaiting(m_ledger.Device(strHost), i32Module);
            if (!self)
                return true;
        }
    }
    --m_i32Hold;
    // Tested on the next turn: a pass that ended inside this call (every device refused)
    // must not announce the end of the batch before the caller has heard it started.
    QTimer::singleShot(0, this, [this] { TestPass(); });
    return true;
}

void CBatchUpgrade::StartDevice(const QString &strHost)
{
    // Removed or stopped while it waited.
    if (!m_bRunning || m_ledger.State(strHost) != CBatchLedger::DEV_WAITING) {
        m_queue.Ended(strHost);
        return;
    }
    m_ledger.StartWorking(strHost);
    m_watch.Watch(strHost);
    QPointer<CBatchUpgrade> self(this);
    const int i32Result = m_channel.Start(strHost, m_modules.UpgradeInfo(m_i32CurModule));
    if (!self || i32Result == 0 || !m_ledger.IsActive(strHost))
        return;
    QString strReason = m_channel.LastError(strHost);
    if (!m_channel.IsHttp()) {
        const auto eResult = static_cast<E_CmdResult>(i32Result);
        m_ledger.SetRefusal(strHost, eResult);
        strReason = Velmora::CmdResultText(eResult, E_CmdKind::Upgrade, strReason);
    } else if (strReason.isEmpty()) {
        strReason = i32Result == 1 ? tr("device not registered for HTTP upgrade") : tr("upload refused");
    }
    Fail(strHost, STEP_START, strReason);
}

void CBatchUpgrade::slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo, QString strCurStep, bool bError,
                                        bool bFinished, int i32CurProgress)
{
    OnReport(false, stDevInfo, strCurStep, bError, bFinished, i32CurProgress);
}

void CBatchUpgrade::slotOnHttpUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo, QString strCurStep, bool bError,
                                            bool bFinished, int i32CurProgress)
{
    OnReport(true, stDevInfo, strCurStep, bError, bFinished, i32CurProgress);
}

void CBatchUpgrade::OnReport(bool bFromHttp, const T_BaseDevInfo &stDevInfo, const QString &strCurStep, bool bError,
                             bool bFinished, int i32CurProgress)
{
    const QString strHost = stDevInfo.strHostName;
    // Reports of other users of the shared agents, of devices that already ended this
    // module, and of a batch that is over are none of ours.
    if (!m_bRunning || bFromHttp != m_channel.IsHttp() || m_ledger.State(strHost) != CBatchLedger::DEV_WORKING)
        return;
    VLOG(lcSession) << strHost << strCurStep << bError << bFinished << i32CurProgress;
    m_timerReply.stop();
    // Past its upload the device holds the image: from here a failure is never tried again.
    m_ledger.Reported(strHost, strCurStep, bError, bFinished);
    m_watch.Report(strHost, strCurStep, i32CurProgress);
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceProgress(m_ledger.Device(strHost), m_i32CurModule, strCurStep, i32CurProgress, bError, bFinished);
    if (!self || !m_bRunning || m_ledger.State(strHost) != CBatchLedger::DEV_WORKING)
        return;
    if (bError) {
        QString strReason = m_channel.LastError(strHost);
        if (strReason.isEmpty())
            strReason = strCurStep.isEmpty() ? tr("upgrade failed") : strCurStep;
        Fail(strHost, strCurStep, strReason);
    } else if (bFinished) {
        if (!m_bVersionCheck) {
            Succeed(strHost);
            return;
        }
        m_ledger.SetState(strHost, CBatchLedger::DEV_VERIFYING);
        m_readBack.Read(m_ledger.Device(strHost), m_modules.List().at(m_i32CurModule).strId, m_channel.IsHttp());
    }
}

void CBatchUpgrade::slotVersionRead(const QString &strHostName, bool bReadable, const QString &strVersion,
                                    bool bTimedOut)
{
    if (!m_bRunning || m_ledger.State(strHostName) != CBatchLedger::DEV_VERIFYING)
        return;
    if (bTimedOut)
        Fail(strHostName, STEP_VERSION, tr("time out reading the version back"));
    else
        VersionRead(strHostName, bReadable, strVersion);
}

void CBatchUpgrade::VersionRead(const QString &strHostName, bool bReadable, const QString &strVersion)
{
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceVersion(m_ledger.Device(strHostName), m_i32CurModule, strVersion);
    if (!self || !m_bRunning || m_ledger.State(strHostName) != CBatchLedger::DEV_VERIFYING)
        return;
    // A device that says "completed" and then cannot tell its version may have died while
    // installing: with the check on, only a version read back is a success.
    const QString strExpected = m_modules.ExpectedVersion(m_i32CurModule, m_strExpectedVersion);
    if (!bReadable) {
        QString strReason = tr("completed, but the version could not be read back");
        if (!strExpected.isEmpty())
            strReason += tr(", expected %1").arg(strExpected);
        Fail(strHostName, STEP_VERSION, strReason);
    } else if (strExpected.isEmpty() || strVersion == strExpected) {
        Succeed(strHostName);
    } else {
        Fail(strHostName, STEP_VERSION, tr("version %1 read back, expected %2").arg(strVersion, strExpected));
    }
}

void CBatchUpgrade::Succeed(const QString &strHostName)
{
    m_ledger.Succeeded(strHostName);
    m_watch.Forget(strHostName);
    m_queue.Ended(strHostName);
    if (m_modules.NextWithFile(m_i32CurModule + 1) < 0)
        ReleaseLater(strHostName);
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceSucceeded(m_ledger.Device(strHostName), m_i32CurModule);
    if (self)
        m_pacer.StartQueued();
    if (self)
        TestPass();
}

bool CBatchUpgrade::MayRetry(const QString &strHostName, const QString &strStep, const QString &strReason)
{
    if (m_bStopRequested || m_ledger.State(strHostName) != CBatchLedger::DEV_WORKING || m_ledger.HasImage(strHostName))
        return false;
    const int i32Attempt = m_queue.Attempt(strHostName);
    int i32Delay = 0;
    if (!m_queue.Retry(strHostName, &i32Delay))
        return false;
    VLOG(lcSession) << strHostName << "attempt" << i32Attempt << "failed:" << strReason << "next in" << i32Delay;
    m_ledger.SetState(strHostName, CBatchLedger::DEV_WAITING);
    m_watch.Forget(strHostName);
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceRetry(m_ledger.Device(strHostName), m_i32CurModule, i32Attempt, strStep, strReason, i32Delay);
    if (self)
        m_pacer.StartQueued();
    return true;
}

void CBatchUpgrade::Fail(const QString &strHostName, const QString &strStep, const QString &strReason)
{
    if (MayRetry(strHostName, strStep, strReason))
        return;
    VLOG(lcSession) << strHostName << strStep << strReason;
    m_ledger.Failed(strHostName);
    m_watch.Forget(strHostName);
    m_queue.Ended(strHostName);
    ReleaseLater(strHostName);
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceFailed(m_ledger.Device(strHostName), m_i32CurModule, strStep, strReason);
    if (self)
        m_pacer.StartQueued();
    if (self)
        TestPass();
}

void CBatchUpgrade::TestPass()
{
    if (!m_bRunning || m_i32Hold > 0)
        return;
    if (!m_ledger.IsPassOver())
        return;
    m_watch.Clear();
    // Every device failed or was refused: no report can come any more, so the batch ends
    // here with the summary of this pass instead of waiting for ever.
    if (m_ledger.Batch().isEmpty()) {
        EndBatch();
        return;
    }
    const int i32Next = m_modules.NextWithFile(m_i32CurModule + 1);
    if (i32Next >= 0 && m_bStopRequested) {
        // Only a device through every module is a success: the rest stop before the next.
        QPointer<CBatchUpgrade> self(this);
        NotStarted(m_ledger.TakeBatch(), i32Next, tr("stopped before this module"));
        if (!self)
            return;
    }
    if (i32Next < 0 || m_bStopRequested) {
        EndBatch();
        return;
    }
    if (!StartModule(i32Next)) {
        Stop();
        emit signalModuleNotStarted();
    }
}

void CBatchUpgrade::RequestStop()
{
    if (!m_bRunning || m_bStopRequested)
        return;
    m_bStopRequested = true;
    m_pacer.SetOpen(false);
    const QStringList lstWaiting = m_queue.TakeAllWaiting();
    for (const QString &strHost : lstWaiting)
        m_ledger.Dropped(strHost);
    QPointer<CBatchUpgrade> self(this);
    NotStarted(lstWaiting, m_i32CurModule, tr("stopped before it started"));
    if (self)
        TestPass();
}

void CBatchUpgrade::NotStarted(const QStringList &lstHosts, int i32Module, const QString &strReason)
{
    QPointer<CBatchUpgrade> self(this);
    for (const QString &strHost : lstHosts) {
        ReleaseLater(strHost);
        emit signalDeviceNotStarted(m_ledger.Device(strHost), i32Module, strReason);
        if (!self)
            return;
    }
}

void CBatchUpgrade::ReleaseLater(const QString &strHostName)
{
    if (!m_bReleaseFinished || m_channel.IsHttp())
        return;
    // Not from inside the session's own report, and after the engine's last word to it.
    CMaintainAgent *pAgent = m_pAgent;
    QTimer::singleShot(0, pAgent, [pAgent, strHostName] { pAgent->RemoveSession(strHostName); });
}

void CBatchUpgrade::Abort()
{
    if (m_bRunning)
        Stop();
}

void CBatchUpgrade::Stop()
{
    m_bRunning = false;
    m_pacer.SetOpen(false);
    m_timerReply.stop();
    m_watch.Clear();
    m_queue.Clear();
    m_readBack.Clear();
    // Nothing of this batch may go on behind the operator's back, nor keep a session busy.
    for (const T_BaseDevInfo &st : m_ledger.Devices())
        m_channel.Release(st.strHostName, m_ledger.IsActive(st.strHostName));
    m_ledger.ClearStates();
}

void CBatchUpgrade::EndBatch()
{
    // Over the whole batch, not the last pass: a device that failed an earlier module is no
    // longer in the last pass, and leaving it out would make a failed run read as clean.
    const QStringList lstReboot = m_ledger.Batch();
    const int i32Successes = lstReboot.size();
    const int i32Total = m_ledger.Total();
    VLOG(lcSession) << "succeeded" << i32Successes << "of" << i32Total << "reboot" << lstReboot;
    Stop();
    emit signalBatchFinished(i32Successes, i32Total, lstReboot);
}

void CBatchUpgrade::slotReplyTimerOut()
{
    if (!m_bRunning)
        return;
    VLOG(lcSession) << "no report within" << REPLY_TIMEOUT_MS << "ms";
    const QStringList lstWaiting = m_ledger.Batch();
    QPointer<CBatchUpgrade> self(this);
    Stop();
    for (const QString &strHost : lstWaiting) {
        emit signalDeviceFailed(m_ledger.Device(strHost), m_i32CurModule, QString(), tr("no report, time out"));
        if (!self)
            return;
    }
    emit signalReplyTimeOut();
}

void CBatchUpgrade::slotStalled(const QStringList &lstHosts)
{
    if (!m_bRunning)
        return;
    QPointer<CBatchUpgrade> self(this);
    ++m_i32Hold;
    for (const QString &strHost : lstHosts) {
        if (!m_ledger.IsActive(strHost))
            continue;
        const bool bVerifying = m_ledger.State(strHost) == CBatchLedger::DEV_VERIFYING;
        m_channel.Abort(strHost);
        if (!self)
            return;
        emit signalDeviceStalled(m_ledger.Device(strHost), m_i32CurModule);
        if (!self)
            return;
        if (!m_ledger.IsActive(strHost))
            continue;
        Fail(strHost, bVerifying ? STEP_VERSION : QString(),
             tr("time out: no progress for %1 s").arg(MODULE_LIMIT_MS / 1000));
        if (!self)
            return;
    }
    --m_i32Hold;
    TestPass();
}

void CBatchUpgrade::RemoveDevice(const QString &strHostName)
{
    if (m_ledger.Remove(strHostName))
        TestPass();
}
