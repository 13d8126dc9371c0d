#include "sysinfo/csysinforows.h"

#include "common/vlog.h"
#include "http/httpversionpage.h"
#include "product/productconfig.h"

#include <QDomDocument>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

void AddXmlRows(const QDomElement &parent, QList<T_InfoRow> &lstRows)
{
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        T_InfoRow stRow;
        stRow.strName = child.attribute(QStringLiteral("name"));
        if (stRow.strName.isEmpty())
            stRow.strName = child.tagName();
        const QDomNode first = child.firstChild();
        if (first.isText()) {
            // Fields that hold a host name ("ZR420-00AB") read better under the product name.
            const QString strValue = first.toText().data().trimmed();
            const QString strProduct = GetProductName(strValue);
            stRow.strValue = strProduct.isEmpty() ? strValue : strProduct;
        } else {
            AddXmlRows(child, stRow.lstChildren);
        }
        lstRows.append(stRow);
    }
}

void AddJsonValue(const QJsonValue &value, T_InfoRow &parent)
{
    switch (value.type()) {
    case QJsonValue::Object: {
        const QJsonObject obj = value.toObject();
        for (auto it = obj.constBegin(); it != obj.constEnd(); ++it) {
            T_InfoRow stRow;
            stRow.strName = it.key();
            AddJsonValue(it.value(), stRow);
            parent.lstChildren.append(stRow);
        }
        break;
    }
    case QJsonValue::Array: {
        const QJsonArray arr = value.toArray();
        for (int i = 0; i < arr.size(); ++i) {
            T_InfoRow stRow;
            stRow.strName = QString::number(i);
            AddJsonValue(arr.at(i), stRow);
            parent.lstChildren.append(stRow);
        }
        break;
    }
    case QJsonValue::String:
        parent.strValue = value.toString();
        break;
    case QJsonValue::Double:
    case QJsonValue::Bool:
        // Only strings are shown as values.
        parent.strValue.clear();
        break;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
}

void AppendText(const QList<T_InfoRow> &lstRows, int iDepth, QString &strOut)
{
    const QString strIndent(iDepth * 2, QLatin1Char(' '));
    for (const T_InfoRow &stRow : lstRows) {
        strOut += strIndent + PrintableText(stRow.strName) + QLatin1Char(':');
        if (!stRow.strValue.isEmpty())
            strOut += QLatin1Char(' ') + PrintableText(stRow.strValue);
        strOut += QLatin1Char('\n');
        AppendText(stRow.lstChildren, iDepth + 1, strOut);
    }
}

} // namespace

QList<T_InfoRow> XmlInfoRows(const QByteArray &baXml)
{
    QDomDocument doc;
    QString strError;
    if (!doc.setContent(baXml, false, &strError)) {
        VLOG(lcUi) << "not well-formed:" << strError;
        return {};
    }
    QList<T_InfoRow> lstRows;
    AddXmlRows(doc.documentElement(), lstRows);
    return lstRows;
}

QList<T_InfoRow> JsonInfoRows(const QByteArray &baJson, bool *pbObject)
{
    const QJsonDocument doc = QJsonDocument::fromJson(baJson);
    if (pbObject)
        *pbObject = doc.isObject();
    if (!doc.isObject())
        return {};
    T_InfoRow stRoot;
    AddJsonValue(doc.object(), stRoot);
    return stRoot.lstChildren;
}

QList<T_InfoRow> HttpVersionRows(const QByteArray &baPage)
{
    return {
        {QStringLiteral("build time"), Velmora::HttpPageBuildTime(baPage), {}},
        {QStringLiteral("version"), Velmora::HttpPageVersion(baPage), {}},
    };
}

QString InfoRowsText(const QList<T_InfoRow> &lstRows)
{
    QString strOut;
    AppendText(lstRows, 0, strOut);
    return strOut;
}

QString PrintableText(QString str)
{
    for (QChar &ch : str) {
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char(' ');
    }
    return str;
}

QJsonArray InfoRowsJson(const QList<T_InfoRow> &lstRows)
{
    QJsonArray arr;
    for (const T_InfoRow &stRow : lstRows) {
        QJsonObject obj{{QStringLiteral("name"), stRow.strName}, {QStringLiteral("value"), stRow.strValue}};
        if (!stRow.lstChildren.isEmpty())
            obj.insert(QStringLiteral("children"), InfoRowsJson(stRow.lstChildren));
        arr.append(obj);
    }
    return arr;
}
