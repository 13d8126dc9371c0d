#pragma once

#include "maintainagent/cmaintainagent.h"
#include "maintainsession/cbasemaintainsession.h"
#include "tavcomm/qdevicesearcher.h"

#include <QMainWindow>
#include <QPointer>

class CFormDevicesUpgrade;
class QMdiSubWindow;
class QTreeWidgetItem;

namespace Ui
{
class MainWindow;
}

// The network-mode window: searches the local networks, lists the devices the product table
// knows with their versions and video settings, and hosts the batch upgrade form, which it
// keeps supplied with device types and devices. Every row keeps the device's host name, the
// key of every look-up in the agent.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The first row whose display name (column 1) is strDispName, or null.
    QTreeWidgetItem *FindDevItem(const QString &strDispName) const;
    void RemoveDev(const QString &strHostName);
    CFormDevicesUpgrade *BatchForm() const { return m_pBatchForm; }
    CMaintainAgent *Agent() { return &m_agent; }

public slots:
    void on_btnSearchDevices_clicked();
    void slotOnFoundDevice(QString strBroadcastAddr, QByteArray strIpAddr, QByteArray strHostName,
                           QByteArray strStatus);
    void slotStop();
    void slotRemoveDev();
    void slotOnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                             QByteArray strData);
    void slotOnRank();

    void on_pbBatchUpgrade_clicked();
    void slotBatchUpgradeClose();
    void slotBatchUpgradeAddDev();
    void slotAddUpgradeDev(QString devType, QString strVer);
    void slotClickDev();
    void slotUpgradeDeleteDev();
    void slotUpdateType();

    void slotShowCurrentDevForm();
    void slotReboot(QString devName);
    void slotReboot() { slotReboot(QString()); }

private slots:
    void slotBatchRunning(bool bRunning);

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;
    void closeEvent(QCloseEvent *pEvent) override;

private:
    T_BaseDevInfo ItemRecord(const QTreeWidgetItem *pItem, bool bWithVersion) const;
    void OfferDevType(const QTreeWidgetItem *pItem);

    Ui::MainWindow *ui;
    QDeviceSearcher m_searcher;
    CMaintainAgent m_agent;
    CFormDevicesUpgrade *m_pBatchForm = nullptr;
    QPointer<QMdiSubWindow> m_pBatchWindow;
    bool m_bBatchRunning = false;
};
