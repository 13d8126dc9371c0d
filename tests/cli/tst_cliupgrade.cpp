// velmora-cli upgrade, the real binary, against a fleet of its own in the namespace runner:
// its JSON result, exit codes, --retry-failed, and input errors caught before any request.
#include "netnsfleet.h"
#include "programrun.h"
#include "testimage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace
{

const QString s_strCli = QStringLiteral(VELMORA_BIN_DIR "/velmora-cli");

struct T_Run : T_ProgramRun {
    explicit T_Run(const T_ProgramRun &st = T_ProgramRun()) : T_ProgramRun(st) {}
    QJsonObject Json() const { return QJsonDocument::fromJson(baOut).object(); }
    // "host module ok step | reason | version" per result.
    QStringList Results() const
    {
        QStringList out;
        for (const QJsonValue &v : Json().value("results").toArray()) {
            const QJsonObject o = v.toObject();
            out << QStringLiteral("%1 %2 %3 %4 | %5 | %6")
                       .arg(o.value("host").toString(), o.value("module").toString(),
                            o.value("ok").toBool() ? "ok" : "failed", o.value("step").toString(),
                            o.value("reason").toString(), o.value("version").toString());
        }
        return out;
    }
};

// Product timers at a quarter (a search is 0.5 s, an installation poll 2.5 s).
T_Run RunCli(const QStringList &args, const QString &strProgram = s_strCli)
{
    return T_Run(RunProgram(strProgram, args, 120000, QStringLiteral("0.25")));
}

// The same, started in the background for a test that interrupts it.
void StartCli(QProcess &cli, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELMORA_TIME_SCALE", "0.25");
    cli.setProcessEnvironment(env);
    cli.start(s_strCli, args);
}

T_Run Finished(QProcess &cli)
{
    T_ProgramRun st;
    st.iExit = cli.exitCode();
    st.baOut = cli.readAllStandardOutput();
    st.baErr = cli.readAllStandardError();
    return T_Run(st);
}

QJsonObject Device(const char *pszHost, const char *pszAddr, const QJsonObject &knobs)
{
    const bool bHttp = QByteArray(pszHost).startsWith("NXT800");
    auto module = [](const char *pszId, const char *pszVersion) {
        return QJsonObject{{"addr", pszId}, {"port", 0}, {"version", pszVersion}};
    };
    return QJsonObject{{"hostname", pszHost},
                       {"addr", pszAddr},
                       {"kind", "tx"},
                       {"version", bHttp ? "2.1.4" : "V3.1.4"},
                       {"channel", bHttp ? "http" : "vaza"},
                       {"modules", QJsonArray{module("main", "V3.1.4"), module("fpga", "F1.0.9")}},
                       {"knobs", knobs}};
}

// Three ZR410 (the second's FTP service refuses every image unless told otherwise), a web-server
// device whose suffix holds a "-" of its own, and two boxes of another type sharing a host name.
QJsonArray Fleet(bool bSecondFails)
{
    const QJsonObject quick{{"install_ms", 0}, {"http_result_polls", 4}};
    QJsonObject failing = quick;
    if (bSecondFails)
        failing.insert("ftp_fail", QJsonObject{{"STOR", 553}});
    return QJsonArray{Device("ZR410-U10001", "10.213.0.20", quick), Device("ZR410-U10002", "10.213.0.21", failing),
                      Device("ZR410-U10003", "10.213.0.22", quick), Device("NXT800-U1-0004", "10.213.0.23", quick),
                      Device("ZR420-U10005", "10.213.0.24", quick), Device("ZR420-U10005", "10.213.0.25", quick)};
}

} // namespace

class TestCliUpgrade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void resultAndRetryFailed();
    void documentWhenNothingIsSent();
    void interruptWritesResultForRetry();
    void firstInterruptStartsNoNewDevice();
    void versionReadBack_data();
    void versionReadBack();

