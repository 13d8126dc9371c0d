#pragma once

#include "batch/cprogresswatch.h"
#include "session/maintaintypes.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class CSerialMaintain;

// One operation on the microcontroller behind a serial line, from its start to one result:
// a version query, or an upgrade followed by a read of the version the controller then runs.
// What counts as success and every time limit are decided here, so the serial window and
// velmora-cli only show them:
//  - a version query is answered within CSerialMaintain::ANSWER_MS;
//  - an upgrade reports first within ANSWER_MS, then again within REPORT_GAP_MS of each
//    report, whatever it says;
//  - an upgrade whose reports stop moving for the module limit (a controller polled for ever
//    at the same percentage) fails as a time-out too;
//  - once the controller reports the upgrade completed, its version is read within
//    ANSWER_MS; when that read fails the upgrade still stands (RESULT_VERSION_UNREAD).
// Each operation opens the port afresh on a session of its own and closes it when it ends.
// A start that is refused returns its E_CmdResult, with the reason in Result(), and emits
// nothing; an accepted one ends in exactly one signalFinished. May be deleted from inside
// its own signals.
class CSerialUpgradeRunner : public QObject
{
    Q_OBJECT
public:
    enum E_Result {
        RESULT_OK,             // the version was read (after the upgrade, when one ran)
        RESULT_VERSION_UNREAD, // the upgrade completed, but its version could not be read
        RESULT_FAILED,         // the controller or the line refused or broke the operation
        RESULT_TIMEOUT,        // the controller went silent, or stopped getting on, for a limit
    };
    Q_ENUM(E_Result)

    struct T_Result {
        E_Result eResult = RESULT_FAILED;
        bool bUpgrade = false; // an upgrade (with its version read), not a version query
        QString strStep;       // where it ended: "version", "start", or the controller's last step
        QString strReason;     // why it failed, or why the version could not be read
        QByteArray baVersion;
    };

    // The port's name and baud rate; nothing is opened before an operation starts.
    CSerialUpgradeRunner(const QString &strPort, quint32 u32Baud, QObject *parent = nullptr);
    ~CSerialUpgradeRunner() override;

    E_CmdResult QueryVersion();
    E_CmdResult StartUpgrade(const QString &strFilePath);
    bool IsRunning() const { return m_ePhase != PHASE_IDLE; }
    // The last operation's result, or why its start was refused (a start refused as busy
    // leaves the running operation's alone).
    const T_Result &Result() const { return m_stResult; }

signals:
    // Every report of an upgrade that is not a failure, the final "Upgrade completed" too.
    void signalProgress(QString strStep, int i32Progress);
    void signalFinished(CSerialUpgradeRunner::T_Result stResult);

private slots:
    void slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                             bool bFinished, int i32CurProgress);
    void slotOnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr, UInt32 u32DevPort,
                                  QByteArray strVersion);
    void slotOnTimeout();
    void slotOnStalled();

private:
    enum E_Phase {
        PHASE_IDLE,
        PHASE_QUERY,     // a version query waits for its answer
        PHASE_UPGRADE,   // the upgrade runs
        PHASE_READ_BACK, // the upgrade completed; its version query waits for its answer
    };
    E_CmdResult Begin(E_Phase ePhase, E_CmdResult eStarted);
    void OpenSession();
    void CloseSession();
    void ReadBack();
    void Finish(E_Result eResult, const QString &strReason, const QByteArray &baVersion = QByteArray());
    QString RefusalReason(E_CmdResult eResult) const;

    QString m_strPort;
    quint32 m_u32Baud;
    CSerialMaintain *m_pSession = nullptr;
    E_Phase m_ePhase = PHASE_IDLE;
    // Whether the upgrade has reported: the time-out names the limit that ran out.
    bool m_bReported = false;
    T_Result m_stResult;
    QTimer m_timerWatchdog;
    CProgressWatch m_stallWatch;
};

Q_DECLARE_METATYPE(CSerialUpgradeRunner::T_Result)
