#pragma once

#include "batch/cbatchchannel.h"
#include "batch/cbatchledger.h"
#include "batch/cmodulelist.h"
#include "batch/cpassqueue.h"
#include "batch/cprogresswatch.h"
#include "batch/cstartpacer.h"
#include "batch/cversionreadback.h"
#include "session/cbasemaintainsession.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class CMaintainAgent;
class CHttpAgent;

// Upgrades several devices of one type: modules strictly one after the other, each module
// on every device still in the batch at once. Holds every rule of a batch (routing to the
// Vaza or the HTTP agent by the first device's model, pass accounting, the first-report
// watchdog, the per-module silence limit, who is left to reboot); the batch form and the
// console program only show what it reports. A device that fails or is refused once leaves
// the batch and gets no later module. Reports are matched by host name and only counted for
// a device that is still working on the running module, so a late or repeated report is
// never counted twice. The owner may delete the engine from a slot of
// signalBatchFinished(), signalReplyTimeOut() or signalModuleNotStarted().
class CBatchUpgrade : public QObject
{
    Q_OBJECT
public:
    enum E_StartResult {
        START_OK = 0,
        START_NO_FILE,    // no module has a file: "Select upgrade file first!"
        START_NO_DEVICES, // the device list is empty: "Select upgrade devices first!"
        START_RUNNING,    // a batch is already running
        START_EMPTY_FILE, // a module's file is empty (EmptyFile() names it): nothing is sent
    };
    Q_ENUM(E_StartResult)

    // Neither agent is owned; both must outlive the engine. pHttpAgent may be null when no
    // HTTP device can take part (the batch is then always routed to the Vaza agent).
    CBatchUpgrade(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent = nullptr);
    ~CBatchUpgrade() override;

    // Both are taken as they are at Start(); changing them while running is refused.
    bool SetDevices(const QList<T_BaseDevInfo> &lstDevices);
    bool SetModules(const QList<T_BatchModule> &lstModules);
    // Off by default. On: a device's "completed" counts only once the module's version read
    // back from it (Vaza: version query of the module; HTTP: the version page) is readable
    // and, when the module's version or else strExpected is given, equal to it; otherwise the device failed
    // ("completed, but the version could not be read back" when nothing readable came).
    void SetVersionCheck(bool bCheck, const QString &strExpected = QString());
    // Off by default: the first device's model picks the channel (web-server models over
    // HTTP). On: every module goes through the Vaza agent, as a device form started below
    // its first module does.
    void SetVazaOnly(bool bVazaOnly) { m_bVazaOnly = bVazaOnly; }
    // 0 (the default): every device of a pass at once. Otherwise at most this many work on a
    // module at the same time; the rest wait (signalDeviceWaiting) and start as others end.
    void SetMaxParallel(int i32MaxParallel) { m_queue.SetLimit(i32MaxParallel); }
    // 0 (the default): a failure is final. Otherwise a device that failed before it took the
    // image (refused, timed out, dropped during the upload) is tried again up to i32Retries
    // times per module, after about i32FirstDelayMs, then twice as long each time. A device
    // that reported installing, or whose checksum was rejected, is never tried again.
    void SetRetries(int i32Retries, int i32FirstDelayMs) { m_queue.SetRetries(i32Retries, i32FirstDelayMs); }
    // Off by default. On: a device done with the batch (through its last module, failed or not
    // started) has its Vaza session taken from the agent, connection and all, so a batch of a
    // thousand devices at N at once holds about N connections, not a thousand. For owners that
    // keep no hold on the sessions themselves (the console program); the next command to the
    // device opens a new one.
    void SetReleaseFinished(bool bRelease) { m_bReleaseFinished = bRelease; }

    // START_OK: the first module with a file is on its way. Devices refused at once (of the
    // first STARTS_PER_TURN) are reported failed from inside this call; the end of the batch
    // (every device refused) never is: it comes on a later turn of the event loop.
    E_StartResult Start();
    // No device starts any more: those still waiting are reported not started at once; those
    // working finish their module, and the batch ends with its summary when they have (no
    // later module starts). Abort() on top cuts the working ones short.
    void RequestStop();
    bool IsStopping() const { return m_bStopRequested; }
    // Stops the batch where it is, silently: every device still working is aborted, no later
    // module starts and no ending signal follows. The owner reports what was cut off.
    void Abort();
    // The device is gone (removed by its owner): it leaves the batch without being counted.
    void RemoveDevice(const QString &strHostName);

    bool IsRunning() const { return m_bRunning; }
    // The empty file behind the last START_EMPTY_FILE.
    QString EmptyFile() const { return m_strEmptyFile; }
    bool IsHttpBatch() const { return m_channel.IsHttp(); }
    // What the device's Vaza session answered when the running module was refused at its
    // start (CMD_BUSY, ...); CMD_OK when it was not refused so.
    E_CmdResult Refusal(const QString &strHostName) const { return m_ledger.Refusal(strHostName); }
    int CurrentModule() const { return m_i32CurModule; }
    int DoneCount() const { return m_ledger.Done(); }
    int FailedCount() const { return m_ledger.Failed(); }
    // Host names still taking part, in device order.
    QStringList BatchList() const { return m_ledger.Batch(); }
    QList<T_BaseDevInfo> Devices() const { return m_ledger.Devices(); }
    QList<T_BatchModule> Modules() const { return m_modules.List(); }

