#include "crollout.h"

#include "common/vlog.h"

#include <QTimer>

CRollout::CRollout(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent)
    : QObject(parent), m_pAgent(pAgent), m_pHttpAgent(pHttpAgent)
{
    qRegisterMetaType<CRollout::E_End>("CRollout::E_End");
}

void CRollout::SetVersionCheck(bool bCheck, const QString &strExpected)
{
    m_bVersionCheck = bCheck;
    m_strExpected = strExpected;
}

bool CRollout::OverLimit(const T_RolloutOptions &stOptions, int i32Failed, int i32Tried)
{
    if (stOptions.i32MaxFailures >= 0 && i32Failed > stOptions.i32MaxFailures)
        return true;
    return stOptions.i32MaxFailPercent >= 0 && i32Tried > 0 &&
           qint64(i32Failed) * 100 > qint64(stOptions.i32MaxFailPercent) * i32Tried;
}

CBatchUpgrade::E_StartResult CRollout::Start()
{
    if (m_bRunning)
        return CBatchUpgrade::START_RUNNING;
    m_lstWaves.clear();
    m_hashWave.clear();
    m_lstReboot.clear();
    m_strFirstFailure.clear();
    m_i32Successes = m_i32Failed = m_i32Tried = 0;
    m_bStopRequested = false;
    // The canary is a wave of its own; without one the first wave is wave 1.
    QList<T_BaseDevInfo> lstRest = m_lstDevices;
    if (m_stOptions.i32Canary > 0)
        m_lstWaves << lstRest.mid(0, m_stOptions.i32Canary);
    else
        m_lstWaves << QList<T_BaseDevInfo>();
    lstRest = lstRest.mid(m_lstWaves.first().size());
    const int i32Wave = m_stOptions.i32Wave > 0 ? m_stOptions.i32Wave : qMax(1, lstRest.size());
    for (int i = 0; i < lstRest.size(); i += i32Wave)
        m_lstWaves << lstRest.mid(i, i32Wave);
    for (int w = 0; w < m_lstWaves.size(); ++w)
        for (const T_BaseDevInfo &st : qAsConst(m_lstWaves.at(w)))
            m_hashWave.insert(st.strHostName, w);
    // An empty device list still goes to the batch, which refuses it with its own reason.
    m_i32Wave = m_lstWaves.first().isEmpty() && m_lstWaves.size() > 1 ? 1 : 0;
    m_bRunning = true;
    CBatchUpgrade *pBatch = NewWaveBatch();
    QPointer<CRollout> self(this);
    // Checked for the whole rollout by the first wave: its files are every wave's files.
    const CBatchUpgrade::E_StartResult eResult = pBatch->Start();
    if (!self)
        return eResult;
    if (eResult != CBatchUpgrade::START_OK) {
        m_strEmptyFile = pBatch->EmptyFile();
        m_bRunning = false;
        delete pBatch;
        return eResult;
    }
    WaveStarted();
    return eResult;
}

CBatchUpgrade *CRollout::NewWaveBatch()
{
    auto *pBatch = new CBatchUpgrade(m_pAgent, m_pHttpAgent, this);
    m_pBatch = pBatch;
    Connect(pBatch);
    pBatch->SetDevices(m_lstWaves.value(m_i32Wave));
    pBatch->SetModules(m_lstModules);
    pBatch->SetVersionCheck(m_bVersionCheck, m_strExpected);
    pBatch->SetVazaOnly(m_bVazaOnly);
    pBatch->SetReleaseFinished(m_bReleaseFinished);
    pBatch->SetMaxParallel(m_stOptions.i32MaxParallel);
    pBatch->SetRetries(m_stOptions.i32Retries, m_stOptions.i32RetryDelayMs);
    return pBatch;
}

void CRollout::WaveStarted()
{
    m_i32Tried += m_lstWaves.value(m_i32Wave).size();
    QStringList lstHosts;
    for (const T_BaseDevInfo &st : qAsConst(m_lstWaves.at(m_i32Wave)))
        lstHosts << st.strHostName;
    emit signalWaveStarted(m_i32Wave, lstHosts);
}