private:
    // Requests that reached a device's maintenance services (discovery does not count).
    int DeviceRequests() const
    {
        int i = 0;
        for (const QJsonObject &ev : m_fleet.Records()) {
            const QString strType = ev.value("type").toString();
            i += strType.startsWith("vaza") || strType.startsWith("ftp") || strType.startsWith("http") ? 1 : 0;
        }
        return i;
    }
    bool StartFleet(const QJsonArray &devices, const QStringList &lstServices = {"discovery", "vaza", "ftp", "http"})
    {
        QString strError;
        const bool bOk = m_fleet.Start(devices, lstServices, &strError);
        if (!bOk)
            qWarning("devsim: %s", qPrintable(strError));
        return bOk;
    }
    // A run's document kept as a file for --retry-failed.
    QString Save(const QString &strName, const QByteArray &ba)
    {
        QFile file(m_dir.filePath(strName));
        return file.open(QIODevice::WriteOnly) && file.write(ba) == ba.size() ? file.fileName() : QString();
    }
    // "host module" of every image announced to a device (step 101), in order.
    QStringList Sent() const
    {
        QStringList lst;
        for (const QJsonObject &ev : m_fleet.Records("vaza_upgrade"))
            if (ev.value("step").toInt() == 101)
                lst << ev.value("device").toString() + ' ' + ev.value("module").toString();
        return lst;
    }
    QString Image(const QString &strName, int iSize)
    {
        const QString strPath = m_dir.filePath(strName);
        m_hashSha.insert(strPath, WriteImage(strPath, RandomBytes(iSize, static_cast<quint32>(iSize))));
        return m_hashSha.value(strPath).isEmpty() ? QString() : strPath;
    }

    NetnsFleet m_fleet;
    QTemporaryDir m_dir;
    QHash<QString, QByteArray> m_hashSha;
    QString m_strMain;
    QString m_strFpga;
};

void TestCliUpgrade::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
    m_strMain = Image("main.bin", 120001);
    m_strFpga = Image("fpga.bin", 40000);
    QVERIFY(StartFleet(Fleet(true)));
}