    static constexpr int REPLY_TIMEOUT_MS = 30000;
    // Silence allowed to a device within a module: its step and percentage must move.
    static constexpr int MODULE_LIMIT_MS = 420000;
    static constexpr int VERSION_TIMEOUT_MS = CVersionReadBack::VERSION_TIMEOUT_MS;
    // Devices handed out in one turn of the event loop; more start on the following turns.
    static constexpr int STARTS_PER_TURN = 50;

signals:
    // Module i32Module (index into the module list) is being sent to every device of the batch.
    void signalModuleStarted(int i32Module);
    // Every report of a device in the running pass, with the step text as its channel sent it.
    void signalDeviceProgress(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, int i32CurProgress,
                              bool bError, bool bFinished);
    // The device finished the module (and, with the version check on, its version agreed).
    void signalDeviceSucceeded(T_BaseDevInfo stDevInfo, int i32Module);
    // The device failed or was refused; strReason says why ("time out", the FTP reply, ...).
    void signalDeviceFailed(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, QString strReason);
    // The device's reports stood still for MODULE_LIMIT_MS; its failure follows at once.
    void signalDeviceStalled(T_BaseDevInfo stDevInfo, int i32Module);
    // The device waits for a free place (at most N at once) or for its next attempt.
    void signalDeviceWaiting(T_BaseDevInfo stDevInfo, int i32Module);
    // Attempt i32Attempt failed before the device took the image; another follows in about
    // i32DelayMs (product time). The final failure still comes as signalDeviceFailed().
    void signalDeviceRetry(T_BaseDevInfo stDevInfo, int i32Module, int i32Attempt, QString strStep, QString strReason,
                           int i32DelayMs);
    // The device was never sent module i32Module (a stop came first); strReason says why.
    void signalDeviceNotStarted(T_BaseDevInfo stDevInfo, int i32Module, QString strReason);
    // Version check only: what the device reported after completing the module (empty: unreadable).
    void signalDeviceVersion(T_BaseDevInfo stDevInfo, int i32Module, QString strVersion);
    // The batch ended normally: the summary "succeeded: %1, total: %2." and the devices to reboot.
    // Counts cover the whole batch: total is every device it started with (refused ones
    // included), a success is a device that came through every module with a file.
    void signalBatchFinished(int i32Successes, int i32Total, QStringList lstRebootHosts);
    // No report came within 30000 ms of Start: every device still waiting was reported failed
    // and aborted, the batch ended, nothing to reboot.
    void signalReplyTimeOut();
    // A following module found the device list empty: the batch ended without a summary.
    void signalModuleNotStarted();

private slots:
    void slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                             bool bFinished, int i32CurProgress);
    void slotOnHttpUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                                 bool bFinished, int i32CurProgress);
    void slotVersionRead(const QString &strHostName, bool bReadable, const QString &strVersion, bool bTimedOut);
    void slotReplyTimerOut();
    void slotStalled(const QStringList &lstHosts);

private:
    bool StartModule(int i32Module);
    void StartDevice(const QString &strHostName);
    bool MayRetry(const QString &strHostName, const QString &strStep, const QString &strReason);
    void NotStarted(const QStringList &lstHosts, int i32Module, const QString &strReason);
    void ReleaseLater(const QString &strHostName);
    void OnReport(bool bFromHttp, const T_BaseDevInfo &stDevInfo, const QString &strCurStep, bool bError,
                  bool bFinished, int i32CurProgress);
    void Succeed(const QString &strHostName);
    void Fail(const QString &strHostName, const QString &strStep, const QString &strReason);
    void VersionRead(const QString &strHostName, bool bReadable, const QString &strVersion);
    void TestPass();
    void EndBatch();
    void Stop();

    CMaintainAgent *m_pAgent;
    CHttpAgent *m_pHttpAgent;
    CModuleList m_modules;
    CBatchLedger m_ledger;
    bool m_bRunning = false;
    bool m_bVazaOnly = false;
    QString m_strEmptyFile;
    int m_i32CurModule = -1;
    int m_i32Pass = 0; // told apart by deferred work that outlives its pass
    int m_i32Hold = 0; // while above zero the pass is not tested (a start or time-out loop runs)
    bool m_bVersionCheck = false;
    QString m_strExpectedVersion;
    QTimer m_timerReply;
    // The module limit: a device whose reports stop moving for MODULE_LIMIT_MS fails.
    CProgressWatch m_watch{MODULE_LIMIT_MS};
    CBatchChannel m_channel{m_pAgent, m_pHttpAgent};
    CPassQueue m_queue;
    CStartPacer m_pacer{&m_queue, STARTS_PER_TURN};
    CVersionReadBack m_readBack{m_pAgent, m_pHttpAgent};
    bool m_bStopRequested = false;
    bool m_bReleaseFinished = false;
};
