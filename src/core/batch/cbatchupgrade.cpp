#include "batch/cbatchupgrade.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "http/chttpagent.h"
#include "http/httpversionpage.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"

#include <QFileInfo>
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
    connect(m_pAgent, &CMaintainAgent::OnUpgradeNotify, this, &CBatchUpgrade::slotOnUpgradeNotify);
    if (m_pHttpAgent) {
        connect(m_pHttpAgent, &CHttpAgent::signalHttpUpgradeNotify, this, &CBatchUpgrade::slotOnHttpUpgradeNotify);
        connect(m_pHttpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CBatchUpgrade::slotOnHttpVersionNotify);
    }
}

CBatchUpgrade::~CBatchUpgrade() = default;

int CBatchUpgrade::HttpStart(const QString &strHostName, const T_UpgradeInfo &stInfo)
{
    if (m_pHttpAgent)
        return m_pHttpAgent->StartUpgrade(strHostName, stInfo);
    Q_UNUSED(strHostName)
    Q_UNUSED(stInfo)
    return 1;
}

QString CBatchUpgrade::HttpLastError(const QString &strHostName) const
{
    if (m_pHttpAgent)
        return m_pHttpAgent->LastError(strHostName);
    Q_UNUSED(strHostName)
    return QString();
}

int CBatchUpgrade::HttpQueryVersion(const T_BaseDevInfo &stDevInfo)
{
    if (m_pHttpAgent)
        return m_pHttpAgent->QueryVersion(stDevInfo);
    Q_UNUSED(stDevInfo)
    return -1;
}

void CBatchUpgrade::HttpAbort(const QString &strHostName)
{
    if (m_pHttpAgent)
        m_pHttpAgent->Abort(strHostName);
}

bool CBatchUpgrade::SetDevices(const QList<T_BaseDevInfo> &lstDevices)
{
    if (m_bRunning)
        return false;
    m_lstDevices = lstDevices;
    return true;
}

bool CBatchUpgrade::SetModules(const QList<T_BatchModule> &lstModules)
{
    if (m_bRunning)
        return false;
    m_lstModules = lstModules;
    return true;
}

void CBatchUpgrade::SetVersionCheck(bool bCheck, const QString &strExpected)
{
    m_bVersionCheck = bCheck;
    m_strExpectedVersion = strExpected;
}

int CBatchUpgrade::NextModuleWithFile(int i32From) const
{
    for (int i = qMax(0, i32From); i < m_lstModules.size(); ++i)
        if (!m_lstModules.at(i).strFilePath.isEmpty())
            return i;
    return -1;
}

CBatchUpgrade::E_StartResult CBatchUpgrade::Start()
{
    if (m_bRunning)
        return START_RUNNING;
    m_lstBatch.clear();
    for (const T_BaseDevInfo &st : qAsConst(m_lstDevices))
        m_lstBatch.append(st.strHostName);
    m_i32CurModule = 0;
    m_i32Done = 0;
    m_i32Failed = 0;
    m_i32Total = m_lstDevices.size();
    const int i32First = NextModuleWithFile(0);
    if (i32First < 0)
        return START_NO_FILE;
    if (m_lstDevices.isEmpty())
        return START_NO_DEVICES;
    // An empty image would go to every box and most would report it installed.
    for (const T_BatchModule &stModule : qAsConst(m_lstModules)) {
        const QFileInfo info(stModule.strFilePath);
        if (!stModule.strFilePath.isEmpty() && info.isFile() && info.size() == 0) {
            m_strEmptyFile = stModule.strFilePath;
            return START_EMPTY_FILE;
        }
    }
    // The first device decides the channel for the whole batch, as the type list holds one model.
    m_bHttp = !m_bVazaOnly && m_pHttpAgent && Velmora::IsHttpHostModel(m_lstBatch.first());
    m_bRunning = true;
    // Armed before the first request: a channel may report from inside its start call.
    m_timerReply.start(Velmora::ScaledMs(REPLY_TIMEOUT_MS));
    StartModule(i32First);
    return START_OK;
}

