// The single-device maintenance form against simulated devices in the namespace runner:
// module runs from the first row with a file over either channel, errors and time-outs,
// two forms at once, the System Info and Log tabs, file removal, and closing mid-upgrade.
#include "filechooser.h"
#include "formmaintain.h"
#include "http/chttpagent.h"
#include "msgboxrecorder.h"
#include "netnsfleet.h"
#include "programrun.h"
#include "session/cmaintainagent.h"
#include "testimage.h"
#include "testtime.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace
{
constexpr int RUN_MS = 60000;
const QString VAZA_HOST = QStringLiteral("ZR410-F00001");
const QString HTTP_HOST = QStringLiteral("ZR110-F00002");
const QString HTTP_HOST2 = QStringLiteral("ZR110-F00003");

// Four modules for the Vaza model, three for the web-server model.
void StageUpgradeConf()
{
    QFile file(QCoreApplication::applicationDirPath() + "/upgrade.conf");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"(<upgrade>
  <device id="ZR410"><module id="m0" name="Boot"/><module id="m1" name="System"/>
    <module id="m2" name="FPGA"/><module id="m3" name="Web"/></device>
  <device id="ZR110"><module id="m0" name="Firmware"/><module id="m1" name="System"/>
    <module id="m2" name="FPGA"/></device>
</upgrade>)");
}

QJsonObject Device(const QString &strHost, const QString &strAddr, QJsonObject knobs = {})
{
    const bool bHttp = strHost.startsWith("ZR110");
    if (!knobs.contains("install_ms"))
        knobs.insert("install_ms", 0);
    knobs.insert("http_result_polls", 3);
    knobs.insert("vaza", true);
    // Every module reads its version back after it completes.
    QJsonArray modules;
    for (const char *pszId : {"m0", "m1", "m2", "m3"})
        modules.append(QJsonObject{{"addr", pszId}, {"port", 0}, {"version", "2.1.4"}});
    return QJsonObject{{"hostname", strHost}, {"modules", modules}, {"addr", strAddr},
                       {"kind", "tx"},        {"version", "2.1.4"}, {"channel", bHttp ? "http" : "vaza"},
                       {"knobs", knobs}};
}

QString Addr(const QString &strHost)
{
    return QStringLiteral("10.213.0.%1").arg(40 + strHost.rightRef(1).toInt());
}
} // namespace

class TestFormMaintain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void runFromFirstRowWithFile_data();
    void runFromFirstRowWithFile();
    void moduleBoundedBySilence_data();
    void moduleBoundedBySilence();
    void twoFormsKeepTheirStartRows();
    void systemInfoAndLog_data();
    void systemInfoAndLog();
    void removeFileAndStaleButton();
    void closeWhileUpgrading();
    void formAndConsoleAgree();

