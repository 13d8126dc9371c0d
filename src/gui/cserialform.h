#pragma once

#include "session/maintaintypes.h"

#include <QTimer>
#include <QWidget>

class CSerialMaintain;
namespace Ui
{
class CSerialForm;
}

// The whole interface of serial mode: upgrades one microcontroller over a serial port and
// shows its version. Each version query and each upgrade runs on a fresh session, guarded by
// the window's own timer; the window is disabled while one runs. The port field also takes
// any device path typed in (pseudo-terminals and unusual adapters are not in the system list).
class CSerialForm : public QWidget
{
    Q_OBJECT
public:
    explicit CSerialForm(QWidget *parent = nullptr);
    ~CSerialForm() override;

    // Tests only: answers the file dialog. An empty chooser restores the real dialog.

public slots:
    void comChanged(int i);
    void comChanged();
    void on_butOpenFile_clicked();
    void on_butStartUp_clicked();
    void slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                             bool bFinished, int i32CurProgress);
    void slotOnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr, UInt32 u32DevPort,
                                  QByteArray strVersion);
    void slotOperationTimeout();
    void on_btnVerQuery_clicked();

private:
    void FillSelectors();
    bool CreateSession();
    void DeleteSession();
    void StartTimer(int i32Ms);
    void Idle();
    void ShowError(const QString &strText);
    QString CmdResultText(E_CmdResult eResult, const QString &strNotSupport) const;

    Ui::CSerialForm *ui;
    CSerialMaintain *m_pSession = nullptr;
    T_BaseDevInfo m_stDevInfo;
    QTimer m_timerOperation;
    bool m_bVersionAfterUpgrade = false;
    // A version answer is taken only while a query waits for one: a late answer left on the
    // line by an earlier session must not end an upgrade's watchdog and free the window.
    bool m_bQueryPending = false;
};