bool CBatchUpgrade::StartModule(int i32Module)
{
    m_i32Done = 0;
    m_i32Failed = 0;
    if (m_lstDevices.isEmpty())
        return false;
    m_i32CurModule = i32Module;
    ++m_i32Pass;
    m_hashRefusal.clear();
    m_hashState.clear();
    for (const QString &strHost : qAsConst(m_lstBatch))
        m_hashState.insert(strHost, DEV_WORKING);
    const T_BatchModule &stModule = m_lstModules.at(i32Module);
    T_UpgradeInfo stInfo;
    stInfo.strDevAddr = stModule.strId;
    stInfo.u32DevPort = 0;
    stInfo.strFilePath = stModule.strFilePath;
    VLOG(lcSession) << "module" << i32Module << stModule.strId << stModule.strFilePath << "on" << m_lstBatch
                    << (m_bHttp ? "over HTTP" : "over Vaza");
    m_watch.Clear();
    for (const QString &strHost : qAsConst(m_lstBatch))
        m_watch.Watch(strHost);

    QPointer<CBatchUpgrade> self(this);
    ++m_i32Hold;
    emit signalModuleStarted(i32Module);
    const QStringList lstHosts = m_lstBatch;
    for (const QString &strHost : lstHosts) {
        if (!self)
            return true;
        // A report emitted inside an earlier start may already have taken a device out.
        if (!m_bRunning || !IsActive(strHost))
            continue;
        if (m_bHttp) {
            const int i32Result = HttpStart(strHost, stInfo);
            if (!self)
                return true;
            if (i32Result != 0 && IsActive(strHost)) {
                QString strReason = ChannelError(strHost);
                if (strReason.isEmpty())
                    strReason = i32Result == 1 ? tr("device not registered for HTTP upgrade") : tr("upload refused");
                Fail(strHost, STEP_START, strReason);
            }
        } else {
            const E_CmdResult eResult = m_pAgent->StartUpgrade(strHost, stInfo);
            if (!self)
                return true;
            if (eResult != CMD_OK && IsActive(strHost)) {
                m_hashRefusal.insert(strHost, eResult);
                Fail(strHost, STEP_START, Velmora::CmdResultText(eResult, E_CmdKind::Upgrade, ChannelError(strHost)));
            }
        }
    }
    if (!self)
        return true;
    --m_i32Hold;
    // Tested on the next turn: a pass that ended inside this call (every device refused)
    // must not announce the end of the batch before the caller has heard it started.
    QTimer::singleShot(0, this, [this] { TestPass(); });
    return true;
}

bool CBatchUpgrade::IsActive(const QString &strHostName) const
{
    const auto it = m_hashState.constFind(strHostName);
    return it != m_hashState.constEnd() && (it.value() == DEV_WORKING || it.value() == DEV_VERIFYING);
}

T_BaseDevInfo CBatchUpgrade::Device(const QString &strHostName) const
{
    for (const T_BaseDevInfo &st : m_lstDevices)
        if (st.strHostName == strHostName)
            return st;
    T_BaseDevInfo st;
    st.strHostName = strHostName;
    return st;
}

QString CBatchUpgrade::ChannelError(const QString &strHostName) const
{
    // One line: server replies come with their own line breaks.
    return (m_bHttp ? HttpLastError(strHostName) : m_pAgent->LastError(strHostName)).simplified();
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
    if (!m_bRunning || bFromHttp != m_bHttp || m_hashState.value(strHost, DEV_FAILED) != DEV_WORKING)
        return;
    VLOG(lcSession) << strHost << strCurStep << bError << bFinished << i32CurProgress;
    m_timerReply.stop();
    m_watch.Report(strHost, strCurStep, i32CurProgress);
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceProgress(Device(strHost), m_i32CurModule, strCurStep, i32CurProgress, bError, bFinished);
    if (!self || !m_bRunning || m_hashState.value(strHost, DEV_FAILED) != DEV_WORKING)
        return;
    if (bError) {
        QString strReason = ChannelError(strHost);
        if (strReason.isEmpty())
            strReason = strCurStep.isEmpty() ? tr("upgrade failed") : strCurStep;
        Fail(strHost, strCurStep, strReason);
    } else if (bFinished) {
        if (!m_bVersionCheck) {
            Succeed(strHost);
            return;
        }
        m_hashState.insert(strHost, DEV_VERIFYING);
        // Not from inside the channel's own "completed" emission: it may not be idle yet.
        const int i32Pass = m_i32Pass;
        QTimer::singleShot(0, this, [this, strHost, i32Pass] { StartVersionRead(strHost, i32Pass); });
        QTimer::singleShot(Velmora::ScaledMs(VERSION_TIMEOUT_MS), this, [this, strHost, i32Pass] {
            if (m_bRunning && i32Pass == m_i32Pass && m_hashState.value(strHost) == DEV_VERIFYING)
                Fail(strHost, STEP_VERSION, tr("time out reading the version back"));
        });
    }
}

