// The real velmora-cli binary against a simulated fleet in the namespace runner: what it
// prints, what it writes and its exit codes (0 done, 1 a device failed or was not found,
// 2 usage or configuration error).
#include "appinfo/velmoraversion.h"
#include "netnsfleet.h"
#include "programrun.h"
#include "ptypair.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString s_strCli = QStringLiteral(VELMORA_BIN_DIR "/velmora-cli");

using T_Run = T_ProgramRun;

// Product timers at a quarter: a search is 0.5 s, the session's response time-out 1.75 s,
// the program's watchdog 7.5 s. The simulator keeps real time.
T_Run RunCli(const QStringList &args, const QString &strProgram = s_strCli)
{
    return RunProgram(strProgram, args, 60000, QStringLiteral("0.25"));
}

// A log long enough for several FTP chunks, with text that is not ASCII and control characters
// that a terminal would obey (clear the screen, ring, move the cursor).
QByteArray LogText()
{
    QByteArray ba;
    for (int i = 0; ba.size() < 150000; ++i)
        ba += QStringLiteral("Jan  1 00:00:%1 caméra[%2]: état %3\n").arg(i % 60).arg(i).arg(i * 7919 % 1000).toUtf8();
    return ba + "bad line\x1b[2J\x07 csi \xc2\x9b"
                "2J cr\rover\r\n";
}

// velmora-cli with its stdout on a terminal (a pseudo-terminal the test reads).
T_Run RunCliOnTerminal(const QStringList &args)
{
    PtyPair pty;
    T_Run stRun;
    if (!pty.IsOpen())
        return stRun;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_TIME_SCALE"), QStringLiteral("0.25"));
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(pty.SlavePath());
    process.start(s_strCli, args);
    QElapsedTimer timer;
    timer.start();
    while (!process.waitForFinished(10) && timer.elapsed() < 60000)
        QCoreApplication::processEvents();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return stRun;
    }
    QTest::qWait(50); // the last bytes through the terminal
    stRun.iExit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    stRun.baOut = pty.Take();
    stRun.baErr = process.readAllStandardError();
    return stRun;
}

QJsonObject Module(const char *pszAddr, const char *pszVersion)
{
    return QJsonObject{{"addr", pszAddr}, {"port", 0}, {"version", pszVersion}};
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void discover();
    void info_data();
    void info();
    void log_data();
    void log();
    void version_data();
    void version();
    void failures_data();
    void failures();
    void usage_data();
    void usage();
    void missingConfig();

private:
    NetnsFleet m_fleet;
    QTemporaryDir m_dir;
};

void TestCli::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
    const QString strLog = QString::fromUtf8(LogText());
    const QJsonArray devices{
        QJsonObject{{"hostname", "ZR420-C10001"},
                    {"addr", "10.213.0.10"},
                    {"kind", "rx"},
                    {"version", "V3.1.4"},
                    {"channel", "vaza"},
                    {"modules", QJsonArray{Module("main", "V3.1.4"), Module("fpga", "F1.0.9")}},
                    {"knobs", QJsonObject{{"log_text", strLog}}}},
        // Takes connections and log-ins but never answers a request.
        QJsonObject{{"hostname", "ZR410-C10002"},
                    {"addr", "10.213.0.11"},
                    {"channel", "vaza"},
                    {"modules", QJsonArray{Module("main", "V1")}},
                    {"knobs", QJsonObject{{"vaza_silent", QJsonArray{"sysinfo", "log", "query"}}}}},
        QJsonObject{{"hostname", "NXT800-C10003"},
                    {"addr", "10.213.0.12"},
                    {"channel", "http"},
                    {"version", "2.1.4"},
                    {"knobs", QJsonObject{{"http_build_time", "2026-01-15 10:20:30"}}}},
        // A model config.xml does not know: never listed, never reachable by name.
        QJsonObject{{"hostname", "ZR999-C10004"}, {"addr", "10.213.0.13"}, {"channel", "vaza"}},
        // Two boxes answering to one host name.
        QJsonObject{{"hostname", "ZR410-C1TWIN"}, {"addr", "10.213.0.15"}, {"channel", "vaza"}},
        QJsonObject{{"hostname", "ZR410-C1TWIN"}, {"addr", "10.213.0.16"}, {"channel", "vaza"}},
        // A host name that would clear the operator's terminal.
        QJsonObject{{"hostname", "ZR430-C1\x1b[2J"}, {"addr", "10.213.0.14"}, {"channel", "vaza"}},
    };
    QString strError;
    QVERIFY2(m_fleet.Start(devices, {"discovery", "vaza", "ftp", "http"}, &strError), qPrintable(strError));
}

