#pragma once

#include "batch/crollout.h"
#include "http/chttpagent.h"
#include "session/cbasemaintainsession.h"

#include <QWidget>

#include <functional>
#include <memory>

class CBatchDevRows;
class CBatchInfoTabs;
class CBatchModules;
class CDeviceTypes;
class CRolloutFields;
class CRolloutRows;
class CMaintainAgent;
class QTreeWidgetItem;

namespace Ui
{
class CFormDevicesUpgrade;
}

// The batch upgrade form: the operator picks a device type (and optionally a version), one
// file per module, how to roll it out (CRolloutFields), and starts. Every rule of the batch
// itself (routing, pass accounting, time limits, canary, waves, retries, who is left to
// reboot) is the engine's, CRollout over CBatchUpgrade; the form lists the devices
// (CBatchDevRows, CRolloutRows), shows what the engine reports and asks the main window for reboots. The System Info
// and Log tabs (CBatchInfoTabs) show one device, the one the main window last made current.
class CFormDevicesUpgrade : public QWidget
{
    Q_OBJECT
public:
    // pTypes turns the chosen display type into the model its modules are listed under.
    CFormDevicesUpgrade(CMaintainAgent *pAgent, const CDeviceTypes *pTypes, QWidget *parent = nullptr);
    ~CFormDevicesUpgrade() override;

    // 1 added, 0 ignored (a batch runs, or the device is listed already), -1 refused.
    int AddDev(T_BaseDevInfo stDevInfo);
    // The device left the window's list (rebooted, removed): it leaves the batch too, unless
    // a batch runs.
    void RemoveDevice(const QString &strHostName);
    void AddDevType(const QString &strDispType, const QString &strModelType);
    void ClearDevType();
    void SetCurrentDev(const T_BaseDevInfo &stDevInfo);
    void RequestHttpVersion(const T_BaseDevInfo &stDevInfo);
    bool IsRunning() const;

    // Finds a listed device by its display name (what a dragged row carries), so a drop adds
    // the device itself; without one, or for an unknown name, the drag text is all there is.
    using DeviceResolver = std::function<bool(const QString &strDispName, T_BaseDevInfo *pstDevInfo)>;
    void SetDeviceResolver(DeviceResolver resolver) { m_resolver = std::move(resolver); }

signals:
    void signalDevTypeChange(QString DevType, QString DevVer);
    void signalDevReboot(QString DevName);
    void signalUpdateType();
    void signalHttpVersion(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                           QByteArray strData);
    // A batch started (true) or ended in any way (false): the main window locks what
    // would pull devices or sessions from under it.
    void signalRunningChanged(bool bRunning);

public slots:
    void on_pbDelete_clicked();

private slots:
    void on_pbStart_clicked();
    // First press: no further device starts. Second: the working ones are cut short.
    void on_pbStop_clicked();
    void on_pbClear_clicked();
    void slotDevTypeChange(QString devType);
    void slotDropToAddDev(QByteArray info);
    void slotCurrentDevChange();
    void on_btnReadSysInfo_clicked();
    void on_btnReadLog_clicked();
    void slotReboot();
    void onDevVersionCurrentIndexChanged(QString arg1);

    void slotDeviceProgress(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, int i32CurProgress, bool bError,
                            bool bFinished);
    void slotDeviceFailed(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, QString strReason);
    void slotRolloutFinished(int i32Successes, int i32Total, QStringList lstRebootHosts, CRollout::E_End eEnd,
                             QString strReason);

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    void AddDevVersion(const QString &strVersion);
    void SetBatchControlsEnabled(bool bEnabled);
    void SetRunning(bool bRunning);
    // The device leaves the engine's list and the form's.
    void RemoveRow(QTreeWidgetItem *pItem);
    // After rows went by reboot: the rest numbered from 1 again, or the emptied list said.
    void RowsRemoved();
    void ClearDevices();

    Ui::CFormDevicesUpgrade *ui;
    QString m_strDevType;
    CHttpAgent m_httpAgent;
    const CDeviceTypes *m_pTypes;
    CRollout m_rollout;
    CBatchModules *m_pModules = nullptr;
    std::unique_ptr<CRolloutFields> m_pRolloutFields;
    std::unique_ptr<CBatchDevRows> m_pRows;
    std::unique_ptr<CRolloutRows> m_pRolloutRows;
    bool m_bStopRequested = false; // the next press of Stop aborts
    std::unique_ptr<CBatchInfoTabs> m_pInfoTabs;
    DeviceResolver m_resolver;
};
