#include "cserialform.h"
#include "ui_cserialform.h"

#include "cmsgbox.h"
#include "common/timescale.h"
#include "common/vlog.h"
#include "filechooser.h"
#include "serial/cserialmaintain.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace
{
// A version is the controller's text: shown as it is, never as a button mnemonic.
QString ButtonText(const QByteArray &baText)
{
    return QString::fromUtf8(baText).replace(QLatin1Char('&'), QLatin1String("&&"));
}

const QString kDevice = QString::fromLatin1(CSerialMaintain::MCU_MODULE);
} // namespace

CSerialForm::CSerialForm(QWidget *parent) : QWidget(parent), ui(new Ui::CSerialForm)
{
    ui->setupUi(this);
    ui->butStartUp->setEnabled(false);
    // A typed path goes into the list and becomes the current port, which queries its version.
    ui->selPort->setInsertPolicy(QComboBox::InsertAtBottom);
    FillSelectors();
    ui->selPort->setCurrentIndex(-1);
    connect(ui->selPort, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            QOverload<int>::of(&CSerialForm::comChanged));
    m_timerOperation.setSingleShot(true);
    connect(&m_timerOperation, &QTimer::timeout, this, &CSerialForm::slotOperationTimeout);
}

CSerialForm::~CSerialForm()
{
    DeleteSession();
    delete ui;
}

void CSerialForm::FillSelectors()
{
    ui->selPort->clear();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ui->selPort->addItem(info.portName());
    ui->boBox_baudRate->clear();
    for (qint32 i32Rate : QSerialPortInfo::standardBaudRates())
        ui->boBox_baudRate->addItem(QString::number(i32Rate));
    ui->boBox_baudRate->setCurrentText(QStringLiteral("9600"));
}

void CSerialForm::ShowError(const QString &strText)
{
    CMsgBox::Show(this, QMessageBox::Critical, QString(), strText);
}

void CSerialForm::DeleteSession()
{
    // Direct deletion closes the port now, so the next session can open it at once; the
    // session itself copes with being deleted from inside its port's signal.
    delete m_pSession;
    m_pSession = nullptr;
}

bool CSerialForm::CreateSession()
{
    m_stDevInfo = T_BaseDevInfo();
    m_stDevInfo.strHostName = kDevice;
    m_stDevInfo.strAddr = ui->selPort->currentText().trimmed();
    m_stDevInfo.u32Port = ui->boBox_baudRate->currentText().toUInt();
    if (m_stDevInfo.strAddr.isEmpty()) {
        ShowError(tr("Select a serial port first!"));
        ui->selPort->setFocus();
        return false;
    }
    if (m_stDevInfo.u32Port == 0) {
        ShowError(tr("Select a baud rate first!"));
        ui->boBox_baudRate->setFocus();
        return false;
    }
    m_pSession = new CSerialMaintain(m_stDevInfo);
    connect(m_pSession, &CBaseMaintainSession::OnUpgradeNotify, this, &CSerialForm::slotOnUpgradeNotify);
    connect(m_pSession, &CBaseMaintainSession::OnVersionQueryNotify, this, &CSerialForm::slotOnVersionQueryNotify);
    return true;
}

void CSerialForm::StartTimer(int i32Ms)
{
    m_timerOperation.start(Velmora::ScaledMs(i32Ms));
}

void CSerialForm::Idle()
{
    m_timerOperation.stop();
    setEnabled(true);
}

QString CSerialForm::CmdResultText(E_CmdResult eResult, const QString &strNotSupport) const
{
    switch (eResult) {
    case CMD_ERROR:
        return tr("'%1' Upgrade error occur!").arg(kDevice);
    case CMD_NOT_SUPPORT:
        return strNotSupport;
    case CMD_CONNECT_FAIL:
        return tr("Failed to connect to device!");
    case CMD_BUSY:
        return tr("Device is busying!");
    default:
        return QString();
    }
}

void CSerialForm::comChanged(int i)
{
    if (i >= 0)
        on_btnVerQuery_clicked();
}

void CSerialForm::comChanged()
{
    comChanged(0);
}

void CSerialForm::on_btnVerQuery_clicked()
{
    DeleteSession();
    m_bVersionAfterUpgrade = false;
    m_bQueryPending = false;
    if (!CreateSession()) {
        ShowError(tr("Version query is not support!"));
        return;
    }
    const E_CmdResult eResult = m_pSession->QueryVersion(QByteArray(CSerialMaintain::MCU_MODULE), 0);
    m_bQueryPending = eResult == CMD_OK;
    if (eResult == CMD_OK)
        StartTimer(CSerialMaintain::ANSWER_MS);
    else
        ShowError(CmdResultText(eResult, tr("Version query is not support!")));
    if (m_timerOperation.isActive())
        setEnabled(false);
}