private:
    template <typename T> static T *W(const CFormMaintain *pForm, const char *pszName)
    {
        return pForm->findChild<T *>(pszName);
    }
    static QStringList Column(const CFormMaintain *pForm, int i32Column)
    {
        QStringList lst;
        const QTreeWidget *pTree = W<QTreeWidget>(pForm, "twUpgrade");
        for (int i = 0; i < pTree->topLevelItemCount(); ++i)
            lst << pTree->topLevelItem(i)->text(i32Column);
        return lst;
    }
    static QPushButton *FileButton(const CFormMaintain *pForm, int i32Row)
    {
        QTreeWidget *pTree = W<QTreeWidget>(pForm, "twUpgrade");
        return qobject_cast<QPushButton *>(pTree->itemWidget(pTree->topLevelItem(i32Row), 1));
    }
    bool StartFleet(const QJsonArray &devices, const QStringList &lstServices = {"vaza", "ftp", "http"})
    {
        QString strError;
        const bool bOk = m_fleet.Start(devices, lstServices, &strError);
        if (!bOk)
            qWarning() << strError;
        return bOk;
    }
    // A form for the device, once its start-up read has been answered (the session is free).
    CFormMaintain *Open(const QString &strHost)
    {
        T_BaseDevInfo st;
        st.strHostName = strHost;
        st.strDispName = strHost;
        st.strAddr = Addr(strHost);
        st.u32Port = 60000;
        m_pAgent->AddDevice(st);
        QSignalSpy spy(m_pAgent, &CMaintainAgent::OnSysInfoNotify);
        auto *pForm = new CFormMaintain(st, m_pAgent);
        m_forms << pForm;
        pForm->show();
        if (!spy.wait(15000))
            qWarning() << "no start-up answer from" << strHost;
        return pForm;
    }
    // Chooses a fresh image for each row with a size (0: no file; negative: chosen, then
    // deleted before the run reads it); remembers its SHA-256.
    void ChooseFiles(CFormMaintain *pForm, const QList<int> &lstSizes)
    {
        for (int i = 0; i < lstSizes.size(); ++i) {
            if (lstSizes.at(i) == 0)
                continue;
            const QString strName = QStringLiteral("%1-r%2.bin").arg(pForm->HostName()).arg(i);
            const QString strPath = m_dir.filePath(strName);
            const int i32Size = qAbs(lstSizes.at(i));
            m_hashSha.insert(strName, WriteImage(strPath, RandomBytes(i32Size, static_cast<quint32>(i32Size + i))));
            QVERIFY(!m_hashSha.value(strName).isEmpty());
            Velmora::SetFileChooser([strPath] { return strPath; });
            QTest::mouseClick(FileButton(pForm, i), Qt::LeftButton);
            QCOMPARE(FileButton(pForm, i)->text(), strName);
            if (lstSizes.at(i) < 0)
                QFile::remove(strPath);
        }
        Velmora::SetFileChooser({});
    }
    // Every image devsim stored for strHost, as file names; each byte-identical to the choice.
    QStringList Received(const QString &strHost, bool bHttp)
    {
        QStringList lst;
        for (const QJsonObject &ev : m_fleet.Records(bHttp ? "http_upload" : "image")) {
            if (ev.value("device").toString() != strHost)
                continue;
            const QString strName = ev.value(bHttp ? "filename" : "name").toString().section('/', -1);
            lst << strName;
            if (ev.value("sha256").toString().toLatin1() != m_hashSha.value(strName))
                lst << "ALTERED";
        }
        return lst;
    }
    bool WaitIdle(CFormMaintain *pForm)
    {
        return QTest::qWaitFor([&] { return !pForm->IsBusy() && m_pRecorder->PendingExpectations() == 0; }, RUN_MS);
    }

    NetnsFleet m_fleet;
    QTemporaryDir m_dir;
    QHash<QString, QByteArray> m_hashSha;
    MsgBoxRecorder *m_pRecorder = nullptr;
    CMaintainAgent *m_pAgent = nullptr;
    QList<QPointer<CFormMaintain>> m_forms;
};

void TestFormMaintain::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
    StageUpgradeConf();
}

void TestFormMaintain::init()
{
    m_pRecorder = new MsgBoxRecorder;
    m_pAgent = new CMaintainAgent;
}

void TestFormMaintain::cleanup()
{
    qDeleteAll(m_forms);
    m_forms.clear();
    delete m_pAgent;
    m_fleet.Stop();
    const QStringList lstUnexpected = m_pRecorder->Unexpected();
    delete m_pRecorder;
    QVERIFY2(lstUnexpected.isEmpty(), qPrintable(lstUnexpected.join(" | ")));
}

