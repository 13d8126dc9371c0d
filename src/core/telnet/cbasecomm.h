#pragma once

#include "telnet/cshellreads.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>

// Result of a command run on a device shell (OnSendQueueReturn) and of one value read.
enum E_CommResult {
    COMM_OK = 0,
    COMM_FAILED = 1,
    COMM_TIMEOUT_CONNECTING = 3,
    COMM_TIMEOUT = 4,
};
Q_DECLARE_METATYPE(E_CommResult)

// Drives a device's Linux shell as a scripted user, independent of the transport: answers
// the telnet option negotiation, logs in, recognises the "/ # " prompt and types queued
// command lines one per prompt, turning what comes back into signals. A run ends with one
// OnSendQueueReturn: COMM_OK at a prompt with nothing left to type, or the failure that
// closed the connection. The queue survives a failure, so a reconnect repeats the command
// that was cut off. May be deleted (deleteLater) from a slot connected to its own signals.
class CBaseComm : public QObject
{
    Q_OBJECT
public:
    enum E_ParamReadMode {
        PARAM_READ_RO = 0, // "r": the read-only store
        PARAM_READ = 1,    // "g": the value in effect
    };

    // Silence allowed after a write before the run is given up (product time).
    static constexpr int kCheckerMs = 15000;
    // Time a write may take to leave the socket.
    static constexpr int kWriteTimeoutMs = 30000;
    // An unterminated tail this long is no prompt: it is dropped.
    static constexpr int kMaxTail = 1024;

    static const QByteArray s_promptEnd;   // "# "
    static const QByteArray s_rootPrompt;  // "/ # "
    static const QByteArray s_loginPrompt; // "login: "
    static const QByteArray s_monitorInfoCmd;

    CBaseComm(const QString &strCmdPrefix, const QString &strTarget, QObject *parent = nullptr);
    ~CBaseComm() override;

    virtual bool Connect() = 0;
    virtual bool Close();
    virtual bool IsConnecting() = 0;
    virtual void AbortConnect() = 0;
    virtual bool IsConnected() = 0;
    virtual bool SendData(const QByteArray &data, bool bNewLine);

    // Command builders: each queues one line and returns what PushSendData returns.
    virtual bool ReadParam(const QString &strName, int mode);
    virtual bool WriteParam(const QString &strName, const QString &strValue);
    virtual bool SaveParam();
    virtual bool SendECommand(const QString &strArg);
    virtual bool SetOsd(bool bOn);
    virtual bool ReadOption(const QString &strName);
    virtual bool WriteOption(const QString &strName, const QString &strValue);
    virtual bool ReadConfig(const QString &strName);
    virtual bool WriteConfig(const QString &strArgs);
    virtual bool WriteViOption(const QString &strArg);

    // Queues a line (with CR LF when bNewLine); written at once when the shell is at a
    // prompt with nothing in flight. A null cmd queues a bare CR LF, or nothing (false)
    // without bNewLine.
    virtual bool PushSendData(const char *cmd, bool bNewLine);
    // Drops everything queued; a command already in flight is still answered by its prompt.
    virtual void ClearSendQueue();
    virtual bool ReadMonitorInfo();
    // The receive path: every byte the transport reads comes through here.
    virtual void OnReceiveData(const QByteArray &data);
    // Raw write of the transport; on success the silence checker runs.
    virtual bool WriteData(const QByteArray &data, bool bNewLine) = 0;

    // The device gives no prompt after "reboot": whatever it prints while going down
    // completes the command, and so does its close once the command has gone out.
    bool Reboot();

    // Channels alive in the process: short-lived channels must all be disposed of, and
    // tests and benchmarks check that none is left behind.
    static int LiveCount();

    QList<QByteArray> SendQueue() const { return m_sendQueue; }
    unsigned int PromptCount() const { return m_promptCount; }
    bool IsCheckerRunning() const { return m_checker.isActive(); }

signals:
    void OnConnected();
    void OnDisconnected();
    void OnSendQueueReturn(E_CommResult eResult);
    void OnNodelistEnd();
    void OnSendData(QByteArray strData, bool bSucceed);
    void OnRecvData(QByteArray strData);
    void OnListDevice(QByteArray strIpAddr, QByteArray strHostName, QByteArray strStatus);
    void OnReadParam(QByteArray strParamName, QByteArray strParamValue, E_CommResult eResult);
    void OnReadOption(QByteArray strOptionName, QByteArray strOptionValue, E_CommResult eResult);
    void OnReadConfig(QByteArray strConfigName, QByteArray strConfigValue, E_CommResult eResult);
    void OnExecResult(QByteArray strCmd, QByteArray strResult);

protected slots:
    void slotOnCheckerTimeOut();
    void slotOnSendFailed();

protected:
    void CheckSendNext();
    void StartTimeOutChecker(int msec);
    void RestartChecker();
    void StopChecker() { m_checker.stop(); }
    // Body of Close(); also run by Connect and the destructor. Keeps the queue.
    void Reset();

    // Ends the run with a failure once per connection: the socket reports an error and a
    // close for the same loss, and our own abort reports both again.
    bool TakeLive();
    void SetLive() { m_bLive = true; }
    // A device goes down once it has read "reboot", often before it prints anything: when the
    // command now answered is a reboot that went out, it leaves the queue and true is returned,
    // so the close that follows counts as its success. Ask before Close() forgets what went out.
    bool TakeSentReboot();

    void DueReceiveLine(const QByteArray &line);

    QString m_target;
    QString m_cmdPrefix;
    QString m_showConfigCmd;
    QString m_user;
    QString m_password;
    QByteArray m_recvBuffer;
    QByteArray m_lastLine;
    QByteArray m_lastSend;
    unsigned int m_promptCount = 0;
    QList<QByteArray> m_sendQueue;
    bool m_listing = false;
    QTimer m_checker;
    CShellReads m_reads;

private:
    bool AnswerNegotiation();
    void ProcessText();
    bool AnswerLogin(const QByteArray &tail);
    void QueueAdvance();
    bool Queue(const QByteArray &entry);
    void EmitRead(const CShellReads::T_Read &stRead);

    // Bumped by every reset: a slot that closes the channel from inside a signal stops the
    // rest of the buffer being read into a connection that is gone.
    quint64 m_u64Generation = 0;
    bool m_bLive = false;
};
