#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "appinfo/windowtitle.h"
#include "cdevforms.h"
#include "cformdevicesupgrade.h"
#include "cmsgbox.h"
#include "common/vlog.h"
#include "product/httpmodels.h"
#include "product/productconfig.h"
#include "sysinfoitems.h"
#include "telnet/ctelnetreboot.h"
#include "treelookup.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDomDocument>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStatusBar>

namespace
{
constexpr quint32 VAZA_PORT = 60000;
constexpr quint16 TELNET_PORT = 24;
// Name channels open at once: a site's fleet is read in a few seconds without a burst of
// hundreds of logins at the same instant.
constexpr int MAX_NAME_CHANNELS = 32;
// How long a failed reboot stays in the status bar.
constexpr int REBOOT_MESSAGE_MS = 30000;

// Column 0 keeps the host name; columns 1 and 3 keep the device's own text beside the
// plain single-line text they show, and look-ups compare the device's own text.
constexpr int ROLE_HOST = Qt::UserRole;
constexpr int ROLE_RAW = Qt::UserRole + 1;

QString TypeOf(const QString &strName)
{
    const int i32Dash = strName.lastIndexOf(QLatin1Char('-'));
    return i32Dash < 0 ? strName : strName.left(i32Dash);
}

void SetCell(QTreeWidgetItem *pItem, int i32Column, const QString &strText)
{
    pItem->setText(i32Column, Velmora::DisplayText(strText));
    pItem->setData(i32Column, ROLE_RAW, strText);
}

QString Cell(const QTreeWidgetItem *pItem, int i32Column)
{
    return pItem->data(i32Column, ROLE_RAW).toString();
}

// strNote, when given, is a further line (why the device's name could not be read).
QString DeviceToolTip(const QString &strDispName, const QString &strAddr, const QString &strNote = QString())
{
    QString strTip = MainWindow::tr("Hostname: %1\nIP Address: %2").arg(strDispName, strAddr);
    if (!strNote.isEmpty())
        strTip += QLatin1Char('\n') + strNote;
    return Velmora::PlainToolTip(strTip);
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), m_searcher(2), m_nameReader(MAX_NAME_CHANNELS, TELNET_PORT)
{
    Velmora::RegisterMaintainMetaTypes();
    ui->setupUi(this);
    ui->twDevices->setSortingEnabled(false);
    ui->twNo->hide();
    m_pDevForms = new CDevForms(ui->mdiArea, &m_agent, this);
    connect(m_pDevForms, &CDevForms::signalBusyChanged, this, &MainWindow::UpdateLocks);

    const QString strDir = QCoreApplication::applicationDirPath();
    setWindowTitle(BuildWindowTitle(tr("Velmora"), QCoreApplication::applicationFilePath(), strDir + "/app.ini"));
    LoadProductConfig(strDir + QStringLiteral("/config.xml"));

    connect(ui->twDevices, &QTreeWidget::currentItemChanged, this, &MainWindow::slotShowCurrentDevForm);
    connect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotShowCurrentDevForm);
    connect(ui->twDevices, &QDevListWidget::signalDeleteDev, this, &MainWindow::slotUpgradeDeleteDev);
    connect(&m_searcher, &QDeviceSearcher::OnFoundDevice, this, &MainWindow::slotOnFoundDevice);
    connect(&m_searcher, &QDeviceSearcher::OnStop, this, &MainWindow::slotStop);
    connect(&m_agent, &CMaintainAgent::OnSysInfoNotify, this, &MainWindow::slotOnSysInfoNotify);
    connect(&m_nameReader, &CTelnetNameReader::nameRead, this, &MainWindow::slotOnReadParam);
    m_nameReader.Start();

    ui->twDevices->clear();
    ui->twDevices->setColumnWidth(0, 160);
    ui->twDevices->setColumnWidth(1, 160);
    ui->twDevices->installEventFilter(this);
    ui->twDevices->setAcceptDrops(true);
    ui->pbBatchUpgrade->hide();
    // The list gets room for its names and counts; the forms take what the window gains.
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    ui->splitter->setSizes({400, 558});
    // Sorting, once allowed, starts from the order the operator reads first: by alias.
    ui->twDevices->header()->setSortIndicator(0, Qt::AscendingOrder);

    on_pbBatchUpgrade_clicked();
}

MainWindow::~MainWindow()
{
    // The forms talk to the agent until they are gone.
    m_pDevForms->CloseAll();
    delete m_pBatchWindow;
    delete m_pBatchForm;
    m_pBatchForm = nullptr;
    m_agent.Clear();
    delete ui;
}

QTreeWidgetItem *MainWindow::FindDevItem(const QString &strDispName) const
{
    return Velmora::FindTopLevelItem(ui->twDevices, 1, ROLE_RAW, strDispName);
}

