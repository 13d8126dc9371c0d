#include "ftp/qftpdtp.h"

#include "ftp/cdataserver.h"
#include "ftp/qftp.h"

#include "common/vlog.h"

#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

QFtpDTP::QFtpDTP(QObject *parent) : QObject(parent) {}

QFtpDTP::~QFtpDTP()
{
    // Nothing may call back into a half-destroyed transfer.
    if (m_pSocket)
        m_pSocket->disconnect(this);
    if (m_pServer)
        m_pServer->disconnect(this);
    AbortConnection();
}

void QFtpDTP::Prepare(bool bUpload, QIODevice *pDevice, qint64 i64Total)
{
    AbortConnection();
    if (m_pDevice)
        m_pDevice->disconnect(this);
    m_pDevice = pDevice;
    m_bUpload = bUpload;
    m_i64Total = i64Total;
    m_i64Done = 0;
    m_writer.Reset();
    m_baBuffer.clear();
    m_i32BufferPos = 0;
    m_bAccepted = false;
    m_bUploadStarted = false;
    m_bHasConnected = false;
    m_bConnected = false;
    // A sequential source (a pipe, a socket) may run dry before its end; go on when it refills.
    if (bUpload && pDevice && pDevice->isSequential())
        connect(pDevice, &QIODevice::readyRead, this, &QFtpDTP::slotDeviceReadyRead);
}

void QFtpDTP::ConnectToHost(const QString &strHost, quint16 u16Port)
{
    DropSocket(true);
    VLOG(lcFtp) << "data connection to" << strHost << u16Port;
    auto *pSocket = new QTcpSocket(this);
    AttachSocket(pSocket);
    connect(pSocket, &QTcpSocket::connected, this, &QFtpDTP::slotConnected);
    // Uploads write straight to the system, without a copy into the socket's own buffer.
    pSocket->connectToHost(strHost, u16Port,
                           m_bUpload ? QIODevice::ReadWrite | QIODevice::Unbuffered : QIODevice::ReadWrite);
}

quint16 QFtpDTP::SetupListener(const QHostAddress &address)
{
    DropSocket(true);
    if (m_pServer) {
        DisposeServer();
    }
    m_pServer = new CDataServer(m_bUpload, this);
    connect(m_pServer, &QTcpServer::newConnection, this, &QFtpDTP::slotNewConnection);
    if (!m_pServer->listen(address, 0)) {
        VWARN(lcFtp) << "cannot listen on" << address.toString() << m_pServer->errorString();
        DisposeServer();
        return 0;
    }
    return m_pServer->serverPort();
}

void QFtpDTP::PollPendingConnection()
{
    if (m_pServer && !m_bHasConnected)
        m_pServer->waitForNewConnection(0);
}

void QFtpDTP::TransferAccepted()
{
    m_bAccepted = true;
    MaybeStartUpload();
}

bool QFtpDTP::IsOpen() const
{
    return m_pSocket && m_bConnected;
}

qint64 QFtpDTP::BytesAvailable() const
{
    if (IsOpen())
        return m_pSocket->bytesAvailable();
    return m_baBuffer.size() - m_i32BufferPos;
}

QByteArray QFtpDTP::Read(qint64 i64MaxLen)
{
    if (i64MaxLen <= 0)
        return QByteArray();
    if (IsOpen()) {
        const QByteArray ba = m_pSocket->read(i64MaxLen);
        m_i64Done += ba.size();
        return ba;
    }
    // What was left when the connection closed. The limit holds here too: a caller that
    // asks for 1024 bytes never gets more. An offset, not remove(), keeps chunked reads linear.
    const qint64 i64Left = m_baBuffer.size() - m_i32BufferPos;
    if (m_i32BufferPos == 0 && i64MaxLen >= i64Left) {
        QByteArray ba;
        ba.swap(m_baBuffer);
        return ba;
    }
    const int iTake = static_cast<int>(qMin(i64MaxLen, i64Left));
    const QByteArray ba = m_baBuffer.mid(m_i32BufferPos, iTake);
    m_i32BufferPos += iTake;
    if (m_i32BufferPos >= m_baBuffer.size()) {
        m_baBuffer.clear();
        m_i32BufferPos = 0;
    }
    return ba;
}

void QFtpDTP::AbortConnection()
{
    DropSocket(true);
    if (m_pServer)
        DisposeServer();
}