void TestCli::discover()
{
    const T_Run stRun = RunCli({"discover", "--json"});
    QCOMPARE(stRun.iExit, 0);
    QJsonParseError stError;
    const QJsonDocument doc = QJsonDocument::fromJson(stRun.baOut, &stError);
    QVERIFY2(doc.isArray(), qPrintable(stError.errorString() + QLatin1Char(' ') + stRun.baOut));
    QMap<QString, QJsonObject> found;
    QStringList lstTwins;
    for (const QJsonValue &v : doc.array()) {
        found.insert(v.toObject().value("hostName").toString(), v.toObject());
        if (v.toObject().value("hostName").toString() == QLatin1String("ZR410-C1TWIN"))
            lstTwins << v.toObject().value("address").toString();
    }
    QCOMPARE(found.keys(),
             (QStringList{"NXT800-C10003", "ZR410-C10002", "ZR410-C1TWIN", "ZR420-C10001", "ZR430-C1\x1b[2J"}));
    // Fault: the second box sharing a host name was not listed.
    lstTwins.sort();
    QCOMPARE(lstTwins, (QStringList{"10.213.0.15", "10.213.0.16"}));
    QCOMPARE(found.value("ZR420-C10001"), (QJsonObject{{"hostName", "ZR420-C10001"},
                                                       {"displayName", "ZR420 Decoder-C10001"},
                                                       {"address", "10.213.0.10"},
                                                       {"kind", "rx"}}));
    QCOMPARE(found.value("NXT800-C10003").value("kind").toString(), QStringLiteral("tx"));

    // Two searches merged: still one line per device.
    const T_Run stText = RunCli({"discover", "--passes", "2"});
    QCOMPARE(stText.iExit, 0);
    const QList<QByteArray> lstLines = stText.baOut.trimmed().split('\n');
    QCOMPARE(lstLines.size(), 6);
    QVERIFY(!stText.baOut.contains('\x1b'));
    QVERIFY(stText.baOut.contains("ZR430-C1 [2J"));
    const QRegularExpression reRow(QStringLiteral("^ZR420-C10001 +ZR420 Decoder-C10001 +10\\.213\\.0\\.10 +rx$"),
                                   QRegularExpression::MultilineOption);
    QVERIFY2(reRow.match(QString::fromUtf8(stText.baOut)).hasMatch(), stText.baOut.constData());
}

void TestCli::info_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("lstLines");
    const QStringList lstVaza{
        "Device Info:", "  PID: ", "System Info:", "  Ethernet:", "      IP Address: 10.213.0.10"};
    QTest::newRow("by host name") << QStringList{"ZR420-C10001"} << lstVaza;
    QTest::newRow("by display name") << QStringList{"ZR420 Decoder-C10001"} << lstVaza;
    QTest::newRow("by address") << QStringList{"10.213.0.10"} << lstVaza;
    QTest::newRow("no search with --addr") << QStringList{"ZR420-C10001", "--addr", "10.213.0.10"} << lstVaza;
    QTest::newRow("one of two boxes sharing a host name")
        << QStringList{"ZR410-C1TWIN", "--addr", "10.213.0.16"}
        << QStringList{"Device Info:", "  PID: ", "System Info:", "  Ethernet:", "      IP Address: 10.213.0.16"};
    QTest::newRow("http version page") << QStringList{"NXT800-C10003", "--addr", "10.213.0.12"}
                                       << QStringList{"build time: 2026-01-15 10:20:30", "version: 2.1.4\n"};
}

void TestCli::info()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, lstLines);
    const T_Run stRun = RunCli(QStringList{"info"} + args);
    QVERIFY2(stRun.iExit == 0, stRun.baErr.constData());
    const QString strOut = QString::fromUtf8(stRun.baOut);
    for (const QString &strLine : lstLines)
        QVERIFY2(strOut.contains(QLatin1Char('\n') + strLine) || strOut.startsWith(strLine), qPrintable(strOut));

    // The same rows as JSON: the outermost element is no row of its own.
    const T_Run stJson = RunCli(QStringList{"info", "--json"} + args);
    QCOMPARE(stJson.iExit, 0);
    const QJsonArray rows = QJsonDocument::fromJson(stJson.baOut).array();
    QVERIFY(!rows.isEmpty());
    QCOMPARE(rows.at(0).toObject().value("name").toString(), lstLines.first().section(QLatin1Char(':'), 0, 0));
}

void TestCli::log_data()
{
    QTest::addColumn<QString>("strTo");
    QTest::newRow("file") << "file";
    QTest::newRow("stdout") << "pipe";
    QTest::newRow("terminal") << "terminal";
}

