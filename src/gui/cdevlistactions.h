#pragma once

#include <QObject>

#include <functional>

class CDevForms;
class CDevList;
class CDevListMirror;
class QMainWindow;
class QTreeWidget;

// The device list's context menu and its actions: Remove (after the operator confirms),
// Reboot (one short-lived telnet channel per device; the row leaves the list, so a failure is
// told in the window's status bar) and Export list (CSV in the list's order, written whole or
// not at all). Remove and Reboot are refused while a running batch or a working device form
// holds the device; the window drops the rows, as it also keeps the batch form's types.
class CDevListActions : public QObject
{
    Q_OBJECT
public:
    // fnBatchRunning tells whether a running batch holds its devices.
    CDevListActions(const CDevList *pDevices, CDevListMirror *pDevList, CDevForms *pDevForms, QTreeWidget *pTree,
                    std::function<bool()> fnBatchRunning, QMainWindow *pWindow);

    // Reboots the named device, or the current row when the name is empty. The operator's own
    // reboot (empty name) of a device the running batch still holds would cut its upload: refused.
    // Asks, then hands the selected rows to signalRemoving.
    void RemoveSelected();
    void Reboot(const QString &strHostName);
    void ExportList();

signals:
    // The operator confirmed the removal of these rows.
    void signalRemoving(QStringList lstHostNames);
    // The reboot command is queued: the device leaves the list until the next search.
    void signalRebooting(QString strHostName);

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private slots:
    void slotOnDeleteTelnet(QString strHostName, QString strReason);

private:
    const CDevList *m_pDevices;
    CDevListMirror *m_pDevList;
    CDevForms *m_pDevForms;
    QTreeWidget *m_pTree;
    QMainWindow *m_pWindow;
    std::function<bool()> m_fnBatchRunning;
};
