// The batch engine driving real Vaza sessions against simulated devices over loopback.
#include "batch/cbatchupgrade.h"
#include "batch/cskipcurrent.h"
#include "devsimrunner.h"
#include "http/chttpagent.h"
#include "product/httpmodels.h"
#include "quietwindow.h"
#include "session/cmaintainagent.h"
#include "testimage.h"
#include "testtime.h"

#include <QTemporaryFile>
#include <QtTest>

namespace
{
// The session's 7000 ms response time-out becomes 280 ms, the first-report watchdog 1.2 s,
// the module limit 16.8 s: short, yet far from what a loaded machine needs for one reply.
constexpr double kScale = 0.04;

// Module ids as the agent sends them (port 0); devsim answers version queries for these.
QJsonObject BatchDevice(const QString &strHost, const QString &strAddr, const QJsonObject &knobs)
{
    QJsonObject dev = SimDevice(strHost, strAddr, knobs);
    if (!knobs.contains("modules"))
        dev.insert("modules", QJsonArray{QJsonObject{{"addr", "main"}, {"port", 0}, {"version", "V3.1.4"}},
                                         QJsonObject{{"addr", "fpga"}, {"port", 0}, {"version", "F1.0.9"}}});
    if (Velmora::IsHttpHostModel(strHost)) {
        dev.insert("channel", "http");
        dev.insert("version", "V4.5.6");
    }
    return dev;
}

// A fleet of devices on 127.0.0.1, .2, ... (model ZR410 unless told), both agents, an engine made
// for the test and every engine signal kept as one line: "start 0", "fail ZR410-B02 0
// Installing... | Uploading file failed: ...", "ok ZR410-A01 1", "ver ZR410-A01 0 V3.1.4",
// "end 2 2 ZR410-A01,ZR410-C03", "reply time out", "not started". The engine is deleted from
// inside its own ending signal, as an owner may do.
struct CBatchRig {
    CBatchRig(double dScale, const QJsonArray &knobs, const QStringList &models = {}) : scale(dScale)
    {
        QJsonArray devices;
        for (int i = 0; i < knobs.size(); ++i) {
            hosts << QStringLiteral("%1-%2%3")
                         .arg(models.value(i, QStringLiteral("ZR410")))
                         .arg(QChar('A' + i))
                         .arg(i + 1, 2, 10, QLatin1Char('0'));
            devices.append(BatchDevice(hosts.last(), QStringLiteral("127.0.0.%1").arg(i + 1), knobs.at(i).toObject()));
        }
        bStarted = sim.Start(devices, QStringLiteral("vaza,ftp,http"));
        pEngine = new CBatchUpgrade(&agent, &httpAgent);
        using B = CBatchUpgrade;
        QObject::connect(pEngine, &B::signalModuleStarted, [this](int i) { Note({"start", QString::number(i)}); });
        QObject::connect(pEngine, &B::signalDeviceSucceeded, [this](T_BaseDevInfo st, int i) {
            Note({"ok", st.strHostName, QString::number(i)});
        });
        QObject::connect(pEngine, &B::signalDeviceFailed, [this](T_BaseDevInfo st, int i, QString strStep, QString s) {
            Note({"fail", st.strHostName, QString::number(i), strStep, "|", s});
        });
        QObject::connect(pEngine, &B::signalDeviceVersion, [this](T_BaseDevInfo st, int i, QString strVersion) {
            Note({"ver", st.strHostName, QString::number(i), strVersion});
        });
        QObject::connect(pEngine, &B::signalDeviceProgress,
                         [this](T_BaseDevInfo st, int i32Module, QString, int, bool bErr, bool bFin) {
                             // A report of a device that already ended the module would be
                             // counted twice.
                             const QString strKey = st.strHostName + QString::number(i32Module);
                             if (ended.contains(strKey))
                                 Note({"late", st.strHostName});
                             if (bErr || bFin)
                                 ended << strKey;
                         });
        QObject::connect(pEngine, &B::signalBatchFinished, [this](int i32Ok, int i32Total, QStringList reboot) {
            End({"end", QString::number(i32Ok), QString::number(i32Total), reboot.join(',')});
        });
        QObject::connect(pEngine, &B::signalReplyTimeOut, [this] { End({"reply", "time", "out"}); });
        QObject::connect(pEngine, &B::signalModuleNotStarted, [this] { End({"not", "started"}); });
    }
    ~CBatchRig() { delete pEngine; }

