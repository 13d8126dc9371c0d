#include "vaza/vazaproto.h"

#include <QString>

namespace Vaza
{

QString ModelOf(const QString &strHostName)
{
    const int i32Dash = strHostName.indexOf(QLatin1Char('-'));
    return (i32Dash < 0 ? strHostName : strHostName.left(i32Dash)).toUpper();
}

int ModelIndex(const QString &strModel, bool bForSysInfo)
{
    if (strModel == QLatin1String("ZR410"))
        return 0;
    if (strModel == QLatin1String("ZR420") || (bForSysInfo && strModel == QLatin1String("ZR420L")))
        return 1;
    if (strModel == QLatin1String("ZR430"))
        return 2;
    return 3;
}

} // namespace Vaza