void TestFormMaintain::runFromFirstRowWithFile_data()
{
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<QList<int>>("lstSizes");
    QTest::addColumn<QStringList>("lstSteps");
    QTest::addColumn<QString>("strMessage");
    QTest::addColumn<bool>("bHttp");
    QTest::addColumn<QStringList>("lstReceived");

    const QString strDone = QStringLiteral("Upgrade completed");
    // Would catch a run that starts at row 0 regardless, upgrades a row without a file, or stops early.
    QTest::newRow("vaza from row 2 of 4")
        << VAZA_HOST << QJsonObject() << QList<int>{0, 0, 70001, 30002} << QStringList{"", "", strDone, strDone}
        << QString() << false << QStringList{VAZA_HOST + "-r2.bin", VAZA_HOST + "-r3.bin"};
    // Would catch a run that goes on after a failed module, or a failure shown on the wrong row.
    QTest::newRow("vaza error on row 1 of 3")
        << VAZA_HOST << QJsonObject{{"ftp_cut_after", 100000}} << QList<int>{20000, 250000, 20000}
        << QStringList{strDone, "Upgrade failed", "", ""} << QString("'%1' Upgrade error occur!").arg(VAZA_HOST)
        << false << QStringList{VAZA_HOST + "-r0.bin"};
    // Would catch a web-server model's run from row 0 sent through Vaza, or later modules rerouted.
    QTest::newRow("http from row 0") << HTTP_HOST << QJsonObject() << QList<int>{90000, 0, 40000}
                                     << QStringList{strDone, "", strDone} << QString() << true
                                     << QStringList{HTTP_HOST + "-r0.bin", HTTP_HOST + "-r2.bin"};
    QTest::newRow("http model from row 1 goes through vaza")
        << HTTP_HOST << QJsonObject() << QList<int>{0, 50000, 60000} << QStringList{"", strDone, strDone} << QString()
        << false << QStringList{HTTP_HOST + "-r1.bin", HTTP_HOST + "-r2.bin"};
    // Would catch a start the upgrader refuses (unreadable file) leaving every control disabled.
    QTest::newRow("http start refused") << HTTP_HOST << QJsonObject() << QList<int>{-1, 30000, 0}
                                        << QStringList{"Upgrade failed", "", ""}
                                        << QString("'%1' Upgrade error occur!").arg(HTTP_HOST) << true << QStringList();
}

void TestFormMaintain::runFromFirstRowWithFile()
{
    QFETCH(QString, strHost);
    QFETCH(QJsonObject, knobs);
    QFETCH(QList<int>, lstSizes);
    QFETCH(QStringList, lstSteps);
    QFETCH(QString, strMessage);
    QFETCH(bool, bHttp);
    QFETCH(QStringList, lstReceived);
    QVERIFY(StartFleet({Device(strHost, Addr(strHost), knobs)}));
    ScopedTimeScale scale(0.1);
    CFormMaintain *pForm = Open(strHost);
    QCOMPARE(Column(pForm, 2).size(), lstSteps.size());

    ChooseFiles(pForm, lstSizes);
    QSignalSpy spyRunning(pForm, &CFormMaintain::signalRunningChanged);
    if (!strMessage.isEmpty())
        m_pRecorder->Expect(strMessage);
    QTest::mouseClick(W<QPushButton>(pForm, "btnStartUpgrade"), Qt::LeftButton);
    QVERIFY(WaitIdle(pForm));
    QCOMPARE(Column(pForm, 2), lstSteps);
    for (const char *pszName : {"btnStartUpgrade", "btnReadSysInfo", "btnReadLog"})
        QVERIFY(W<QPushButton>(pForm, pszName)->isEnabled());
    QVERIFY(FileButton(pForm, 0)->isEnabled());
    // The main window locks its search for exactly as long as the run lasts.
    QVERIFY(spyRunning.size() >= 2);
    QCOMPARE(spyRunning.first().first().toBool(), true);
    QCOMPARE(spyRunning.last().first().toBool(), false);

    QCOMPARE(Received(strHost, bHttp), lstReceived);
    QVERIFY(Received(strHost, !bHttp).isEmpty());
    const int i32Failed = lstSteps.indexOf("Upgrade failed");
    if (i32Failed >= 0)
        QVERIFY2(!W<QTreeWidget>(pForm, "twUpgrade")->topLevelItem(i32Failed)->toolTip(2).isEmpty(),
                 "a failed row says why");
}

