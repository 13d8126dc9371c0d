// The real main window and batch form against simulated devices in the namespace runner:
// a search, the columns and names it fills, choosing a type and a version, a Vaza batch with a
// failing device and auto reboot over telnet, an HTTP batch, a rollout that stops before the
// rest, the System Info tab, and the switch to single-device forms, as an operator drives them.
#include "cformdevicesupgrade.h"
#include "filechooser.h"
#include "fleetwindowtest.h"
#include "formmaintain.h"
#include "mainwindow.h"
#include "qdevlistwidget.h"
#include "sysinfoitems.h"
#include "telnet/ctelnetcomm.h"
#include "testtime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
constexpr int BATCH_MS = 90000;
} // namespace

class TestMainWindowFleet : public FleetWindowTest
{
    Q_OBJECT
private slots:
    void searchChooseAndUpgradeVaza();
    void upgradeHttp();
    void rolloutStopsBeforeTheRest();
    void singleDeviceMode();
};

// Would catch rows duplicated or versions lost by a second search, an unknown model listed,
// wrong counts, devices of another version added, a failed device upgraded further or
// rebooted, the summary counting the wrong pass, a search allowed under a running batch,
// and an image that reached a device altered.
void TestMainWindowFleet::searchChooseAndUpgradeVaza()
{
    const QJsonArray devices{Device("ZR410-W00001", "10.213.0.30", "tx", "V3.1.4"),
                             Device("ZR410-W00002", "10.213.0.31", "tx", "V3.1.4",
                                    {{"ftp_fail", QJsonObject{{"STOR", 553}}}, {"telnet_silent_after_login", true}}),
                             Device("ZR410-W00003", "10.213.0.32", "tx", "V3.2.0"),
                             Device("ZR420-W00004", "10.213.0.33", "rx", "V2.0.0"),
                             Device("QX900-W00005", "10.213.0.34", "tx", "V1.0.0")};
    QString strError;
    QVERIFY2(m_fleet.Start(devices, {"discovery", "vaza", "ftp", "telnet"}, &strError), qPrintable(strError));

    // Searches on the real clock: a loaded machine's simulator still answers within the passes.
    QVERIFY(Search());
    QCOMPARE(m_pWindow->findChild<QLabel *>("label_Num")->text(), QString("TX:3 RX:1 Total:4"));
    QCOMPARE(List()->topLevelItemCount(), 4);
    QCOMPARE(Row("QX900-W00005"), -1);
    QTRY_VERIFY_WITH_TIMEOUT(!Column(List(), 3).contains(QString()), 15000);
    QCOMPARE(List()->topLevelItem(Row("ZR410-W00003"))->text(3), QString("V3.2.0"));
    // Names over telnet: an encoded blank shown as a blank; no channel for the unknown model.
    QTRY_COMPARE_WITH_TIMEOUT(List()->topLevelItem(Row("ZR410-W00001"))->text(0), QString("Lobby encoder"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(List()->topLevelItem(Row("ZR410-W00003"))->text(0), QString("Stage 03"), 10000);
    for (const QJsonObject &ev : m_fleet.Records("telnet_connect"))
        QVERIFY(ev.value("device").toString() != "QX900-W00005");
    {
        // Renamed on the device itself, through its own shell.
        CTelnetComm comm("gb", QString(), "10.213.0.32", 24);
        QSignalSpy spyDone(&comm, &CBaseComm::OnSendQueueReturn);
        QVERIFY(comm.Connect() && comm.WriteParam("name", "Stage%2003%20new"));
        QVERIFY(spyDone.wait(10000));
        QCOMPARE(spyDone.at(0).at(0).value<E_CommResult>(), COMM_OK);
    }
    // The search's own information requests keep the sessions busy until answered.
    QSignalSpy spyInfo(m_pWindow->Agent(), &CMaintainAgent::OnSysInfoNotify);
    QVERIFY(Search());
    QCOMPARE(List()->topLevelItemCount(), 4);
    QCOMPARE(List()->topLevelItem(Row("ZR410-W00003"))->text(3), QString("V3.2.0"));
    QTRY_COMPARE_WITH_TIMEOUT(spyInfo.size(), 4, 15000);
    // The second report reads the name again into the same row.
    QTRY_COMPARE_WITH_TIMEOUT(List()->topLevelItem(Row("ZR410-W00003"))->text(0), QString("Stage 03 new"), 10000);
    QCOMPARE(List()->topLevelItemCount(), 4);
    ScopedTimeScale scale(0.2);
    QCOMPARE(List()->topLevelItem(Row("ZR420-W00004"))->text(2), QString("10.213.0.33"));

    QComboBox *pType = F<QComboBox>("cbDevType");
    pType->setCurrentText("ZR410 Encoder");
    QTreeWidget *pDev = F<QTreeWidget>("twDev");
    QCOMPARE(pDev->topLevelItemCount(), 3);
    F<QComboBox>("cbDevVersion")->setCurrentText("V3.2.0");
    QCOMPARE(Column(pDev, 1), QStringList{"ZR410 Encoder-W00003"});
    F<QComboBox>("cbDevVersion")->setCurrentIndex(0);
    // In the list's order, sorted by alias: the silent device kept its display name.
    QCOMPARE(Column(pDev, 1), (QStringList{"ZR410 Encoder-W00001", "ZR410 Encoder-W00003", "ZR410 Encoder-W00002"}));

    ChooseFiles({Image("main.bin", 300001), Image("fpga.bin", 70000)});
    F<QCheckBox>("cbReboot")->setChecked(true);
    QSignalSpy spyReboot(m_pWindow->BatchForm(), &CFormDevicesUpgrade::signalDevReboot);
    m_pRecorder->Expect("'ZR410 Encoder-W00002' Upgrade error occur!");
    m_pRecorder->Expect("succeeded: 2, total: 3.");
    QTest::mouseClick(F<QPushButton>("pbStart"), Qt::LeftButton);
    QVERIFY(m_pWindow->BatchForm()->IsRunning());
    QVERIFY(!m_pWindow->findChild<QPushButton *>("btnSearchDevices")->isEnabled());
    QVERIFY(!F<QPushButton>("pbStart")->isEnabled());
    // Nothing pulls a device or its session from under the running batch: no question is even
    // asked (the recorder fails on any box), no row goes.
    List()->topLevelItem(Row("ZR410-W00001"))->setSelected(true);
    m_pWindow->slotRemoveDev();
    m_pWindow->slotReboot();
    m_pWindow->slotUpgradeDeleteDev();
    QCOMPARE(List()->topLevelItemCount(), 4);
    QCOMPARE(pDev->topLevelItemCount(), 3);
    // Asking a device in the batch for its information must not cut its upgrade.
    ClickDevice("ZR410-W00001");
    QTest::mouseClick(F<QPushButton>("btnReadSysInfo"), Qt::LeftButton);
    QCOMPARE(Column(F<QTreeWidget>("twSysInfo"), 0), QStringList{"device is busy with another command"});
    QVERIFY(m_pWindow->BatchForm()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(m_pRecorder->PendingExpectations(), 0, BATCH_MS);
    QCOMPARE(m_pRecorder->Shown().last().strTitle, QString("upgradation summary"));

    // The two that stayed in the batch are rebooted and leave both lists; the failed one stays.
    QCOMPARE(spyReboot.size(), 2);
    QCOMPARE(spyReboot.at(0).at(0).toString(), QString("ZR410-W00001"));
    QCOMPARE(spyReboot.at(1).at(0).toString(), QString("ZR410-W00003"));
    QCOMPARE(Column(pDev, 0), QStringList{"1"});
    QCOMPARE(Column(pDev, 1), QStringList{"ZR410 Encoder-W00002"});
    QCOMPARE(Column(pDev, 2), QStringList{"Upgrade failed"});
    QCOMPARE(Column(List(), 1), (QStringList{"ZR420 Decoder-W00004", "ZR410 Encoder-W00002"}));
    QVERIFY(m_pWindow->findChild<QPushButton *>("btnSearchDevices")->isEnabled());
    QVERIFY(pDev->itemWidget(pDev->topLevelItem(0), 4)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(m_fleet.Records("telnet_reboot").size(), 2, 10000);
    // A silent name read kept the display name, and no channel outlived its run.
    QCOMPARE(Column(List(), 0), (QStringList{"Stage 04", "ZR410 Encoder-W00002"}));
    QTRY_COMPARE_WITH_TIMEOUT(CBaseComm::LiveCount(), 0, 20000);
    QVERIFY(List()->topLevelItem(1)->toolTip(0).contains("Name not read: time out"));

    // main to the two that take it, fpga only to those; every byte as chosen.
    const QList<QJsonObject> images = m_fleet.Records("image");
    QCOMPARE(images.size(), 4);
    for (const QJsonObject &ev : images)
        QCOMPARE(ev.value("sha256").toString().toLatin1(), m_hashSha.value(ev.value("name").toString()));
    for (const QJsonObject &ev : images)
        QVERIFY(ev.value("device").toString() != "ZR410-W00002");
    for (const QJsonObject &ev : m_fleet.Records("vaza_upgrade"))
        QVERIFY(ev.value("device").toString() != "ZR410-W00002" || ev.value("module").toString() == "main");

    // The System Info tab of a Vaza device: the rows of its XML document.
    ClickDevice("ZR420-W00004");
    QTest::mouseClick(F<QPushButton>("btnReadSysInfo"), Qt::LeftButton);
    QTreeWidget *pInfo = F<QTreeWidget>("twSysInfo");
    QTRY_VERIFY(pInfo->topLevelItemCount() >= 2);
    QCOMPARE(Column(pInfo, 0).mid(0, 2), (QStringList{"Device Info", "System Info"}));
    QVERIFY(pInfo->topLevelItem(0)->childCount() > 0);
    QVERIFY(m_pWindow->BatchForm()->isEnabled());

    // Its log, as the device's FTP service offers it, in the Log tab.
    F<QTabWidget>("tab")->setCurrentWidget(F<QWidget>("tab_Log"));
    QTest::mouseClick(F<QPushButton>("btnReadLog"), Qt::LeftButton);
    QPlainTextEdit *pLog = F<QPlainTextEdit>("teLog");
    QTRY_VERIFY(pLog->toPlainText().contains("ZR420-W00004 daemon.info"));
    QTRY_VERIFY(m_pWindow->BatchForm()->isEnabled());
    QVERIFY(!pLog->toPlainText().contains("ZR410-W0000"));

    // The operator's reboot: the row goes as soon as the command is queued.
    List()->setCurrentItem(List()->topLevelItem(Row("ZR420-W00004")));
    m_pWindow->slotReboot();
    QCOMPARE(Row("ZR420-W00004"), -1);
    QTRY_COMPARE_WITH_TIMEOUT(m_fleet.Records("telnet_reboot").size(), 3, 10000);
    // A shell that never gives a prompt: the failure is said, the row stays gone.
    List()->setCurrentItem(List()->topLevelItem(Row("ZR410-W00002")));
    m_pWindow->slotReboot();
    QCOMPARE(List()->topLevelItemCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_pWindow->statusBar()->currentMessage().contains("'ZR410-W00002' reboot failed"), 10000);
    QCOMPARE(m_fleet.Records("telnet_reboot").size(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(CBaseComm::LiveCount(), 0, 10000);
}

// Would catch an HTTP batch that never ends when the result file goes away, its images
// altered, and the version page not reaching the columns and the System Info tab.
// Would catch the Rollout group not reaching the engine (the rest upgraded after a failed
// canary), a device the canary stop or the Stop button kept from starting touched anyway (a
// bind, a log-in or an upload), its row not saying "Not started" and why, devices beyond "at
// most N" not shown waiting, a waiting device asked for its information (its start would be
// refused as busy), more than the one box for a canary stop, and the second press of Stop
// aborting without asking or despite a "No", or followed by a box.
void TestMainWindowFleet::rolloutStopsBeforeTheRest()
{
    QJsonArray devices;
    for (int i = 1; i <= 4; ++i) {
        QJsonObject dev = Device(QString("ZR410-W0006%1").arg(i), QString("10.213.0.4%1").arg(i), "tx", "V3.1.4",
                                 i == 1 ? QJsonObject{{"ftp_fail", QJsonObject{{"USER", 530}}}} : QJsonObject{});
        QJsonObject knobs = dev.value("knobs").toObject();
        knobs.insert("install_ms", i == 2 ? 60000 : 0);
        dev.insert("knobs", knobs);
        devices << dev;
    }
    QVERIFY(StartFleet(devices, {"discovery", "vaza", "ftp"}));
    QVERIFY(Search());
    QTRY_VERIFY_WITH_TIMEOUT(!Column(List(), 3).contains(QString()), 15000);
    ScopedTimeScale scale(0.2);
    F<QComboBox>("cbDevType")->setCurrentText("ZR410 Encoder");
    QTreeWidget *pDev = F<QTreeWidget>("twDev");
    QCOMPARE(Column(pDev, 1).first(), QString("ZR410 Encoder-W00061"));
    ChooseFiles({Image("main.bin", 50000), Image("fpga.bin", 20000)});
    QPushButton *pStop = F<QPushButton>("pbStop");
    QVERIFY(!pStop->isEnabled());

    // A canary of one, whose FTP log-in is refused.
    const QString strReason = "canary failed: ZR410-W00061: Login failed: Simulated failure of USER.";
    m_pRecorder->Expect(strReason + "\nsucceeded: 0, total: 4.");
    QTest::keyClicks(F<QLineEdit>("leCanary"), "1");
    // The search's own information requests bind too: only what the batches sent counts.
    const int i32Before = m_fleet.Records().size();
    QTest::mouseClick(F<QPushButton>("pbStart"), Qt::LeftButton);
    QVERIFY(pStop->isEnabled() && !F<QLineEdit>("leWave")->isEnabled());
    QCOMPARE(Column(pDev, 2).mid(1), (QStringList{"Waiting", "Waiting", "Waiting"}));
    QTRY_VERIFY_WITH_TIMEOUT(!m_pWindow->BatchForm()->IsRunning(), BATCH_MS);
    QCOMPARE(m_pRecorder->Shown().size(), 1);
    QCOMPARE(m_pRecorder->PendingExpectations(), 0);
    QCOMPARE(m_pRecorder->Shown().first().strTitle, QString("upgrade stopped"));
    QCOMPARE(m_pRecorder->Shown().first().eIcon, QMessageBox::Warning);
    QCOMPARE(Column(pDev, 2), (QStringList{"Upgrade failed", "Not started", "Not started", "Not started"}));
    for (int i = 1; i < 4; ++i)
        QCOMPARE(pDev->topLevelItem(i)->toolTip(2), Velmora::PlainToolTip(strReason));
    QVERIFY(!pStop->isEnabled() && F<QLineEdit>("leWave")->isEnabled());
    m_pRecorder->Reset();

    // No canary, two at a time: the rest wait, and Stop keeps them from starting.
    F<QLineEdit>("leCanary")->clear();
    QTest::keyClicks(F<QLineEdit>("leMaxParallel"), "2");
    m_pRecorder->Expect("'ZR410 Encoder-W00061' Upgrade error occur!");
    QTest::mouseClick(F<QPushButton>("pbStart"), Qt::LeftButton);
    QCOMPARE(Column(pDev, 2).mid(2), (QStringList{"Waiting", "Waiting"}));
    // Its session is idle, but a request now would have it refused as busy when its place comes.
    ClickDevice("ZR410-W00063");
    QTest::mouseClick(F<QPushButton>("btnReadSysInfo"), Qt::LeftButton);
    QCOMPARE(Column(F<QTreeWidget>("twSysInfo"), 0), QStringList{"device is busy with another command"});
    F<QTabWidget>("tab")->setCurrentWidget(F<QWidget>("tab_Upgrade"));
    QTest::mouseClick(pStop, Qt::LeftButton);
    QCOMPARE(Column(pDev, 2).mid(2), (QStringList{"Not started", "Not started"}));
    QCOMPARE(pStop->text(), QString("Abort"));
    QTRY_COMPARE_WITH_TIMEOUT(m_pRecorder->PendingExpectations(), 0, BATCH_MS);
    // The second device installs for a minute: the second press cuts it short, once confirmed.
    const QString strQuestion = "Abort the devices still upgrading? Their upgrade is cut off where it is, and they "
                                "may need to be upgraded again.";
    m_pRecorder->Expect(strQuestion, QMessageBox::No);
    QTest::mouseClick(pStop, Qt::LeftButton);
    QVERIFY(m_pWindow->BatchForm()->IsRunning());
    m_pRecorder->Expect(strQuestion, QMessageBox::Yes);
    QTest::mouseClick(pStop, Qt::LeftButton);
    QVERIFY(!m_pWindow->BatchForm()->IsRunning() && !pStop->isEnabled());
    QCOMPARE(Column(pDev, 2), (QStringList{"Upgrade failed", "Upgrade failed", "Not started", "Not started"}));
    QCOMPARE(pDev->topLevelItem(1)->toolTip(2), Velmora::PlainToolTip("aborted"));
    QVERIFY(F<QPushButton>("pbStart")->isEnabled() &&
            m_pWindow->findChild<QPushButton *>("btnSearchDevices")->isEnabled());
    QTest::qWait(300);
    QCOMPARE(m_pRecorder->Shown().size(), 3);

    QStringList lstTouched;
    for (const QJsonObject &ev : m_fleet.Records().mid(i32Before))
        if (ev.value("type").toString().startsWith("vaza_bind") || ev.value("type").toString().startsWith("ftp_") ||
            ev.value("type") == "image")
            lstTouched << ev.value("device").toString();
    lstTouched.removeDuplicates();
    lstTouched.sort();
    QCOMPARE(lstTouched, (QStringList{"ZR410-W00061", "ZR410-W00062"}));
}

void TestMainWindowFleet::upgradeHttp()
{
    const QJsonArray devices{Device("ZR110-W00011", "10.213.0.40", "tx", "2.1.4"),
                             Device("ZR110-W00012", "10.213.0.41", "tx", "2.1.4", {{"telnet", false}})};
    QString strError;
    QVERIFY2(m_fleet.Start(devices, {"discovery", "http", "telnet"}, &strError), qPrintable(strError));
    QVERIFY(Search());
    QCOMPARE(List()->topLevelItemCount(), 2);
    // The web-server models keep their name under the "ast" tools; a refused channel leaves
    // the display name.
    QTRY_COMPARE_WITH_TIMEOUT(Column(List(), 0), (QStringList{"Lobby encoder", "ZR110 Encoder-W00012"}), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(CBaseComm::LiveCount(), 0, 10000);
    const QList<QJsonObject> commands = m_fleet.Records("telnet_command");
    QVERIFY(!commands.isEmpty());
    for (const QJsonObject &ev : commands)
        QCOMPARE(ev.value("line").toString(), QString("astparam g  name"));
    QTRY_VERIFY_WITH_TIMEOUT(List()->topLevelItem(0)->text(3).contains("2.1.4"), 15000);
    ScopedTimeScale scale(0.2);

    F<QComboBox>("cbDevType")->setCurrentText("ZR110 Encoder");
    QCOMPARE(F<QTreeWidget>("twDev")->topLevelItemCount(), 2);
    ChooseFiles({Image("fw.bin", 250000)});
    m_pRecorder->Expect("succeeded: 2, total: 2.");
    QTest::mouseClick(F<QPushButton>("pbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_pRecorder->PendingExpectations(), 0, BATCH_MS);
    QCOMPARE(Column(F<QTreeWidget>("twDev"), 3), (QStringList{"100%", "100%"}));
    const QList<QJsonObject> uploads = m_fleet.Records("http_upload");
    QCOMPARE(uploads.size(), 2);
    for (const QJsonObject &ev : uploads)
        QCOMPARE(ev.value("sha256").toString().toLatin1(), m_hashSha.value("/fw.bin"));

    ClickDevice("ZR110-W00012");
    QTest::mouseClick(F<QPushButton>("btnReadSysInfo"), Qt::LeftButton);
    QTreeWidget *pInfo = F<QTreeWidget>("twSysInfo");
    QTRY_COMPARE(pInfo->topLevelItemCount(), 2);
    QCOMPARE(Column(pInfo, 0), (QStringList{"build time", "version"}));
    QVERIFY(pInfo->topLevelItem(1)->text(1).contains("2.1.4"));
}

// Would catch a click opening a second form for the same device, a form left behind by the
// return to batch mode, batch-form clicks opening device forms, and a search or reboot
// allowed under a device form's upgrade.
void TestMainWindowFleet::singleDeviceMode()
{
    const QJsonArray devices{Device("ZR410-W00021", "10.213.0.50", "tx", "V3.1.4"),
                             Device("ZR420-W00022", "10.213.0.51", "rx", "V2.0.0")};
    QString strError;
    QVERIFY2(m_fleet.Start(devices, {"discovery", "vaza", "ftp"}, &strError), qPrintable(strError));
    QVERIFY(Search());
    ScopedTimeScale scale(0.2);
    QMdiArea *pArea = m_pWindow->findChild<QMdiArea *>("mdiArea");
    ClickDevice("ZR410-W00021");
    QCOMPARE(pArea->subWindowList().size(), 1);

    QPushButton *pSingle = m_pWindow->findChild<QPushButton *>("pbSingleDevice");
    QPushButton *pBatch = m_pWindow->findChild<QPushButton *>("pbBatchUpgrade");
    QVERIFY(pSingle->isVisible() && !pBatch->isVisible());
    QTest::mouseClick(pSingle, Qt::LeftButton);
    QVERIFY(!m_pWindow->BatchForm() && pBatch->isVisible());
    ClickDevice("ZR410-W00021");
    ClickDevice("ZR420-W00022");
    ClickDevice("ZR410-W00021");
    QCOMPARE(pArea->subWindowList().size(), 2);
    CFormMaintain *pForm = m_pWindow->FindDevForm("ZR410-W00021");
    QVERIFY(pForm);
    QCOMPARE(pForm->HostName(), QString("ZR410-W00021"));
    QCOMPARE(pArea->activeSubWindow()->widget(), pForm);

    // While the form upgrades, nothing may drop its session: no search, no way back, no reboot.
    // Its own start-up read first: the session takes one request at a time.
    QTRY_VERIFY_WITH_TIMEOUT(pForm->findChild<QTreeWidget *>("twSysInfo")->topLevelItemCount() > 0, 15000);
    QTabWidget *pTabs = pForm->findChild<QTabWidget *>("tabWidget");
    pTabs->setCurrentWidget(pForm->findChild<QWidget *>("tabUpgrade"));
    QTreeWidget *pModules = pForm->findChild<QTreeWidget *>("twUpgrade");
    const QString strFile = Image("single.bin", 200000);
    Velmora::SetFileChooser([strFile] { return strFile; });
    QTest::mouseClick(pModules->itemWidget(pModules->topLevelItem(0), 1), Qt::LeftButton);
    Velmora::SetFileChooser({});
    QTest::mouseClick(pForm->findChild<QPushButton *>("btnStartUpgrade"), Qt::LeftButton);
    QPushButton *pSearch = m_pWindow->findChild<QPushButton *>("btnSearchDevices");
    QVERIFY(pForm->IsBusy() && !pSearch->isEnabled() && !pBatch->isEnabled());
    List()->setCurrentItem(List()->topLevelItem(Row("ZR410-W00021")));
    m_pWindow->slotReboot();
    QVERIFY(Row("ZR410-W00021") >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(!pForm->IsBusy(), BATCH_MS);
    QVERIFY(pSearch->isEnabled() && pBatch->isEnabled());
    QCOMPARE(m_fleet.Records("image").size(), 1);
    QCOMPARE(m_fleet.Records("image").first().value("sha256").toString().toLatin1(), m_hashSha.value("/single.bin"));

    // Removing a device takes its form away with it.
    m_pWindow->RemoveDev("ZR420-W00022");
    QCOMPARE(pArea->subWindowList().size(), 1);
    QTest::mouseClick(pBatch, Qt::LeftButton);
    QVERIFY(m_pWindow->BatchForm());
    QCOMPARE(pArea->subWindowList().size(), 1);
    QVERIFY(!m_pWindow->FindDevForm("ZR410-W00021"));
}

QTEST_MAIN(TestMainWindowFleet)
#include "tst_mainwindowfleet.moc"
