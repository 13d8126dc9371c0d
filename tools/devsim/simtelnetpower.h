#pragma once

#include "simdevice.h"
#include "simrecord.h"

#include <QObject>

// A device that reboots is gone from the network for a while: every listener bound to its
// address stops (connections to it are refused), every connection to it is cut, and the
// discovery responder (which asks IsDown) does not answer for it. After iDownMs everything listens
// again on the same ports. Works on whatever sockets the services made, so no service needs
// to know about reboots.
namespace SimTelnetPower
{
// pSpare is left to close by itself (the shell that said it goes down, still sending that).
void Cycle(const T_SimDevice &dev, int iDownMs, CSimRecord *pRecord, QObject *pSpare = nullptr);
// True while the device at this address is down.
bool IsDown(const QString &strAddr);
} // namespace SimTelnetPower
