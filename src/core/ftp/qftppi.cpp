#include "ftp/qftppi.h"

#include "common/vlog.h"
#include "ftp/qftp.h"

#include <QHostAddress>
#include <QPointer>
#include <QSignalBlocker>
#include <QTcpSocket>

namespace
{

enum E_Action {
    ActWait, // preliminary reply, the final one follows
    ActNext, // this line is done: send the next one (or finish)
    ActFail, // the command fails
};

// What the first digit of a reply means in each state; column 0 stands for a first digit
// outside 1..5 (a reply no server should send).
//   greeting: "120 Service ready in 5 minutes" waits, "220 (vsFTPd 3.0.3)" connects,
//             "421 Too many connections" refuses.
//   reply to a line: "150 Opening BINARY mode data connection" waits, "200 Switching to
//             Binary mode." and "331 Please specify the password." both send the next
//             line, "530 Login incorrect." and "451 Local error" fail.
const E_Action s_actions[2][6] = {
    /* StBegin   */ {ActFail, ActWait, ActNext, ActFail, ActFail, ActFail},
    /* StWaiting */ {ActFail, ActWait, ActNext, ActNext, ActFail, ActFail},
};

int FirstDigitColumn(int i32Code)
{
    const int iDigit = i32Code / 100;
    return iDigit >= 1 && iDigit <= 5 ? iDigit : 0;
}

} // namespace

QFtpPI::QFtpPI(QObject *parent) : QObject(parent), m_pSocket(new QTcpSocket(this)), m_pDtp(new QFtpDTP(this))
{
    connect(m_pSocket, &QTcpSocket::hostFound, this, &QFtpPI::slotHostFound);
    connect(m_pSocket, &QTcpSocket::connected, this, &QFtpPI::slotConnected);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &QFtpPI::slotReadyRead);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &QFtpPI::slotDisconnected);
    connect(m_pSocket, &QTcpSocket::errorOccurred, this, &QFtpPI::slotSocketError);
    connect(m_pDtp, &QFtpDTP::connectState, this, &QFtpPI::slotDtpConnectState);
    connect(m_pDtp, &QFtpDTP::transferFailed, this, &QFtpPI::slotDtpTransferFailed);
}

QFtpPI::~QFtpPI()
{
    m_pSocket->disconnect(this);
    m_pDtp->disconnect(this);
    // We may be dying inside one of the control socket's own signals (a caller deletes the
    // client from done()), and Qt's socket code goes on using the socket once that signal's
    // slots return. So the socket must not die with us: detach it and let the event loop
    // delete it.
    m_pSocket->setParent(nullptr);
    m_pSocket->abort();
    m_pSocket->deleteLater();
}

void QFtpPI::ConnectToHost(const QString &strHost, quint16 u16Port)
{
    {
        // Dropping an old connection is not a failure of the new one.
        const QSignalBlocker blocker(m_pSocket);
        m_pSocket->abort();
    }
    m_pDtp->AbortConnection();
    m_parser.Clear();
    m_lstPending.clear();
    m_strCurrentLine.clear();
    m_bEpsvRefused = false;
    m_bTransferRunning = false;
    m_bRetrieveDone = false;
    m_strHost = strHost;
    m_eState = StConnecting;
    VLOG(lcFtp) << "connecting to" << strHost << u16Port;
    m_pSocket->connectToHost(strHost, u16Port);
}

bool QFtpPI::IsConnected() const
{
    return m_pSocket->state() == QAbstractSocket::ConnectedState && m_eState >= StIdle;
}

void QFtpPI::SendCommands(const QStringList &lstLines)
{
    m_lstPending = lstLines;
    m_bRetrieveDone = false;
    SendNextLine();
}

void QFtpPI::ClearPendingCommands()
{
    m_lstPending.clear();
    m_strCurrentLine.clear();
    m_bTransferRunning = false;
    m_bRetrieveDone = false;
    m_pDtp->AbortConnection();
    if (m_eState > StIdle)
        m_eState = StIdle;
}

void QFtpPI::CloseConnection()
{
    m_lstPending.clear();
    m_strCurrentLine.clear();
    m_eState = StUnconnected;
    m_pDtp->AbortConnection();
    m_pSocket->disconnectFromHost();
}

