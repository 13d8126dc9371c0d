#include "devlist/devinforeadings.h"

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

T_DevInfoReading ReadHttpVersionPage(const QByteArray &baPage)
{
    QString strText = QString::fromUtf8(baPage);
    const int i32N = strText.lastIndexOf(QLatin1Char('N'));
    if (i32N >= 0)
        strText = strText.mid(i32N);
    const int i32Feed = strText.indexOf(QLatin1Char('\n'));
    if (i32Feed >= 0)
        strText = strText.mid(i32Feed + 1);
    const int i32End = strText.indexOf(QLatin1Char('\n'));
    if (i32End >= 0)
        strText = strText.left(i32End);
    T_DevInfoReading stReading;
    stReading.optVersion = strText;
    return stReading;
}

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

T_DevInfoReading ReadDevInfo(const QString &strHostName, bool bXml, const QByteArray &baData)
{
    if (Velmora::IsHttpHostModel(strHostName))
        return ReadHttpVersionPage(baData);
    return bXml ? ReadVazaInfoDocument(baData) : T_DevInfoReading();
}
