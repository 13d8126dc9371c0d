#include "product/cdevicetypes.h"

#include "product/hostmodel.h"
#include "product/productconfig.h"

void CDeviceTypes::AddDevice(const QString &strHostName)
{
    const QString strModel = Velmora::ModelOfHostName(strHostName);
    const QString strDispType = GetDisplayType(strHostName);
    if (!strDispType.isEmpty() && strDispType != strModel && !m_hashModels.contains(strDispType))
        m_hashModels.insert(strDispType, strModel);
}

QString CDeviceTypes::ModelOf(const QString &strDispType) const
{
    return m_hashModels.value(strDispType, strDispType);
}