    T_BaseDevInfo Dev(int i) const
    {
        T_BaseDevInfo st;
        st.strHostName = hosts.at(i);
        st.strDispName = hosts.at(i);
        st.strAddr = QStringLiteral("127.0.0.%1").arg(i + 1);
        // The web-server models are reached through their URL, which carries the port.
        if (Velmora::IsHttpHostModel(st.strHostName))
            st.strAddr += QStringLiteral(":%1").arg(sim.Port(QStringLiteral("http"), st.strHostName));
        st.u32Port = static_cast<quint32>(sim.Port(QStringLiteral("vaza"), st.strHostName));
        st.strKind = QStringLiteral("tx");
        return st;
    }
    void Note(const QStringList &words) { notes << words.join(' '); }
    void End(const QStringList &words)
    {
        Note(words);
        bRunningAtEnd = pEngine->IsRunning();
        delete pEngine;
        pEngine = nullptr;
    }
    QString Image(const QString &strName, int i32Size)
    {
        const QByteArray baSha = WriteImage(sim.TempPath(strName), RandomBytes(i32Size, qHash(strName)));
        images.insert(QLatin1Char('/') + strName, baSha);
        return baSha.isEmpty() ? QString() : sim.TempPath(strName);
    }
    // The two modules in order, "main" then "fpga", each with an image of its own.
    QList<T_BatchModule> Modules()
    {
        return {{"main", "Main", Image("main.bin", 70000)}, {"fpga", "FPGA", Image("fpga.bin", 30001)}};
    }
    // Module ids of the step-101 requests a device received, in order.
    QStringList Received(const QString &strHost) const
    {
        QStringList ids;
        for (const QJsonObject &ev : sim.Events(QStringLiteral("vaza_upgrade")))
            if (ev.value("device").toString() == strHost && ev.value("step").toInt() == 101)
                ids << ev.value("module").toString();
        return ids;
    }
    QStringList Lines(const QString &strFirstWord) const
    {
        QStringList out;
        for (const QString &s : notes)
            if (s.section(' ', 0, 0) == strFirstWord)
                out << s;
        return out;
    }

    ScopedTimeScale scale;
    CDevsimRunner sim;
    CMaintainAgent agent;
    CHttpAgent httpAgent;
    QStringList hosts;
    QStringList notes;
    QSet<QString> ended;
    QHash<QString, QByteArray> images; // "/name" -> SHA-256 hex of the file given
    bool bStarted = false;
    bool bRunningAtEnd = true;
    CBatchUpgrade *pEngine = nullptr;
};
} // namespace

class TestBatchUpgrade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false")); }
    void passRules_data();
    void passRules();
    void startRefusesWithoutFileOrDevices();
    void firstReportWatchdogEndsBatch();
    void httpBatchRoutedByFirstHost();
    void deviceAndSessionGoneMidBatch();
    void moduleLimitCountsSilenceOnly();
    void skipCurrentReadsPlannedModules();
};

