#pragma once

#include <QByteArray>
#include <QStringList>

class CDevList;

// The device list as an installer keeps it for a site's inventory: CSV in UTF-8, a header row
// ("host name,name,model,kind,address,version,video input,video timing"), then one record per
// host in the order given, lines ending in CRLF. A field holding a comma, a quote, a line
// break or a blank at either end is quoted, its quotes doubled, so any CSV reader gets the
// device's own text back. Hosts no longer listed are left out.
namespace Velmora
{
QByteArray DevListCsv(const CDevList &rows, const QStringList &lstHosts);
} // namespace Velmora
