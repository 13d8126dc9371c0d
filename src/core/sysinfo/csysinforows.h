#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>

// A device's system information as name/value rows, without widgets: the forms turn the
// rows into tree items, the console program prints them. The document's outermost element
// or object is never a row of its own.

struct T_InfoRow {
    QString strName;
    QString strValue; // empty for rows that only group other rows
    QList<T_InfoRow> lstChildren;
};

// The XML document of a Vaza device (or any XML): one row per child element, named by its
// "name" attribute or else its tag. An element whose first child is text is a leaf whose
// trimmed text is shown through the product table (a known model becomes its product name).
// Nothing when the document does not parse.
QList<T_InfoRow> XmlInfoRows(const QByteArray &baXml);

// A JSON object: members in sorted key order, array elements by index, strings as values;
// numbers and booleans give empty values. *pbObject is false (and the rows empty) when the
// payload is not an object, in which case the forms skip expanding the tree.
QList<T_InfoRow> JsonInfoRows(const QByteArray &baJson, bool *pbObject = nullptr);

// The version page of an HTTP device as the rows "build time" and "version", each the page's
// field as Velmora::HttpPageBuildTime and HttpPageVersion read it.
QList<T_InfoRow> HttpVersionRows(const QByteArray &baPage);

// Indented "name: value" lines for a terminal, two spaces per level. Control characters
// from the device are shown as spaces so a value cannot drive the terminal.
QString InfoRowsText(const QList<T_InfoRow> &lstRows);

// Device text made safe for a terminal: every control character becomes a space.
QString PrintableText(QString str);

// [{"name": ..., "value": ..., "children": [...]}], "children" only where there are any.
QJsonArray InfoRowsJson(const QList<T_InfoRow> &lstRows);