void TestBatchUpgrade::passRules_data()
{
    QTest::addColumn<QJsonArray>("knobs");
    QTest::addColumn<QString>("setup");     // "busy1": device 1 is busy at Start; "unknown2": agent lacks device 2
    QTest::addColumn<QString>("version");   // expected version for the read-back check, "-" for no check
    QTest::addColumn<QStringList>("fails"); // "host-index module reason-fragment"
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("received"); // per device, the modules it got, "+"-joined
    const QJsonObject ok{{"install_ms", 0}};
    const QJsonObject bad{{"install_ms", 0}, {"ftp_fail", QJsonObject{{"STOR", 553}}}};
    // The next module going to the failed device, a summary counting only the last pass
    // (a failed run read as clean), the failed device offered for reboot.
    QTest::newRow("second of three fails")
        << QJsonArray{ok, bad, ok} << ""
        << "-" << QStringList{"1 0 Uploading file failed: Simulated failure of STOR."} << "end 2 3 ZR410-A01,ZR410-C03"
        << QStringList{"main+fpga", "main", "main+fpga"};
    // A pass whose batch list empties has nothing left to report: it must end, not hang.
    // Each failure says why: an answer for another module, the FTP server's reply, the refused log-in.
    QTest::newRow("every device fails") << QJsonArray{QJsonObject{{"vaza_wrong_module", true}}, bad,
                                                      QJsonObject{{"vaza_refuse_bind", true}}}
                                        << ""
                                        << "-"
                                        << QStringList{"0 0 device answered for module 'wrong-module'",
                                                       "1 0 Uploading file failed: Simulated failure of STOR.",
                                                       "2 0 the device refused the maintenance log-in"}
                                        << "end 0 3 " << QStringList{"main", "main", ""};
    // A refused device is done and failed at once and never gets a later module, even
    // once it is free again.
    QTest::newRow("refused devices") << QJsonArray{ok, QJsonObject{{"vaza_silent", "sysinfo"}}, ok} << "busy1 unknown2"
                                     << "-"
                                     << QStringList{"1 0 device is busy with another command", "2 0 device not found"}
                                     << "end 1 3 ZR410-A01" << QStringList{"main+fpga", "", ""};
    // An installation that never ends holds the batch for ever without the module limit.
    QTest::newRow("installation never ends")
        << QJsonArray{ok, QJsonObject{{"install_ms", 100000000}}} << ""
        << "-" << QStringList{"1 0 time out"} << "end 1 2 ZR410-A01" << QStringList{"main+fpga", "main"};
    // With the check on and no version expected, "completed" still needs a version read back:
    // a device that cannot tell it may have died installing.
    QTest::newRow("version unreadable, none expected")
        << QJsonArray{ok, QJsonObject{{"install_ms", 0}, {"modules", QJsonArray{}}}} << ""
        << "" << QStringList{"1 0 completed, but the version could not be read back"} << "end 1 2 ZR410-A01"
        << QStringList{"main+fpga", "main"};
    // "Completed" is not taken on trust: the fpga module reads back F1.0.9.
    QTest::newRow("version read back") << QJsonArray{ok, ok} << ""
                                       << "V3.1.4"
                                       << QStringList{"0 1 version F1.0.9 read back, expected V3.1.4",
                                                      "1 1 version F1.0.9 read back, expected V3.1.4"}
                                       << "end 0 2 " << QStringList{"main+fpga", "main+fpga"};
}

void TestBatchUpgrade::passRules()
{
    QFETCH(QJsonArray, knobs);
    QFETCH(QString, setup);
    QFETCH(QString, version);
    QFETCH(QStringList, fails);
    QFETCH(QString, end);
    QFETCH(QStringList, received);
    CBatchRig r(kScale, knobs);
    QVERIFY(r.bStarted);
    QList<T_BaseDevInfo> devices;
    for (int i = 0; i < knobs.size(); ++i) {
        devices << r.Dev(i);
        if (!setup.contains(QStringLiteral("unknown%1").arg(i)))
            r.agent.AddDevice(r.Dev(i));
    }
    if (setup.contains(QLatin1String("busy1")))
        QCOMPARE(r.agent.GetSysInfo(r.hosts.at(1)), CMD_OK);
    if (version != QLatin1String("-"))
        r.pEngine->SetVersionCheck(true, version);
    QVERIFY(r.pEngine->SetDevices(devices));
    QVERIFY(r.pEngine->SetModules(r.Modules()));
    QCOMPARE(r.pEngine->Start(), CBatchUpgrade::START_OK);
    QVERIFY(r.pEngine->IsRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!r.pEngine, 60000);
    QVERIFY(!r.bRunningAtEnd);
    const QString strLog = r.notes.join('\n');
    QCOMPARE(r.notes.last(), end);

    const QStringList lstFails = r.Lines("fail");
    QCOMPARE(lstFails.size(), fails.size());
    for (const QString &strFail : fails) {
        const QString strHost = r.hosts.at(strFail.section(' ', 0, 0).toInt());
        const QString strModule = strFail.section(' ', 1, 1);
        const QString strReason = strFail.section(' ', 2);
        const bool bFound = std::any_of(lstFails.begin(), lstFails.end(), [&](const QString &s) {
            return s.startsWith("fail " + strHost + ' ' + strModule + ' ') && s.section(" | ", 1).contains(strReason);
        });
        QVERIFY2(bFound, qPrintable(strFail + " in\n" + strLog));
    }
    QVERIFY2(r.Lines("late").isEmpty(), qPrintable(strLog));
    for (int i = 0; i < knobs.size(); ++i)
        QCOMPARE(r.Received(r.hosts.at(i)).join('+'), received.at(i));
    // Every image a device stored is the file it was given, byte for byte.
    const QList<QJsonObject> images = r.sim.Events(QStringLiteral("image"));
    QVERIFY(!images.isEmpty() || end.startsWith("end 0 "));
    for (const QJsonObject &ev : images)
        QCOMPARE(ev.value("sha256").toString().toLatin1(), r.images.value(ev.value("name").toString()));

    // The batch ended: nothing of it goes on (no more polls), every session is free again.
    // One and a half installation poll periods.
    QVERIFY_QUIET([&] { return r.sim.Count(QStringLiteral("vaza_upgrade")); }, 10000 * 3 / 2);
    for (const QString &strHost : r.hosts)
        QCOMPARE(r.agent.AbortCmd(strHost), int(CUR_NONE));
}

