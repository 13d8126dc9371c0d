#pragma once

#include "simdevice.h"

#include <QString>

class QTcpServer;

// Where each TCP service of each device listens. A service listens on its real port (21,
// 80, 60000) unless the fleet's options.ports.<service> says otherwise; 0 there means "any":
// the system picks one for the first device, every other device address tries the same one
// (real devices all listen on one port) and takes another where that one is taken. Tests
// running side by side never have to guess a free port: every bound port is printed on
// stdout before the ready line, one machine-readable line each:
//   velmora-devsim: <service> <host name> <address>:<port>
namespace SimPorts
{
// Binds pServer for dev; on failure says why in strError.
bool Listen(QTcpServer *pServer, const T_SimFleet &fleet, const QString &strService, int iDefault,
            const T_SimDevice &dev, QString &strError);
// The port the service bound for dev; 0 when it listens for no such device (not started).
int Bound(const QString &strService, const T_SimDevice &dev);
} // namespace SimPorts
