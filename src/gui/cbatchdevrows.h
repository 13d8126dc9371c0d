#pragma once

#include "session/cbasemaintainsession.h"

#include <QList>
#include <QString>

class QObject;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The rows of the batch form's device list, one per device, numbered from 1. Column 0 keeps
// the device's identity, column 1 shows the display name as plain text and keeps the name as
// the device gave it, which is what the engine's reports are matched against; columns 2 and
// 3 show the step and progress, column 4 the device's reboot button. The texts shown are the
// form's: this class only knows where they go.
class CBatchDevRows
{
public:
    // The tree is the form's; its columns are sized here.
    explicit CBatchDevRows(QTreeWidget *pTree);

    int Count() const;
    QTreeWidgetItem *Find(const QString &strDispName) const;
    QTreeWidgetItem *FindByHost(const QString &strHostName) const;
    QTreeWidgetItem *At(int i32Row) const;
    static QString HostOf(const QTreeWidgetItem *pItem);
    // The row a reboot button belongs to; null when that row is gone.
    QTreeWidgetItem *RowOf(const QPushButton *pButton) const;

    // Appends the device's row with a disabled reboot button reading strRebootText whose
    // events pFilter watches; returns the button for the caller to connect.
    QPushButton *Append(const T_BaseDevInfo &stDevInfo, const QString &strRebootText, QObject *pFilter);
    // Takes the row out of the list and deletes it; the others keep their numbers.
    void Remove(QTreeWidgetItem *pItem);
    // The row's reboot button leaves the list; the caller disposes of it.
    void ReleaseRebootButton(QTreeWidgetItem *pItem);
    void Renumber();

    // Every listed device in row order, as it was listed.
    QList<T_BaseDevInfo> Devices() const;
    void ShowStep(QTreeWidgetItem *pItem, const QString &strStep, int i32Progress);
    // A state without progress in the step column: failed, waiting, not started, a retry.
    void ShowState(QTreeWidgetItem *pItem, const QString &strState);
    // Why the row is in its state, in the step's tool tip, until the next start clears it.
    void ShowReason(QTreeWidgetItem *pItem, const QString &strReason);
    // Every row's step, progress and reason emptied: a new batch starts.
    void ClearStates();
    void SetRebootButtonsEnabled(bool bEnabled);

private:
    QTreeWidget *m_pTree;
};
