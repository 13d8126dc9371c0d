#pragma once

#include <QStringList>

// The two process-wide parallel lists that turn a display type ("ZR410 Encoder") back into
// its model ("ZR410"): entry i of both belongs to the same device type. The main window
// extends them as devices are found; the batch form reads them to find a type's modules.
namespace Velmora
{
QStringList &ModelList();
QStringList &DispTypeList();
} // namespace Velmora
