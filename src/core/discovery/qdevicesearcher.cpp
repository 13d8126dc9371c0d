#include "discovery/qdevicesearcher.h"

#include "common/timescale.h"
#include "common/vlog.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QPointer>

#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
using SockLen = int;
#else
#include <sys/socket.h>
using SockLen = socklen_t;
#endif

namespace
{
const QHostAddress kRequestGroup(QStringLiteral("225.1.0.0"));
const char kRequest[8] = {0, 0, 0, 0, 0, 0, 0, 0};
constexpr int kPassIntervalMs = 1000;
constexpr int kNoAddressEndMs = 100;
constexpr int kStatusOffset = 8;
constexpr int kHostNameOffset = 40;

// One sending socket for the whole process, re-bound to each local address in turn so
// the request leaves with that address as its source. It is never read. The
// application object owns it so it goes away with the event loop it lives in.
QUdpSocket *SendingSocket()
{
    static QPointer<QUdpSocket> s_pSocket;
    if (!s_pSocket)
        s_pSocket = new QUdpSocket(QCoreApplication::instance());
    return s_pSocket;
}

// Bytes [iBegin, iEnd) up to the first zero byte.
QByteArray TextField(const char *pData, qint64 iBegin, qint64 iEnd)
{
    if (iEnd <= iBegin)
        return QByteArray();
    const char *pBegin = pData + iBegin;
    const void *pZero = std::memchr(pBegin, 0, static_cast<size_t>(iEnd - iBegin));
    const qint64 iLength = pZero ? static_cast<const char *>(pZero) - pBegin : iEnd - iBegin;
    return QByteArray(pBegin, static_cast<int>(iLength));
}
} // namespace

QDeviceSearcher::QDeviceSearcher(int iTotalPasses, QObject *parent) : QObject(parent), m_iTotalPasses(iTotalPasses)
{
    // A coarse timer may fire 5 % early; the search is promised to last its full passes.
    m_passTimer.setTimerType(Qt::PreciseTimer);
    m_noAddressTimer.setTimerType(Qt::PreciseTimer);
    m_noAddressTimer.setSingleShot(true);
    connect(&m_recvSocket, &QUdpSocket::readyRead, this, &QDeviceSearcher::slotOnUdpReady);
    connect(&m_passTimer, &QTimer::timeout, this, [this] { slotDoSearch(false); });
    connect(&m_noAddressTimer, &QTimer::timeout, this, &QDeviceSearcher::slotSearchDone);
}

QDeviceSearcher::~QDeviceSearcher() = default;

bool QDeviceSearcher::ParseAnswer(const char *pData, qint64 i64Length, T_DiscoveryAnswer &stAnswer)
{
    // Everything past the answer's 296 bytes is ignored, as it is on the wire.
    const qint64 iLength = qBound<qint64>(0, i64Length, kAnswerBufferSize);
    // The status ends at the host name field even when it carries no zero byte, so a
    // 32-byte status never swallows the host name.
    stAnswer.strStatus = TextField(pData, kStatusOffset, qMin<qint64>(iLength, kHostNameOffset));
    stAnswer.strHostName = TextField(pData, kHostNameOffset, iLength);
    return !stAnswer.strHostName.isEmpty();
}

void QDeviceSearcher::Start()
{
    m_hashFoundHostNames.clear();
    m_setSharedAnswers.clear();
    m_passTimer.stop();
    // A restart within the 100 ms of a search without addresses must not be ended by it.
    m_noAddressTimer.stop();
    m_recvSocket.abort();
    m_iReceiveBufferSize = 0;
    if (!m_recvSocket.bind(QHostAddress::AnyIPv4, kAnswerPort, QAbstractSocket::ReuseAddressHint))
        VLOG(lcDiscovery) << "bind to port" << kAnswerPort << "failed:" << m_recvSocket.errorString();
    else
        EnlargeReceiveBuffer();
    slotDoSearch(true);
}

void QDeviceSearcher::EnlargeReceiveBuffer()
{
    const auto fd = m_recvSocket.socketDescriptor();
    int iSize = 0;
    SockLen len = sizeof(iSize);
    int iResult = ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&iSize), &len);
    VLOG(lcDiscovery) << "old udpSocke size:" << iSize;
    VLOG(lcDiscovery) << "    error:" << iResult;

    int iWanted = kReceiveBufferBytes;
    iResult = ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&iWanted), sizeof(iWanted));
    iSize = 0;
    len = sizeof(iSize);
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&iSize), &len);
    VLOG(lcDiscovery) << "Set new udpSocke size result:" << iResult;
    VLOG(lcDiscovery) << "    size is:" << iSize;
    m_iReceiveBufferSize = iSize;
}