void TestCliUpgrade::badInputSendsNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("error");
    const QString strMain = "main=" + m_strMain;
    const QString strBroken = Save("broken.json", "{\"results\": [");
    // Each would otherwise start an upgrade with the wrong modules, files or devices, or none.
    QTest::newRow("unknown type") << QStringList{"--type", "ZR999", "--module", strMain} << 2
                                  << "unknown device type 'ZR999': not a model or product name in config.xml (models: "
                                     "NXR800, NXT800, ZR110, ZR120, ZR410, ZR420, ZR420L, ZR430)";
    QTest::newRow("unknown module") << QStringList{"--type", "ZR410 Encoder", "--module", "kernel=" + m_strMain} << 2
                                    << "unknown module 'kernel' for type ZR410 (upgrade.conf has: main, fpga)";
    QTest::newRow("missing file") << QStringList{"--type", "ZR410", "--module", "main=" + m_dir.filePath("none.bin")}
                                  << 2
                                  << "module main: cannot read image '" + m_dir.filePath("none.bin") +
                                         "': no such file";
    QTest::newRow("directory") << QStringList{"--type", "ZR410", "--module", "fpga=" + m_dir.path()} << 2
                               << "module fpga: cannot read image '" + m_dir.path() + "': not a file";
    const QString strEmpty = Save("empty.bin", "");
    QTest::newRow("empty image") << QStringList{"--type", "ZR410", "--module", "main=" + strEmpty} << 2
                                 << "module main: cannot read image '" + strEmpty + "': the image is empty";
    QTest::newRow("no module") << QStringList{"--type", "ZR410"} << 2 << "no image given";
    // Given twice, or empty from an unset shell variable: a script's mistake, never resolved silently.
    QTest::newRow("module twice") << QStringList{"--type", "ZR410", "--module", strMain, "--module", strMain} << 2
                                  << "module 'main' given more than once";
    QTest::newRow("type twice") << QStringList{"--type", "ZR410", "--type", "ZR420", "--module", strMain} << 2
                                << "--type given more than once";
    QTest::newRow("empty hosts") << QStringList{"--type", "ZR410", "--module", strMain, "--hosts", ""} << 2
                                 << "--hosts names no device";
    QTest::newRow("no =") << QStringList{"--type", "ZR410", "--module", m_strMain} << 2 << "--module takes ID=FILE";
    QTest::newRow("no type") << QStringList{"--module", strMain} << 2 << "--type is required";
    QTest::newRow("bad result") << QStringList{"--retry-failed", strBroken} << 2 << "'" + strBroken + "' is no result";
    QTest::newRow("skip without version") << QStringList{"--type", "ZR410", "--module", strMain, "--skip-current"} << 2
                                          << "--skip-current needs --version";
    // A version for main only would skip or check fpga against the wrong one.
    QTest::newRow("skip without a module's version")
        << QStringList{"--type",    "ZR410",   "--module",      strMain, "--module", "fpga=" + m_strFpga,
                       "--version", "main=V1", "--skip-current"}
        << 2 << "--skip-current: no --version for module 'fpga'";
    QTest::newRow("module version twice")
        << QStringList{"--type", "ZR410", "--module", strMain, "--version", "main=V1", "--version", "main=V2"} << 2
        << "--version for module 'main' given more than once";
    // After the search, still before any request to a device.
    QTest::newRow("host not found") << QStringList{"--type", "ZR410",   "--module",
                                                   strMain,  "--hosts", "ZR410-U10001,ZR410-NOSUCH"}
                                    << 1 << "ZR410-NOSUCH: search: not found";
    QTest::newRow("host of another type")
        << QStringList{"--type", "ZR410", "--module", strMain, "--hosts", "10.213.0.24"} << 2
        << "10.213.0.24 is a ZR420, not a ZR410";
    // Fault: one of the two was upgraded without a word, whichever answered first.
    const QString strShared = "ZR420-U10005: search: 2 devices answer to this host name, at 10.213.0.24, "
                              "10.213.0.25: name one by its address (--hosts ADDRESS)";
    QTest::newRow("host name of two boxes") << QStringList{"--type", "ZR420", "--module", strMain} << 1 << strShared;
    QTest::newRow("host name of two boxes, named")
        << QStringList{"--type", "ZR420", "--module", strMain, "--hosts", "ZR420-U10005"} << 1 << strShared;
    QTest::newRow("both boxes by address in one run")
        << QStringList{"--type", "ZR420", "--module", strMain, "--hosts", "10.213.0.24,10.213.0.25"} << 1 << strShared;
}

void TestCliUpgrade::badInputSendsNothing()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, error);
    const int iBefore = DeviceRequests();
    const T_Run stRun = RunCli(QStringList{"upgrade"} + args);
    QCOMPARE(stRun.iExit, exit);
    QVERIFY2(stRun.baErr.contains(error.toUtf8()), stRun.baErr.constData());
    QVERIFY(stRun.baOut.isEmpty());
    QCOMPARE(DeviceRequests(), iBefore);
}