void TestFormMaintain::moduleBoundedBySilence_data()
{
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<QJsonObject>("knobs");
    // Each keeps reporting and never finishes; its progress stops moving (the HTTP estimate
    // at 99 %), and the silence limit ends it.
    QTest::newRow("vaza installing for ever") << VAZA_HOST << QJsonObject{{"install_ms", 1000000000}};
    QTest::newRow("http result file stuck") << HTTP_HOST << QJsonObject{{"http_result_stuck", true}};
}

void TestFormMaintain::moduleBoundedBySilence()
{
    QFETCH(QString, strHost);
    QFETCH(QJsonObject, knobs);
    QVERIFY(StartFleet({Device(strHost, Addr(strHost), knobs)}));
    CFormMaintain *pForm = Open(strHost);
    ChooseFiles(pForm, {20000, 20000});
    ScopedTimeScale scale(0.02);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(W<QPushButton>(pForm, "btnStartUpgrade"), Qt::LeftButton);
    QVERIFY(pForm->IsBusy());
    QTRY_VERIFY_WITH_TIMEOUT(Column(pForm, 2).first() == "Installing...", RUN_MS);
    QVERIFY(WaitIdle(pForm));
    // Not the 30 s of a request; a coarse timer may fire up to 5 % early.
    QVERIFY(clock.elapsed() >= Velmora::ScaledMs(420000) * 0.9);
    // Marked on the row, no message (the recorder fails on any box), the next row never started.
    QStringList lstSteps{"Upgrade failed"};
    while (lstSteps.size() < Column(pForm, 2).size())
        lstSteps << QString();
    QCOMPARE(Column(pForm, 2), lstSteps);
    QVERIFY(W<QPushButton>(pForm, "btnStartUpgrade")->isEnabled());
}

// Would catch the start row shared between forms: B's Start at row 0 rerouting A's next module.
void TestFormMaintain::twoFormsKeepTheirStartRows()
{
    QVERIFY(
        StartFleet({Device(HTTP_HOST, Addr(HTTP_HOST), {{"install_ms", 1500}}), Device(HTTP_HOST2, Addr(HTTP_HOST2))}));
    ScopedTimeScale scale(0.1);
    CFormMaintain *pA = Open(HTTP_HOST);
    CFormMaintain *pB = Open(HTTP_HOST2);
    ChooseFiles(pA, {0, 40000, 50000});
    ChooseFiles(pB, {60000, 0, 70000});
    QTest::mouseClick(W<QPushButton>(pA, "btnStartUpgrade"), Qt::LeftButton);
    QTest::mouseClick(W<QPushButton>(pB, "btnStartUpgrade"), Qt::LeftButton);
    QVERIFY(pA->IsBusy() && pB->IsBusy());
    QVERIFY(WaitIdle(pA));
    QVERIFY(WaitIdle(pB));
    QCOMPARE(Column(pA, 2), (QStringList{"", "Upgrade completed", "Upgrade completed"}));
    QCOMPARE(Column(pB, 2), (QStringList{"Upgrade completed", "", "Upgrade completed"}));
    QCOMPARE(Received(HTTP_HOST, false), (QStringList{HTTP_HOST + "-r1.bin", HTTP_HOST + "-r2.bin"}));
    QVERIFY(Received(HTTP_HOST, true).isEmpty());
    QCOMPARE(Received(HTTP_HOST2, true), (QStringList{HTTP_HOST2 + "-r0.bin", HTTP_HOST2 + "-r2.bin"}));
    QVERIFY(Received(HTTP_HOST2, false).isEmpty());
}

void TestFormMaintain::systemInfoAndLog_data()
{
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<QStringList>("lstInfoRows");
    QTest::newRow("vaza document") << VAZA_HOST << QStringList{"Device Info", "System Info"};
    // Would catch the version page not read, or a Vaza document cut into its two fields.
    QTest::newRow("http version page") << HTTP_HOST << QStringList{"build time", "version"};
}

