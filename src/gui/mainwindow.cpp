#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "appinfo/windowtitle.h"
#include "cdevforms.h"
#include "cdevlistactions.h"
#include "cdevlistmirror.h"
#include "cformdevicesupgrade.h"
#include "cmsgbox.h"
#include "common/vlog.h"
#include "product/hostmodel.h"
#include "product/httpmodels.h"
#include "product/productconfig.h"
#include "sysinfoitems.h"
#include "windowlayout.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMdiSubWindow>
#include <QTimer>

namespace
{
constexpr quint32 VAZA_PORT = 60000;
constexpr quint16 TELNET_PORT = 24;
// Name channels open at once: a site's fleet is read in a few seconds without a burst of
// hundreds of logins at the same instant.
constexpr int MAX_NAME_CHANNELS = 32;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_searcher(2), m_nameReader(MAX_NAME_CHANNELS, TELNET_PORT)
{
    Velmora::RegisterMaintainMetaTypes();
    ui->setupUi(this);
    ui->twDevices->setSortingEnabled(false);
    ui->twNo->hide();
    m_pDevList = new CDevListMirror(&m_devices, ui->twDevices, this);
    m_pDevForms = new CDevForms(ui->mdiArea, &m_agent, this);
    connect(m_pDevForms, &CDevForms::signalBusyChanged, this, &MainWindow::UpdateLocks);

    const QString strDir = QCoreApplication::applicationDirPath();
    setWindowTitle(BuildWindowTitle(tr("Velmora"), QCoreApplication::applicationFilePath(), strDir + "/app.ini"));
    // A broken table lists nothing a search finds; the operator must hear why before searching.
    const QString strConfig = strDir + QStringLiteral("/config.xml");
    QString strWhy;
    if (!LoadProductConfig(strConfig, &strWhy) && QFile::exists(strConfig))
        QTimer::singleShot(0, this, [this, strConfig, strWhy] {
            CMsgBox::Show(
                this, QMessageBox::Critical, QString(),
                tr("Product config file '%1' is invalid: %2").arg(QDir::toNativeSeparators(strConfig), strWhy));
        });

    connect(ui->twDevices, &QTreeWidget::currentItemChanged, this, &MainWindow::slotShowCurrentDevForm);
    connect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotShowCurrentDevForm);
    connect(ui->twDevices, &QDevListWidget::signalDeleteDev, this, &MainWindow::slotUpgradeDeleteDev);
    connect(&m_searcher, &QDeviceSearcher::OnFoundDevice, this, &MainWindow::slotOnFoundDevice);
    connect(&m_searcher, &QDeviceSearcher::OnStop, this, &MainWindow::slotStop);
    connect(&m_agent, &CMaintainAgent::OnSysInfoNotify, this, &MainWindow::slotOnSysInfoNotify);
    connect(&m_nameReader, &CTelnetNameReader::nameRead, this, &MainWindow::slotOnReadParam);
    m_nameReader.Start();

    ui->twDevices->clear();
    // At the first start the list shows a device's name, display name, address and version
    // without scrolling; the video columns follow. The operator's own widths are kept.
    for (const auto &col : {qMakePair(0, 120), qMakePair(1, 170), qMakePair(2, 95), qMakePair(3, 70)})
        ui->twDevices->setColumnWidth(col.first, col.second);
    m_pActions = new CDevListActions(
        &m_devices, m_pDevList, m_pDevForms, ui->twDevices, [this] { return m_bBatchRunning; }, this);
    connect(m_pActions, &CDevListActions::signalRemoving, this, &MainWindow::RemoveDevs);
    // The device leaves the list once the command is queued, and comes back with the next search.
    connect(m_pActions, &CDevListActions::signalRebooting, this, &MainWindow::RemoveDev);
    ui->twDevices->setAcceptDrops(true);
    ui->pbBatchUpgrade->hide();
    // The list gets room for its names and counts; the forms take what the window gains.
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    ui->splitter->setSizes({520, 438});
    // Sorting, once allowed, starts from the order the operator reads first: by alias.
    ui->twDevices->header()->setSortIndicator(0, Qt::AscendingOrder);
    Velmora::RestoreWindowLayout(this, ui->splitter, ui->twDevices->header());

    on_pbBatchUpgrade_clicked();
}

MainWindow::~MainWindow()
{
    // The forms talk to the agent until they are gone.
    m_pDevForms->CloseAll();
    CloseBatchForm();
    m_agent.Clear();
    delete ui;
}