// Catches a failed device reported as success, later modules sent to it, a result that is not
// what happened, and a retry that upgrades anything but what failed.
void TestCliUpgrade::resultAndRetryFailed()
{
    const QStringList args{"upgrade",           "--type",   "ZR410 Encoder",     "--module",
                           "main=" + m_strMain, "--module", "fpga=" + m_strFpga, "--json"};
    const T_Run stFirst = RunCli(args);
    QCOMPARE(stFirst.iExit, 1);
    const QStringList lstFirst = stFirst.Results();
    QCOMPARE(lstFirst,
             (QStringList{
                 "ZR410-U10001 main ok Upgrade completed |  | V3.1.4",
                 "ZR410-U10001 fpga ok Upgrade completed |  | F1.0.9",
                 "ZR410-U10002 main failed Installing... | Uploading file failed: Simulated failure of STOR. | ",
                 "ZR410-U10002 fpga failed  | not upgraded: an earlier module failed | ",
                 "ZR410-U10003 main ok Upgrade completed |  | V3.1.4",
                 "ZR410-U10003 fpga ok Upgrade completed |  | F1.0.9",
             }));
    const QJsonObject first = stFirst.Json();
    QCOMPARE(first.value("succeeded").toInt(), 2);
    // Over the whole batch: the device that failed the first module is one of the three.
    QCOMPARE(first.value("total").toInt(), 3);
    QCOMPARE(first.value("results").toArray().at(0).toObject().value("address").toString(), "10.213.0.20");
    QVERIFY2(stFirst.baErr.contains("ZR410-U10002: main: Installing...: Uploading file failed"),
             stFirst.baErr.constData());
    // Every image the devices stored is the file given, byte for byte.
    const QList<QJsonObject> images = m_fleet.Records("image");
    QCOMPARE(images.size(), 4);
    for (const QJsonObject &ev : images)
        QCOMPARE(ev.value("sha256").toString().toLatin1(),
                 m_hashSha.value(ev.value("name").toString() == "/main.bin" ? m_strMain : m_strFpga));

    // The device works again; the retry takes type, version and files from the result.
    QVERIFY(StartFleet(Fleet(false)));
    // Named by --hosts as well: the two filters narrow each other, they never cancel out.
    const T_Run stRetry =
        RunCli({"upgrade", "--retry-failed", Save("result.json", stFirst.baOut), "--hosts", "ZR410-U10002"});
    QCOMPARE(stRetry.iExit, 0);
    QVERIFY2(stRetry.baOut.endsWith("succeeded: 1, total: 1.\n"), stRetry.baOut.constData());
    QCOMPARE(Sent(), (QStringList{"ZR410-U10002 main", "ZR410-U10002 fpga"}));
}

void TestCliUpgrade::versionReadBack_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<int>("upgrades");
    const QString strMain = "main=" + m_strMain;
    // A device that completes but reads back another version did not take the image.
    QTest::newRow("mismatch") << QStringList{"--hosts", "ZR410-U10001", "--module", strMain, "--version", "V9"} << 1
                              << QStringList{"ZR410-U10001 main failed version | version V3.1.4 read back, expected "
                                             "V9 | V3.1.4"}
                              << 1;
    QTest::newRow("skip current") << QStringList{"--hosts",   "10.213.0.22", "--module",      strMain,
                                                 "--version", "V3.1.4",      "--skip-current"}
                                  << 0 << QStringList{"ZR410-U10003 main ok skipped | already at V3.1.4 | V3.1.4"} << 0;
    // Modules carry versions of their own; one --version for both would fail or skip the wrong one.
    const QStringList lstBoth{"--module", strMain, "--module", "fpga=" + m_strFpga, "--version", "V3.1.4"};
    QTest::newRow("version per module") << QStringList{"--hosts", "ZR410-U10001", "--version", "fpga=F1.0.9"} + lstBoth
                                        << 0
                                        << QStringList{"ZR410-U10001 main ok Upgrade completed |  | V3.1.4",
                                                       "ZR410-U10001 fpga ok Upgrade completed |  | F1.0.9"}
                                        << 2;
    QTest::newRow("skip current per module")
        << QStringList{"--hosts", "ZR410-U10003", "--version", "fpga=F2.0.0", "--skip-current"} + lstBoth << 1
        << QStringList{"ZR410-U10003 main ok skipped | already at V3.1.4 | V3.1.4",
                       "ZR410-U10003 fpga failed version | version F1.0.9 read back, expected F2.0.0 | F1.0.9"}
        << 1;
    QTest::newRow("skip current every module")
        << QStringList{"--hosts", "ZR410-U10003", "--version", "fpga=F1.0.9", "--skip-current"} + lstBoth << 0
        << QStringList{"ZR410-U10003 main ok skipped | already at V3.1.4 | V3.1.4",
                       "ZR410-U10003 fpga ok skipped | already at F1.0.9 | F1.0.9"}
        << 0;
    QTest::newRow("web-server model") << QStringList{"--type",    "NXT800 Transmitter",
                                                     "--module",  "firmware=" + m_strMain,
                                                     "--version", "2.1.4"}
                                      << 0 << QStringList{"NXT800-U1-0004 firmware ok Upgrade completed |  | 2.1.4"}
                                      << 1;
    // One of two boxes sharing a host name, picked by its address.
    QTest::newRow("shared host name, by address")
        << QStringList{"--type", "ZR420", "--hosts", "10.213.0.25", "--module", strMain, "--version", "V3.1.4"} << 0
        << QStringList{"ZR420-U10005 main ok Upgrade completed |  | V3.1.4"} << 1;
}

