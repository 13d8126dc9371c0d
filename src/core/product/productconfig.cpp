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

bool LoadProductConfig(const QString &strPath, QString *pstrError)
{
    auto fail = [&](const QString &strWhy) {
        VLOG(lcUi) << strPath << strWhy;
        if (pstrError)
            *pstrError = strWhy;
        return false;
    };
    // A file that cannot be opened leaves the table as it was.
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
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
                table.clear();
                return fail(QStringLiteral("its root is <%1>, not <tavprod>").arg(reader.name().toString()));
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
    // The products before a broken line stay; the caller still hears that the rest is missing,
    // since a table cut short would leave models out without a word.
    if (reader.hasError())
        return fail(QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString()));
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