// Would catch a log shown with a line break at every chunk boundary or a character split
// between chunks garbled.
void TestFormMaintain::systemInfoAndLog()
{
    QFETCH(QString, strHost);
    QFETCH(QStringList, lstInfoRows);
    // Longer than a download chunk, with characters whose bytes a chunk boundary splits.
    QByteArray baLog;
    for (int i = 0; i < 60; ++i)
        baLog += QStringLiteral("Jan  1 00:00:%1 %2 daemon.info 编码器 up\n").arg(i).arg(strHost).toUtf8();
    QVERIFY(StartFleet({Device(strHost, Addr(strHost), {{"log_text", QString(baLog)}})}));
    CFormMaintain *pForm = Open(strHost);
    QTreeWidget *pInfo = W<QTreeWidget>(pForm, "twSysInfo");
    QTRY_VERIFY(pInfo->topLevelItemCount() > 0);
    QVERIFY(!pForm->IsBusy());

    pInfo->clear();
    QTest::mouseClick(W<QPushButton>(pForm, "btnReadSysInfo"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(pInfo->topLevelItemCount() >= 2, 15000);
    QStringList lstNames;
    for (int i = 0; i < pInfo->topLevelItemCount(); ++i)
        lstNames << pInfo->topLevelItem(i)->text(0);
    QCOMPARE(lstNames.mid(0, 2), lstInfoRows);
    if (lstInfoRows.contains("version"))
        QVERIFY(pInfo->topLevelItem(1)->text(1).contains("2.1.4"));
    else
        QVERIFY(pInfo->topLevelItem(0)->isExpanded() && pInfo->topLevelItem(0)->childCount() > 0);
    QTRY_VERIFY(!pForm->IsBusy());

    QTest::mouseClick(W<QPushButton>(pForm, "btnReadLog"), Qt::LeftButton);
    QVERIFY(pForm->IsBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!pForm->IsBusy(), 15000);
    QCOMPARE(W<QPlainTextEdit>(pForm, "teLog")->toPlainText().toUtf8(), baLog);
    QVERIFY(W<QPushButton>(pForm, "btnReadLog")->isEnabled());
}

// Would catch "Remove" not forgetting the file, a menu on a button without a file, and a
// menu action acting on a row that went while the menu was open.
void TestFormMaintain::removeFileAndStaleButton()
{
    QVERIFY(StartFleet({Device(VAZA_HOST, Addr(VAZA_HOST))}));
    CFormMaintain *pForm = Open(VAZA_HOST);
    ChooseFiles(pForm, {1000, 0, 1000, 0});
    QTreeWidget *pTree = W<QTreeWidget>(pForm, "twUpgrade");
    auto contextMenu = [&](int i32Row, std::function<void(QMenu *)> onMenu) {
        bool bShown = false;
        // Answers the menu from inside its own loop; gone with this call when no menu came.
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [&] {
            if (auto *pMenu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                bShown = true;
                onMenu(pMenu);
                pMenu->close();
            }
        });
        timer.start(0);
        QPushButton *pButton = FileButton(pForm, i32Row);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), pButton->mapToGlobal(QPoint(2, 2)));
        const bool bConsumed = QApplication::sendEvent(pButton, &event) && event.isAccepted();
        return bShown && bConsumed;
    };
    auto triggerRemove = [](QMenu *pMenu) {
        QCOMPARE(pMenu->actions().size(), 1);
        QCOMPARE(pMenu->actions().first()->text(), QString("Remove"));
        pMenu->actions().first()->trigger();
    };

    QVERIFY(!contextMenu(1, triggerRemove));
    QVERIFY(contextMenu(0, triggerRemove));
    QCOMPARE(Column(pForm, 1).first(), QString());
    QCOMPARE(FileButton(pForm, 0)->text(), QString("Open..."));
    QVERIFY(FileButton(pForm, 0)->toolTip().isEmpty());

    // Row 2 goes while its menu is open: the action names a button no row holds any more.
    QVERIFY(contextMenu(2, [&](QMenu *pMenu) {
        delete pTree->takeTopLevelItem(2);
        pMenu->actions().first()->trigger();
    }));
    QCOMPARE(Column(pForm, 1), (QStringList{"", "", ""}));

    m_pRecorder->Expect("Select upgrade file first!");
    QTest::mouseClick(W<QPushButton>(pForm, "btnStartUpgrade"), Qt::LeftButton);
    QCOMPARE(m_pRecorder->PendingExpectations(), 0);
    QVERIFY(!pForm->IsBusy());
}