// Catches "completed" taken on trust, a skipped device still upgraded, and the web-server
// models not routed to their own channel by the console program, nor found as their type
// when the suffix of the host name holds a "-".
void TestCliUpgrade::versionReadBack()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QStringList, results);
    QFETCH(int, upgrades);
    if (!args.contains("--type"))
        args << "--type"
             << "ZR410";
    QVERIFY(StartFleet(Fleet(false)));
    const T_Run stRun = RunCli(QStringList{"upgrade", "--json"} + args);
    QCOMPARE(stRun.iExit, exit);
    QCOMPARE(stRun.Results(), results);
    QCOMPARE(m_fleet.Records("image").size() + m_fleet.Records("http_upload").size(), upgrades);
    for (const QJsonObject &ev : m_fleet.Records("http_upload"))
        QCOMPARE(ev.value("sha256").toString().toLatin1(), m_hashSha.value(m_strMain));
}

// "result.json || --retry-failed result.json" needs a document even when nothing could start,
// and a retry of a clean run has nothing to do, which is no error.
void TestCliUpgrade::documentWhenNothingIsSent()
{
    const int iBefore = DeviceRequests();
    const T_Run stMissing =
        RunCli({"upgrade", "--type", "ZR410", "--module", "main=" + m_strMain, "--hosts", "ZR410-NOSUCH", "--json"});
    QCOMPARE(stMissing.iExit, 1);
    QCOMPARE(stMissing.Json().value("error").toString(), QString("not found: ZR410-NOSUCH"));
    QVERIFY(stMissing.Json().value("results").toArray().isEmpty());
    QCOMPARE(DeviceRequests(), iBefore);

    const QJsonObject clean{
        {"type", "ZR410"},
        {"version", ""},
        {"results",
         QJsonArray{QJsonObject{{"host", "ZR410-U10001"}, {"module", "main"}, {"ok", true}, {"file", m_strMain}}}}};
    const T_Run stRetry = RunCli({"upgrade", "--retry-failed", Save("clean.json", QJsonDocument(clean).toJson())});
    QCOMPARE(stRetry.iExit, 0);
    QVERIFY2(stRetry.baOut.startsWith("nothing to retry"), stRetry.baOut.constData());
    QCOMPARE(DeviceRequests(), iBefore);
}

