#pragma once

#include "batch/cprogresswatch.h"
#include "session/cbasemaintainsession.h"

#include <QTimer>
#include <QWidget>

class CHttpUpgrade;
class CMaintainAgent;
class QPushButton;
class QTreeWidgetItem;

namespace Ui
{
class CFormMaintain;
}

// One device's maintenance window: upgrades its modules one after another from the first
// row with a file, reads its system information and downloads its log. Outcomes arrive as
// the agent's (and, for the web-server models, the form's own upgrader's) notifications and
// are matched by host name; a watchdog of the form's own guards every operation.
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
    void slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                             bool bFinished, int i32CurProgress);
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
    // The row whose file button this is; null when the row (or the button) is gone.
    QTreeWidgetItem *ButtonRow(const QObject *pButton) const;
    int NextRowWithFile(int i32From) const;
    // Starts the module of row i32Row; on refusal returns the message to show (the run
    // is then over), else an empty text.
    QString AttemptModule(int i32Row);
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
    // An upgrade's module is bounded by the batch's own silence limit, not by m_timer.
    CProgressWatch m_upgradeWatch;
    CHttpUpgrade *m_pHttp = nullptr;
    // The row the last Start of this form began at: it routes the whole run, and belongs to
    // this form alone, so a Start elsewhere never reroutes a run here.
    int m_i32StartRow = 0;
    bool m_bHttpRun = false;
    E_Operation m_eOperation = OP_NONE;
    bool m_bBusy = false;
};