QTreeWidgetItem *MainWindow::FindHostItem(const QString &strHostName) const
{
    return Velmora::FindTopLevelItem(ui->twDevices, 0, ROLE_HOST, strHostName);
}

void MainWindow::RemoveDev(const QString &strHostName)
{
    QTreeWidgetItem *pItem = FindHostItem(strHostName);
    if (!pItem)
        return;
    m_pDevForms->Close(strHostName);
    if (m_agent.RemoveDevice(strHostName))
        delete ui->twDevices->takeTopLevelItem(ui->twDevices->indexOfTopLevelItem(pItem));
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
        auto *pItem = new QTreeWidgetItem;
        pItem->setData(0, ROLE_HOST, strHost);
        SetCell(pItem, 0, strDispName);
        SetCell(pItem, 1, strDispName);
        SetCell(pItem, 2, strAddr);
        ui->twDevices->addTopLevelItem(pItem);

        T_BaseDevInfo stDevInfo;
        stDevInfo.strHostName = strHost;
        stDevInfo.strDispName = strDispName;
        stDevInfo.strAddr = strAddr;
        stDevInfo.u32Port = VAZA_PORT;
        stDevInfo.strKind = strKind;
        m_agent.AddDevice(stDevInfo);
        pItem->setToolTip(0, DeviceToolTip(strDispName, strAddr));

        if (m_pBatchForm) {
            m_pBatchForm->AddDevType(TypeOf(strDispName), TypeOf(strHost));
            m_devTypes.AddDevice(strHost, strDispName);
        }
        return;
    }
    T_BaseDevInfo &stDevInfo = m_agent.DeviceAt(i32Index);
    stDevInfo.strAddr = strAddr;
    if (QTreeWidgetItem *pItem = FindDevItem(stDevInfo.strDispName)) {
        SetCell(pItem, 2, strAddr);
        pItem->setToolTip(0, DeviceToolTip(stDevInfo.strDispName, strAddr));
    }
}

void MainWindow::slotStop()
{
    setEnabled(true);
    ui->pbBatchUpgrade->setEnabled(true);
    ui->label_Num->setText(
        tr("TX:%1 RX:%2 Total:%3").arg(m_agent.CountTx()).arg(m_agent.CountRx()).arg(m_agent.DeviceCount()));
    for (int i = 0; i < m_agent.DeviceCount(); ++i) {
        const T_BaseDevInfo stDevInfo = m_agent.DeviceAt(i);
        if (Velmora::HostNameStartsWithHttpModel(stDevInfo.strHostName)) {
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
    VLOG(lcUi) << Velmora::Hex(strData.left(256));
    if (bError)
        return;
    QTreeWidgetItem *pItem = FindDevItem(stDevInfo.strDispName);
    if (!pItem)
        return;
    if (Velmora::HostNameStartsWithHttpModel(stDevInfo.strHostName)) {
        // The page's version line is the one after the line holding its last capital N.
        QString strText = QString::fromUtf8(strData);
        const int i32N = strText.lastIndexOf(QLatin1Char('N'));
        if (i32N >= 0)
            strText = strText.mid(i32N);
        const int i32Feed = strText.indexOf(QLatin1Char('\n'));
        if (i32Feed >= 0)
            strText = strText.mid(i32Feed + 1);
        const int i32End = strText.indexOf(QLatin1Char('\n'));
        if (i32End >= 0)
            strText = strText.left(i32End);
        SetCell(pItem, 3, strText);
        return;
    }
    if (e32DataType != CBaseMaintainSession::INFO_XML)
        return;
    QDomDocument doc;
    if (!doc.setContent(strData, false))
        return;
    // The session names its fields after the device's own labels ("IRoIP V3.1.4", "Vi",
    // "ViTiming"), translated into the interface language; older firmware used "Version",
    // "VISelect" and "VITiming". Either way the columns are filled.
    auto isField = [](const QString &strName, const char *pszOld, const char *pszLabel) {
        return strName == QLatin1String(pszOld) || strName == QLatin1String(pszLabel) ||
               strName == QObject::tr(pszLabel);
    };
    for (QDomElement el = doc.documentElement().firstChild().firstChildElement(); !el.isNull();
         el = el.nextSiblingElement()) {
        const QString strName = el.attribute(QStringLiteral("name"));
        if (isField(strName, "VISelect", "Vi"))
            SetCell(pItem, 4, el.text());
        else if (isField(strName, "VITiming", "ViTiming"))
            SetCell(pItem, 5, el.text());
        else if (isField(strName, "Version", "IRoIP"))
            SetCell(pItem, 3, el.text().section(QLatin1Char(' '), 1, 1));
    }
}

bool MainWindow::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched != ui->twDevices || pEvent->type() != QEvent::ContextMenu)
        return QMainWindow::eventFilter(pWatched, pEvent);
    if (ui->twDevices->selectedItems().isEmpty())
        return true;
    QMenu menu(this);
    QAction *pRemove = menu.addAction(tr("Remove"), this, &MainWindow::slotRemoveDev);
    QAction *pReboot = menu.addAction(tr("Reboot"), this, QOverload<>::of(&MainWindow::slotReboot));
    // A running batch keeps its devices and sessions until its summary, a device form its own.
    bool bSelectedBusy = false;
    for (const QTreeWidgetItem *pItem : ui->twDevices->selectedItems())
        bSelectedBusy = bSelectedBusy || m_pDevForms->IsBusy(pItem->data(0, ROLE_HOST).toString());
    pRemove->setEnabled(!m_bBatchRunning && !bSelectedBusy);
    const QTreeWidgetItem *pCurrent = ui->twDevices->currentItem();
    pReboot->setEnabled(!m_bBatchRunning &&
                        !(pCurrent && m_pDevForms->IsBusy(pCurrent->data(0, ROLE_HOST).toString())));
    menu.exec(static_cast<QContextMenuEvent *>(pEvent)->globalPos());
    return true;
}