void QFtpPI::AbortTransfer()
{
    m_lstPending.clear();
    if (m_bTransferRunning && m_pSocket->state() == QAbstractSocket::ConnectedState) {
        VLOG(lcFtp) << "-> ABOR";
        m_pSocket->write("ABOR\r\n");
        // Written now: the socket may not live to see another event-loop turn.
        m_pSocket->flush();
    }
    m_bTransferRunning = false;
    m_pDtp->AbortConnection();
}

QString QFtpPI::Verb() const
{
    return m_strCurrentLine.section(QLatin1Char(' '), 0, 0).toUpper();
}

void QFtpPI::SendNextLine()
{
    if (m_lstPending.isEmpty()) {
        CompleteCommand();
        return;
    }
    QString strLine = m_lstPending.takeFirst();
    const QHostAddress peer = m_pSocket->peerAddress();
    bool bPeerIsIpv4 = false;
    peer.toIPv4Address(&bPeerIsIpv4);
    if (strLine == QLatin1String("PASV") && !bPeerIsIpv4 && !m_bEpsvRefused) {
        // Over IPv6 "227 (h1,h2,h3,h4,p1,p2)" cannot name the server: ask for a port only.
        strLine = QStringLiteral("EPSV");
    } else if (strLine == QLatin1String("PORT")) {
        const QHostAddress local = m_pSocket->localAddress();
        const quint16 u16Port = m_pDtp->SetupListener(local);
        if (u16Port == 0) {
            Fail(QFtp::ConnectionRefused, QFtp::tr("Connection refused for data connection"));
            return;
        }
        bool bLocalIsIpv4 = false;
        const quint32 u32Ip = local.toIPv4Address(&bLocalIsIpv4);
        if (bLocalIsIpv4) {
            // "PORT h1,h2,h3,h4,p1,p2": the address and port in decimal bytes.
            strLine = QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
                          .arg((u32Ip >> 24) & 0xff)
                          .arg((u32Ip >> 16) & 0xff)
                          .arg((u32Ip >> 8) & 0xff)
                          .arg(u32Ip & 0xff)
                          .arg(u16Port >> 8)
                          .arg(u16Port & 0xff);
        } else {
            // "EPRT |2|::1|6446|": protocol 2 is IPv6.
            QHostAddress plain(local);
            plain.setScopeId(QString());
            strLine = QStringLiteral("EPRT |2|%1|%2|").arg(plain.toString()).arg(u16Port);
        }
    }
    m_strCurrentLine = strLine;
    m_eState = StWaiting;
    const QString strVerb = Verb();
    if (strVerb == QLatin1String("PASV") || strVerb == QLatin1String("EPSV") || strVerb == QLatin1String("PORT") ||
        strVerb == QLatin1String("EPRT"))
        m_strDataCommand = strLine;
    VLOG(lcFtp) << "->" << (strVerb == QLatin1String("PASS") ? QStringLiteral("PASS ****") : strLine);
    m_pSocket->write(strLine.toUtf8() + "\r\n");
    if (strVerb == QLatin1String("RETR") || strVerb == QLatin1String("STOR"))
        m_bTransferRunning = true;
}

void QFtpPI::CompleteCommand(const QString &strText)
{
    if (m_pDtp->IsOpen())
        m_pDtp->AbortConnection();
    m_lstPending.clear();
    m_strCurrentLine.clear();
    m_bTransferRunning = false;
    m_bRetrieveDone = false;
    if (m_eState != StUnconnected)
        m_eState = StIdle;
    emit finished(strText);
}

void QFtpPI::Fail(int iError, const QString &strText)
{
    VLOG(lcFtp) << "failed:" << m_strCurrentLine.section(QLatin1Char(' '), 0, 0) << strText;
    m_lstPending.clear();
    m_strCurrentLine.clear();
    m_bTransferRunning = false;
    m_bRetrieveDone = false;
    m_pDtp->AbortConnection();
    if (m_eState != StUnconnected && m_eState != StConnecting)
        m_eState = StIdle;
    else
        m_eState = StUnconnected;
    emit error(iError, strText);
}

void QFtpPI::slotHostFound()
{
    emit connectState(CsHostFound);
}

void QFtpPI::slotConnected()
{
    VLOG(lcFtp) << "control connection up to" << m_pSocket->peerAddress().toString() << m_pSocket->peerPort();
    m_eState = StBegin;
}

