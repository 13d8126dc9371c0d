#pragma once

#include "batch/cbatchupgrade.h"

#include <QPointer>

// How a batch is rolled out. The defaults are a plain batch: every device at once, no canary,
// no waves, no retries.
struct T_RolloutOptions {
    int i32MaxParallel = 0;     // at most this many devices on a module at once; 0: all
    int i32Canary = 0;          // the first K devices go first, alone; any failure stops the rest
    int i32Wave = 0;            // after the canary, waves of W devices; 0: one wave
    int i32MaxFailures = -1;    // the next wave starts only while failures stay at or below this
    int i32MaxFailPercent = -1; // ... or at or below this share of the devices tried so far
    int i32Retries = 0;         // attempts after a failure before the device took the image
    int i32RetryDelayMs = 5000; // the first retry's delay; each later one doubles
};

// A batch rolled out in steps, over CBatchUpgrade: a canary group first, then waves, each a
// batch with the module-after-module rules, stopped when the canary fails or the failures
// pass the limit. Devices never reached are reported not started, with the reason, and
// nothing is sent to them. It forwards every report of the batch it runs and counts over
// all devices it was given. The owner may delete it from a slot of signalFinished().
class CRollout : public QObject
{
    Q_OBJECT
public:
    enum E_End {
        END_DONE = 0,       // every wave ran (devices may have failed)
        END_CANARY_FAILED,  // a canary device failed; the rest were not started
        END_FAILURE_LIMIT,  // the failures passed the limit after a wave
        END_STOPPED,        // RequestStop(): no device started after it
        END_NO_REPORT,      // a wave had no report within the batch's reply time
        END_MODULE_NOT_RUN, // a following module found its batch empty
    };
    Q_ENUM(E_End)

    // Neither agent is owned; both must outlive the rollout. pHttpAgent may be null.
    CRollout(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent = nullptr);

    void SetDevices(const QList<T_BaseDevInfo> &lstDevices) { m_lstDevices = lstDevices; }
    void SetModules(const QList<T_BatchModule> &lstModules) { m_lstModules = lstModules; }
    void SetVersionCheck(bool bCheck, const QString &strExpected = QString());
    void SetVazaOnly(bool bVazaOnly) { m_bVazaOnly = bVazaOnly; }
    // See CBatchUpgrade::SetReleaseFinished().
    void SetReleaseFinished(bool bRelease) { m_bReleaseFinished = bRelease; }
    void SetOptions(const T_RolloutOptions &stOptions) { m_stOptions = stOptions; }

    // As CBatchUpgrade::Start(), for the whole rollout: nothing is sent unless START_OK.
    CBatchUpgrade::E_StartResult Start();
    // No device starts any more; those working finish their module (see CBatchUpgrade).
    void RequestStop();
    // Cuts everything short, silently, like CBatchUpgrade::Abort().
    void Abort();
    bool IsRunning() const { return m_bRunning; }
    QString EmptyFile() const { return m_strEmptyFile; }
    // The wave a device is in: 0 the canary (when there is one), then 1, 2, ...
    int Wave(const QString &strHostName) const { return m_hashWave.value(strHostName, -1); }
    // The batch of the running wave (null between waves): its lists and refusals.
    CBatchUpgrade *Batch() const { return m_pBatch; }

    // Whether i32Failed failures out of i32Tried devices pass the limits of stOptions.
    static bool OverLimit(const T_RolloutOptions &stOptions, int i32Failed, int i32Tried);

signals:
    void signalWaveStarted(int i32Wave, QStringList lstHosts);
    void signalModuleStarted(int i32Module);
    void signalDeviceProgress(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, int i32CurProgress,
                              bool bError, bool bFinished);
    void signalDeviceSucceeded(T_BaseDevInfo stDevInfo, int i32Module);
    void signalDeviceFailed(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, QString strReason);
    void signalDeviceStalled(T_BaseDevInfo stDevInfo, int i32Module);
    void signalDeviceVersion(T_BaseDevInfo stDevInfo, int i32Module, QString strVersion);
    void signalDeviceWaiting(T_BaseDevInfo stDevInfo, int i32Module);
    void signalDeviceRetry(T_BaseDevInfo stDevInfo, int i32Module, int i32Attempt, QString strStep, QString strReason,
                           int i32DelayMs);
    void signalDeviceNotStarted(T_BaseDevInfo stDevInfo, int i32Module, QString strReason);
    // The end: successes over every device given, what to reboot, how it ended and, for a
    // canary or limit stop, the reason the untouched devices were given.
    void signalFinished(int i32Successes, int i32Total, QStringList lstRebootHosts, CRollout::E_End eEnd,
                        QString strReason);

private:
    void StartWave();
    void WaveEnded(int i32Successes, int i32Total, const QStringList &lstReboot, E_End eEnd);
    void Finish(E_End eEnd, const QString &strReason);
    // The batch of the current wave, connected and set up as every wave is.
    CBatchUpgrade *NewWaveBatch();
    void Connect(CBatchUpgrade *pBatch);
    // Counts the current wave's devices as tried and announces them.
    void WaveStarted();

    CMaintainAgent *m_pAgent;
    CHttpAgent *m_pHttpAgent;
    QList<T_BaseDevInfo> m_lstDevices;
    QList<T_BatchModule> m_lstModules;
    bool m_bVersionCheck = false;
    QString m_strExpected;
    bool m_bVazaOnly = false;
    bool m_bReleaseFinished = false;
    T_RolloutOptions m_stOptions;
    QList<QList<T_BaseDevInfo>> m_lstWaves;
    QHash<QString, int> m_hashWave;
    int m_i32Wave = -1;
    QPointer<CBatchUpgrade> m_pBatch;
    bool m_bRunning = false;
    bool m_bStopRequested = false;
    QString m_strEmptyFile;
    QString m_strFirstFailure; // "<host>: <reason>" of the first device that failed
    int m_i32Successes = 0;
    int m_i32Failed = 0;
    int m_i32Tried = 0;
    QStringList m_lstReboot;
};
