#include "devlist/devinforeadings.h"

#include "http/httpversionpage.h"
#include "product/httpmodels.h"

#include <QDomDocument>
#include <QObject>

namespace
{
bool IsField(const QString &strName, const char *pszOld, const char *pszLabel)
{
    return strName == QLatin1String(pszOld) || strName == QLatin1String(pszLabel) || strName == QObject::tr(pszLabel);
}
} // namespace

T_DevInfoReading ReadVazaInfoDocument(const QByteArray &baXml)
{
    T_DevInfoReading stReading;
    QDomDocument doc;
    if (!doc.setContent(baXml, false))
        return stReading;
    for (QDomElement el = doc.documentElement().firstChild().firstChildElement(); !el.isNull();
         el = el.nextSiblingElement()) {
        const QString strName = el.attribute(QStringLiteral("name"));
        if (IsField(strName, "VISelect", "Vi"))
            stReading.optVideoInput = el.text();
        else if (IsField(strName, "VITiming", "ViTiming"))
            stReading.optVideoTiming = el.text();
        else if (IsField(strName, "Version", "IRoIP"))
            stReading.optVersion = el.text().section(QLatin1Char(' '), 1, 1);
    }
    return stReading;
}

T_DevInfoReading ReadDevInfo(const QString &strHostName, E_DevInfoSource eSource, bool bXml, const QByteArray &baData)
{
    const bool bPage = eSource == E_DevInfoSource::VersionPage;
    if (Velmora::IsHttpHostModel(strHostName)) {
        T_DevInfoReading stReading;
        if (bPage)
            stReading.optVersion = Velmora::HttpPageVersion(baData);
        return stReading;
    }
    return bXml && !bPage ? ReadVazaInfoDocument(baData) : T_DevInfoReading();
}