void CBatchUpgrade::StartVersionRead(const QString &strHostName, int i32Pass)
{
    if (!m_bRunning || i32Pass != m_i32Pass || m_hashState.value(strHostName) != DEV_VERIFYING)
        return;
    const T_BatchModule &stModule = m_lstModules.at(m_i32CurModule);
    if (m_bHttp) {
        if (HttpQueryVersion(Device(strHostName)) < 0)
            VersionRead(strHostName, false, QString());
        return;
    }
    CBaseMaintainSession *pSession = m_pAgent->GetSession(strHostName);
    if (!pSession) {
        VersionRead(strHostName, false, QString());
        return;
    }
    connect(pSession, &CBaseMaintainSession::OnVersionQueryNotify, this, &CBatchUpgrade::slotOnVersionQueryNotify,
            Qt::UniqueConnection);
    // Not written at once only when the link is down: it goes out after the reconnect and
    // the version time-out still guards it.
    pSession->QueryVersion(stModule.strId.toUtf8(), 0);
}

void CBatchUpgrade::slotOnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr, UInt32,
                                             QByteArray strVersion)
{
    if (!m_bRunning || m_bHttp || m_hashState.value(stDevInfo.strHostName) != DEV_VERIFYING ||
        strDevAddr.trimmed() != m_lstModules.at(m_i32CurModule).strId.toUtf8())
        return;
    VersionRead(stDevInfo.strHostName, !bError, QString::fromUtf8(strVersion).trimmed());
}

void CBatchUpgrade::slotOnHttpVersionNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType,
                                            QByteArray strData)
{
    if (!m_bRunning || !m_bHttp || m_hashState.value(stDevInfo.strHostName) != DEV_VERIFYING)
        return;
    const QString strVersion = bError ? QString() : Velmora::HttpPageVersion(strData);
    VersionRead(stDevInfo.strHostName, !bError && !strVersion.isEmpty(), strVersion);
}