void MainWindow::slotRemoveDev()
{
    if (m_bBatchRunning)
        return;
    for (const QTreeWidgetItem *pItem : ui->twDevices->selectedItems())
        if (m_pDevForms->IsBusy(pItem->data(0, ROLE_HOST).toString()))
            return;
    if (CMsgBox::Question(this, QString(), tr("Sure to remove selected devices?")) != QMessageBox::Yes)
        return;
    if (m_pBatchForm)
        m_pBatchForm->ClearDevType();
    QList<QTreeWidgetItem *> lstRemove;
    for (int i = ui->twDevices->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem *pItem = ui->twDevices->topLevelItem(i);
        if (pItem->isSelected())
            lstRemove.append(pItem);
        else
            OfferDevType(pItem);
    }
    for (QTreeWidgetItem *pItem : qAsConst(lstRemove)) {
        m_pDevForms->Close(pItem->data(0, ROLE_HOST).toString());
        m_agent.RemoveDevice(pItem->data(0, ROLE_HOST).toString());
        delete ui->twDevices->takeTopLevelItem(ui->twDevices->indexOfTopLevelItem(pItem));
    }
    slotOnRank();
}

void MainWindow::OfferDevType(const QTreeWidgetItem *pItem)
{
    if (m_pBatchForm)
        m_pBatchForm->AddDevType(TypeOf(Cell(pItem, 1)), TypeOf(pItem->data(0, ROLE_HOST).toString()));
}

void MainWindow::closeEvent(QCloseEvent *pEvent)
{
    if (CMsgBox::Information(this, tr("close window"), tr("Do you want to close the window?"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes) {
        pEvent->ignore();
        return;
    }
    m_pDevForms->CloseAll();
    delete m_pBatchWindow;
    delete m_pBatchForm;
    m_pBatchForm = nullptr;
    pEvent->accept();
}

void MainWindow::on_pbBatchUpgrade_clicked()
{
    // Back to batch mode: the device forms close, never while one of them works.
    if (m_pDevForms->AnyBusy())
        return;
    m_pDevForms->CloseAll();
    delete m_pBatchWindow;
    delete m_pBatchForm;
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
        const QTreeWidgetItem *pItem = FindDevItem(strDispName);
        if (pItem)
            *pstDevInfo = ItemRecord(pItem, true);
        return pItem != nullptr;
    });

    disconnect(ui->twDevices, &QTreeWidget::currentItemChanged, this, &MainWindow::slotShowCurrentDevForm);
    disconnect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotShowCurrentDevForm);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalDevTypeChange, this, &MainWindow::slotAddUpgradeDev);
    connect(ui->twDevices, &QTreeWidget::clicked, this, &MainWindow::slotClickDev, Qt::UniqueConnection);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalDevReboot, this, QOverload<QString>::of(&MainWindow::slotReboot));
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalUpdateType, this, &MainWindow::slotUpdateType);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalHttpVersion, this, &MainWindow::slotOnSysInfoNotify);
    connect(m_pBatchForm, &CFormDevicesUpgrade::signalRunningChanged, this, &MainWindow::slotBatchRunning);
    ui->pbBatchUpgrade->hide();
    ui->pbSingleDevice->show();
    UpdateLocks();
}

void MainWindow::on_pbSingleDevice_clicked()
{
    if (!m_bBatchRunning)
        slotBatchUpgradeClose();
}

