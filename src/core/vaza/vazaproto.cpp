#include "vaza/vazaproto.h"

#include <QString>

namespace Vaza
{

int ModelIndex(const QString &strModel, bool bForSysInfo)
{
    const QString strUpper = strModel.toUpper();
    if (strUpper == QLatin1String("ZR410"))
        return 0;
    if (strUpper == QLatin1String("ZR420") || (bForSysInfo && strUpper == QLatin1String("ZR420L")))
        return 1;
    if (strUpper == QLatin1String("ZR430"))
        return 2;
    return 3;
}

} // namespace Vaza
