#pragma once

#include "upgradeconf/cupgradeconfig.h"

#include <QList>
#include <QString>

class QObject;
class QPushButton;
class QTreeWidget;

namespace Velmora
{
// Appends one row per module to an upgrade tree: the module's name in column 0 with its id
// under Qt::UserRole, and in column 1 a button with strOpenText (the caller's translation of
// "Open...") whose events pFilter watches. The button also carries its row as the "item"
// property; a form finds the row again only among the rows it still has. Returns the buttons
// in row order, for the caller to connect.
QList<QPushButton *> AddModuleRows(QTreeWidget *pTree, const QList<T_ModuleRow> &lstModules, const QString &strOpenText,
                                   QObject *pFilter);
} // namespace Velmora
