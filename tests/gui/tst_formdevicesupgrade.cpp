// The batch upgrade form offscreen, with an agent that knows no device: what the operator is
// told and what stays usable when nothing can be started, the device list rules, the reboot
// buttons, and the System Info and Log tabs fed the answers a device would give.
#include "cformdevicesupgrade.h"
#include "filechooser.h"
#include "msgboxrecorder.h"
#include "product/cdevicetypes.h"
#include "product/productconfig.h"
#include "runtimefiles.h"
#include "session/cmaintainagent.h"
#include "testtime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

namespace
{
T_BaseDevInfo Dev(const QString &strHost, const QString &strDisp, const QString &strVersion = QString())
{
    T_BaseDevInfo st;
    st.strHostName = strHost;
    st.strDispName = strDisp;
    st.strAddr = QStringLiteral("127.0.0.1");
    st.strDevVersion = strVersion;
    return st;
}

QStringList TreeText(const QTreeWidget *pTree)
{
    QStringList lst;
    std::function<void(const QTreeWidgetItem *, const QString &)> walk = [&](const QTreeWidgetItem *pItem,
                                                                             const QString &strIndent) {
        lst << strIndent + pItem->text(0) + "=" + pItem->text(1);
        for (int i = 0; i < pItem->childCount(); ++i)
            walk(pItem->child(i), strIndent + "  ");
    };
    for (int i = 0; i < pTree->topLevelItemCount(); ++i)
        walk(pTree->topLevelItem(i), QString());
    return lst;
}
} // namespace

class TestFormDevicesUpgrade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        StageRuntimeFiles();
        QVERIFY(LoadProductConfig(QCoreApplication::applicationDirPath() + "/config.xml"));
    }
    void init();
    void cleanup();
    void addDevRules();
    void startNeedsFileAndDevices();
    void everyDeviceRefusedStillEndsBatch();
    void infoViews_data();
    void infoViews();
    void refusedRefreshLeavesFormUsable();
    void logOfInformationDeviceOnly();

private:
    template <typename T> T *W(const char *pszName) const { return m_pForm->findChild<T *>(pszName); }
    QTreeWidget *Devices() const { return W<QTreeWidget>("twDev"); }
    void ChooseType(const QString &strDisp, const QString &strModel)
    {
        // What the main window records for each device it lists.
        m_types.AddDevice(strModel + "-1");
        m_pForm->AddDevType(strDisp, strModel);
        W<QComboBox>("cbDevType")->setCurrentText(strDisp);
    }
    void ChooseFiles()
    {
        Velmora::SetFileChooser([this] { return m_strFile; });
        QTreeWidget *pModules = W<QTreeWidget>("twModule");
        for (int i = 0; i < pModules->topLevelItemCount(); ++i)
            static_cast<QPushButton *>(pModules->itemWidget(pModules->topLevelItem(i), 1))->click();
        Velmora::SetFileChooser({});
    }

    CMaintainAgent *m_pAgent = nullptr;
    CDeviceTypes m_types;
    CFormDevicesUpgrade *m_pForm = nullptr;
    MsgBoxRecorder *m_pRecorder = nullptr;
    QTemporaryDir m_dir;
    QString m_strFile;
};

void TestFormDevicesUpgrade::init()
{
    m_pRecorder = new MsgBoxRecorder;
    m_pAgent = new CMaintainAgent;
    m_types = CDeviceTypes();
    m_pForm = new CFormDevicesUpgrade(m_pAgent, &m_types, nullptr);
    m_pForm->show();
    m_strFile = m_dir.filePath("fw.bin");
    QFile file(m_strFile);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("image") == 5);
}

void TestFormDevicesUpgrade::cleanup()
{
    delete m_pForm;
    delete m_pAgent;
    const QStringList lstUnexpected = m_pRecorder->Unexpected();
    const int i32Pending = m_pRecorder->PendingExpectations();
    delete m_pRecorder;
    QVERIFY2(lstUnexpected.isEmpty(), qPrintable(lstUnexpected.join(" | ")));
    QCOMPARE(i32Pending, 0);
}

