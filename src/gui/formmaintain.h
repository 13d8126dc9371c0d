#pragma once

#include "session/cbasemaintainsession.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class CBatchUpgrade;
class CHttpAgent;
class CLogView;
class CMaintainAgent;
class QPushButton;
class QTreeWidgetItem;

namespace Ui
{
class CFormMaintain;
}

// One device's maintenance window: upgrades its modules one after another from the first
// row with a file (through the batch engine, as a batch of one), reads its system
// information and downloads its log. Answers arrive as the agent's (and, for the web-server
// models, the form's own HTTP agent's) notifications and are matched by host name; a
// watchdog of the form's own guards the reads.
class CFormMaintain : public QWidget
{
    Q_OBJECT
public:
    CFormMaintain(const T_BaseDevInfo &stDevInfo, CMaintainAgent *pAgent, QWidget *parent = nullptr);
    ~CFormMaintain() override;

    QString HostName() const { return m_stDevInfo.strHostName; }
    // An operation the operator started is running (its controls are disabled).
    bool IsBusy() const { return m_bBusy; }

signals:
    // IsBusy() changed; also emitted (false) when the form goes while busy.
    void signalRunningChanged(bool bRunning);

private slots:
    void slotSelectUpgradeFile();
    void slotRemoveUpgradeFile();
    void slotOperationTimeout();
    void slotRunModuleStarted(int i32Module);
    void slotRunProgress(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, int i32CurProgress, bool bError,
                         bool bFinished);
    void slotRunFailed(T_BaseDevInfo stDevInfo, int i32Module, QString strCurStep, QString strReason);
    void slotRunEnded();
    void slotOnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                             QByteArray strData);
    void slotOnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError, bool bFinished);
    void on_btnStartUpgrade_clicked();
    void on_btnReadSysInfo_clicked();
    void on_btnReadLog_clicked();

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    enum E_Operation { OP_NONE, OP_STARTUP, OP_UPGRADE, OP_SYSINFO, OP_LOG };

    void LoadModules();
    // Takes over the address the agent now has for the device.
    void FollowAddress();
    // The row whose file button this is; null when the row (or the button) is gone.
    QTreeWidgetItem *ButtonRow(const QObject *pButton) const;
    int NextRowWithFile(int i32From) const;
    void FailRow(QTreeWidgetItem *pItem, const QString &strReason);
    QString UpgradeFailureReason() const;
    // i32Ms bounds the operation; 0 leaves the bound to the caller.
    void BeginOperation(E_Operation eOperation, int i32Ms);
    void EndOperation();
    void SetControlsEnabled(bool bEnabled);
    void ShowError(const QString &strText);

    Ui::CFormMaintain *ui;
    T_BaseDevInfo m_stDevInfo;
    CMaintainAgent *m_pAgent;
    int m_i32CurRow = 0;
    QTimer m_timer;
    std::unique_ptr<CLogView> m_pLogView;
    // The web-server models' version page and upgrades; null for the others.
    CHttpAgent *m_pHttpAgent = nullptr;
    // Upgrades run here, bounded by the engine's own silence limit rather than m_timer.
    CBatchUpgrade *m_pRun = nullptr;
    bool m_bStalled = false;
    E_Operation m_eOperation = OP_NONE;
    bool m_bBusy = false;
};
