#include "devlist/devlistcsv.h"

#include "devlist/cdevlist.h"
#include "product/hostmodel.h"
#include "product/productconfig.h"

namespace
{
QString Field(const QString &str)
{
    const bool bQuote = str.contains(QLatin1Char(',')) || str.contains(QLatin1Char('"')) ||
                        str.contains(QLatin1Char('\n')) || str.contains(QLatin1Char('\r')) ||
                        (!str.isEmpty() && (str.front().isSpace() || str.back().isSpace()));
    if (!bQuote)
        return str;
    QString strQuoted = str;
    strQuoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + strQuoted + QLatin1Char('"');
}

QByteArray Record(const QStringList &lstFields)
{
    QStringList lst;
    for (const QString &str : lstFields)
        lst.append(Field(str));
    return lst.join(QLatin1Char(',')).toUtf8() + "\r\n";
}
} // namespace

QByteArray Velmora::DevListCsv(const CDevList &rows, const QStringList &lstHosts)
{
    QByteArray baCsv = Record({QStringLiteral("host name"), QStringLiteral("name"), QStringLiteral("model"),
                               QStringLiteral("kind"), QStringLiteral("address"), QStringLiteral("version"),
                               QStringLiteral("video input"), QStringLiteral("video timing")});
    for (const QString &strHost : lstHosts) {
        const T_DevListRow *pRow = rows.Find(strHost);
        if (!pRow)
            continue;
        baCsv += Record({pRow->strHostName, pRow->strAlias, Velmora::ModelOfHostName(strHost), GetProductType(strHost),
                         pRow->strAddr, pRow->strVersion, pRow->strVideoInput, pRow->strVideoTiming});
    }
    return baCsv;
}