// Would catch a crash or a leak when the window goes from inside a session's own report.
void TestFormMaintain::closeWhileUpgrading()
{
    QVERIFY(StartFleet({Device(VAZA_HOST, Addr(VAZA_HOST)), Device(HTTP_HOST, Addr(HTTP_HOST))}));
    ScopedTimeScale scale(0.1);
    for (const QString &strHost : {VAZA_HOST, HTTP_HOST}) {
        QPointer<CFormMaintain> pForm = Open(strHost);
        ChooseFiles(pForm, {300000, 0});
        QSignalSpy spyRunning(pForm.data(), &CFormMaintain::signalRunningChanged);
        // Deleted from inside the channel's own report (not the one from inside the start
        // call), as a window closed from a slot is.
        auto close = [pForm](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool, bool, int i32Progress) {
            if (i32Progress > 0 || strStep == "Installing...")
                delete pForm.data();
        };
        connect(m_pAgent, &CMaintainAgent::OnUpgradeNotify, pForm.data(), close);
        if (CHttpAgent *pHttp = pForm->findChild<CHttpAgent *>())
            connect(pHttp, &CHttpAgent::signalHttpUpgradeNotify, pForm.data(), close);
        QTest::mouseClick(W<QPushButton>(pForm, "btnStartUpgrade"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(pForm.isNull(), 15000);
        QCOMPARE(spyRunning.last().first().toBool(), false);
    }
    // The devices see their connections end; nothing of the forms answers any more.
    QTRY_VERIFY_WITH_TIMEOUT(!m_fleet.Records("ftp_disconnect").isEmpty(), 15000);
}

// The same device upgraded through its form and through velmora-cli --hosts: one engine, so
// the same verdict and the same reason. Would catch the form taking "completed" on trust
// where the console program reads the version back.
void TestFormMaintain::formAndConsoleAgree()
{
    const QString strHost = QStringLiteral("ZR410-F00004");
    QJsonObject device = Device(strHost, Addr(strHost));
    device.insert("modules", QJsonArray()); // no module answers for its version
    QVERIFY(StartFleet({device}, {"discovery", "vaza", "ftp"}));
    ScopedTimeScale scale(0.25);
    CFormMaintain *pForm = Open(strHost);
    ChooseFiles(pForm, {0, 20000});
    m_pRecorder->Expect(QString("'%1' Upgrade error occur!").arg(strHost));
    QTest::mouseClick(W<QPushButton>(pForm, "btnStartUpgrade"), Qt::LeftButton);
    QVERIFY(WaitIdle(pForm));
    QCOMPARE(Column(pForm, 2).at(1), QString("Upgrade failed"));
    const QString strFormReason = W<QTreeWidget>(pForm, "twUpgrade")->topLevelItem(1)->toolTip(2);

    const T_ProgramRun stRun = RunProgram(
        QStringLiteral(VELMORA_BIN_DIR "/velmora-cli"),
        {"upgrade", "--type", "ZR410", "--hosts", strHost, "--module", "main=" + Column(pForm, 1).at(1), "--json"},
        120000, QStringLiteral("0.25"));
    QCOMPARE(stRun.iExit, 1);
    const QJsonObject result =
        QJsonDocument::fromJson(stRun.baOut).object().value("results").toArray().at(0).toObject();
    QCOMPARE(result.value("ok").toBool(true), false);
    QCOMPARE(result.value("reason").toString(), QString("completed, but the version could not be read back"));
    QVERIFY2(strFormReason.contains(result.value("reason").toString()), qPrintable(strFormReason));
}

QTEST_MAIN(TestFormMaintain)
#include "tst_formmaintain.moc"