// Would catch a device of another type listed, a device listed twice, and rows added
// while a batch runs.
void TestFormDevicesUpgrade::addDevRules()
{
    QCOMPARE(W<QComboBox>("cbDevType")->count(), 1);
    QCOMPARE(W<QTabWidget>("tab")->currentWidget()->objectName(), QString("tab_SysInfo"));
    QVERIFY(!W<QComboBox>("cbDevVersion")->isEnabled());
    ChooseType("ZR410 Encoder", "ZR410");
    QCOMPARE(W<QTreeWidget>("twModule")->topLevelItemCount(), 2);
    m_pRecorder->Expect("Please select the same device!");
    QCOMPARE(m_pForm->AddDev(Dev("ZR420-F1", "ZR420 Decoder-F1")), -1);
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-F1", "ZR410 Encoder-F1", "V1")), 1);
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-F1", "ZR410 Encoder-F1", "V1")), 0);
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-F2", "ZR410 Encoder-F2", "V2")), 1);
    QCOMPARE(Devices()->topLevelItemCount(), 2);
    QCOMPARE(Devices()->topLevelItem(1)->text(0), QString("2"));
    QCOMPARE(Devices()->topLevelItem(1)->data(0, Qt::UserRole).toString(), QString("ZR410-F2"));
    auto *pReboot = qobject_cast<QPushButton *>(Devices()->itemWidget(Devices()->topLevelItem(0), 4));
    QVERIFY(pReboot && !pReboot->isEnabled());
    QCOMPARE(pReboot->text(), QString("reboot"));
    QCOMPARE(W<QComboBox>("cbDevVersion")->count(), 3); // "all", V1, V2

    // A dropped row carries no display name: only an empty type takes it.
    m_pRecorder->Expect("Please select the same device!");
    QMetaObject::invokeMethod(m_pForm, "slotDropToAddDev", Q_ARG(QByteArray, "ZR410-F3 127.0.0.3"));
    QCOMPARE(m_pRecorder->Shown().size(), 2);
    QCOMPARE(Devices()->topLevelItemCount(), 2);
}

