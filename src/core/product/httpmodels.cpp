#include "product/httpmodels.h"

#include "product/hostmodel.h"

#include <QLatin1String>

namespace Velmora
{

bool IsHttpHostModel(const QString &strHostName)
{
    static const QLatin1String s_httpModels[] = {QLatin1String("NXT800"), QLatin1String("NXR800"),
                                                 QLatin1String("ZR110"), QLatin1String("ZR120")};
    const QString strModel = ModelOfHostName(strHostName);
    for (const QLatin1String &model : s_httpModels)
        if (strModel == model)
            return true;
    return false;
}

} // namespace Velmora
