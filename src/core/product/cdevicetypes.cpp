#include "product/cdevicetypes.h"

QString CDeviceTypes::TypeOf(const QString &strName)
{
    const int i32Dash = strName.lastIndexOf(QLatin1Char('-'));
    return i32Dash < 0 ? strName : strName.left(i32Dash);
}

void CDeviceTypes::AddDevice(const QString &strHostName, const QString &strDispName)
{
    const QString strModel = TypeOf(strHostName);
    const QString strDispType = TypeOf(strDispName);
    if (strDispType != strModel && !m_hashModels.contains(strDispType))
        m_hashModels.insert(strDispType, strModel);
}

QString CDeviceTypes::ModelOf(const QString &strDispType) const
{
    return m_hashModels.value(strDispType, strDispType);
}
