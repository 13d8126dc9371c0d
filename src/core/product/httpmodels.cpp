#include "product/httpmodels.h"

#include <QLatin1String>

namespace Velmora
{
namespace
{
const QLatin1String s_httpModels[] = {QLatin1String("NXT800"), QLatin1String("NXR800"), QLatin1String("ZR110"),
                                      QLatin1String("ZR120")};
} // namespace

QString ModelOfHostName(const QString &strHostName)
{
    const int iDash = strHostName.lastIndexOf(QLatin1Char('-'));
    return iDash < 0 ? strHostName : strHostName.left(iDash);
}

bool IsHttpModel(const QString &strModel)
{
    for (const QLatin1String &model : s_httpModels)
        if (strModel == model)
            return true;
    return false;
}

bool IsHttpHostModel(const QString &strHostName)
{
    return IsHttpModel(ModelOfHostName(strHostName));
}

bool HostNameStartsWithHttpModel(const QString &strHostName)
{
    for (const QLatin1String &model : s_httpModels)
        if (strHostName.startsWith(model))
            return true;
    return false;
}

} // namespace Velmora