// Catches a batch that starts with nothing to send, and a check order other than "file first".
void TestBatchUpgrade::startRefusesWithoutFileOrDevices()
{
    CMaintainAgent agent;
    CBatchUpgrade engine(&agent, nullptr);
    QSignalSpy started(&engine, &CBatchUpgrade::signalModuleStarted);
    T_BaseDevInfo st;
    st.strHostName = QStringLiteral("ZR410-X1");
    st.strAddr = QStringLiteral("127.0.0.1");
    QCOMPARE(engine.Start(), CBatchUpgrade::START_NO_FILE);
    engine.SetModules({{"main", "Main", QString()}, {"fpga", "FPGA", "/tmp/fpga.bin"}});
    QCOMPARE(engine.Start(), CBatchUpgrade::START_NO_DEVICES);
    engine.SetModules({{"main", "Main", QString()}});
    engine.SetDevices({st});
    QCOMPARE(engine.Start(), CBatchUpgrade::START_NO_FILE);
    // An empty image is never sent, whichever module holds it.
    QTemporaryFile empty;
    QVERIFY(empty.open());
    engine.SetModules({{"main", "Main", "/tmp/main.bin"}, {"fpga", "FPGA", empty.fileName()}});
    QCOMPARE(engine.Start(), CBatchUpgrade::START_EMPTY_FILE);
    QCOMPARE(engine.EmptyFile(), empty.fileName());
    QVERIFY(!engine.IsRunning());
    QCOMPARE(started.count(), 0);
}