void QFtpPI::slotReadyRead()
{
    QPointer<QFtpPI> guard(this);
    while (m_pSocket->bytesAvailable() > 0) {
        m_parser.Append(m_pSocket->read(64 * 1024));
        T_FtpReply stReply;
        while (m_parser.Next(stReply)) {
            ProcessReply(stReply);
            if (!guard)
                return;
        }
    }
}

void QFtpPI::ProcessReply(const T_FtpReply &stReply)
{
    VLOG(lcFtp) << "<-" << stReply.i32Code << stReply.strText;
    const bool bExpecting = m_eState == StBegin || m_eState == StWaiting || m_eState == StWaitData;
    if (stReply.bMalformed) {
        // Not a reply at all: the server and we no longer agree on where we are.
        if (bExpecting)
            Fail(QFtp::UnknownError, stReply.strText);
        return;
    }
    switch (m_eState) {
    case StBegin:
        switch (s_actions[0][FirstDigitColumn(stReply.i32Code)]) {
        case ActWait:
            return;
        case ActNext:
            m_eState = StIdle;
            {
                QPointer<QFtpPI> guard(this);
                emit connectState(CsConnected);
                if (!guard)
                    return;
            }
            CompleteCommand(QFtp::tr("Connected to host %1").arg(m_pSocket->peerName()));
            return;
        case ActFail:
            Fail(QFtp::UnknownError, stReply.strText);
            return;
        }
        return;
    case StWaiting:
        ProcessWaitingReply(stReply);
        return;
    case StWaitData:
        // Still opening the data connection; only a refusal (a closing server) matters.
        if (FirstDigitColumn(stReply.i32Code) != 1 && FirstDigitColumn(stReply.i32Code) != 2)
            Fail(QFtp::UnknownError, stReply.strText);
        return;
    default:
        VLOG(lcFtp) << "reply while nothing is awaited, ignored";
        return;
    }
}

void QFtpPI::ProcessWaitingReply(const T_FtpReply &stReply)
{
    const int i32Code = stReply.i32Code;
    const int iColumn = FirstDigitColumn(i32Code);
    const QString strVerb = Verb();
    E_Action eAction = s_actions[1][iColumn];
    // "202 Command not implemented, superfluous at this site": nothing was done.
    if (i32Code == 202)
        eAction = ActFail;

    if (eAction == ActFail) {
        // A server without SIZE still sends the file (the total is then unknown), and one
        // that does not take ALLO ("202 ALLO command ignored.") still stores it.
        if (strVerb == QLatin1String("SIZE") || strVerb == QLatin1String("ALLO")) {
            if (strVerb == QLatin1String("SIZE"))
                m_pDtp->SetBytesTotal(0);
            SendNextLine();
            return;
        }
        // An IPv6 server without extended passive mode may still know the old one.
        if (strVerb == QLatin1String("EPSV") && iColumn == 5 && !m_bEpsvRefused) {
            m_bEpsvRefused = true;
            m_lstPending.prepend(QStringLiteral("PASV"));
            SendNextLine();
            return;
        }
        Fail(QFtp::UnknownError, stReply.strText);
        return;
    }
    if (eAction == ActWait) {
        // "150 Ok to send data.": the server is ready for the upload's bytes.
        if (strVerb == QLatin1String("STOR"))
            m_pDtp->TransferAccepted();
        return;
    }

    if (strVerb == QLatin1String("PASV") || strVerb == QLatin1String("EPSV")) {
        QString strHost;
        quint16 u16Port = 0;
        bool bOk = false;
        if (i32Code == 227 && strVerb == QLatin1String("PASV")) {
            // "227 Entering Passive Mode (127,0,0,1,156,64)"
            bOk = ParsePasvReply(stReply.strText, strHost, u16Port);
            // "0,0,0,0" means "the address you already talk to".
            if (bOk && strHost == QLatin1String("0.0.0.0"))
                strHost = m_pSocket->peerAddress().toString();
        } else if (i32Code == 229 && strVerb == QLatin1String("EPSV")) {
            // "229 Entering Extended Passive Mode (|||6446|)": same host, new port.
            bOk = ParseEpsvReply(stReply.strText, u16Port);
            strHost = m_pSocket->peerAddress().toString();
        }
        if (!bOk) {
            Fail(QFtp::UnknownError, stReply.strText);
            return;
        }
        // The next line waits for the data connection, so a refused one fails cleanly
        // instead of leaving the server waiting for a transfer that never comes.
        m_eState = StWaitData;
        m_pDtp->ConnectToHost(strHost, u16Port);
        return;
    }
    if (i32Code == 213 && strVerb == QLatin1String("SIZE")) {
        qint64 i64Size = 0;
        m_pDtp->SetBytesTotal(ParseSizeReply(stReply.strText, i64Size) ? i64Size : 0);
    }
    if (iColumn == 2 && strVerb == QLatin1String("RETR")) {
        // "226 Transfer complete" can overtake the last data bytes: finish only once the
        // data connection has ended too.
        m_bRetrieveDone = true;
        m_bTransferRunning = false;
        MaybeCompleteRetrieve();
        return;
    }
    if (iColumn == 2 && strVerb == QLatin1String("STOR")) {
        m_bTransferRunning = false;
        CompleteCommand();
        return;
    }
    if (i32Code == 230 && strVerb == QLatin1String("USER")) {
        // Logged in without a password: sending one now would only be refused.
        m_lstPending.clear();
    }
    if (iColumn == 3 && m_lstPending.isEmpty()) {
        // "332 Need account for login": the server wants more than this command has.
        Fail(QFtp::UnknownError, stReply.strText);
        return;
    }
    SendNextLine();
}