// Ctrl-C in the middle of an installation: the devices still working are stopped, the run
// says so and still writes its document (with each device's step at that moment), exits 130,
// and a retry of that document sends exactly what was not done.
void TestCliUpgrade::interruptWritesResultForRetry()
{
    QVERIFY(StartFleet({Device("ZR410-U10001", "10.213.0.20", {{"install_ms", 600000}}),
                        Device("ZR410-U10003", "10.213.0.22", {{"install_ms", 0}})},
                       {"discovery", "vaza", "ftp"}));
    QProcess cli;
    // Each module with its own version: the retry must check each against its own again.
    StartCli(cli, {"upgrade", "--type", "ZR410", "--module", "main=" + m_strMain, "--module", "fpga=" + m_strFpga,
                   "--version", "V3.1.4", "--version", "fpga=F1.0.9", "--json"});
    QVERIFY(cli.waitForStarted());
    // The slow device holds its main image and is installing; the quick one has read its
    // version back.
    auto queried = [&] {
        for (const QJsonObject &ev : m_fleet.Records("vaza_query"))
            if (ev.value("device").toString() == "ZR410-U10003")
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(queried(), 30000);
    QTest::qWait(500);
    // The first only stops new devices from starting; the second stops those still working.
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    QTest::qWait(300);
    QVERIFY(cli.state() == QProcess::Running);
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    const T_Run stRun = Finished(cli);
    QCOMPARE(stRun.iExit, 130);
    QVERIFY2(stRun.baErr.contains("interrupted"), stRun.baErr.constData());
    QCOMPARE(stRun.Json().value("interrupted").toBool(), true);
    QCOMPARE(stRun.Results(), (QStringList{
                                  "ZR410-U10001 main failed Installing... | interrupted | ",
                                  "ZR410-U10001 fpga failed  | not upgraded: interrupted | ",
                                  "ZR410-U10003 main ok Upgrade completed |  | V3.1.4",
                                  "ZR410-U10003 fpga failed  | not upgraded: interrupted | ",
                              }));
    QCOMPARE(stRun.Json().value("total").toInt(), 2);
    QCOMPARE(stRun.Json().value("succeeded").toInt(), 0);

    QVERIFY(StartFleet({Device("ZR410-U10001", "10.213.0.20", {{"install_ms", 0}}),
                        Device("ZR410-U10003", "10.213.0.22", {{"install_ms", 0}})},
                       {"discovery", "vaza", "ftp"}));
    const T_Run stRetry = RunCli({"upgrade", "--retry-failed", Save("interrupted.json", stRun.baOut)});
    QCOMPARE(stRetry.iExit, 0);
    QStringList lstSent = Sent();
    lstSent.sort();
    QCOMPARE(lstSent, (QStringList{"ZR410-U10001 fpga", "ZR410-U10001 main", "ZR410-U10003 fpga"}));
}

// Rollouts at scale: the first Ctrl-C lets the working device finish and starts nobody else;
// those never started are in the result, and a retry of it upgrades exactly them. Catches a
// stop that cuts the working device short, queued devices started anyway or left out of the
// result, and a stopped run reported as a clean one.
void TestCliUpgrade::firstInterruptStartsNoNewDevice()
{
    QJsonArray fleet;
    for (const char *psz : {"ZR410-U10001", "ZR410-U10002", "ZR410-U10003"})
        fleet.append(Device(psz, QByteArray("10.213.0.2").append(psz[11]).constData(), {{"install_ms", 4000}}));
    QVERIFY(StartFleet(fleet, {"discovery", "vaza", "ftp"}));
    QProcess cli;
    StartCli(cli, {"upgrade", "--type", "ZR410", "--module", "main=" + m_strMain, "--max-parallel", "1", "--version",
                   "V3.1.4", "--json"});
    QVERIFY(cli.waitForStarted());
    // One device holds the image and installs; the others wait for its place.
    QTRY_VERIFY_WITH_TIMEOUT(!m_fleet.Records("image").isEmpty(), 30000);
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    QVERIFY(cli.waitForFinished(30000));
    const T_Run stRun = Finished(cli);
    QCOMPARE(stRun.iExit, 130);
    QCOMPARE(stRun.Json().value("interrupted").toBool(), true);
    QStringList lstOk, lstNot;
    for (const QString &s : stRun.Results())
        (s.contains(" main ok Upgrade completed ") ? lstOk : lstNot) << s;
    QCOMPARE(lstOk.size(), 1);
    QCOMPARE(lstNot.size(), 2);
    for (const QString &s : lstNot)
        QVERIFY2(s.contains(" main failed not started | stopped before it started | "), qPrintable(s));
    QCOMPARE(m_fleet.Records("image").size(), 1);

    const T_Run stRetry = RunCli({"upgrade", "--retry-failed", Save("stopped.json", stRun.baOut), "--json"});
    QCOMPARE(stRetry.iExit, 0);
    QCOMPARE(stRetry.Results().size(), 2);
    QCOMPARE(m_fleet.Records("image").size(), 3);
}

QTEST_GUILESS_MAIN(TestCliUpgrade)
#include "tst_cliupgrade.moc"