void CBatchUpgrade::VersionRead(const QString &strHostName, bool bReadable, const QString &strVersion)
{
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceVersion(Device(strHostName), m_i32CurModule, strVersion);
    if (!self || !m_bRunning || m_hashState.value(strHostName) != DEV_VERIFYING)
        return;
    // A device that says "completed" and then cannot tell its version may have died while
    // installing: with the check on, only a version read back is a success.
    const QString strExpected = ExpectedVersion();
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

QString CBatchUpgrade::ExpectedVersion() const
{
    const QString strModule = m_lstModules.value(m_i32CurModule).strVersion;
    return strModule.isEmpty() ? m_strExpectedVersion : strModule;
}

void CBatchUpgrade::Succeed(const QString &strHostName)
{
    m_hashState.insert(strHostName, DEV_SUCCEEDED);
    m_watch.Forget(strHostName);
    ++m_i32Done;
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceSucceeded(Device(strHostName), m_i32CurModule);
    if (self)
        TestPass();
}

void CBatchUpgrade::Fail(const QString &strHostName, const QString &strStep, const QString &strReason)
{
    VLOG(lcSession) << strHostName << strStep << strReason;
    m_hashState.insert(strHostName, DEV_FAILED);
    m_watch.Forget(strHostName);
    ++m_i32Done;
    ++m_i32Failed;
    m_lstBatch.removeAll(strHostName);
    QPointer<CBatchUpgrade> self(this);
    emit signalDeviceFailed(Device(strHostName), m_i32CurModule, strStep, strReason);
    if (self)
        TestPass();
}

void CBatchUpgrade::TestPass()
{
    if (!m_bRunning || m_i32Hold > 0)
        return;
    if (m_i32Done - m_i32Failed != m_lstBatch.size())
        return;
    m_watch.Clear();
    // Every device failed or was refused: no report can come any more, so the batch ends
    // here with the summary of this pass instead of waiting for ever.
    if (m_lstBatch.isEmpty()) {
        EndBatch();
        return;
    }
    const int i32Next = NextModuleWithFile(m_i32CurModule + 1);
    if (i32Next < 0) {
        EndBatch();
        return;
    }
    if (!StartModule(i32Next)) {
        Stop();
        emit signalModuleNotStarted();
    }
}

void CBatchUpgrade::AbortDevice(const QString &strHostName)
{
    if (m_bHttp)
        HttpAbort(strHostName);
    else
        m_pAgent->AbortCmd(strHostName);
}

void CBatchUpgrade::Abort()
{
    if (m_bRunning)
        Stop();
}

void CBatchUpgrade::Stop()
{
    m_bRunning = false;
    m_timerReply.stop();
    m_watch.Clear();
    // Nothing of this batch may go on behind the operator's back, nor keep a session busy.
    for (const T_BaseDevInfo &st : qAsConst(m_lstDevices)) {
        if (IsActive(st.strHostName) && m_bHttp)
            HttpAbort(st.strHostName);
        m_pAgent->AbortCmd(st.strHostName);
    }
    m_hashState.clear();
}

void CBatchUpgrade::EndBatch()
{
    // Over the whole batch, not the last pass: a device that failed an earlier module is no
    // longer in the last pass, and leaving it out would make a failed run read as clean.
    const QStringList lstReboot = m_lstBatch;
    const int i32Successes = lstReboot.size();
    const int i32Total = m_i32Total;
    VLOG(lcSession) << "succeeded" << i32Successes << "of" << i32Total << "reboot" << lstReboot;
    Stop();
    emit signalBatchFinished(i32Successes, i32Total, lstReboot);
}

void CBatchUpgrade::slotReplyTimerOut()
{
    if (!m_bRunning)
        return;
    VLOG(lcSession) << "no report within" << REPLY_TIMEOUT_MS << "ms";
    const QStringList lstWaiting = m_lstBatch;
    QPointer<CBatchUpgrade> self(this);
    Stop();
    for (const QString &strHost : lstWaiting) {
        emit signalDeviceFailed(Device(strHost), m_i32CurModule, QString(), tr("no report, time out"));
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
        if (!IsActive(strHost))
            continue;
        const bool bVerifying = m_hashState.value(strHost) == DEV_VERIFYING;
        AbortDevice(strHost);
        if (!self)
            return;
        emit signalDeviceStalled(Device(strHost), m_i32CurModule);
        if (!self)
            return;
        if (!IsActive(strHost))
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
    for (int i = m_lstDevices.size() - 1; i >= 0; --i)
        if (m_lstDevices.at(i).strHostName == strHostName)
            m_lstDevices.removeAt(i);
    const bool bInBatch = m_lstBatch.removeAll(strHostName) > 0;
    // Gone before it could fail: no longer one of the batch's devices. One that failed
    // earlier stays counted as a failure.
    if (bInBatch)
        --m_i32Total;
    // A failure stays counted; a success leaves the count with the device, so the pass
    // still compares like with like. Anything it reports from now on finds no state.
    const auto it = m_hashState.find(strHostName);
    if (it != m_hashState.end()) {
        if (it.value() == DEV_SUCCEEDED)
            --m_i32Done;
        if (it.value() != DEV_FAILED)
            m_hashState.erase(it);
    }
    if (bInBatch)
        TestPass();
}
