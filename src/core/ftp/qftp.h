#pragma once

#include <QIODevice>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QFtpPI;

// An asynchronous FTP client. Every call queues one command and returns its id at once;
// nothing goes on the wire before control returns to the event loop, and commands run
// strictly in the order they were queued. done(false) follows the last queued command,
// done(true) the first one that fails (the rest of the queue is dropped then).
// Deleting the client in the middle of a transfer aborts the transfer.
class QFtp : public QObject
{
    Q_OBJECT
public:
    enum State { Unconnected, HostLookup, Connecting, Connected, LoggedIn, Closing };
    enum Error { NoError, UnknownError, HostNotFound, ConnectionRefused, NotConnected, ConnectionClosed };
    enum Command { None, SetTransferMode, ConnectToHost, Login, Close, Get, Put };
    enum TransferMode { Active, Passive };
    enum TransferType { Binary, Ascii };

    explicit QFtp(QObject *parent = nullptr);
    ~QFtp() override;

    // Applies to the transfers queued after it; passive is the default.
    int setTransferMode(TransferMode eMode);
    int connectToHost(const QString &strHost, quint16 u16Port = 21);
    // A null user is sent as "anonymous" and a null password as "anonymous@"; empty
    // (non-null) texts are sent as they are.
    int login(const QString &strUser = QString(), const QString &strPassword = QString());
    int close();
    // Without a device the data is left for the caller: readyRead(), bytesAvailable(), read().
    int get(const QString &strFile, QIODevice *pDevice = nullptr, TransferType eType = Binary);
    // Streams the open device to strFile; the device must stay alive until the command ends.
    int put(QIODevice *pDevice, const QString &strFile, TransferType eType = Binary);

    qint64 bytesAvailable() const;
    QByteArray read(qint64 i64MaxLen);
    QByteArray readAll();

    int currentId() const;
    Command currentCommand() const;
    QIODevice *currentDevice() const;
    bool hasPendingCommands() const;
    // Drops the queued commands that have not started; the running one goes on.
    void clearPendingCommands();

    State state() const { return m_eState; }
    Error error() const { return m_eError; }
    QString errorString() const { return m_strError; }
    // The line that opened the latest data connection, exactly as sent: "PASV", "EPSV",
    // "PORT 127,0,0,1,156,64" or "EPRT |2|::1|40000|" (empty before the first transfer).
    // Shows which mode a transfer really used, after fallbacks such as EPSV refused.
    QString dataConnectionCommand() const;

signals:
    void stateChanged(int iState);
    void readyRead();
    void dataTransferProgress(qint64 i64Done, qint64 i64Total);
    void commandStarted(int iId);
    void commandFinished(int iId, bool bError);
    void done(bool bError);

private slots:
    void slotStartNextCommand();
    void slotPiConnectState(int iState);
    void slotPiFinished(const QString &strText);
    void slotPiError(int iError, const QString &strText);

private:
    struct T_Command {
        int i32Id = 0;
        Command eCommand = None;
        QStringList lstLines;        // the FTP lines it expands to
        QPointer<QIODevice> pDevice; // the local file of a transfer, if any
        bool bHadDevice = false;     // a device was given (and may since have gone)
        QString strHost;
        quint16 u16Port = 0;
        TransferMode eMode = Passive;
        bool bBadArgument = false; // an argument would have broken the command line
    };

    int AddCommand(T_Command stCommand);
    void ScheduleStart();
    void FinishCurrent(bool bError);
    void SetState(State eState);
    QString FailureText(Command eCommand, const QString &strDetail) const;

    QFtpPI *m_pPi;
    QList<T_Command> m_lstCommands; // the running command (if any) first
    bool m_bRunning = false;        // the first command has started
    bool m_bStartScheduled = false;
    TransferMode m_eMode = Passive;
    State m_eState = Unconnected;
    Error m_eError = NoError;
    QString m_strError;
};
