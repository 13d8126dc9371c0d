#include "simftptransfer.h"

#include "simftpstore.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <utility>

#include <sys/socket.h>

namespace
{
constexpr qint64 kSendChunk = 256 * 1024;
constexpr qint64 kSlowChunk = 4096; // per tick of a slow server
constexpr int kEarlyReplyDataDelayMs = 50;
// Resets instead of closing: the peer sees a broken transfer, not an orderly end.
void ResetSocket(QTcpSocket *pSocket)
{
    if (pSocket->socketDescriptor() != -1) {
        const struct linger stLinger = {1, 0};
        ::setsockopt(static_cast<int>(pSocket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &stLinger, sizeof(stLinger));
    }
    pSocket->abort();
}
} // namespace

CSimFtpTransfer::CSimFtpTransfer(const T_SimDevice &stDevice, CSimRecord *pRecord, SimFtpReply fnReply, QObject *parent)
    : QObject(parent), m_stDevice(stDevice), m_pRecord(pRecord), m_fnReply(std::move(fnReply))
{
    // A slow server also paces what it sends, chunk by chunk.
    m_iDelayMs = qMax(0, m_stDevice.Knob(QStringLiteral("ftp_delay_ms"), 0));
    m_iCutAfter = m_stDevice.Knob(QStringLiteral("ftp_cut_after"), -1);
    m_timerPace.setSingleShot(true);
    connect(&m_timerPace, &QTimer::timeout, this, &CSimFtpTransfer::slotSendMore);
}

void CSimFtpTransfer::Event(const QString &strType, const QJsonObject &fields)
{
    m_pRecord->Event(m_stDevice.strHostName, strType, fields);
}

bool CSimFtpTransfer::InjectFailure(const QString &strStep)
{
    const int iCode = m_stDevice.knobs.value(QStringLiteral("ftp_fail")).toObject().value(strStep).toInt(0);
    if (iCode == 0)
        return false;
    Reply(iCode, QStringLiteral("Simulated failure of %1.").arg(strStep));
    return true;
}

void CSimFtpTransfer::Close()
{
    EndTransfer(true);
    DropPassive();
}

void CSimFtpTransfer::DropPassive()
{
    if (!m_pPassive)
        return;
    m_pPassive->close();
    m_pPassive->deleteLater();
    m_pPassive = nullptr;
}

void CSimFtpTransfer::OpenPassive(bool bExtended, const QHostAddress &localAddr)
{
    EndTransfer(true);
    DropPassive();
    m_bActive = false;
    m_pPassive = new QTcpServer(this);
    connect(m_pPassive, &QTcpServer::newConnection, this, &CSimFtpTransfer::slotPassiveConnection);
    if (!m_pPassive->listen(localAddr, 0)) {
        DropPassive();
        Reply(425, QStringLiteral("Cannot open passive connection."));
        return;
    }
    const quint16 u16Port = m_pPassive->serverPort();
    if (bExtended) {
        Reply(229, QStringLiteral("Entering Extended Passive Mode (|||%1|)").arg(u16Port));
        return;
    }
    const quint32 u32Ip = localAddr.toIPv4Address();
    Reply(227, QStringLiteral("Entering Passive Mode (%1,%2,%3,%4,%5,%6).")
                   .arg(u32Ip >> 24)
                   .arg((u32Ip >> 16) & 0xff)
                   .arg((u32Ip >> 8) & 0xff)
                   .arg(u32Ip & 0xff)
                   .arg(u16Port >> 8)
                   .arg(u16Port & 0xff));
}

bool CSimFtpTransfer::SetActive(const QString &strVerb, const QString &strArg, const QHostAddress &peerAddr)
{
    EndTransfer(true);
    DropPassive();
    QHostAddress addr;
    int iPort = -1;
    if (strVerb == QLatin1String("PORT")) {
        const QStringList lst = strArg.trimmed().split(QLatin1Char(','));
        if (lst.size() != 6)
            return false;
        int ai[6];
        for (int i = 0; i < 6; ++i) {
            bool bOk = false;
            ai[i] = lst.at(i).toInt(&bOk);
            if (!bOk || ai[i] < 0 || ai[i] > 255)
                return false;
        }
        addr = QHostAddress(QStringLiteral("%1.%2.%3.%4").arg(ai[0]).arg(ai[1]).arg(ai[2]).arg(ai[3]));
        iPort = ai[4] * 256 + ai[5];
    } else {
        // "|1|132.235.1.2|6275|"
        const QString str = strArg.trimmed();
        if (str.size() < 2)
            return false;
        const QStringList lst = str.mid(1).split(str.at(0));
        if (lst.size() < 3)
            return false;
        addr = QHostAddress(lst.at(1));
        bool bOk = false;
        iPort = lst.at(2).toInt(&bOk);
        if (!bOk)
            return false;
    }
    // The simulator only ever connects back to the client that asked, never elsewhere.
    if (iPort < 1 || iPort > 65535 || !addr.isEqual(peerAddr, QHostAddress::TolerantConversion))
        return false;
    m_bActive = true;
    m_activeAddr = addr;
    m_u16ActivePort = static_cast<quint16>(iPort);
    return true;
}

void CSimFtpTransfer::Begin(E_Transfer eTransfer, const QString &strPath)
{
    if (!m_pPassive && !m_pData && !m_bActive) {
        Reply(425, QStringLiteral("Use PORT or PASV first."));
        return;
    }
    m_eTransfer = eTransfer;
    m_strPath = strPath;
    m_bFlowing = false;
    m_hash.reset();
    m_baReceived.clear();
    m_i64Received = 0;
    m_u8Xor = 0;
    m_i64Sent = 0;
    m_baSend.clear();
    if (eTransfer == XferRetrieve) {
        m_baSend = CSimFtpStore::Instance().File(m_stDevice.strHostName, m_strPath).baContent;
        Reply(150, QStringLiteral("Opening BINARY mode data connection for %1 (%2 bytes).")
                       .arg(m_strPath)
                       .arg(m_baSend.size()));
    } else {
        Reply(150, QStringLiteral("Ok to send data."));
    }
    if (m_bActive) {
        auto *pSocket = new QTcpSocket(this);
        AttachData(pSocket);
        connect(pSocket, &QTcpSocket::connected, this, &CSimFtpTransfer::slotActiveConnected);
        pSocket->connectToHost(m_activeAddr, m_u16ActivePort);
        m_bActive = false;
        return;
    }
    StartDataFlow();
}

void CSimFtpTransfer::AttachData(QTcpSocket *pSocket)
{
    if (m_pData) {
        m_pData->disconnect(this);
        m_pData->abort();
        m_pData->deleteLater();
    }
    m_pData = pSocket;
    m_bDataUp = pSocket->state() == QAbstractSocket::ConnectedState;
    m_baEarly.clear();
    m_bDataEof = false;
    pSocket->setParent(this);
    // A small kernel buffer bounds what one turn reads from each upload. With a thousand
    // uploads at once and buffers the system grows to megabytes, one turn hashed gigabytes
    // and every control and Vaza reply waited tens of seconds behind it (clients timed out).
    pSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
    connect(pSocket, &QTcpSocket::readyRead, this, &CSimFtpTransfer::slotDataReadyRead);
    connect(pSocket, &QTcpSocket::disconnected, this, &CSimFtpTransfer::slotDataClosed);
    connect(pSocket, &QTcpSocket::bytesWritten, this, &CSimFtpTransfer::slotSendMore);
    connect(pSocket, &QTcpSocket::errorOccurred, this, &CSimFtpTransfer::slotDataError);
}

void CSimFtpTransfer::slotPassiveConnection()
{
    if (!m_pPassive)
        return;
    QTcpSocket *pSocket = m_pPassive->nextPendingConnection();
    if (!pSocket)
        return;
    DropPassive();
    AttachData(pSocket);
    StartDataFlow();
}

void CSimFtpTransfer::slotActiveConnected()
{
    m_bDataUp = true;
    StartDataFlow();
}

void CSimFtpTransfer::slotDataError()
{
    if (!m_pData)
        return;
    if (!m_bDataUp) {
        Event(QStringLiteral("ftp_data_refused"));
        EndTransfer(true);
        Reply(425, QStringLiteral("Failed to establish connection."));
    }
    // Once up, the end of the connection (orderly or not) arrives as disconnected().
}

void CSimFtpTransfer::StartDataFlow()
{
    if (m_eTransfer == XferNone || !m_pData || !m_bDataUp || m_bFlowing)
        return;
    m_bFlowing = true;
    if (m_eTransfer == XferStore) {
        if (!m_baEarly.isEmpty())
            ConsumeStore(std::exchange(m_baEarly, QByteArray()));
        if (m_eTransfer == XferStore && m_pData && m_pData->bytesAvailable() > 0)
            slotDataReadyRead();
        if (m_eTransfer == XferStore && m_bDataEof)
            FinishStore();
        return;
    }
    if (m_stDevice.Flag(QStringLiteral("ftp_early_226"))) {
        // The final reply overtakes the data: the client must still wait for all of it.
        Reply(226, QStringLiteral("Transfer complete."));
        m_timerPace.start(kEarlyReplyDataDelayMs);
        return;
    }
    slotSendMore();
}

void CSimFtpTransfer::slotSendMore()
{
    if (m_eTransfer != XferRetrieve || !m_bFlowing || !m_pData)
        return;
    const bool bSlow = m_iDelayMs > 0;
    qint64 i64Limit = m_baSend.size();
    if (m_iCutAfter >= 0)
        i64Limit = qMin<qint64>(i64Limit, m_iCutAfter);
    if (m_i64Sent < i64Limit && m_pData->bytesToWrite() < kSendChunk) {
        const qint64 i64Chunk = qMin(i64Limit - m_i64Sent, bSlow ? kSlowChunk : kSendChunk);
        m_pData->write(m_baSend.constData() + m_i64Sent, i64Chunk);
        m_i64Sent += i64Chunk;
        if (bSlow && m_i64Sent < i64Limit) {
            m_timerPace.start(m_iDelayMs);
            return;
        }
    }
    if (m_i64Sent < i64Limit || m_pData->bytesToWrite() > 0)
        return;
    const bool bCut = m_i64Sent < m_baSend.size();
    const QString strPath = m_strPath;
    // An orderly close after the last byte; EndTransfer stops listening first, so this
    // end is not taken for a connection lost by the client.
    EndTransfer(false);
    if (bCut) {
        Event(QStringLiteral("ftp_cut"), {{QStringLiteral("path"), strPath}, {QStringLiteral("bytes"), m_i64Sent}});
        Reply(426, QStringLiteral("Failure writing network stream."));
        return;
    }
    Event(QStringLiteral("ftp_sent"), {{QStringLiteral("path"), strPath}, {QStringLiteral("bytes"), m_i64Sent}});
    if (m_stDevice.Flag(QStringLiteral("ftp_early_226")))
        return;
    if (!InjectFailure(QStringLiteral("RETR_END")))
        Reply(226, QStringLiteral("Transfer complete."));
}

void CSimFtpTransfer::slotDataReadyRead()
{
    if (!m_pData || m_eTransfer != XferStore || !m_bFlowing)
        return; // bytes before STOR wait in the socket, as in a real server's backlog
    ConsumeStore(m_pData->readAll());
}

void CSimFtpTransfer::ConsumeStore(QByteArray ba)
{
    bool bCut = false;
    if (m_iCutAfter >= 0 && m_i64Received + ba.size() > m_iCutAfter) {
        ba.truncate(static_cast<int>(qMax<qint64>(0, m_iCutAfter - m_i64Received)));
        bCut = true;
    }
    if (CSimFtpStore::Instance().HashContent())
        m_hash.addData(ba);
    for (const char c : qAsConst(ba))
        m_u8Xor ^= static_cast<quint8>(c);
    m_i64Received += ba.size();
    if (CSimFtpStore::Instance().KeepContent())
        m_baReceived += ba;
    if (bCut) {
        Event(QStringLiteral("ftp_cut"),
              {{QStringLiteral("path"), m_strPath}, {QStringLiteral("bytes"), m_i64Received}});
        EndTransfer(true);
        Reply(426, QStringLiteral("Failure reading network stream."));
    }
}

void CSimFtpTransfer::slotDataClosed()
{
    if (!m_bFlowing) {
        // A client may send a small file and close before its STOR has been read here:
        // keep the bytes and the end until the command arrives.
        if (m_pData)
            m_baEarly += m_pData->readAll();
        m_bDataEof = true;
        return;
    }
    if (m_eTransfer == XferStore) {
        slotDataReadyRead();
        if (m_eTransfer == XferStore)
            FinishStore();
        return;
    }
    if (m_eTransfer == XferRetrieve) {
        Event(QStringLiteral("ftp_data_lost"), {{QStringLiteral("path"), m_strPath}});
        EndTransfer(true);
        Reply(426, QStringLiteral("Connection closed; transfer aborted."));
    }
}

void CSimFtpTransfer::FinishStore()
{
    const QString strPath = m_strPath;
    const qint64 i64Allo = m_i64Allo;
    m_i64Allo = -1;
    T_SimFtpFile stFile;
    stFile.i64Size = m_i64Received;
    if (CSimFtpStore::Instance().HashContent())
        stFile.baSha256 = m_hash.result();
    stFile.u8Xor = m_u8Xor;
    stFile.bContentKept = CSimFtpStore::Instance().KeepContent();
    stFile.baContent = m_baReceived;
    EndTransfer(false);
    // A client that announced a size and then sent less has lost bytes on the way;
    // storing the stump as a good image would hide exactly the fault tests look for.
    if (i64Allo >= 0 && i64Allo != stFile.i64Size) {
        Event(QStringLiteral("ftp_short"), {{QStringLiteral("path"), strPath},
                                            {QStringLiteral("bytes"), stFile.i64Size},
                                            {QStringLiteral("announced"), i64Allo}});
        Reply(451, QStringLiteral("Received %1 of %2 announced bytes.").arg(stFile.i64Size).arg(i64Allo));
        return;
    }
    if (InjectFailure(QStringLiteral("STOR_END")))
        return;
    CSimFtpStore::Instance().PutFile(m_stDevice.strHostName, strPath, stFile);
    QJsonObject fields;
    fields.insert(QStringLiteral("name"), strPath);
    fields.insert(QStringLiteral("size"), static_cast<double>(stFile.i64Size));
    fields.insert(QStringLiteral("sha256"), QString::fromLatin1(stFile.baSha256.toHex()));
    fields.insert(QStringLiteral("xor"), stFile.u8Xor);
    Event(QStringLiteral("image"), fields);
    Reply(226, QStringLiteral("Transfer complete."));
    emit CSimFtpStore::Instance().fileStored(m_stDevice.strHostName, strPath);
}

void CSimFtpTransfer::EndTransfer(bool bResetData)
{
    m_timerPace.stop();
    m_eTransfer = XferNone;
    m_bFlowing = false;
    m_baReceived.clear();
    m_baSend.clear();
    m_baEarly.clear();
    m_bDataEof = false;
    if (!m_pData)
        return;
    QTcpSocket *pSocket = m_pData;
    m_pData = nullptr;
    m_bDataUp = false;
    pSocket->disconnect(this);
    if (bResetData)
        ResetSocket(pSocket);
    else if (pSocket->state() != QAbstractSocket::UnconnectedState)
        pSocket->disconnectFromHost();
    pSocket->deleteLater();
}