void MainWindow::CloseBatchForm()
{
    delete m_pBatchWindow;
    delete m_pBatchForm;
    m_pBatchForm = nullptr;
}

CFormMaintain *MainWindow::FindDevForm(const QString &strHostName) const
{
    return m_pDevForms->Find(strHostName);
}

void MainWindow::RemoveDev(const QString &strHostName)
{
    if (!m_devices.Find(strHostName))
        return;
    m_pDevForms->Close(strHostName);
    if (m_agent.RemoveDevice(strHostName))
        m_devices.Remove(strHostName);
    // A device gone from the list must not stay in the batch: a later batch would fail it, or
    // upload to a box that is rebooting.
    if (m_pBatchForm)
        m_pBatchForm->RemoveDevice(strHostName);
    slotOnRank();
}

void MainWindow::on_btnSearchDevices_clicked()
{
    // A search drops every session: never under a running batch or a working device form.
    if (m_bBatchRunning || m_pDevForms->AnyBusy())
        return;
    ui->twDevices->setSortingEnabled(false);
    m_agent.ClearSessions();
    m_searcher.Start();
    setEnabled(false);
}

void MainWindow::slotOnFoundDevice(QString, QByteArray strIpAddr, QByteArray strHostName, QByteArray)
{
    VLOG(lcUi) << '"' + Velmora::DisplayText(QString::fromUtf8(strHostName)) + '"';
    const QString strHost = QString::fromUtf8(strHostName);
    const QString strAddr = QString::fromUtf8(strIpAddr);
    const QString strDispName = GetProductName(strHost);
    if (strDispName.isEmpty())
        return;
    const QString strKind = GetProductType(strHost);
    // Every report reads the name again: a renamed device shows its new name after a search.
    m_nameReader.Add(strHost, strAddr);

    const int i32Index = m_agent.IndexOf(strHost);
    if (i32Index < 0) {
        m_devices.Add(strHost, strDispName, strAddr);
        T_BaseDevInfo stDevInfo;
        stDevInfo.strHostName = strHost;
        stDevInfo.strDispName = strDispName;
        stDevInfo.strAddr = strAddr;
        stDevInfo.u32Port = VAZA_PORT;
        stDevInfo.strKind = strKind;
        m_agent.AddDevice(stDevInfo);
    } else {
        m_agent.DeviceAt(i32Index).strAddr = strAddr;
        m_devices.SetAddress(strHost, strAddr);
    }
    // Recorded in either mode, offered again on every report: a batch form opened later, or
    // one whose type list was emptied meanwhile, still offers every listed type.
    m_devTypes.AddDevice(strHost);
    OfferDevType(strHost);
}

void MainWindow::slotStop()
{
    setEnabled(true);
    ui->pbBatchUpgrade->setEnabled(true);
    ui->label_Num->setText(
        tr("TX:%1 RX:%2 Total:%3").arg(m_agent.CountTx()).arg(m_agent.CountRx()).arg(m_agent.DeviceCount()));
    for (int i = 0; i < m_agent.DeviceCount(); ++i) {
        const T_BaseDevInfo stDevInfo = m_agent.DeviceAt(i);
        if (Velmora::IsHttpHostModel(stDevInfo.strHostName)) {
            if (m_pBatchForm)
                m_pBatchForm->RequestHttpVersion(stDevInfo);
        } else {
            m_agent.GetSysInfo(stDevInfo.strHostName);
        }
    }
    ui->twDevices->setSortingEnabled(true);
    slotOnRank();
}

void MainWindow::slotOnRank()
{
    ui->twNo->clear();
    for (int i = 0; i < ui->twDevices->topLevelItemCount(); ++i)
        ui->twNo->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::number(i + 1)}));
}

void MainWindow::slotOnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError,
                                     CBaseMaintainSession::E_InfoDataType e32DataType, QByteArray strData)
{
    ApplyReading(stDevInfo.strHostName, bError, e32DataType, strData, E_DevInfoSource::MaintainAnswer);
}

void MainWindow::slotOnHttpVersion(T_BaseDevInfo stDevInfo, bool bError,
                                   CBaseMaintainSession::E_InfoDataType e32DataType, QByteArray strData)
{
    ApplyReading(stDevInfo.strHostName, bError, e32DataType, strData, E_DevInfoSource::VersionPage);
}

