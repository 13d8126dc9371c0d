// velmora-cli's telnet commands against a simulated fleet in the namespace runner: the names
// devices keep for themselves (decoded), reading them for a whole search, and reboot taking a
// device off the network. Exit codes: 0 done, 1 a device failed or was not found, 2 usage.
#include "netnsfleet.h"
#include "programrun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace
{

const QString s_strCli = QStringLiteral(VELMORA_BIN_DIR "/velmora-cli");

using T_Run = T_ProgramRun;

// Product time: no row waits for the telnet checker, and on a loaded machine the first
// connections to fresh addresses can wait seconds for address resolution in the namespaces.
T_Run RunCli(const QStringList &args)
{
    return RunProgram(s_strCli, args, 120000);
}

QJsonObject Device(const char *pszHost, const char *pszAddr, const char *pszName, const QJsonObject &knobs = {})
{
    return QJsonObject{{"hostname", pszHost},
                       {"addr", pszAddr},
                       {"kind", "tx"},
                       {"channel", QString::fromLatin1(pszHost).startsWith("NXT") ? "http" : "vaza"},
                       {"telnet_name", QString::fromUtf8(pszName)},
                       {"knobs", knobs}};
}

} // namespace

class TestCliTelnet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void name_data();
    void name();
    void discoverNames();
    void reboot();
    void usage_data();
    void usage();

private:
    NetnsFleet m_fleet;
};

void TestCliTelnet::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
    const QJsonArray devices{
        Device("ZR420-T20001", "10.213.0.10", "Meeting room A"),
        // A web-server model: its tools take the "ast" prefix.
        Device("NXT800-T20002", "10.213.0.11", "Caf\xc3\xa9 stage", {{"telnet_negotiation", "unmatched"}}),
        Device("ZR410-T20003", "10.213.0.12", "Lobby", {{"telnet", false}}),
        Device("ZR410-T20004", "10.213.0.13", "Back office", {{"telnet_incorrect_password", true}}),
        // Goes down for a while when rebooted.
        Device("ZR430-T20005", "10.213.0.14", "Rack 5", {{"telnet_reboot_ms", 20000}}),
        // A name that would clear the operator's terminal; another with characters a URL keeps encoded.
        Device("ZR410-T20006", "10.213.0.15", "Evil\x1b[2J"),
        Device("ZR410-T20007", "10.213.0.16", "Room 1 / floor #2: a?b%c"),
        // Its shell is killed right after it echoes "reboot".
        Device("ZR410-T20008", "10.213.0.17", "Rack 8", {{"telnet_reboot_silent", true}}),
    };
    QString strError;
    QVERIFY2(m_fleet.Start(devices, {"discovery", "telnet"}, &strError), qPrintable(strError));
}

void TestCliTelnet::name_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    // The name is kept percent-encoded on the device; the blank comes back as a blank.
    QTest::newRow("by host name") << QStringList{"ZR420-T20001"} << 0 << QByteArray("Meeting room A\n") << QByteArray();
    QTest::newRow("with --addr") << QStringList{"ZR420-T20001", "--addr", "10.213.0.10"} << 0
                                 << QByteArray("Meeting room A\n") << QByteArray();
    QTest::newRow("http model, unknown options first") << QStringList{"NXT800-T20002", "--addr", "10.213.0.11"} << 0
                                                       << QByteArray("Caf\xc3\xa9 stage\n") << QByteArray();
    QTest::newRow("no telnet") << QStringList{"ZR410-T20003", "--addr", "10.213.0.12"} << 1 << QByteArray()
                               << QByteArray("ZR410-T20003: name: cannot connect to the telnet service\n");
    QTest::newRow("incorrect password") << QStringList{"ZR410-T20004", "--addr", "10.213.0.13"} << 1 << QByteArray()
                                        << QByteArray("ZR410-T20004: name: login refused: incorrect password\n");
    QTest::newRow("escape sequence") << QStringList{"ZR410-T20006", "--addr", "10.213.0.15"} << 0
                                     << QByteArray("Evil [2J\n") << QByteArray();
    QTest::newRow("slash, hash, colon, percent") << QStringList{"ZR410-T20007", "--addr", "10.213.0.16"} << 0
                                                 << QByteArray("Room 1 / floor #2: a?b%c\n") << QByteArray();
    // Another box answers at the address: its name was printed as the named box's.
    QTest::newRow("another box at the address")
        << QStringList{"ZR420-T20001", "--addr", "10.213.0.16"} << 1 << QByteArray()
        << QByteArray("ZR420-T20001: search: the device at 10.213.0.16 is ZR410-T20007, not ZR420-T20001\n");
    QTest::newRow("not found") << QStringList{"ZR999-NOPE"} << 1 << QByteArray()
                               << QByteArray("ZR999-NOPE: search: not found\n");
}

void TestCliTelnet::name()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const T_Run stRun = RunCli(QStringList{"name"} + args);
    QVERIFY2(stRun.iExit == exitCode, stRun.baErr.constData());
    QCOMPARE(stRun.baOut, out);
    QCOMPARE(stRun.baErr, err);
}

