#include "product/hostmodel.h"

namespace Velmora
{

QString ModelOfHostName(const QString &strHostName)
{
    // A suffix may hold dashes of its own ("-ROOM-2"); a model never does.
    return strHostName.section(QLatin1Char('-'), 0, 0);
}

} // namespace Velmora