// A device that takes the request but never reports (its FTP server never greets): the
// batch ends after the first-report watchdog, the session is freed, nothing is summarised.
void TestBatchUpgrade::firstReportWatchdogEndsBatch()
{
    CBatchRig r(kScale, QJsonArray{QJsonObject{{"ftp_delay_ms", 100000}}});
    QVERIFY(r.bStarted);
    r.agent.AddDevice(r.Dev(0));
    r.pEngine->SetDevices({r.Dev(0)});
    r.pEngine->SetModules(r.Modules());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(r.pEngine->Start(), CBatchUpgrade::START_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!r.pEngine, 10000);
    // The scaled 30000 ms (a coarse timer may fire a little early); the session's own
    // 7000 ms did not fire, the device answered.
    QVERIFY2(clock.elapsed() >= CBatchUpgrade::REPLY_TIMEOUT_MS * kScale * 0.9,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(r.notes, (QStringList{"start 0", "fail ZR410-A01 0  | no report, time out", "reply time out"}));
    QVERIFY(!r.bRunningAtEnd);
    QCOMPARE(r.agent.AbortCmd(r.hosts.at(0)), int(CUR_NONE));
    QCOMPARE(r.sim.Count(QStringLiteral("image")), 0);
}

// Catches a batch routed by anything but its first host name, a web-server device that keeps
// its result file holding the batch for ever, and an image altered on its way.
void TestBatchUpgrade::httpBatchRoutedByFirstHost()
{
    CBatchRig r(kScale,
                QJsonArray{QJsonObject{{"http_result_polls", 4}}, QJsonObject{{"http_result_stuck", true}},
                           QJsonObject{{"http_upload_status", 500}}, QJsonObject{}},
                {"NXT800", "NXT800", "NXT800", "ZR410"});
    QVERIFY(r.bStarted);
    QList<T_BaseDevInfo> devices;
    for (int i = 0; i < 4; ++i) {
        devices << r.Dev(i);
        // The Vaza agent knows them all: only the routing keeps the web-server models from it.
        r.agent.AddDevice(r.Dev(i));
        if (i < 3)
            QVERIFY(r.httpAgent.AddDevice(r.Dev(i)) > 0);
    }
    r.pEngine->SetVersionCheck(true, QStringLiteral("V4.5.6"));
    r.pEngine->SetDevices(devices);
    r.pEngine->SetModules({{"main", "Main", r.Image("nx.bin", 50000)}});
    QCOMPARE(r.pEngine->Start(), CBatchUpgrade::START_OK);
    QVERIFY(r.pEngine->IsHttpBatch());
    QTRY_VERIFY_WITH_TIMEOUT(!r.pEngine, 60000);
    const QString strLog = r.notes.join('\n');
    QVERIFY2(r.notes.last() == QStringLiteral("end 1 4 NXT800-A01"), qPrintable(strLog));
    QVERIFY2(r.notes.contains("ver NXT800-A01 0 V4.5.6"), qPrintable(strLog));
    const QStringList lstFails = r.Lines("fail");
    QCOMPARE(lstFails.size(), 3);
    QVERIFY2(lstFails.filter(QRegularExpression("^fail NXT800-B02 0 .*\\| time out")).size() == 1, qPrintable(strLog));
    QVERIFY2(lstFails.filter(QRegularExpression("^fail NXT800-C03 0 .*\\|.*500")).size() == 1, qPrintable(strLog));
    QVERIFY2(lstFails.contains("fail ZR410-D04 0 start | device not registered for HTTP upgrade"), qPrintable(strLog));

    const QList<QJsonObject> uploads = r.sim.Events(QStringLiteral("http_upload"));
    QCOMPARE(uploads.size(), 3);
    for (const QJsonObject &ev : uploads) {
        QVERIFY(ev.value("exact").toBool());
        QCOMPARE(ev.value("sha256").toString().toLatin1(), r.images.value("/nx.bin"));
    }
    QCOMPARE(r.sim.Count(QStringLiteral("vaza_connect")), 0);
    // The stuck device is no longer polled once the batch gave up on it.
    // Several HTTP poll periods.
    QVERIFY_QUIET([&] { return r.sim.Count(QStringLiteral("http_request")); }, 1000 * 5);
}

// The owner removes one device while it uploads and its agent drops another's session: no
// crash, no report counted for either, and the batch still reaches its summary.
void TestBatchUpgrade::deviceAndSessionGoneMidBatch()
{
    const QJsonObject slow{{"install_ms", 0}, {"ftp_delay_ms", 20}};
    CBatchRig r(kScale, QJsonArray{slow, slow, slow});
    QVERIFY(r.bStarted);
    QList<T_BaseDevInfo> devices;
    for (int i = 0; i < 3; ++i) {
        devices << r.Dev(i);
        r.agent.AddDevice(r.Dev(i));
    }
    bool bRemoved = false;
    bool bDropped = false;
    connect(r.pEngine, &CBatchUpgrade::signalDeviceProgress, this, [&](T_BaseDevInfo st) {
        if (st.strHostName == r.hosts.at(1) && !bRemoved) {
            bRemoved = true;
            r.agent.RemoveDevice(st.strHostName);
            r.pEngine->RemoveDevice(st.strHostName);
        } else if (st.strHostName == r.hosts.at(2) && !bDropped) {
            bDropped = true;
            r.agent.RemoveSession(st.strHostName);
        }
    });
    r.pEngine->SetDevices(devices);
    r.pEngine->SetModules(r.Modules());
    QCOMPARE(r.pEngine->Start(), CBatchUpgrade::START_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!r.pEngine, 60000);
    const QString strLog = r.notes.join('\n');
    QVERIFY(bRemoved && bDropped);
    // The removed device is no longer one of the batch's; the failed one still counts.
    QVERIFY2(r.notes.last() == QStringLiteral("end 1 2 ZR410-A01"), qPrintable(strLog));
    QCOMPARE(r.Lines("fail").size(), 1);
    QVERIFY2(r.Lines("fail").at(0).startsWith("fail ZR410-C03 0") && r.Lines("fail").at(0).contains("| time out"),
             qPrintable(strLog));
    QCOMPARE(r.Received(r.hosts.at(0)).join('+'), QStringLiteral("main+fpga"));
    QCOMPARE(r.Received(r.hosts.at(1)).join('+'), QStringLiteral("main"));
}

// An installation that takes longer than the module limit but keeps reporting progress is
// healthy: a limit counted from the module's start fails it. The endless installation of
// passRules, whose percentage never moves, still fails.
void TestBatchUpgrade::moduleLimitCountsSilenceOnly()
{
    // The limit becomes 8.4 s; the device installs for 12 s, its percentage moving at every poll.
    CBatchRig r(0.02, QJsonArray{QJsonObject{{"install_ms", 12000}}});
    QVERIFY(r.bStarted);
    r.agent.AddDevice(r.Dev(0));
    r.pEngine->SetDevices({r.Dev(0)});
    r.pEngine->SetModules({{"main", "Main", r.Image("main.bin", 20000)}});
    QCOMPARE(r.pEngine->Start(), CBatchUpgrade::START_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!r.pEngine, 30000);
    QVERIFY2(r.notes.last() == QStringLiteral("end 1 1 ZR410-A01"), qPrintable(r.notes.join('\n')));
}

// The version read before a --skip-current batch, on both channels at once. Catches a module
// asked of the wrong device, a web-server model not asked through its version page, a silent
// device that holds the read for ever or counts as current, and a read still listening after its end.
void TestBatchUpgrade::skipCurrentReadsPlannedModules()
{
    CBatchRig r(kScale, QJsonArray{QJsonObject{}, QJsonObject{}, QJsonObject{{"vaza_silent", "query"}}, QJsonObject{}},
                {"ZR410", "ZR410", "ZR410", "NXT800"});
    QVERIFY(r.bStarted);
    QList<T_BaseDevInfo> devices;
    for (int i = 0; i < 4; ++i)
        devices << r.Dev(i);
    for (int i = 0; i < 3; ++i)
        r.agent.AddDevice(r.Dev(i));
    QVERIFY(r.httpAgent.AddDevice(r.Dev(3)) > 0);
    const QMap<QString, QStringList> mapPlan{{r.hosts.at(0), {"main"}},
                                             {r.hosts.at(1), {"main", "fpga"}},
                                             {r.hosts.at(2), {"main"}},
                                             {r.hosts.at(3), {"main"}}};
    CSkipCurrent skip(&r.agent, &r.httpAgent);
    QSignalSpy finished(&skip, &CSkipCurrent::signalFinished);
    QElapsedTimer clock;
    clock.start();
    skip.Start(devices, mapPlan, {{"main", "V3.1.4"}, {"fpga", "F1.0.0"}});
    QVERIFY(finished.wait(10000));
    QVERIFY2(clock.elapsed() >= CSkipCurrent::VERSION_TIMEOUT_MS * kScale * 0.9,
             qPrintable(QString::number(clock.elapsed())));
    // The silent device is absent; every other answer is filed under the device asked.
    const QMap<QString, QMap<QString, QString>> mapRead = skip.Versions();
    QCOMPARE(mapRead.keys(), (QStringList{r.hosts.at(3), r.hosts.at(0), r.hosts.at(1)}));
    QCOMPARE(mapRead.value(r.hosts.at(0)), (QMap<QString, QString>{{"main", "V3.1.4"}}));
    QCOMPARE(mapRead.value(r.hosts.at(3)), (QMap<QString, QString>{{"main", "V4.5.6"}}));
    QCOMPARE(mapRead.value(r.hosts.at(1)).value("fpga"), QStringLiteral("F1.0.9"));
    // A query sent while the session still connects replaces the one waiting before it: a
    // device asked for two modules at once would answer only for the last one.
    QCOMPARE(mapRead.value(r.hosts.at(1)).value("main"), QStringLiteral("V3.1.4"));
    // Device 1's main is current, its fpga is behind: only the fpga is left to send.
    QCOMPARE(skip.Skipped(), (QMap<QString, QStringList>{{r.hosts.at(0), {"main"}}, {r.hosts.at(1), {"main"}}}));
    // A late answer finds the ended read no longer listening.
    CBaseMaintainSession *pSession = r.agent.GetSession(r.hosts.at(0));
    QSignalSpy answered(pSession, &CBaseMaintainSession::OnVersionQueryNotify);
    pSession->QueryVersion("fpga", 0);
    QVERIFY(answered.wait(5000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(skip.Versions(), mapRead);
}

QTEST_MAIN(TestBatchUpgrade)
#include "tst_batchupgrade.moc"