void TestCli::log()
{
    QFETCH(QString, strTo);
    const QString strPath = m_dir.filePath(QStringLiteral("device.log"));
    QStringList args{"log", "ZR420-C10001"};
    if (strTo == QLatin1String("file"))
        args << "-o" << strPath;
    const T_Run stRun = strTo == QLatin1String("terminal") ? RunCliOnTerminal(args) : RunCli(args);
    QVERIFY2(stRun.iExit == 0, stRun.baErr.constData());
    if (strTo == QLatin1String("pipe")) {
        QCOMPARE(stRun.baOut, LogText());
        return;
    }
    if (strTo == QLatin1String("terminal")) {
        // Fault: the device's ESC [2J cleared the operator's screen. Shown as cat -v shows it.
        QVERIFY2(stRun.baOut.endsWith("bad line^[[2J^G csi M-^[2J cr^Mover\r\n"), stRun.baOut.right(80).constData());
        QVERIFY(stRun.baOut.startsWith(LogText().left(1000)));
        QCOMPARE(stRun.baOut.size(), LogText().size() + 5);
        return;
    }
    QVERIFY(stRun.baOut.isEmpty());
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), LogText());
}

void TestCli::version_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("baVersion");
    QTest::newRow("main") << QStringList{"ZR420-C10001", "--module", "main"} << QByteArray("V3.1.4\n");
    QTest::newRow("fpga, no search") << QStringList{"ZR420-C10001", "--addr", "10.213.0.10", "--module", "fpga"}
                                     << QByteArray("F1.0.9\n");
    QTest::newRow("http") << QStringList{"NXT800-C10003", "--addr", "10.213.0.12", "--module", "firmware"}
                          << QByteArray("2.1.4\n");
}

void TestCli::version()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, baVersion);
    const T_Run stRun = RunCli(QStringList{"version"} + args);
    QVERIFY2(stRun.iExit == 0, stRun.baErr.constData());
    if (args.first().startsWith(QLatin1String("NXT800")))
        QVERIFY2(stRun.baOut.startsWith(baVersion.trimmed()), stRun.baOut.constData());
    else
        QCOMPARE(stRun.baOut, baVersion);
}

void TestCli::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("iExit");
    QTest::addColumn<QByteArray>("baErr");
    // A device that does not answer is a failed device, never a hang.
    QTest::newRow("info silent") << QStringList{"info", "ZR410-C10002", "--addr", "10.213.0.11"} << 1
                                 << QByteArray("ZR410-C10002: info: time out\n");
    QTest::newRow("log silent") << QStringList{"log", "ZR410-C10002", "--addr", "10.213.0.11"} << 1
                                << QByteArray("ZR410-C10002: log: time out\n");
    QTest::newRow("version silent") << QStringList{"version",     "ZR410-C10002", "--addr",
                                                   "10.213.0.11", "--module",     "main"}
                                    << 1 << QByteArray("ZR410-C10002: version: time out\n");
    // A host name with --addr is confirmed by the box at that address before anything is asked:
    // another box there was read (or rebooted) as if it were the one named.
    QTest::newRow("another box at the address")
        << QStringList{"info", "ZR420-C10001", "--addr", "10.213.0.14"} << 1
        << QByteArray("ZR420-C10001: search: the device at 10.213.0.14 is ZR430-C1 [2J, not ZR420-C10001\n");
    QTest::newRow("nothing answers at the address")
        << QStringList{"info", "ZR420-C10009", "--addr", "10.213.0.99"} << 1
        << QByteArray("ZR420-C10009: search: no device answers at 10.213.0.99\n");
    // A module upgrade.conf knows, that this device does not have.
    QTest::newRow("module refused") << QStringList{"version",     "ZR410-C1TWIN", "--addr",
                                                   "10.213.0.15", "--module",     "fpga"}
                                    << 1 << QByteArray("ZR410-C1TWIN: version: module 'fpga' refused the query\n");
    // Two boxes answer to the name: whichever answered first was read.
    QTest::newRow("host name of two boxes")
        << QStringList{"log", "ZR410-C1TWIN"} << 1
        << QByteArray("ZR410-C1TWIN: search: 2 devices answer to this host name, at "
                      "10.213.0.15, 10.213.0.16: name one by its address (HOST "
                      "--addr A)\n");
    // Not found by the search: most often a device that is off, so a device failure.
    QTest::newRow("not found") << QStringList{"info", "ZR420-GONE"} << 1
                               << QByteArray("ZR420-GONE: search: not found\n");
    QTest::newRow("unknown model not found")
        << QStringList{"log", "ZR999-C10004"} << 1 << QByteArray("ZR999-C10004: search: not found\n");
    // Named directly, a model config.xml does not know is a configuration error.
    QTest::newRow("unknown model with --addr") << QStringList{"info", "ZR999-C10004", "--addr", "10.213.0.13"} << 2
                                               << QByteArray("is no host name of a model in config.xml");
    QTest::newRow("http has no log") << QStringList{"log", "NXT800-C10003", "--addr", "10.213.0.12"} << 2
                                     << QByteArray("NXT800-C10003: log: log download not supported by the device\n");
}

