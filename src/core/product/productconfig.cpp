#include "product/productconfig.h"

#include "common/vlog.h"
#include "product/hostmodel.h"

#include <QFile>
#include <QXmlStreamReader>

namespace
{

// "true"/"false" in any case, or "1"/"0"; anything else keeps the default.
bool ParseBool(const QStringRef &str, bool bDefault)
{
    if (str.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || str == QLatin1String("1"))
        return true;
    if (str.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || str == QLatin1String("0"))
        return false;
    return bDefault;
}

// A host name without "-" names no device, whatever its text.
const T_ProductInfo *FindProduct(const QString &strHostName, int *piDash)
{
    if (!strHostName.contains(QLatin1Char('-')))
        return nullptr;
    const QString strModel = Velmora::ModelOfHostName(strHostName);
    const auto it = ProductTable().constFind(strModel);
    if (it == ProductTable().constEnd())
        return nullptr;
    *piDash = strModel.size();
    return &it.value();
}

} // namespace

QMap<QString, T_ProductInfo> &ProductTable()
{
    static QMap<QString, T_ProductInfo> s_table;
    return s_table;
}

bool LoadProductConfig(const QString &strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        VLOG(lcUi) << "cannot open" << strPath;
        return false;
    }
    QMap<QString, T_ProductInfo> &table = ProductTable();
    table.clear();

    QXmlStreamReader reader(&file);
    QString strElemPath;
    int iDepth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType eToken = reader.readNext();
        if (eToken == QXmlStreamReader::StartElement) {
            ++iDepth;
            strElemPath += QLatin1Char('/') + reader.name().toString();
            if (iDepth == 1 && strElemPath != QLatin1String("/tavprod")) {
                VLOG(lcUi) << "unexpected root" << strElemPath;
                return false;
            }
            if (strElemPath == QLatin1String("/tavprod/product")) {
                const QXmlStreamAttributes attrs = reader.attributes();
                if (!ParseBool(attrs.value(QLatin1String("show")), true))
                    continue;
                T_ProductInfo stInfo;
                stInfo.strId = attrs.value(QLatin1String("id")).toString();
                stInfo.strType = attrs.value(QLatin1String("type")).toString();
                stInfo.strName = attrs.value(QLatin1String("name")).toString();
                table.insert(stInfo.strId, stInfo);
            }
        } else if (eToken == QXmlStreamReader::EndElement) {
            --iDepth;
            strElemPath.truncate(qMax(0, strElemPath.lastIndexOf(QLatin1Char('/'))));
        }
    }
    if (reader.hasError())
        VLOG(lcUi) << "XML error" << reader.errorString() << "line" << reader.lineNumber();
    return true;
}

QString GetProductName(const QString &strHostName)
{
    int iDash = -1;
    const T_ProductInfo *pInfo = FindProduct(strHostName, &iDash);
    return pInfo ? pInfo->strName + strHostName.mid(iDash) : QString();
}

QString GetDisplayType(const QString &strHostName)
{
    int iDash = -1;
    const T_ProductInfo *pInfo = FindProduct(strHostName, &iDash);
    return pInfo ? pInfo->strName : QString();
}

QString GetProductType(const QString &strHostName)
{
    int iDash = -1;
    const T_ProductInfo *pInfo = FindProduct(strHostName, &iDash);
    return pInfo ? pInfo->strType : QString();
}
