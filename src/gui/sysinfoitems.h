#pragma once

#include "sysinfo/csysinforows.h"

#include <QList>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

// Tree items of the system-information views, built from the core's rows. Device text is
// shown as plain single-line text: control characters become blanks, so a value carrying a
// line break or an escape cannot stretch or garble the row.
namespace Velmora
{
QString DisplayText(const QString &str);
QList<QTreeWidgetItem *> InfoRowItems(const QList<T_InfoRow> &lstRows);
// Appends the rows at the top level of the tree.
void AddInfoRows(QTreeWidget *pTree, const QList<T_InfoRow> &lstRows);
// Appends a device's system-information document (bJson: a JSON object, else XML), expands
// it and widens the name column so nested names stay readable. A JSON payload that is not an
// object adds nothing and leaves the tree unexpanded.
void AddInfoDocument(QTreeWidget *pTree, bool bJson, const QByteArray &baData);
// A tool tip that is never read as rich text, whatever the device put into it.
QString PlainToolTip(const QString &str);
} // namespace Velmora