void CSerialForm::on_butOpenFile_clicked()
{
    const QString strPath = Velmora::ChooseOpenFile(this);
    if (strPath.isEmpty())
        return;
    ui->butOpenFile->setText(strPath.mid(strPath.lastIndexOf(QLatin1Char('/')) + 1));
    ui->butOpenFile->setToolTip(strPath);
    ui->butStartUp->setEnabled(QFileInfo::exists(strPath));
}

void CSerialForm::on_butStartUp_clicked()
{
    DeleteSession();
    m_bQueryPending = false;
    if (!CreateSession()) {
        ShowError(tr("Upgrade is not support!"));
        return;
    }
    const T_UpgradeInfo stInfo{kDevice, 0, ui->butOpenFile->toolTip()};
    if (stInfo.strFilePath.isEmpty()) {
        ShowError(tr("Select upgrade file first!"));
        return;
    }
    const E_CmdResult eResult = m_pSession->StartUpgrade(stInfo);
    if (eResult == CMD_OK)
        StartTimer(CSerialMaintain::ANSWER_MS);
    else
        ShowError(CmdResultText(eResult, tr("Upgrade is not support!")));
    if (m_timerOperation.isActive())
        setEnabled(false);
}

void CSerialForm::slotOnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep,
                                      bool bError, bool bFinished, int i32CurProgress)
{
    VLOG(lcUi) << stDevInfo.strHostName << stUpgradeInfo.strDevAddr << strCurStep << bError << bFinished
               << i32CurProgress;
    if (stDevInfo.strHostName != m_stDevInfo.strHostName)
        return;
    if (bError) {
        Idle();
        ui->lbProgress->setText(tr("Upgrade failed"));
        // Why it failed travels beside the message, where an operator can find it.
        // Escaped: the reason may quote the controller's own text, never to be read as markup.
        const QString strReason = m_pSession ? m_pSession->LastError() : QString();
        ui->lbProgress->setToolTip(strReason.isEmpty() ? QString()
                                                       : QStringLiteral("<qt>%1</qt>").arg(strReason.toHtmlEscaped()));
        ShowError(tr("'%1' Upgrade error occur!").arg(stDevInfo.strHostName));
        return;
    }
    ui->lbProgress->setToolTip(QString());
    ui->lbProgress->setText(tr("%1:%2%").arg(strCurStep).arg(i32CurProgress));
    if (bFinished) {
        if (m_pSession)
            m_pSession->QueryVersion(QByteArray(CSerialMaintain::MCU_MODULE), 0);
        m_bQueryPending = true;
        StartTimer(CSerialMaintain::ANSWER_MS);
        m_bVersionAfterUpgrade = true;
    } else {
        StartTimer(CSerialMaintain::REPORT_GAP_MS);
    }
}

void CSerialForm::slotOnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr,
                                           UInt32 u32DevPort, QByteArray strVersion)
{
    VLOG(lcUi) << stDevInfo.strHostName << bError << strDevAddr << u32DevPort << Velmora::Hex(strVersion);
    if (stDevInfo.strHostName != m_stDevInfo.strHostName)
        return;
    if (!m_bQueryPending) {
        VLOG(lcUi) << "version answer nobody waits for, dropped";
        return;
    }
    m_bQueryPending = false;
    Idle();
    if (m_bVersionAfterUpgrade) {
        if (bError) {
            ui->lbProgress->setText(tr("Upgrade succeed, but fails to query version."));
        } else {
            ui->btnVerQuery->setText(ButtonText(strVersion));
            ui->lbProgress->setText(tr("Upgrade succeed."));
        }
        return;
    }
    if (bError) {
        ui->btnVerQuery->setText(tr("Version query failed"));
        ShowError(tr("Version query failed"));
    } else {
        ui->btnVerQuery->setText(ButtonText(strVersion));
    }
}

void CSerialForm::slotOperationTimeout()
{
    VLOG(lcUi);
    DeleteSession();
    m_bQueryPending = false;
    Idle();
    ui->lbProgress->setText(tr("Operation timeout"));
    ShowError(tr("'%1' operation timeout!").arg(kDevice));
}