void MainWindow::ApplyReading(const QString &strHostName, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                              const QByteArray &strData, E_DevInfoSource eSource)
{
    VLOG(lcUi) << Velmora::Hex(strData.left(256));
    if (!bError)
        m_devices.ApplyReading(
            strHostName, ReadDevInfo(strHostName, eSource, e32DataType == CBaseMaintainSession::INFO_XML, strData));
}

void MainWindow::slotRemoveDev()
{
    m_pActions->RemoveSelected();
}

void MainWindow::RemoveDevs(const QStringList &lstSelected)
{
    if (m_pBatchForm)
        m_pBatchForm->ClearDevType();
    // From the bottom up, as the list shows them: the types that stay are offered in that order.
    const QStringList lstHosts = m_pDevList->Hosts();
    QStringList lstRemove;
    for (int i = lstHosts.size() - 1; i >= 0; --i) {
        if (lstSelected.contains(lstHosts.at(i)))
            lstRemove.append(lstHosts.at(i));
        else
            OfferDevType(lstHosts.at(i));
    }
    for (const QString &strHost : qAsConst(lstRemove)) {
        m_pDevForms->Close(strHost);
        m_agent.RemoveDevice(strHost);
        m_devices.Remove(strHost);
    }
    slotOnRank();
}

void MainWindow::OfferDevType(const QString &strHostName)
{
    if (m_pBatchForm && m_devices.Find(strHostName))
        m_pBatchForm->AddDevType(GetDisplayType(strHostName), Velmora::ModelOfHostName(strHostName));
}

void MainWindow::closeEvent(QCloseEvent *pEvent)
{
    if (CMsgBox::Information(this, tr("close window"), tr("Do you want to close the window?"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes) {
        pEvent->ignore();
        return;
    }
    Velmora::SaveWindowLayout(this, ui->splitter, ui->twDevices->header());
    m_pDevForms->CloseAll();
    CloseBatchForm();
    pEvent->accept();
}

void MainWindow::slotExportList()
{
    m_pActions->ExportList();
}

void MainWindow::on_pbBatchUpgrade_clicked()
{
    // Back to batch mode: the device forms close, never while one of them works.
    if (m_pDevForms->AnyBusy())
        return;
    m_pDevForms->CloseAll();
    CloseBatchForm();
    m_pBatchForm = new CFormDevicesUpgrade(&m_agent, &m_devTypes, this);
    m_bBatchRunning = false;
    slotBatchRunning(false);

    m_pBatchWindow = ui->mdiArea->addSubWindow(m_pBatchForm, Qt::FramelessWindowHint);
    m_pBatchWindow->setWindowTitle(tr("devices upgrade"));
    m_pBatchWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_pBatchWindow->setAcceptDrops(true);
    m_pBatchWindow->showMaximized();
    // The form dies with its window; the pointer must not outlive it.
    connect(m_pBatchForm, &QObject::destroyed, this, [this](QObject *pForm) {
        if (pForm == m_pBatchForm) {
            m_pBatchForm = nullptr;
            slotBatchRunning(false);
        }
    });

    m_pBatchForm->SetDeviceResolver([this](const QString &strDispName, T_BaseDevInfo *pstDevInfo) {
        return ResolveDragged(strDispName, pstDevInfo);
    });

    disconnect(ui->twDevices, &QTreeWidget::currentItemChanged, this, &MainWindow::slotShowCurrentDevForm);
    disconnect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotShowCurrentDevForm);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalDevTypeChange, this, &MainWindow::slotAddUpgradeDev);
    connect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotClickDev, Qt::UniqueConnection);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalDevReboot, this, QOverload<QString>::of(&MainWindow::slotReboot));
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalUpdateType, this, &MainWindow::slotUpdateType);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalHttpVersion, this, &MainWindow::slotOnHttpVersion);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalRunningChanged, this, &MainWindow::slotBatchRunning);
    ui->pbBatchUpgrade->hide();
    ui->pbSingleDevice->show();
    // Devices found in single-device mode are offered too, in the list's order.
    for (const QString &strHost : m_pDevList->Hosts())
        OfferDevType(strHost);
    UpdateLocks();
}

void MainWindow::on_pbSingleDevice_clicked()
{
    if (!m_bBatchRunning)
        slotBatchUpgradeClose();
}

