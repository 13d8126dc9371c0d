// Discovery responder: every simulated device answers a request to 225.1.0.0:3333
// from its own address to the requester's port 3334; a request sent to a device's own
// address is answered by that device alone.
//
// Answer layout (296 bytes):
//   0..7    header, never interpreted by the searcher (we send "VLMRSIM\1")
//   8..39   status text, zero-terminated
//   40..295 host name, zero-terminated
// Knobs (per device, all optional) are described in fleets/README.md.

#include "simservice.h"
#include "simtelnetpower.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

namespace
{
constexpr int kAnswerSize = 296;
constexpr int kStatusOffset = 8;
constexpr int kStatusSize = 32;
constexpr int kHostNameOffset = 40;
constexpr int kHostNameSize = 256;
const char kHeader[8] = {'V', 'L', 'M', 'R', 'S', 'I', 'M', 1};

struct T_Responder {
    const T_SimDevice *pDevice = nullptr;
    QUdpSocket *pSocket = nullptr;
    // Requester address -> when it last asked; "first" devices answer a new search only.
    QHash<QString, qint64> lastRequestMs;
};

// Builds the wire bytes straight from the layout above, not from product code.
QByteArray BuildAnswer(const T_SimDevice &dev, const QByteArray &baHostName)
{
    const QByteArray baStatus = dev.Text(QStringLiteral("discovery_status"), QStringLiteral("ready")).toLatin1();
    const bool bUnterminated = dev.Flag(QStringLiteral("discovery_unterminated"));
    QByteArray ba(kAnswerSize, '\0');
    std::copy(kHeader, kHeader + sizeof(kHeader), ba.begin());
    if (bUnterminated) {
        // Fill the whole status field so it has no zero byte, and end the datagram
        // right after the host name so that has none either.
        QByteArray baFull = baStatus.isEmpty() ? QByteArray("S") : baStatus;
        while (baFull.size() < kStatusSize)
            baFull += baFull;
        ba.replace(kStatusOffset, kStatusSize, baFull.left(kStatusSize));
        const QByteArray baName = baHostName.left(kHostNameSize);
        ba.replace(kHostNameOffset, baName.size(), baName);
        ba.truncate(kHostNameOffset + baName.size());
    } else {
        const QByteArray baStat = baStatus.left(kStatusSize - 1);
        ba.replace(kStatusOffset, baStat.size(), baStat);
        const QByteArray baName = baHostName.left(kHostNameSize - 1);
        ba.replace(kHostNameOffset, baName.size(), baName);
    }
    const int iLength = dev.Knob(QStringLiteral("discovery_length"), -1);
    if (iLength >= 0) {
        // Past the answer's own 296 bytes the padding is not zero, so a reader that
        // runs over the end would pick it up.
        const int iOld = ba.size();
        ba.resize(iLength);
        for (int i = iOld; i < iLength; ++i)
            ba[i] = i < kAnswerSize ? '\0' : 'U';
    }
    return ba;
}

class CSimDiscovery : public CSimService
{
    Q_OBJECT
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        const quint16 u16Port = static_cast<quint16>(m_fleet.Port(QStringLiteral("discovery"), 3333));
        m_u16AnswerPort = static_cast<quint16>(m_fleet.Port(QStringLiteral("discovery_answer"), 3334));

        // Each device answers from a socket bound to its own address. Binding fails
        // where the fleet's addresses do not exist (say, outside the namespace runner),
        // and then we stop before joining any multicast group.
        QSet<QString> setAddrs;
        for (const T_SimDevice &dev : m_fleet.devices) {
            T_Responder r;
            r.pDevice = &dev;
            if (dev.knobs.value(QStringLiteral("discovery")).toBool(true)) {
                if (!m_sockets.contains(dev.strAddr)) {
                    auto *pSocket = new QUdpSocket(this);
                    if (!pSocket->bind(QHostAddress(dev.strAddr), 0)) {
                        strError = QStringLiteral("cannot bind %1: %2").arg(dev.strAddr, pSocket->errorString());
                        return false;
                    }
                    m_sockets.insert(dev.strAddr, pSocket);
                }
                r.pSocket = m_sockets.value(dev.strAddr);
            }
            setAddrs.insert(dev.strAddr);
            m_responders.append(r);
        }