void QFtpPI::MaybeCompleteRetrieve()
{
    if (!m_bRetrieveDone)
        return;
    if (!m_pDtp->HasConnected())
        m_pDtp->PollPendingConnection();
    if (m_pDtp->IsOpen()) {
        m_eState = StWaitClose;
        return;
    }
    CompleteCommand();
}

void QFtpPI::slotDtpConnectState(int iState)
{
    switch (iState) {
    case QFtpDTP::CsConnected:
        if (m_eState == StWaitData) {
            m_eState = StWaiting;
            SendNextLine();
        }
        return;
    case QFtpDTP::CsClosed:
        if (m_eState == StWaitClose)
            CompleteCommand();
        return;
    case QFtpDTP::CsConnectionRefused:
        if (m_eState == StWaitData || m_eState == StWaiting)
            Fail(QFtp::ConnectionRefused, QFtp::tr("Connection refused for data connection"));
        return;
    default:
        return;
    }
}

void QFtpPI::slotDtpTransferFailed(const QString &strReason)
{
    if (m_eState == StWaiting || m_eState == StWaitData || m_eState == StWaitClose)
        Fail(QFtp::UnknownError, strReason);
}

void QFtpPI::slotDisconnected()
{
    VLOG(lcFtp) << "control connection closed";
    ControlConnectionLost();
}

void QFtpPI::slotSocketError()
{
    const QAbstractSocket::SocketError eError = m_pSocket->error();
    VLOG(lcFtp) << "control socket error" << eError << m_pSocket->errorString();
    if (m_eState == StConnecting) {
        m_pSocket->abort();
        switch (eError) {
        case QAbstractSocket::HostNotFoundError:
            emit connectState(CsHostNotFound);
            Fail(QFtp::HostNotFound, QFtp::tr("Host %1 not found").arg(m_strHost));
            return;
        case QAbstractSocket::ConnectionRefusedError:
            emit connectState(CsConnectionRefused);
            Fail(QFtp::ConnectionRefused, QFtp::tr("Connection refused to host %1").arg(m_strHost));
            return;
        case QAbstractSocket::SocketTimeoutError:
            emit connectState(CsConnectionRefused);
            Fail(QFtp::ConnectionRefused, QFtp::tr("Connection timed out to host %1").arg(m_strHost));
            return;
        default:
            Fail(QFtp::UnknownError, m_pSocket->errorString());
            return;
        }
    }
    ControlConnectionLost();
}

void QFtpPI::ControlConnectionLost()
{
    if (m_eState == StUnconnected || m_eState == StConnecting)
        return;
    const E_State eOld = m_eState;
    const bool bQuitting = Verb() == QLatin1String("QUIT");
    m_eState = StUnconnected;
    m_pSocket->abort();
    QPointer<QFtpPI> guard(this);
    emit connectState(CsClosed);
    if (!guard)
        return;
    if (eOld == StIdle)
        return;
    if (bQuitting) {
        // The server hung up on QUIT without "221 Goodbye": that is still goodbye.
        CompleteCommand();
        return;
    }
    Fail(QFtp::ConnectionClosed, QFtp::tr("Connection closed"));
}