void MainWindow::slotBatchUpgradeClose()
{
    CloseBatchForm();
    m_bBatchRunning = false;
    ui->pbSingleDevice->hide();
    ui->pbBatchUpgrade->show();
    UpdateLocks();
    connect(ui->twDevices, &QTreeWidget::currentItemChanged, this, &MainWindow::slotShowCurrentDevForm,
            Qt::UniqueConnection);
    disconnect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotClickDev);
    connect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotShowCurrentDevForm, Qt::UniqueConnection);
}

void MainWindow::slotBatchRunning(bool bRunning)
{
    m_bBatchRunning = bRunning;
    UpdateLocks();
}

void MainWindow::UpdateLocks()
{
    const bool bForms = m_pDevForms->AnyBusy();
    ui->btnSearchDevices->setEnabled(!m_bBatchRunning && !bForms);
    if (m_bBatchRunning)
        ui->btnSearchDevices->setToolTip(tr("An upgrade is running: search again after its summary."));
    else if (bForms)
        ui->btnSearchDevices->setToolTip(tr("A device form is working: search again when it is done."));
    else
        ui->btnSearchDevices->setToolTip(QString());
    ui->pbSingleDevice->setEnabled(!m_bBatchRunning);
    ui->pbSingleDevice->setToolTip(m_bBatchRunning ? tr("An upgrade is running: switch after its summary.")
                                                   : tr("Close the batch form: a click on a device opens its own "
                                                        "form."));
    ui->pbBatchUpgrade->setEnabled(!bForms);
    ui->pbBatchUpgrade->setToolTip(bForms ? tr("A device form is working: switch when it is done.")
                                          : tr("Close the device forms and open the batch form again."));
}

void MainWindow::ShowDevForm(const QString &strHostName)
{
    if (!m_pBatchForm)
        m_pDevForms->Show(strHostName);
}

bool MainWindow::ResolveDragged(const QString &strDispName, T_BaseDevInfo *pstDevInfo) const
{
    // The drag carries only the row's display name and address; the first row of that name in
    // the list's order stands for the device.
    for (const QString &strHost : m_pDevList->Hosts()) {
        const T_DevListRow *pRow = m_devices.Find(strHost);
        if (pRow && pRow->strDispName == strDispName) {
            *pstDevInfo = m_devices.DevInfo(strHost, true);
            return true;
        }
    }
    return false;
}

void MainWindow::slotBatchUpgradeAddDev()
{
    if (m_pBatchForm && ui->twDevices->currentItem())
        m_pBatchForm->AddDev(m_devices.DevInfo(m_pDevList->CurrentHost(), false));
}

void MainWindow::slotClickDev()
{
    if (m_pBatchForm && ui->twDevices->currentIndex().isValid() && ui->twDevices->currentItem())
        m_pBatchForm->SetCurrentDev(m_devices.DevInfo(m_pDevList->CurrentHost(), false));
}

void MainWindow::slotAddUpgradeDev(QString devType, QString strVer)
{
    if (!m_pBatchForm)
        return;
    for (const QString &strHost : m_pDevList->Hosts()) {
        const T_DevListRow *pRow = m_devices.Find(strHost);
        if (!pRow || GetDisplayType(strHost) != devType)
            continue;
        if (!strVer.isEmpty() && pRow->strVersion != strVer)
            continue;
        m_pBatchForm->AddDev(m_devices.DevInfo(strHost, true));
    }
}

void MainWindow::slotUpgradeDeleteDev()
{
    if (m_pBatchForm)
        m_pBatchForm->on_pbDelete_clicked();
}

void MainWindow::slotUpdateType()
{
    if (!m_pBatchForm)
        return;
    m_pBatchForm->ClearDevType();
    for (const QString &strHost : m_pDevList->Hosts())
        OfferDevType(strHost);
}

void MainWindow::slotShowCurrentDevForm()
{
    if (ui->twDevices->currentItem())
        ShowDevForm(m_pDevList->CurrentHost());
}

void MainWindow::slotOnReadParam(T_TelnetNameResult stResult)
{
    VLOG(lcUi) << stResult.strHostName << stResult.bOk << stResult.strReason;
    // Found again by host name: a row removed meanwhile takes nothing. A failed read keeps the
    // alias and says why in the tool tip.
    if (stResult.bOk)
        m_devices.SetAlias(stResult.strHostName, stResult.strName);
    else
        m_devices.SetNameFailure(stResult.strHostName, stResult.strReason);
}

void MainWindow::slotReboot(QString devName)
{
    m_pActions->Reboot(devName);
}