        if (!m_listener.bind(QHostAddress::AnyIPv4, u16Port,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
            strError = QStringLiteral("cannot bind UDP %1: %2").arg(u16Port).arg(m_listener.errorString());
            return false;
        }
        // Join the group only on the interfaces that carry a device address.
        const QHostAddress group(QStringLiteral("225.1.0.0"));
        for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
            bool bOurs = false;
            for (const QNetworkAddressEntry &entry : iface.addressEntries())
                bOurs = bOurs || setAddrs.contains(entry.ip().toString());
            if (bOurs && !m_listener.joinMulticastGroup(group, iface)) {
                strError = QStringLiteral("cannot join %1 on %2: %3")
                               .arg(group.toString(), iface.name(), m_listener.errorString());
                return false;
            }
        }
        connect(&m_listener, &QUdpSocket::readyRead, this, &CSimDiscovery::OnRequest);
        return true;
    }

private:
    void OnRequest()
    {
        while (m_listener.hasPendingDatagrams()) {
            const QNetworkDatagram dgram = m_listener.receiveDatagram();
            if (!dgram.isValid())
                break;
            bool bV4 = false;
            const QHostAddress requester(dgram.senderAddress().toIPv4Address(&bV4));
            if (!bV4)
                continue;
            const QString strFrom = requester.toString();
            QJsonObject ev;
            ev.insert(QStringLiteral("from"), strFrom);
            ev.insert(QStringLiteral("port"), dgram.senderPort());
            ev.insert(QStringLiteral("size"), dgram.data().size());
            ev.insert(QStringLiteral("to"), dgram.destinationAddress().toString());
            m_pRecord->Event(QString(), QStringLiteral("discovery-request"), ev);
            const qint64 i64Now = QDateTime::currentMSecsSinceEpoch();
            // A request sent to one address reaches that box alone, as it would on a real network.
            const QHostAddress to = dgram.destinationAddress();
            const bool bUnicast = !to.isNull() && !to.isMulticast();
            for (T_Responder &r : m_responders)
                if (!bUnicast || QHostAddress(r.pDevice->strAddr).isEqual(to, QHostAddress::TolerantConversion))
                    Consider(r, strFrom, i64Now);
        }
    }

    void Consider(T_Responder &r, const QString &strFrom, qint64 i64Now)
    {
        // A device rebooting over telnet is off the network and answers nothing.
        if (!r.pSocket || SimTelnetPower::IsDown(r.pDevice->strAddr))
            return;
        const T_SimDevice &dev = *r.pDevice;
        const qint64 i64Last = r.lastRequestMs.value(strFrom, -1);
        r.lastRequestMs.insert(strFrom, i64Now);
        if (dev.Text(QStringLiteral("discovery_passes"), QStringLiteral("every")) == QLatin1String("first")) {
            // Passes of one search come 1 s apart; a longer gap starts a new search.
            const int iGap = dev.Knob(QStringLiteral("discovery_search_gap_ms"), 1500);
            if (i64Last >= 0 && i64Now - i64Last < iGap)
                return;
        }
        const int iDelay = dev.Knob(QStringLiteral("discovery_delay_ms"), 0);
        if (iDelay <= 0) {
            Answer(r, strFrom);
            return;
        }
        QPointer<CSimDiscovery> self(this);
        T_Responder *pR = &r; // m_responders never changes after Start()
        QTimer::singleShot(iDelay, this, [self, pR, strFrom] {
            if (self)
                self->Answer(*pR, strFrom);
        });
    }

    void Answer(T_Responder &r, const QString &strTo)
    {
        const T_SimDevice &dev = *r.pDevice;
        const QByteArray baName = dev.Text(QStringLiteral("discovery_hostname"), dev.strHostName).toLatin1();
        const int iRepeat = qMax(1, dev.Knob(QStringLiteral("discovery_repeat"), 1));
        const bool bUnique = dev.Flag(QStringLiteral("discovery_repeat_unique"));
        const QHostAddress to(strTo);
        int iSent = 0;
        int iBytes = 0;
        QByteArray baAnswer = BuildAnswer(dev, baName);
        for (int i = 0; i < iRepeat; ++i) {
            if (bUnique && i > 0)
                baAnswer = BuildAnswer(dev, baName + "-r" + QByteArray::number(i));
            if (r.pSocket->writeDatagram(baAnswer, to, m_u16AnswerPort) == baAnswer.size())
                ++iSent;
            iBytes = baAnswer.size();
        }
        QJsonObject ev;
        ev.insert(QStringLiteral("to"), strTo);
        ev.insert(QStringLiteral("from"), dev.strAddr);
        ev.insert(QStringLiteral("hostname"), QString::fromLatin1(baName));
        ev.insert(QStringLiteral("bytes"), iBytes);
        ev.insert(QStringLiteral("count"), iSent);
        if (iSent != iRepeat)
            ev.insert(QStringLiteral("failed"), iRepeat - iSent);
        m_pRecord->Event(dev.strHostName, QStringLiteral("discovery-answer"), ev);
    }

    QUdpSocket m_listener;
    quint16 m_u16AnswerPort = 3334;
    QHash<QString, QUdpSocket *> m_sockets; // one per device address
    QList<T_Responder> m_responders;
};
} // namespace

SIM_REGISTER_SERVICE("discovery", CSimDiscovery);

#include "simdiscovery.moc"
