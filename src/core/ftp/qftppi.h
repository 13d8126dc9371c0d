#pragma once

#include "ftp/ftpreply.h"
#include "ftp/qftpdtp.h"

#include <QObject>
#include <QStringList>

class QTcpSocket;

// The protocol interpreter on the control connection. It sends the lines of one command
// one at a time, each only after the server's positive reply to the previous one, and
// decides by the reply's first digit what happens next (see s_actions in the source).
// It reports the end of a command with finished() and a failure with error().
class QFtpPI : public QObject
{
    Q_OBJECT
public:
    enum E_ConnectState { CsHostFound, CsConnected, CsClosed, CsHostNotFound, CsConnectionRefused };

    explicit QFtpPI(QObject *parent = nullptr);
    ~QFtpPI() override;

    void ConnectToHost(const QString &strHost, quint16 u16Port);
    // Runs the lines of one command; "PASV" and "PORT" are placeholders completed when
    // they are sent (EPSV/EPRT over IPv6, the listening address and port). Every line
    // goes out on a later event-loop turn than the call that queued its command.
    void SendCommands(const QStringList &lstLines);
    // Forgets the running command: its remaining lines, its data connection.
    void ClearPendingCommands();
    // Closes the control connection in an orderly way (after QUIT).
    void CloseConnection();
    // Tells the server to stop the running transfer and drops its data connection;
    // used when the client goes away in the middle of one.
    void AbortTransfer();

    bool IsConnected() const; // greeting received and the connection still up
    bool IsTransferRunning() const { return m_bTransferRunning; }
    QFtpDTP &Dtp() { return *m_pDtp; }
    // The line that opened the latest data connection, as sent.
    QString LastDataCommand() const { return m_strDataCommand; }

signals:
    void connectState(int iState);
    // The current command is complete; strText says so for the log ("Connected to host ...").
    void finished(const QString &strText);
    // iError is a QFtp::Error; for QFtp::UnknownError strText is the server's reply text or
    // the socket's error text, which the client puts into the command's own message.
    void error(int iError, const QString &strText);

private slots:
    void slotHostFound();
    void slotConnected();
    void slotReadyRead();
    void slotDisconnected();
    void slotSocketError();
    void slotDtpConnectState(int iState);
    void slotDtpTransferFailed(const QString &strReason);

private:
    enum E_State {
        StUnconnected, // no control connection
        StConnecting,  // socket connecting
        StBegin,       // connected, waiting for the greeting
        StIdle,        // nothing sent that still waits for a reply
        StWaiting,     // one line sent, its reply awaited
        StWaitData,    // data connection being opened after PASV/EPSV
        StWaitClose,   // RETR answered, the data connection has not ended yet
    };

    void ProcessReply(const T_FtpReply &stReply);
    void ProcessWaitingReply(const T_FtpReply &stReply);
    void SendNextLine();
    void CompleteCommand(const QString &strText = QString());
    void Fail(int iError, const QString &strText);
    void MaybeCompleteRetrieve();
    void ControlConnectionLost();
    QString Verb() const;

    QTcpSocket *m_pSocket;
    QFtpDTP *m_pDtp;
    CFtpReplyParser m_parser;
    E_State m_eState = StUnconnected;
    QString m_strHost;        // as given, for the messages
    QStringList m_lstPending; // lines of the current command not sent yet
    QString m_strCurrentLine; // the line whose reply is awaited
    QString m_strDataCommand; // PASV, EPSV, PORT or EPRT line last sent
    bool m_bEpsvRefused = false;
    bool m_bTransferRunning = false; // RETR/STOR sent and not answered finally
    bool m_bRetrieveDone = false;    // final positive reply to RETR received
};
