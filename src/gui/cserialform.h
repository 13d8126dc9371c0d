#pragma once

#include "serial/cserialupgraderunner.h"

#include <QWidget>

namespace Ui
{
class CSerialForm;
}

// The whole interface of serial mode: upgrades one microcontroller over a serial port and
// shows its version. Each version query and each upgrade runs on a fresh runner, which
// decides how it ends; the window is disabled while one runs. The port field also takes any
// device path typed in (pseudo-terminals and unusual adapters are not in the system list).
class CSerialForm : public QWidget
{
    Q_OBJECT
public:
    explicit CSerialForm(QWidget *parent = nullptr);
    ~CSerialForm() override;

public slots:
    void comChanged(int i);
    void comChanged();
    void on_butOpenFile_clicked();
    void on_butStartUp_clicked();
    void on_btnVerQuery_clicked();

private slots:
    void slotOnProgress(QString strStep, int i32Progress);
    void slotOnFinished(CSerialUpgradeRunner::T_Result stResult);

private:
    void FillSelectors();
    bool CreateRunner();
    void Started(E_CmdResult eResult, const QString &strNotSupport);
    void ShowError(const QString &strText);
    QString CmdResultText(E_CmdResult eResult, const QString &strNotSupport) const;

    Ui::CSerialForm *ui;
    CSerialUpgradeRunner *m_pRunner = nullptr;
};
