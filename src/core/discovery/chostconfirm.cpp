#include "discovery/chostconfirm.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "discovery/qdevicesearcher.h"

namespace
{
const char kRequest[8] = {0, 0, 0, 0, 0, 0, 0, 0};
}

CHostConfirm::CHostConfirm(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CHostConfirm::slotOnTick);
    connect(&m_recvSocket, &QUdpSocket::readyRead, this, &CHostConfirm::slotOnAnswer);
}

void CHostConfirm::Start(const QString &strHostName, const QString &strAddr)
{
    m_strHostName = strHostName;
    m_addr = QHostAddress(strAddr);
    m_strAnswered.clear();
    m_strPortError.clear();
    m_iSent = 0;
    m_bRunning = true;
    m_recvSocket.abort();
    // The box answers to port 3334 whatever port the request came from.
    if (!m_recvSocket.bind(QHostAddress::AnyIPv4, QDeviceSearcher::kAnswerPort, QAbstractSocket::ReuseAddressHint)) {
        m_strPortError = m_recvSocket.errorString();
        VLOG(lcDiscovery) << "bind to port" << QDeviceSearcher::kAnswerPort << "failed:" << m_strPortError;
        QTimer::singleShot(0, this, [this] { Finish(HOST_NO_PORT); });
        return;
    }
    // The first request goes out from the event loop too, so finished() never comes from here.
    m_timer.start(0);
}

void CHostConfirm::slotOnTick()
{
    if (m_iSent >= kRequests) {
        Finish(HOST_SILENT);
        return;
    }
    ++m_iSent;
    m_sendSocket.writeDatagram(kRequest, sizeof(kRequest), m_addr, QDeviceSearcher::kRequestPort);
    m_timer.start(Velmora::ScaledMs(kIntervalMs));
}

void CHostConfirm::slotOnAnswer()
{
    char buffer[QDeviceSearcher::kAnswerBufferSize];
    while (m_bRunning && m_recvSocket.hasPendingDatagrams()) {
        QHostAddress addrSender;
        const qint64 i64Read = m_recvSocket.readDatagram(buffer, sizeof(buffer), &addrSender);
        if (i64Read < 0)
            break;
        bool bIsV4 = false;
        const quint32 u32Sender = addrSender.toIPv4Address(&bIsV4);
        T_DiscoveryAnswer stAnswer;
        // Only the box at the address speaks for it; another box answering a search of its own
        // (or of another program) says nothing about who is there.
        if (!bIsV4 || u32Sender != m_addr.toIPv4Address() || !QDeviceSearcher::ParseAnswer(buffer, i64Read, stAnswer))
            continue;
        m_strAnswered = QString::fromLatin1(stAnswer.strHostName);
        Finish(m_strAnswered == m_strHostName ? HOST_CONFIRMED : HOST_OTHER);
    }
}

void CHostConfirm::Finish(E_Result eResult)
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    m_timer.stop();
    m_recvSocket.abort();
    m_eResult = eResult;
    emit finished(eResult);
}

QString CHostConfirm::RefusalText() const
{
    switch (m_eResult) {
    case HOST_CONFIRMED:
        return QString();
    case HOST_OTHER:
        return tr("the device at %1 is %2, not %3").arg(m_addr.toString(), m_strAnswered, m_strHostName);
    case HOST_SILENT:
        return tr("no device answers at %1").arg(m_addr.toString());
    case HOST_NO_PORT:
        break;
    }
    return tr("cannot listen for the answer of the device at %1: %2").arg(m_addr.toString(), m_strPortError);
}
