#include "simtelnetpower.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace
{
QSet<QString> &DownAddresses()
{
    static QSet<QString> s_down;
    return s_down;
}
} // namespace

bool SimTelnetPower::IsDown(const QString &strAddr)
{
    return DownAddresses().contains(strAddr);
}

void SimTelnetPower::Cycle(const T_SimDevice &dev, int iDownMs, CSimRecord *pRecord, QObject *pSpare)
{
    const QHostAddress addr(dev.strAddr);
    if (IsDown(dev.strAddr))
        return;
    DownAddresses().insert(dev.strAddr);
    QObject *pRoot = QCoreApplication::instance();

    struct T_Listener {
        QPointer<QTcpServer> pServer;
        quint16 u16Port;
    };
    QList<T_Listener> listeners;
    for (QTcpServer *pServer : pRoot->findChildren<QTcpServer *>()) {
        if (pServer->isListening() && pServer->serverAddress() == addr) {
            listeners.append({pServer, pServer->serverPort()});
            pServer->close();
        }
    }
    // Discovery asks IsDown() itself: a closed UDP socket would only send from another address.
    QList<QPointer<QTcpSocket>> connections;
    for (QTcpSocket *pSocket : pRoot->findChildren<QTcpSocket *>()) {
        if (pSocket != pSpare && pSocket->localAddress() == addr)
            connections.append(pSocket);
    }
    // Cut after collecting: an abort may make a service delete other sockets.
    for (const QPointer<QTcpSocket> &pSocket : connections)
        if (pSocket)
            pSocket->abort();
    pRecord->Event(dev.strHostName, QStringLiteral("power_off"),
                   QJsonObject{{"listeners", listeners.size()}, {"down_ms", iDownMs}});

    const QString strHost = dev.strHostName;
    const QString strAddr = dev.strAddr;
    QTimer::singleShot(qMax(0, iDownMs), pRoot, [listeners, addr, strHost, strAddr, pRecord] {
        int iBack = 0;
        for (const T_Listener &l : listeners)
            if (l.pServer && l.pServer->listen(addr, l.u16Port))
                ++iBack;
        DownAddresses().remove(strAddr);
        pRecord->Event(strHost, QStringLiteral("power_on"), QJsonObject{{"listeners", iBack}});
    });
}
