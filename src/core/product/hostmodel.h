#pragma once

#include <QString>

namespace Velmora
{

// The model a host name names: the text before its first "-", the whole name without one.
// "ZR410-A-1" is a ZR410 like "ZR410-A1"; "ZR420L-00AB" is a ZR420L, never a ZR420. The product
// table, the upgrade configuration, the device types of the batch form and of the console
// program, the web-server models and the Vaza messages all take a device's model from here.
QString ModelOfHostName(const QString &strHostName);

} // namespace Velmora