void QDeviceSearcher::slotDoSearch(bool bFirstCall)
{
    if (bFirstCall)
        m_iPassesDone = 0;
    if (m_iPassesDone >= m_iTotalPasses) {
        m_passTimer.stop();
        m_recvSocket.abort();
        emit OnStop();
        return;
    }

    // One request per interface and network: a second address of a card in a network
    // it already reached would only make every device answer twice.
    QSet<quint64> setSent;
    QString strAddrs;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (int i = 0; i < interfaces.size(); ++i) {
        const QNetworkInterface &iface = interfaces.at(i);
        if (!iface.flags().testFlag(QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry &entry : iface.addressEntries()) {
            const QHostAddress addr = entry.ip();
            if (addr == QHostAddress(QHostAddress::LocalHost))
                continue;
            if (addr.toIPv4Address() == 0)
                continue;
            const quint64 u64Key = (static_cast<quint64>(i) << 32) | entry.broadcast().toIPv4Address();
            if (setSent.contains(u64Key))
                continue;
            setSent.insert(u64Key);
            if (!strAddrs.isEmpty())
                strAddrs += QLatin1Char(',');
            strAddrs += addr.toString();
            SendRequest(addr);
        }
    }
    ++m_iPassesDone;

    if (bFirstCall) {
        if (!setSent.isEmpty())
            m_passTimer.start(Velmora::ScaledMs(kPassIntervalMs));
        else
            m_noAddressTimer.start(Velmora::ScaledMs(kNoAddressEndMs));
    }
    emit OnStartBroadcast(m_iTotalPasses, m_iPassesDone, strAddrs);
}

void QDeviceSearcher::SendRequest(const QHostAddress &addrLocal)
{
    QUdpSocket *pSocket = SendingSocket();
    pSocket->abort();
    if (!pSocket->bind(addrLocal, 0)) {
        VLOG(lcDiscovery) << "bind to" << addrLocal.toString() << "failed:" << pSocket->errorString();
        return;
    }
    pSocket->writeDatagram(kRequest, sizeof(kRequest), kRequestGroup, kRequestPort);
}

void QDeviceSearcher::slotOnUdpReady()
{
    char buffer[kAnswerBufferSize];
    while (m_recvSocket.hasPendingDatagrams()) {
        QHostAddress addrSender;
        // A longer datagram is cut to the buffer by the system; the rest is discarded.
        const qint64 i64Read = m_recvSocket.readDatagram(buffer, sizeof(buffer), &addrSender);
        if (i64Read < 0)
            break;
        T_DiscoveryAnswer stAnswer;
        if (!ParseAnswer(buffer, i64Read, stAnswer)) {
            VLOG(lcDiscovery) << "dropped answer without host name from" << addrSender.toString()
                              << "bytes:" << Velmora::Hex(QByteArray(buffer, static_cast<int>(i64Read)));
            continue;
        }
        const QString strHostName = QString::fromLatin1(stAnswer.strHostName);
        // Dotted IPv4 text even if the system hands us a mapped address.
        bool bIsV4 = false;
        const quint32 u32Sender = addrSender.toIPv4Address(&bIsV4);
        const QString strSender = bIsV4 ? QHostAddress(u32Sender).toString() : addrSender.toString();
        const auto itFound = m_hashFoundHostNames.constFind(strHostName);
        if (itFound != m_hashFoundHostNames.constEnd()) {
            const QString strKey = strHostName + QLatin1Char('\n') + strSender;
            if (*itFound != strSender && !m_setSharedAnswers.contains(strKey)) {
                m_setSharedAnswers.insert(strKey);
                emit OnSharedHostName(strSender.toLatin1(), stAnswer.strHostName, stAnswer.strStatus);
            }
            continue;
        }
        m_hashFoundHostNames.insert(strHostName, strSender);
        emit OnFoundDevice(QString(), strSender.toLatin1(), stAnswer.strHostName, stAnswer.strStatus);
    }
}

void QDeviceSearcher::slotSearchDone()
{
    m_passTimer.stop();
    m_recvSocket.abort();
    emit OnStop();
}