void TestCliTelnet::discoverNames()
{
    // Two searches merged, so a busy machine losing an answer does not lose a device.
    const T_Run stRun = RunCli({"discover", "--passes", "2", "--names", "--json"});
    // Two devices cannot tell their names: the run says so and fails.
    QCOMPARE(stRun.iExit, 1);
    QVERIFY(stRun.baErr.contains("ZR410-T20003: name: cannot connect to the telnet service\n"));
    QVERIFY(stRun.baErr.contains("ZR410-T20004: name: login refused: incorrect password\n"));
    QMap<QString, QJsonValue> names;
    for (const QJsonValue &v : QJsonDocument::fromJson(stRun.baOut).array())
        names.insert(v.toObject().value("hostName").toString(), v.toObject().value("name"));
    QCOMPARE(names.size(), 8);
    QCOMPARE(names.value("ZR420-T20001").toString(), QStringLiteral("Meeting room A"));
    QCOMPARE(names.value("NXT800-T20002").toString(), QStringLiteral("Caf\u00e9 stage"));
    QCOMPARE(names.value("ZR430-T20005").toString(), QStringLiteral("Rack 5"));
    QVERIFY(names.value("ZR410-T20003").isNull());

    const T_Run stText = RunCli({"discover", "--passes", "2", "--names"});
    QVERIFY2(stText.baOut.contains("10.213.0.10  rx  Meeting room A\n"), stText.baOut.constData());
    QVERIFY(!stText.baOut.contains('\x1b'));
    QVERIFY(stText.baOut.contains("ZR410-T20003") && stText.baOut.contains("tx  -\n"));
}

void TestCliTelnet::reboot()
{
    // Several hosts through one search: each is reported, and one failure fails the run.
    const T_Run stMany = RunCli({"reboot", "ZR410-T20003", "ZR999-NOPE"});
    QCOMPARE(stMany.iExit, 1);
    QCOMPARE(stMany.baOut, QByteArray());
    QVERIFY(stMany.baErr.contains("ZR999-NOPE: search: not found\n"));
    QVERIFY(stMany.baErr.contains("ZR410-T20003: "));
    // Fault: the box at the address was rebooted although it is another one.
    const T_Run stWrong = RunCli({"reboot", "ZR430-T20005", "--addr", "10.213.0.10"});
    QCOMPARE(stWrong.iExit, 1);
    QCOMPARE(stWrong.baOut, QByteArray());
    QCOMPARE(stWrong.baErr,
             QByteArray("ZR430-T20005: search: the device at 10.213.0.10 is ZR420-T20001, not ZR430-T20005\n"));
    QCOMPARE(m_fleet.Records(QStringLiteral("telnet_reboot")).size(), 0);

    const T_Run stRun = RunCli({"reboot", "ZR430-T20005", "--addr", "10.213.0.14"});
    QVERIFY2(stRun.iExit == 0, stRun.baErr.constData());
    QCOMPARE(stRun.baOut, QByteArray("ZR430-T20005: rebooting\n"));
    const QList<QJsonObject> reboots = m_fleet.Records(QStringLiteral("telnet_reboot"));
    QCOMPARE(reboots.size(), 1);
    QCOMPARE(reboots.at(0).value("device").toString(), QStringLiteral("ZR430-T20005"));
    // Off the network: a search no longer finds it, and it cannot be rebooted again.
    const T_Run stSearch = RunCli({"discover", "--passes", "2"});
    QCOMPARE(stSearch.iExit, 0);
    QVERIFY(!stSearch.baOut.contains("ZR430-T20005"));
    QVERIFY(stSearch.baOut.contains("ZR420-T20001"));
    const T_Run stAgain = RunCli({"reboot", "ZR430-T20005", "--addr", "10.213.0.14"});
    QCOMPARE(stAgain.iExit, 1);
    QCOMPARE(stAgain.baErr, QByteArray("ZR430-T20005: search: no device answers at 10.213.0.14\n"));

    // Fault: a device that closes the connection once it has read the command was reported as
    // a failed reboot.
    const T_Run stSilent = RunCli({"reboot", "ZR410-T20008", "--addr", "10.213.0.17"});
    QVERIFY2(stSilent.iExit == 0, stSilent.baErr.constData());
    QCOMPARE(stSilent.baOut, QByteArray("ZR410-T20008: rebooting\n"));
    QCOMPARE(m_fleet.Records(QStringLiteral("telnet_reboot")).size(), 2);
}

void TestCliTelnet::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("name without host") << QStringList{"name"};
    QTest::newRow("name with two hosts") << QStringList{"name", "a", "b"};
    QTest::newRow("reboot without host") << QStringList{"reboot"};
    QTest::newRow("reboot --addr with two hosts") << QStringList{"reboot", "a", "b", "--addr", "10.213.0.10"};
    QTest::newRow("name --addr not an address") << QStringList{"name", "ZR420-T20001", "--addr", "somewhere"};
}

void TestCliTelnet::usage()
{
    QFETCH(QStringList, args);
    const T_Run stRun = RunCli(args);
    QCOMPARE(stRun.iExit, 2);
    QCOMPARE(stRun.baOut, QByteArray());
}

QTEST_GUILESS_MAIN(TestCliTelnet)
#include "tst_clitelnet.moc"
