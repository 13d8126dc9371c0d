#include "sysinfoitems.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace Velmora
{
QString DisplayText(const QString &str)
{
    QString strOut = str;
    for (QChar &ch : strOut)
        if (ch.category() == QChar::Other_Control || ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator)
            ch = QLatin1Char(' ');
    return strOut;
}

QList<QTreeWidgetItem *> InfoRowItems(const QList<T_InfoRow> &lstRows)
{
    QList<QTreeWidgetItem *> lstItems;
    for (const T_InfoRow &stRow : lstRows) {
        auto *pItem = new QTreeWidgetItem;
        pItem->setText(0, DisplayText(stRow.strName));
        pItem->setText(1, DisplayText(stRow.strValue));
        // The whole value stays readable where the column cuts it short.
        if (!stRow.strValue.isEmpty())
            pItem->setToolTip(1, PlainToolTip(stRow.strValue));
        pItem->addChildren(InfoRowItems(stRow.lstChildren));
        lstItems.append(pItem);
    }
    return lstItems;
}

void AddInfoRows(QTreeWidget *pTree, const QList<T_InfoRow> &lstRows)
{
    pTree->addTopLevelItems(InfoRowItems(lstRows));
}

void AddInfoDocument(QTreeWidget *pTree, bool bJson, const QByteArray &baData)
{
    if (bJson) {
        bool bObject = false;
        const QList<T_InfoRow> lstRows = JsonInfoRows(baData, &bObject);
        if (!bObject)
            return;
        AddInfoRows(pTree, lstRows);
    } else {
        AddInfoRows(pTree, XmlInfoRows(baData));
    }
    pTree->expandAll();
    // Nested names (an interface's fields, three levels down) stay readable.
    pTree->resizeColumnToContents(0);
    pTree->setColumnWidth(0, qBound(160, pTree->columnWidth(0), 320));
}

QString PlainToolTip(const QString &str)
{
    // Tool tips guess rich text from the content; escaped text inside a pre-wrapped
    // paragraph is shown exactly as written, line breaks included.
    QString strText = str;
    for (QChar &ch : strText)
        if (ch.category() == QChar::Other_Control && ch != QLatin1Char('\n'))
            ch = QLatin1Char(' ');
    return QStringLiteral("<p style='white-space:pre'>") + strText.toHtmlEscaped() + QStringLiteral("</p>");
}
} // namespace Velmora