void QFtpDTP::DisposeServer()
{
    // The same as for the socket: the server may be emitting newConnection right now.
    QTcpServer *pServer = m_pServer;
    m_pServer = nullptr;
    pServer->disconnect(this);
    pServer->close();
    pServer->setParent(nullptr);
    pServer->deleteLater();
}

void QFtpDTP::AttachSocket(QTcpSocket *pSocket)
{
    m_pSocket = pSocket;
    connect(pSocket, &QTcpSocket::readyRead, this, &QFtpDTP::slotReadyRead);
    connect(pSocket, &QTcpSocket::bytesWritten, this, &QFtpDTP::slotBytesWritten);
    connect(pSocket, &QTcpSocket::readChannelFinished, this, &QFtpDTP::slotReadChannelFinished);
    connect(pSocket, &QTcpSocket::disconnected, this, &QFtpDTP::slotDisconnected);
    connect(pSocket, &QTcpSocket::errorOccurred, this, &QFtpDTP::slotError);
}

void QFtpDTP::DropSocket(bool bReset)
{
    if (!m_pSocket)
        return;
    QTcpSocket *pSocket = m_pSocket;
    m_pSocket = nullptr;
    m_bConnected = false;
    m_writer.SetWriting(false);
    pSocket->disconnect(this);
#ifdef Q_OS_UNIX
    // An upload cut short must reach the server as a reset: an orderly close would make
    // the truncated file look complete.
    if (bReset && m_bUpload && pSocket->socketDescriptor() != -1) {
        const struct linger stLinger = {1, 0};
        ::setsockopt(static_cast<int>(pSocket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &stLinger, sizeof(stLinger));
    }
#else
    Q_UNUSED(bReset);
#endif
    pSocket->abort();
    // We may be inside one of its signals, and our owner may be deleted before the event
    // loop runs again: a child would then die with us while Qt still uses it.
    pSocket->setParent(nullptr);
    pSocket->deleteLater();
}

void QFtpDTP::slotConnected()
{
    m_bHasConnected = true;
    m_bConnected = true;
    VLOG(lcFtp) << "data connection up";
    QPointer<QFtpDTP> guard(this);
    emit connectState(CsConnected);
    if (guard)
        MaybeStartUpload();
}

void QFtpDTP::slotNewConnection()
{
    if (!m_pServer || m_bHasConnected)
        return;
    QTcpSocket *pSocket = m_pServer->nextPendingConnection();
    if (!pSocket)
        return;
    // One data connection per transfer: stop listening at once.
    pSocket->setParent(this);
    DisposeServer();
    DropSocket(true);
    AttachSocket(pSocket);
    VLOG(lcFtp) << "data connection from" << pSocket->peerAddress().toString() << pSocket->peerPort();
    slotConnected();
    // Bytes that arrived with the connection raise no readyRead of their own.
    if (m_pSocket == pSocket && pSocket->bytesAvailable() > 0)
        slotReadyRead();
}

void QFtpDTP::slotReadyRead()
{
    if (!m_pSocket || m_bUpload)
        return;
    if (m_pDevice) {
        DeliverToDevice(m_pSocket->readAll());
        return;
    }
    const qint64 i64Available = m_pSocket->bytesAvailable();
    if (i64Available <= 0)
        return;
    QPointer<QFtpDTP> guard(this);
    emit dataTransferProgress(i64Available + m_i64Done, m_i64Total);
    if (!guard)
        return;
    VLOG(lcFtp) << "socket read length:" << i64Available;
    emit readyRead();
}

void QFtpDTP::DeliverToDevice(const QByteArray &ba)
{
    if (ba.isEmpty())
        return;
    if (m_pDevice->write(ba) != ba.size()) {
        emit transferFailed(m_pDevice->errorString());
        return;
    }
    m_i64Done += ba.size();
    emit dataTransferProgress(m_i64Done, m_i64Total);
}

void QFtpDTP::DrainSocket()
{
    if (!m_pSocket || m_bUpload || m_pSocket->bytesAvailable() <= 0)
        return;
    const QByteArray ba = m_pSocket->readAll();
    if (m_pDevice) {
        DeliverToDevice(ba);
    } else {
        m_i64Done += ba.size();
        m_baBuffer += ba;
    }
}

void QFtpDTP::slotReadChannelFinished()
{
    // The server ended the data stream: keep what is unread before the socket goes away.
    if (!m_pSocket || m_bUpload)
        return;
    QPointer<QFtpDTP> guard(this);
    const bool bHadUnread = !m_pDevice && m_pSocket->bytesAvailable() > 0;
    DrainSocket();
    if (!guard)
        return;
    m_bConnected = false;
    if (bHadUnread) {
        emit readyRead();
        if (!guard)
            return;
    }
    DropSocket(false);
    emit connectState(CsClosed);
}

void QFtpDTP::slotDisconnected()
{
    if (!m_pSocket)
        return;
    QPointer<QFtpDTP> guard(this);
    if (!m_bUpload) {
        slotReadChannelFinished();
        return;
    }
    const bool bComplete = m_writer.AtEnd() && m_pSocket->bytesToWrite() == 0;
    DropSocket(false);
    if (!bComplete) {
        emit transferFailed(QFtp::tr("Connection closed"));
        return;
    }
    emit connectState(CsClosed);
}

void QFtpDTP::slotError()
{
    if (!m_pSocket)
        return;
    const QAbstractSocket::SocketError eError = m_pSocket->error();
    const QString strError = m_pSocket->errorString();
    VLOG(lcFtp) << "data socket error" << eError << strError;
    if (!m_bHasConnected) {
        DropSocket(true);
        emit connectState(CsConnectionRefused);
        return;
    }
    if (m_bUpload) {
        // The server closing after our last byte is the normal end of an upload.
        if (m_writer.AtEnd() && m_pSocket->bytesToWrite() == 0 && eError == QAbstractSocket::RemoteHostClosedError)
            return;
        DropSocket(true);
        emit transferFailed(strError);
        return;
    }
    if (eError == QAbstractSocket::RemoteHostClosedError)
        return; // the end of a download; readChannelFinished and disconnected follow
    QPointer<QFtpDTP> guard(this);
    DrainSocket();
    if (!guard)
        return;
    DropSocket(true);
    emit transferFailed(strError);
}

void QFtpDTP::slotBytesWritten(qint64)
{
    if (!m_pSocket || !m_bUpload)
        return;
    QPointer<QFtpDTP> guard(this);
    ReportUploadProgress();
    if (guard)
        WriteMore();
}

void QFtpDTP::slotContinueUpload()
{
    m_bContinueQueued = false;
    WriteMore();
}

void QFtpDTP::ReportUploadProgress()
{
    // Done is what the socket has passed on to the system: handed over minus still queued.
    const qint64 i64Done = m_writer.Handed() - (m_pSocket ? m_pSocket->bytesToWrite() : 0);
    if (i64Done == m_i64Done)
        return;
    m_i64Done = i64Done;
    emit dataTransferProgress(m_i64Done, m_i64Total);
}

void QFtpDTP::slotDeviceReadyRead()
{
    if (m_bUploadStarted)
        WriteMore();
}

void QFtpDTP::MaybeStartUpload()
{
    if (!m_bUpload || m_bUploadStarted || !m_bAccepted || !IsOpen())
        return;
    m_bUploadStarted = true;
    m_writer.SetWriting(true);
    if (!m_pDevice || !m_pDevice->isReadable()) {
        DropSocket(true);
        emit transferFailed(QFtp::tr("The file is not open for reading"));
        return;
    }
    WriteMore();
}

void QFtpDTP::WriteMore()
{
    if (!IsOpen() || !m_bUploadStarted)
        return;
    QPointer<QFtpDTP> guard(this);
    QString strError;
    switch (m_writer.WriteTurn(this, m_pSocket, m_pDevice, strError)) {
    case CUploadWriter::TURN_GONE:
        return;
    case CUploadWriter::TURN_NO_FILE:
        DropSocket(true);
        emit transferFailed(QFtp::tr("The file is not open for reading"));
        return;
    case CUploadWriter::TURN_FAILED:
        DropSocket(true);
        emit transferFailed(strError);
        return;
    case CUploadWriter::TURN_YIELD:
        if (!m_bContinueQueued && m_pSocket->bytesToWrite() == 0) {
            m_bContinueQueued = true;
            QMetaObject::invokeMethod(this, &QFtpDTP::slotContinueUpload, Qt::QueuedConnection);
        }
        break;
    case CUploadWriter::TURN_WAIT:
        break;
    }
    ReportUploadProgress();
    if (!guard || !m_pSocket)
        return;
    if (m_writer.AtEnd() && m_pSocket->bytesToWrite() == 0) {
        if (m_writer.Handed() == 0) {
            // An empty file still reports once, so a progress bar learns it is finished.
            emit dataTransferProgress(0, m_i64Total);
            if (!guard || !m_pSocket)
                return;
        }
        VLOG(lcFtp) << "upload complete," << m_i64Done << "bytes";
        m_pSocket->disconnectFromHost();
    }
}