void CRollout::Connect(CBatchUpgrade *pBatch)
{
    connect(pBatch, &CBatchUpgrade::signalModuleStarted, this, &CRollout::signalModuleStarted);
    connect(pBatch, &CBatchUpgrade::signalDeviceProgress, this, &CRollout::signalDeviceProgress);
    connect(pBatch, &CBatchUpgrade::signalDeviceSucceeded, this, &CRollout::signalDeviceSucceeded);
    connect(pBatch, &CBatchUpgrade::signalDeviceStalled, this, &CRollout::signalDeviceStalled);
    connect(pBatch, &CBatchUpgrade::signalDeviceVersion, this, &CRollout::signalDeviceVersion);
    connect(pBatch, &CBatchUpgrade::signalDeviceWaiting, this, &CRollout::signalDeviceWaiting);
    connect(pBatch, &CBatchUpgrade::signalDeviceRetry, this, &CRollout::signalDeviceRetry);
    connect(pBatch, &CBatchUpgrade::signalDeviceNotStarted, this, &CRollout::signalDeviceNotStarted);
    connect(pBatch, &CBatchUpgrade::signalDeviceFailed, this,
            [this](T_BaseDevInfo st, int i32Module, QString strStep, QString strReason) {
                ++m_i32Failed;
                if (m_strFirstFailure.isEmpty())
                    m_strFirstFailure = st.strHostName + QStringLiteral(": ") + strReason;
                emit signalDeviceFailed(st, i32Module, strStep, strReason);
            });
    connect(pBatch, &CBatchUpgrade::signalBatchFinished, this, [this](int i32Ok, int i32Total, QStringList lstReboot) {
        WaveEnded(i32Ok, i32Total, lstReboot, END_DONE);
    });
    connect(pBatch, &CBatchUpgrade::signalReplyTimeOut, this, [this] { WaveEnded(0, 0, {}, END_NO_REPORT); });
    connect(pBatch, &CBatchUpgrade::signalModuleNotStarted, this, [this] { WaveEnded(0, 0, {}, END_MODULE_NOT_RUN); });
}

void CRollout::WaveEnded(int i32Successes, int, const QStringList &lstReboot, E_End eEnd)
{
    m_i32Successes += i32Successes;
    m_lstReboot += lstReboot;
    // The batch emitting this may still be on the stack: it goes on a later turn.
    if (m_pBatch)
        m_pBatch->deleteLater();
    m_pBatch = nullptr;
    const bool bCanary = m_stOptions.i32Canary > 0 && m_i32Wave == 0;
    const bool bLast = m_i32Wave + 1 >= m_lstWaves.size();
    VLOG(lcSession) << "wave" << m_i32Wave << "ended:" << m_i32Failed << "failed of" << m_i32Tried;
    if (m_bStopRequested) {
        Finish(END_STOPPED, tr("stopped before it started"));
    } else if (bCanary && m_i32Failed > 0) {
        Finish(END_CANARY_FAILED, tr("canary failed: %1").arg(m_strFirstFailure));
    } else if (!bLast && OverLimit(m_stOptions, m_i32Failed, m_i32Tried)) {
        Finish(END_FAILURE_LIMIT,
               tr("stopped after %1 of %2 devices failed: %3").arg(m_i32Failed).arg(m_i32Tried).arg(m_strFirstFailure));
    } else if (bLast) {
        Finish(eEnd, QString());
    } else {
        // Not from inside the ending batch's own signal.
        QTimer::singleShot(0, this, &CRollout::StartWave);
    }
}

void CRollout::StartWave()
{
    if (!m_bRunning)
        return;
    if (m_bStopRequested) {
        Finish(END_STOPPED, tr("stopped before it started"));
        return;
    }
    ++m_i32Wave;
    CBatchUpgrade *pBatch = NewWaveBatch();
    QPointer<CRollout> self(this);
    WaveStarted();
    if (!self || !m_bRunning)
        return;
    // The first wave accepted the same files and a non-empty list; a refusal here would be a
    // file that went away since: the wave's devices fail with that reason.
    const CBatchUpgrade::E_StartResult eResult = pBatch->Start();
    if (!self || eResult == CBatchUpgrade::START_OK)
        return;
    delete pBatch;
    m_pBatch = nullptr;
    Finish(END_MODULE_NOT_RUN, tr("the rollout could not start wave %1").arg(m_i32Wave));
}

void CRollout::Finish(E_End eEnd, const QString &strReason)
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    // Every device of a wave not yet started: nothing was sent to it.
    int i32FirstModule = 0;
    while (i32FirstModule < m_lstModules.size() && m_lstModules.at(i32FirstModule).strFilePath.isEmpty())
        ++i32FirstModule;
    QPointer<CRollout> self(this);
    for (int w = m_i32Wave + 1; w < m_lstWaves.size(); ++w)
        for (const T_BaseDevInfo &st : qAsConst(m_lstWaves.at(w))) {
            emit signalDeviceNotStarted(st, i32FirstModule, strReason);
            if (!self)
                return;
        }
    VLOG(lcSession) << "rollout ended" << eEnd << m_i32Successes << "of" << m_lstDevices.size() << strReason;
    emit signalFinished(m_i32Successes, m_lstDevices.size(), m_lstReboot, eEnd, strReason);
}

void CRollout::RequestStop()
{
    if (!m_bRunning || m_bStopRequested)
        return;
    m_bStopRequested = true;
    if (m_pBatch)
        m_pBatch->RequestStop();
}

void CRollout::Abort()
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    if (m_pBatch) {
        m_pBatch->Abort();
        m_pBatch->deleteLater();
    }
    m_pBatch = nullptr;
}
