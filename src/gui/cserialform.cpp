#include "cserialform.h"
#include "ui_cserialform.h"

#include "cmsgbox.h"
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
}

CSerialForm::~CSerialForm()
{
    delete m_pRunner;
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

bool CSerialForm::CreateRunner()
{
    // The previous operation's port is closed before the next one opens it.
    delete m_pRunner;
    m_pRunner = nullptr;
    const QString strPort = ui->selPort->currentText().trimmed();
    const quint32 u32Baud = ui->boBox_baudRate->currentText().toUInt();
    if (strPort.isEmpty()) {
        ShowError(tr("Select a serial port first!"));
        ui->selPort->setFocus();
        return false;
    }
    if (u32Baud == 0) {
        ShowError(tr("Select a baud rate first!"));
        ui->boBox_baudRate->setFocus();
        return false;
    }
    m_pRunner = new CSerialUpgradeRunner(strPort, u32Baud);
    connect(m_pRunner, &CSerialUpgradeRunner::signalProgress, this, &CSerialForm::slotOnProgress);
    connect(m_pRunner, &CSerialUpgradeRunner::signalFinished, this, &CSerialForm::slotOnFinished);
    return true;
}

void CSerialForm::Started(E_CmdResult eResult, const QString &strNotSupport)
{
    if (eResult == CMD_OK)
        setEnabled(false);
    else
        ShowError(CmdResultText(eResult, strNotSupport));
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
    if (!CreateRunner()) {
        ShowError(tr("Version query is not support!"));
        return;
    }
    Started(m_pRunner->QueryVersion(), tr("Version query is not support!"));
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
    if (!CreateRunner()) {
        ShowError(tr("Upgrade is not support!"));
        return;
    }
    const QString strPath = ui->butOpenFile->toolTip();
    if (strPath.isEmpty()) {
        ShowError(tr("Select upgrade file first!"));
        return;
    }
    Started(m_pRunner->StartUpgrade(strPath), tr("Upgrade is not support!"));
}

void CSerialForm::slotOnProgress(QString strStep, int i32Progress)
{
    ui->lbProgress->setToolTip(QString());
    ui->lbProgress->setText(tr("%1:%2%").arg(strStep).arg(i32Progress));
}

void CSerialForm::slotOnFinished(CSerialUpgradeRunner::T_Result stResult)
{
    VLOG(lcUi) << stResult.eResult << stResult.bUpgrade << stResult.strStep << stResult.strReason
               << Velmora::Hex(stResult.baVersion);
    setEnabled(true);
    switch (stResult.eResult) {
    case CSerialUpgradeRunner::RESULT_OK:
        ui->btnVerQuery->setText(ButtonText(stResult.baVersion));
        if (stResult.bUpgrade)
            ui->lbProgress->setText(tr("Upgrade succeed."));
        break;
    case CSerialUpgradeRunner::RESULT_VERSION_UNREAD:
        ui->lbProgress->setText(tr("Upgrade succeed, but fails to query version."));
        break;
    case CSerialUpgradeRunner::RESULT_FAILED:
        if (!stResult.bUpgrade) {
            ui->btnVerQuery->setText(tr("Version query failed"));
            ShowError(tr("Version query failed"));
            break;
        }
        ui->lbProgress->setText(tr("Upgrade failed"));
        // Why it failed travels beside the message, where an operator can find it.
        // Escaped: the reason may quote the controller's own text, never to be read as markup.
        ui->lbProgress->setToolTip(stResult.strReason.isEmpty()
                                       ? QString()
                                       : QStringLiteral("<qt>%1</qt>").arg(stResult.strReason.toHtmlEscaped()));
        ShowError(tr("'%1' Upgrade error occur!").arg(kDevice));
        break;
    case CSerialUpgradeRunner::RESULT_TIMEOUT:
        ui->lbProgress->setText(tr("Operation timeout"));
        ShowError(tr("'%1' operation timeout!").arg(kDevice));
        break;
    }
}