void TestFormDevicesUpgrade::startNeedsFileAndDevices()
{
    ChooseType("ZR410 Encoder", "ZR410");
    m_pRecorder->Expect("Select upgrade file first!");
    W<QPushButton>("pbStart")->click();
    ChooseFiles();
    QTreeWidget *pModules = W<QTreeWidget>("twModule");
    QCOMPARE(pModules->topLevelItem(0)->text(1), m_strFile);
    QCOMPARE(static_cast<QPushButton *>(pModules->itemWidget(pModules->topLevelItem(0), 1))->text(), QString("fw.bin"));
    m_pRecorder->Expect("Select upgrade devices first!");
    W<QPushButton>("pbStart")->click();
    QVERIFY(W<QPushButton>("pbStart")->isEnabled());
    QVERIFY(!m_pForm->IsRunning());

    // An empty image would be sent to every box, and most would report it installed.
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-E1", "ZR410 Encoder-E1")), 1);
    QFile empty(m_dir.filePath("empty.bin"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    m_strFile = empty.fileName();
    ChooseFiles();
    m_pRecorder->Expect(QString("Upgrade file '%1' is empty!").arg(m_strFile));
    W<QPushButton>("pbStart")->click();
    QVERIFY(!m_pForm->IsRunning());
    QVERIFY(W<QPushButton>("pbStart")->isEnabled());
    QCOMPARE(Devices()->topLevelItem(0)->text(2), QString());
}

// Would catch a batch whose every device is refused leaving the form disabled for ever, and
// reboots requested for devices that failed.
void TestFormDevicesUpgrade::everyDeviceRefusedStillEndsBatch()
{
    ChooseType("ZR410 Encoder", "ZR410");
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-G1", "ZR410 Encoder-G1")), 1);
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-G2", "ZR410 Encoder-G2")), 1);
    QCOMPARE(m_pForm->AddDev(Dev("ZR410-G3", "ZR410 Encoder-G3")), 1);
    ChooseFiles();
    W<QCheckBox>("cbReboot")->setChecked(true);
    QSignalSpy spyRunning(m_pForm, &CFormDevicesUpgrade::signalRunningChanged);
    QSignalSpy spyReboot(m_pForm, &CFormDevicesUpgrade::signalDevReboot);
    m_pRecorder->Expect("succeeded: 0, total: 3.");
    W<QPushButton>("pbStart")->click();
    QTRY_COMPARE(spyRunning.size(), 2);
    QCOMPARE(spyRunning.at(0).at(0).toBool(), true);
    QCOMPARE(spyRunning.at(1).at(0).toBool(), false);
    QCOMPARE(m_pRecorder->Shown().last().strTitle, QString("upgradation summary"));
    QCOMPARE(m_pRecorder->Shown().last().eIcon, QMessageBox::NoIcon);
    QVERIFY(spyReboot.isEmpty());
    QVERIFY(W<QPushButton>("pbStart")->isEnabled());
    QVERIFY(W<QComboBox>("cbDevType")->isEnabled());
    QCOMPARE(Devices()->topLevelItem(1)->text(2), QString("Upgrade failed"));
    QVERIFY(!Devices()->topLevelItem(1)->toolTip(2).isEmpty());

    // Each row's reboot button now works: the row goes, the others are numbered from 1.
    auto *pReboot = qobject_cast<QPushButton *>(Devices()->itemWidget(Devices()->topLevelItem(1), 4));
    QVERIFY(pReboot->isEnabled());
    pReboot->click();
    QCOMPARE(spyReboot.size(), 1);
    QCOMPARE(spyReboot.at(0).at(0).toString(), QString("ZR410-G2"));
    QCOMPARE(Devices()->topLevelItemCount(), 2);
    QCOMPARE(Devices()->topLevelItem(1)->text(0), QString("2"));
    QCOMPARE(Devices()->topLevelItem(1)->text(1), QString("ZR410 Encoder-G3"));
    QSignalSpy spyUpdate(m_pForm, &CFormDevicesUpgrade::signalUpdateType);
    for (int i = 0; i < 2; ++i)
        qobject_cast<QPushButton *>(Devices()->itemWidget(Devices()->topLevelItem(0), 4))->click();
    QCOMPARE(spyUpdate.size(), 1);
}

void TestFormDevicesUpgrade::infoViews_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("rows");
    const int XML = CBaseMaintainSession::INFO_XML;
    const int JSON = CBaseMaintainSession::INFO_JSON;
    QTest::newRow("xml") << "ZR410-H1" << XML
                         << QByteArray("<r><label name=\"Device Info\"><label name=\"PID\">ZR420-77 </label>"
                                       "<n>t<x>y</x></n></label></r>")
                         << QStringList{"Device Info=", "  PID=ZR420 Decoder-77", "  n=t"};
    QTest::newRow("json") << "ZR410-H1" << JSON << QByteArray("{\"b\":[\"x\",\"y\"],\"a\":1}")
                          << QStringList{"a=", "b=", "  0=x", "  1=y"};
    QTest::newRow("json array") << "ZR410-H1" << JSON << QByteArray("[1]") << QStringList{};
    QTest::newRow("control characters") << "ZR410-H1" << XML << QByteArray("<r><v name=\"a\nb\">x\ty\x01z</v></r>")
                                        << QStringList{"a b=x y z"};
    QTest::newRow("http") << "ZR110-H2" << XML << QByteArray("Build:2026-12-07 01:02:03 x    \nVer : 2.1.4")
                          << QStringList{"build time=2026-12-07 01:02:03 x", "version=2.1.4"};
}

// Would catch rows built wrongly from a device's answer, and another device's answer shown.
void TestFormDevicesUpgrade::infoViews()
{
    QFETCH(QString, host);
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, rows);
    m_pForm->SetCurrentDev(Dev(host, host));
    QSignalSpy spyHttp(m_pForm, &CFormDevicesUpgrade::signalHttpVersion);
    const auto eType = CBaseMaintainSession::E_InfoDataType(type);
    emit m_pAgent->OnSysInfoNotify(Dev(host, host), false, eType, data);
    QCOMPARE(TreeText(W<QTreeWidget>("twSysInfo")), rows);
    QCOMPARE(spyHttp.size(), host.startsWith("ZR110") ? 1 : 0);
    emit m_pAgent->OnSysInfoNotify(Dev("ZR410-OTHER", "x"), false, eType, "<r><a>1</a></r>");
    QCOMPARE(TreeText(W<QTreeWidget>("twSysInfo")), rows);
}

// Would catch a refusal shown in other words than the engine and the console program give it.
void TestFormDevicesUpgrade::refusedRefreshLeavesFormUsable()
{
    m_pForm->SetCurrentDev(Dev("ZR410-J1", "ZR410 Encoder-J1")); // the agent does not know it
    W<QPushButton>("btnReadSysInfo")->click();
    QCOMPARE(TreeText(W<QTreeWidget>("twSysInfo")), QStringList{"device not found="});
    QVERIFY(m_pForm->isEnabled());
    W<QPushButton>("btnReadLog")->click();
    QVERIFY(m_pForm->isEnabled());
}

// Would catch another device's log, or markup in a log, reaching the tab.
void TestFormDevicesUpgrade::logOfInformationDeviceOnly()
{
    m_pForm->SetCurrentDev(Dev("ZR410-K1", "ZR410 Encoder-K1"));
    auto log = [this](const QString &strHost, const QByteArray &ba) {
        emit m_pAgent->OnDownloadLogNotify(Dev(strHost, strHost), ba, false, false);
    };
    log("ZR410-K2", "not mine");
    log("ZR410-K1", "<b>boot</b>\nline 2");
    QCOMPARE(W<QPlainTextEdit>("teLog")->toPlainText(), QString("<b>boot</b>\nline 2"));
}

QTEST_MAIN(TestFormDevicesUpgrade)
#include "tst_formdevicesupgrade.moc"
