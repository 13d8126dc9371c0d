#include "simports.h"

#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QTcpServer>
#include <QTextStream>

namespace
{
struct T_ServicePorts {
    int iShared = 0;                       // the port the system picked first, for "any"
    QSet<QString> setAddrs;                // addresses this service listens on already
    QHash<const T_SimDevice *, int> bound; // device -> port
};
QHash<QString, T_ServicePorts> &Services()
{
    static QHash<QString, T_ServicePorts> s_services;
    return s_services;
}
} // namespace

namespace SimPorts
{
bool Listen(QTcpServer *pServer, const T_SimFleet &fleet, const QString &strService, int iDefault,
            const T_SimDevice &dev, QString &strError)
{
    T_ServicePorts &ports = Services()[strService];
    const int iPort = fleet.Port(strService, iDefault);
    const QHostAddress addr(dev.strAddr);
    bool bOk = false;
    if (iPort != 0)
        bOk = pServer->listen(addr, static_cast<quint16>(iPort));
    else {
        // Two devices on one address cannot share a port; a port taken meanwhile by someone
        // else on this address is no reason to fail either.
        if (ports.iShared != 0 && !ports.setAddrs.contains(dev.strAddr))
            bOk = pServer->listen(addr, static_cast<quint16>(ports.iShared));
        if (!bOk)
            bOk = pServer->listen(addr, 0);
        if (bOk && ports.iShared == 0)
            ports.iShared = pServer->serverPort();
    }
    if (!bOk) {
        strError = QStringLiteral("cannot listen on %1:%2: %3").arg(dev.strAddr).arg(iPort).arg(pServer->errorString());
        return false;
    }
    ports.setAddrs.insert(dev.strAddr);
    ports.bound.insert(&dev, pServer->serverPort());
    QTextStream out(stdout);
    out << "velmora-devsim: " << strService << ' ' << dev.strHostName << ' ' << dev.strAddr << ':'
        << pServer->serverPort() << '\n';
    return true;
}

int Bound(const QString &strService, const T_SimDevice &dev)
{
    return Services().value(strService).bound.value(&dev, 0);
}
} // namespace SimPorts
