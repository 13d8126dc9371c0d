#include "devicetypes.h"

namespace Velmora
{
QStringList &ModelList()
{
    static QStringList s_lst;
    return s_lst;
}

QStringList &DispTypeList()
{
    static QStringList s_lst;
    return s_lst;
}
} // namespace Velmora
