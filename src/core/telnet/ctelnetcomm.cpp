#include "telnet/ctelnetcomm.h"

#include "common/timescale.h"
#include "common/vlog.h"

#include <QHostAddress>
#include <QTcpSocket>

CTelnetComm::CTelnetComm(const QString &strCmdPrefix, const QString &strTarget, const QString &strHost, quint16 port,
                         QObject *parent)
    : CBaseComm(strCmdPrefix, strTarget, parent), m_socket(new QTcpSocket), m_strHost(strHost), m_port(port)
{
    connect(m_socket, &QTcpSocket::connected, this, &CTelnetComm::slotOnConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &CTelnetComm::slotOnReadData);
    connect(m_socket, &QTcpSocket::disconnected, this, &CTelnetComm::slotOnDisconnected);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &CTelnetComm::slotOnError);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &CTelnetComm::slotOnBytesWritten);
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &CTelnetComm::slotOnWriteTimeOut);
}

CTelnetComm::~CTelnetComm()
{
    // The socket may be inside its own signal (we were deleted from a slot it drove): it
    // must outlive this object, and nothing it says on the way out may reach us.
    disconnect(m_socket, nullptr, this, nullptr);
    AbortConnect();
    Reset();
    m_socket->deleteLater();
    m_socket = nullptr;
}

bool CTelnetComm::Connect()
{
    if (IsConnected() || IsConnecting())
        return false;
    QHostAddress addr;
    if (!addr.setAddress(m_strHost))
        return false;
    Reset();
    m_writeTimer.stop();
    m_pendingWrite.clear();
    SetLive();
    m_socket->connectToHost(addr, m_port, QIODevice::ReadWrite);
    StartTimeOutChecker(kCheckerMs);
    return IsConnecting();
}

bool CTelnetComm::Close()
{
    AbortConnect();
    return CBaseComm::Close();
}

bool CTelnetComm::IsConnecting()
{
    const QAbstractSocket::SocketState eState = m_socket->state();
    return eState == QAbstractSocket::HostLookupState || eState == QAbstractSocket::ConnectingState;
}

void CTelnetComm::AbortConnect()
{
    VLOG(lcTelnet) << Peer();
    m_writeTimer.stop();
    m_pendingWrite.clear();
    if (!m_socket)
        return;
    m_bAborting = true;
    m_socket->abort();
    m_bAborting = false;
}

bool CTelnetComm::IsConnected()
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool CTelnetComm::WriteData(const QByteArray &data, bool bNewLine)
{
    if (!m_socket || !m_socket->isValid())
        return false;
    QByteArray bytes = data;
    if (bNewLine)
        bytes += "\r\n";
    if (!bytes.isEmpty() && m_socket->write(bytes) != bytes.size())
        return false;
    m_socket->flush();
    if (m_socket->bytesToWrite() > 0) {
        // The silence period starts once the bytes have left, as after a blocking write.
        StopChecker();
        m_pendingWrite = data;
        m_writeTimer.start(Velmora::ScaledMs(kWriteTimeoutMs));
        return true;
    }
    StartTimeOutChecker(kCheckerMs);
    return true;
}

void CTelnetComm::slotOnBytesWritten()
{
    if (!m_writeTimer.isActive() || m_socket->bytesToWrite() > 0)
        return;
    m_writeTimer.stop();
    m_pendingWrite.clear();
    StartTimeOutChecker(kCheckerMs);
}

void CTelnetComm::slotOnWriteTimeOut()
{
    VLOG(lcTelnet) << "write did not leave within" << kWriteTimeoutMs << "ms," << m_socket->bytesToWrite() << "left";
    const QByteArray data = m_pendingWrite;
    m_pendingWrite.clear();
    emit OnSendData(data, false);
    slotOnSendFailed();
}

void CTelnetComm::slotOnConnected()
{
    VLOG(lcTelnet) << "Connect succeed: " + Peer();
    emit OnConnected();
}

void CTelnetComm::slotOnDisconnected()
{
    if (m_bAborting)
        return;
    VLOG(lcTelnet) << "Disconnected: " + Peer();
    EndConnection(true);
}

void CTelnetComm::slotOnReadData()
{
    if (m_socket->bytesAvailable() <= 0)
        return;
    OnReceiveData(m_socket->readAll());
}

void CTelnetComm::slotOnError(QAbstractSocket::SocketError err)
{
    if (m_bAborting)
        return;
    VLOG(lcTelnet) << err << m_socket->errorString() << "SendQueueCount = " << m_sendQueue.size();
    // The peer's close arrives as this error first; the close itself is then our own abort.
    EndConnection(err == QAbstractSocket::RemoteHostClosedError);
}

void CTelnetComm::EndConnection(bool bPeerClosed)
{
    const bool bWasLive = TakeLive();
    // Only bytes that left the socket can have reached the device.
    const bool bRebooted = bWasLive && bPeerClosed && !m_writeTimer.isActive() && TakeSentReboot();
    Close();
    if (!bWasLive)
        return;
    if (bPeerClosed)
        emit OnDisconnected();
    if (!m_sendQueue.isEmpty())
        emit OnSendQueueReturn(COMM_FAILED);
    else if (bRebooted)
        emit OnSendQueueReturn(COMM_OK);
}

QString CTelnetComm::Peer() const
{
    return QStringLiteral("%1:%2").arg(m_strHost).arg(m_port);
}