void MainWindow::slotBatchUpgradeClose()
{
    delete m_pBatchWindow;
    delete m_pBatchForm;
    m_pBatchForm = nullptr;
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

CFormMaintain *MainWindow::FindDevForm(const QString &strHostName) const
{
    return m_pDevForms->Find(strHostName);
}

void MainWindow::ShowDevForm(const QString &strHostName)
{
    if (!m_pBatchForm)
        m_pDevForms->Show(strHostName);
}

T_BaseDevInfo MainWindow::ItemRecord(const QTreeWidgetItem *pItem, bool bWithVersion) const
{
    T_BaseDevInfo stDevInfo;
    stDevInfo.strHostName = pItem->data(0, ROLE_HOST).toString();
    stDevInfo.strDispName = Cell(pItem, 1);
    stDevInfo.strAddr = Cell(pItem, 2);
    stDevInfo.u32Port = 0;
    if (bWithVersion)
        stDevInfo.strDevVersion = Cell(pItem, 3);
    return stDevInfo;
}

void MainWindow::slotBatchUpgradeAddDev()
{
    if (m_pBatchForm && ui->twDevices->currentItem())
        m_pBatchForm->AddDev(ItemRecord(ui->twDevices->currentItem(), false));
}

void MainWindow::slotClickDev()
{
    if (m_pBatchForm && ui->twDevices->currentIndex().isValid() && ui->twDevices->currentItem())
        m_pBatchForm->SetCurrentDev(ItemRecord(ui->twDevices->currentItem(), false));
}

void MainWindow::slotAddUpgradeDev(QString devType, QString strVer)
{
    if (!m_pBatchForm)
        return;
    for (int i = 0; i < ui->twDevices->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *pItem = ui->twDevices->topLevelItem(i);
        if (TypeOf(Cell(pItem, 1)) != devType)
            continue;
        if (!strVer.isEmpty() && Cell(pItem, 3) != strVer)
            continue;
        m_pBatchForm->AddDev(ItemRecord(pItem, true));
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
    for (int i = 0; i < ui->twDevices->topLevelItemCount(); ++i)
        OfferDevType(ui->twDevices->topLevelItem(i));
}

void MainWindow::slotShowCurrentDevForm()
{
    if (QTreeWidgetItem *pItem = ui->twDevices->currentItem())
        ShowDevForm(pItem->data(0, ROLE_HOST).toString());
}

void MainWindow::slotOnReadParam(T_TelnetNameResult stResult)
{
    VLOG(lcUi) << stResult.strHostName << stResult.bOk << stResult.strReason;
    // The row is found again by host name: it may have been removed meanwhile.
    QTreeWidgetItem *pItem = FindHostItem(stResult.strHostName);
    if (!pItem)
        return;
    // A failed read keeps the display name and says why in the tool tip; an empty name keeps
    // it too, as a blank row would tell the operator nothing.
    if (!stResult.bOk) {
        pItem->setToolTip(
            0, DeviceToolTip(Cell(pItem, 1), Cell(pItem, 2), tr("Name not read: %1").arg(stResult.strReason)));
        return;
    }
    if (!stResult.strName.trimmed().isEmpty())
        SetCell(pItem, 0, stResult.strName);
}

void MainWindow::slotReboot(QString devName)
{
    QTreeWidgetItem *pItem = devName.isEmpty() ? ui->twDevices->currentItem() : FindHostItem(devName);
    if (!pItem)
        return;
    const QString strHost = pItem->data(0, ROLE_HOST).toString();
    // The operator's own reboot of a device the running batch still holds would cut its upload.
    if (devName.isEmpty() && m_bBatchRunning)
        return;
    if (m_pDevForms->IsBusy(strHost))
        return;
    auto *pReboot = new CTelnetReboot(strHost, Cell(pItem, 2), TELNET_PORT, this);
    connect(pReboot, &CTelnetReboot::finished, this, &MainWindow::slotOnDeleteTelnet);
    if (!pReboot->Start()) {
        delete pReboot;
        slotOnDeleteTelnet(strHost, QStringLiteral("not an IP address"));
        return;
    }
    // The device leaves the list once the command is queued, and comes back with the next search.
    RemoveDev(strHost);
}

void MainWindow::slotOnDeleteTelnet(QString strHostName, QString strReason)
{
    if (auto *pReboot = qobject_cast<CTelnetReboot *>(sender()))
        pReboot->deleteLater();
    if (strReason.isEmpty())
        return;
    // The row is gone already: the reason is the only trace the operator gets of the failure.
    statusBar()->showMessage(tr("'%1' reboot failed: %2").arg(Velmora::DisplayText(strHostName), strReason),
                             REBOOT_MESSAGE_MS);
}