void TestCli::failures()
{
    QFETCH(QStringList, args);
    QFETCH(int, iExit);
    QFETCH(QByteArray, baErr);
    const QString strPath = m_dir.filePath(QStringLiteral("failed.log"));
    if (args.first() == QLatin1String("log"))
        args << "-o" << strPath;
    const T_Run stRun = RunCli(args);
    QCOMPARE(stRun.iExit, iExit);
    QVERIFY2(stRun.baErr.contains(baErr), stRun.baErr.constData());
    QVERIFY(stRun.baOut.isEmpty());
    // No half log left behind to be taken for a whole one.
    QVERIFY(!QFile::exists(strPath));
}

void TestCli::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("iExit");
    QTest::addColumn<QByteArray>("baText");
    QTest::newRow("no command") << QStringList{} << 2 << QByteArray("usage: velmora-cli COMMAND");
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << QByteArray("no such command 'frobnicate'");
    QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("velmora-cli " VELMORA_VERSION "\n");
    QTest::newRow("missing host") << QStringList{"info"} << 2 << QByteArray("usage: velmora-cli info HOST");
    QTest::newRow("two hosts") << QStringList{"log", "a", "b"} << 2 << QByteArray("usage: velmora-cli log HOST");
    QTest::newRow("unknown option") << QStringList{"info", "--nope", "a"} << 2 << QByteArray("Unknown option 'nope'");
    QTest::newRow("no module") << QStringList{"version", "ZR420-C10001"} << 2 << QByteArray("--module ID is required");
    // Fault: a mistyped module was asked of the device and reported as its refusal, exit 1.
    QTest::newRow("unknown module")
        << QStringList{"version", "ZR420-C10001", "--addr", "10.213.0.10", "--module", "dsp"} << 2
        << QByteArray("velmora-cli: unknown module 'dsp' for type ZR420 (upgrade.conf has: main, fpga)\n");
    QTest::newRow("bad passes") << QStringList{"discover", "--passes", "0"} << 2 << QByteArray("--passes");
    QTest::newRow("discover takes no host") << QStringList{"discover", "x"} << 2 << QByteArray("usage:");
    QTest::newRow("bad address") << QStringList{"info", "ZR420-C10001", "--addr", "10.213.0.300"} << 2
                                 << QByteArray("'10.213.0.300' is no IPv4 address");
    QTest::newRow("unwritable output") << QStringList{"log",         "ZR420-C10001", "--addr",
                                                      "10.213.0.10", "-o",           "/nonexistent/x"}
                                       << 2 << QByteArray("cannot write '/nonexistent/x'");
    QTest::newRow("overview") << QStringList{"--help"} << 0 << QByteArray("discover");
    for (const char *pszCommand : {"discover", "info", "log", "version"})
        QTest::newRow(qPrintable(QStringLiteral("%1 --help").arg(pszCommand)))
            << QStringList{pszCommand, "--help"} << 0 << QByteArray(pszCommand);
}

void TestCli::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, iExit);
    QFETCH(QByteArray, baText);
    const T_Run stRun = RunCli(args);
    QCOMPARE(stRun.iExit, iExit);
    // Help goes to stdout; complaints go to stderr and nothing to stdout.
    if (iExit == 0) {
        QVERIFY2(stRun.baOut.contains(baText), stRun.baOut.constData());
    } else {
        QVERIFY2(stRun.baErr.contains(baText), stRun.baErr.constData());
        QVERIFY(stRun.baOut.isEmpty());
    }
    // Nothing asked is no wrong command.
    if (args.isEmpty())
        QVERIFY2(!stRun.baErr.contains("no such command"), stRun.baErr.constData());
}

void TestCli::missingConfig()
{
    // A copy of the program with nothing beside it knows no model at all.
    const QString strCopy = m_dir.filePath(QStringLiteral("velmora-cli"));
    QVERIFY(QFile::copy(s_strCli, strCopy));
    for (const QStringList &args : {QStringList{"discover"}, QStringList{"info", "ZR420-C10001"}}) {
        const T_Run stRun = RunCli(args, strCopy);
        QCOMPARE(stRun.iExit, 2);
        QVERIFY2(stRun.baErr.contains("cannot read the product table"), stRun.baErr.constData());
        QVERIFY(stRun.baOut.isEmpty());
    }
    // A broken one is as clear: an empty search that exits 0 hides it.
    QFile config(m_dir.filePath(QStringLiteral("config.xml")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("<tavprod>\n<product id=\"ZR420\" name=\"ZR420 Decoder\" type=\"rx\"/>\n<product id=");
    config.close();
    const T_Run stBroken = RunCli({"discover"}, strCopy);
    QCOMPARE(stBroken.iExit, 2);
    QVERIFY2(stBroken.baErr.contains("config.xml': line 3"), stBroken.baErr.constData());
    QVERIFY(stBroken.baOut.isEmpty());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
