#pragma once

#include "devlist/cdevlist.h"
#include "devlist/devinforeadings.h"
#include "discovery/qdevicesearcher.h"
#include "product/cdevicetypes.h"
#include "session/cbasemaintainsession.h"
#include "session/cmaintainagent.h"
#include "telnet/ctelnetnamereader.h"

#include <QMainWindow>
#include <QPointer>

class CDevForms;
class CDevListActions;
class CDevListMirror;
class CFormDevicesUpgrade;
class CFormMaintain;
class QMdiSubWindow;

namespace Ui
{
class MainWindow;
}

// The network-mode window: searches the local networks, lists the devices the product table
// knows with their own names (read over telnet), versions and video settings, reboots them,
// and hosts either the batch upgrade form (batch mode, from the start), which it keeps
// supplied with device types and devices, or one maintenance form per device (single-device
// mode). The rows are a CDevList keyed by host name, the key of every look-up in the agent
// too; the list widget mirrors them.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void RemoveDev(const QString &strHostName);
    CFormDevicesUpgrade *BatchForm() const { return m_pBatchForm; }
    CMaintainAgent *Agent() { return &m_agent; }
    const CTelnetNameReader &NameReader() const { return m_nameReader; }

    // The open single-device form of the device, or null.
    CFormMaintain *FindDevForm(const QString &strHostName) const;
    // Single-device mode only: opens the device's form, or brings its open form forward.
    void ShowDevForm(const QString &strHostName);

public slots:
    void on_btnSearchDevices_clicked();
    void slotOnFoundDevice(QString strBroadcastAddr, QByteArray strIpAddr, QByteArray strHostName,
                           QByteArray strStatus);
    void slotStop();
    void slotRemoveDev();
    void slotOnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                             QByteArray strData);
    // The version page of a web-server model, from the batch form's HTTP agent: the only
    // answer its Version column is read from.
    void slotOnHttpVersion(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
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
    void slotOnReadParam(T_TelnetNameResult stResult);
    void slotReboot(QString devName);
    void slotReboot() { slotReboot(QString()); }
    // The list as CSV, in the list's order, to a file the operator picks.
    void slotExportList();

private slots:
    void slotBatchRunning(bool bRunning);
    void on_pbSingleDevice_clicked();
    // Search, Remove, Reboot and the mode switches follow what is running.
    void UpdateLocks();

protected:
    void closeEvent(QCloseEvent *pEvent) override;

private:
    // A system-information answer or a version page, read into the device's row.
    void ApplyReading(const QString &strHostName, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                      const QByteArray &strData, E_DevInfoSource eSource);
    // The rows the operator confirmed to remove; the batch form is offered the types that stay.
    void RemoveDevs(const QStringList &lstSelected);
    void OfferDevType(const QString &strHostName);
    // The listed device a row dragged to the batch form names by its display name.
    bool ResolveDragged(const QString &strDispName, T_BaseDevInfo *pstDevInfo) const;
    void CloseBatchForm();

    Ui::MainWindow *ui;
    QDeviceSearcher m_searcher;
    CMaintainAgent m_agent;
    CDevList m_devices;
    CDevListMirror *m_pDevList = nullptr;
    CDevForms *m_pDevForms = nullptr;
    // The list's context menu, its reboots and its export.
    CDevListActions *m_pActions = nullptr;
    // A device's type is recorded whenever it is listed, in either mode, and kept for as long
    // as the window lives; the batch form reads it.
    CDeviceTypes m_devTypes;
    CFormDevicesUpgrade *m_pBatchForm = nullptr;
    QPointer<QMdiSubWindow> m_pBatchWindow;
    bool m_bBatchRunning = false;
    // One short-lived channel per reported device, a bounded number open at once.
    CTelnetNameReader m_nameReader;
};
