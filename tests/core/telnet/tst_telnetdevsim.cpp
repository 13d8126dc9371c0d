// The telnet channel against the simulated device shell over loopback: every opening burst
// the simulator can play, hard-to-read output, login failures, the command set, and reboot
// taking the device off the network.
#include "devsimrunner.h"
#include "telnet/ctelnetcomm.h"
#include "telnet/ctelnetnamereader.h"
#include "telnet/ctelnetreboot.h"
#include "testtime.h"

#include <QTcpSocket>
#include <QtTest>

namespace
{

const QString s_strAddr = QStringLiteral("127.0.0.1");

// True when something listens at the address and port now.
bool Accepts(int iPort)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(s_strAddr), static_cast<quint16>(iPort));
    return socket.waitForConnected(2000);
}

struct CRig {
    CRig(const QJsonObject &knobs, const QString &strTelnetName = QStringLiteral("Lobby encoder"),
         const QString &strServices = QStringLiteral("telnet"))
    {
        QJsonObject dev = SimDevice(QStringLiteral("ZR410-T00001"), s_strAddr, knobs);
        dev.insert(QStringLiteral("telnet_name"), strTelnetName);
        bStarted = sim.Start({dev}, strServices);
        comm.reset(new CTelnetComm(QStringLiteral("gb"), QString(), s_strAddr,
                                   static_cast<quint16>(sim.Port(QStringLiteral("telnet")))));
    }
    CDevsimRunner sim;
    bool bStarted = false;
    QScopedPointer<CTelnetComm> comm;
};

E_CommResult Result(const QSignalSpy &spy, int i)
{
    return spy.at(i).at(0).value<E_CommResult>();
}

} // namespace

class TestTelnetDevsim : public QObject
{
    Q_OBJECT
private slots:
    void readName_data();
    void readName();
    void loginFailures_data();
    void loginFailures();
    void commandSet();
    void rebootTakesDeviceOff_data();
    void rebootTakesDeviceOff();
    void nameReaderBound();
};

void TestTelnetDevsim::readName_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("value");

    const QString strName = QStringLiteral("Lobby encoder");
    const QByteArray encoded("Lobby%20encoder");
    for (const char *pszRow : {"row1", "row2", "row3", "row4", "row5", "row6", "unmatched", "none"})
        QTest::newRow(pszRow) << QJsonObject{{"telnet_negotiation", pszRow}} << strName << encoded;
    QTest::newRow("zero bytes in text") << QJsonObject{{"telnet_zero_bytes", true}} << strName << encoded;
    QTest::newRow("byte by byte") << QJsonObject{{"telnet_byte_ms", 1}} << strName << encoded;
    // A complete line longer than the tail limit is still a line; the value follows it.
    QTest::newRow("long line before the value") << QJsonObject{{"telnet_long_line", 3000}} << strName << encoded;
    QTest::newRow("non-ASCII name") << QJsonObject{} << QStringLiteral("Salle \u00e9t\u00e9 2")
                                    << QByteArray("Salle%20%C3%A9t%C3%A9%202");
}

void TestTelnetDevsim::readName()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(QString, name);
    QFETCH(QByteArray, value);
    CRig rig(knobs, name);
    QVERIFY(rig.bStarted);
    QSignalSpy param(rig.comm.data(), &CBaseComm::OnReadParam);
    QSignalSpy results(rig.comm.data(), &CBaseComm::OnSendQueueReturn);
    QVERIFY(rig.comm->Connect());
    QVERIFY(rig.comm->ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);
    QCOMPARE(Result(results, 0), COMM_OK);
    QCOMPARE(param.count(), 1);
    QCOMPARE(param.at(0).at(0).toByteArray(), QByteArray("name"));
    QCOMPARE(param.at(0).at(1).toByteArray(), value);
    QCOMPARE(param.at(0).at(2).value<E_CommResult>(), COMM_OK);
    // The decoded form is what an operator sees.
    QCOMPARE(QUrl::fromPercentEncoding(value), name);
    const QList<QJsonObject> logins = rig.sim.Events(QStringLiteral("telnet_login"));
    QCOMPARE(logins.size(), 1);
    QCOMPARE(logins.at(0).value("user").toString(), QStringLiteral("root"));
    QCOMPARE(logins.at(0).value("password").toString(), QString());
    const QList<QJsonObject> commands = rig.sim.Events(QStringLiteral("telnet_command"));
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0).value("line").toString(), QStringLiteral("gbparam g  name"));
}

void TestTelnetDevsim::loginFailures_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<int>("result");
    QTest::newRow("incorrect password") << QJsonObject{{"telnet_incorrect_password", true}} << int(COMM_FAILED);
    QTest::newRow("silent after login") << QJsonObject{{"telnet_silent_after_login", true}} << int(COMM_TIMEOUT);
    // A telnet server that never comes (the device has no telnet) is a refused connection.
    QTest::newRow("no telnet") << QJsonObject{{"telnet", false}} << int(COMM_FAILED);
}

void TestTelnetDevsim::loginFailures()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(int, result);
    ScopedTimeScale scale(0.02); // the 15 s checker in 300 ms
    CRig rig(knobs);
    QVERIFY(rig.bStarted);
    QSignalSpy param(rig.comm.data(), &CBaseComm::OnReadParam);
    QSignalSpy results(rig.comm.data(), &CBaseComm::OnSendQueueReturn);
    QVERIFY(rig.comm->ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QVERIFY(rig.comm->Connect());
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);
    QCOMPARE(int(Result(results, 0)), result);
    QCOMPARE(param.count(), 0);
    QCOMPARE(rig.comm->SendQueue().size(), 1); // kept for another try
    QCOMPARE(rig.sim.Count(QStringLiteral("telnet_command")), 0);
}

void TestTelnetDevsim::commandSet()
{
    CRig rig({{"telnet_options", QJsonObject{{"vi_mode", "3"}}}, {"telnet_config", QJsonObject{{"ip", "10.1.2.3"}}}});
    QVERIFY(rig.bStarted);
    QSignalSpy param(rig.comm.data(), &CBaseComm::OnReadParam);
    QSignalSpy option(rig.comm.data(), &CBaseComm::OnReadOption);
    QSignalSpy config(rig.comm.data(), &CBaseComm::OnReadConfig);
    QSignalSpy results(rig.comm.data(), &CBaseComm::OnSendQueueReturn);
    // Queued before the connection: all go out one per prompt after the login.
    QVERIFY(rig.comm->WriteParam(QStringLiteral("name"), QStringLiteral("Stage%20left")));
    QVERIFY(rig.comm->SaveParam());
    QVERIFY(rig.comm->ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QVERIFY(rig.comm->ReadParam(QStringLiteral("nothing"), CBaseComm::PARAM_READ));
    // Fault: a read-only read was typed but never reported (its echo was not recognised).
    QVERIFY(rig.comm->ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ_RO));
    QVERIFY(rig.comm->ReadOption(QStringLiteral("vi_mode")));
    QVERIFY(rig.comm->ReadOption(QStringLiteral("absent")));
    QVERIFY(rig.comm->ReadConfig(QStringLiteral("ip")));
    QVERIFY(rig.comm->ReadMonitorInfo());
    QVERIFY(rig.comm->Connect());
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 10000);
    QCOMPARE(Result(results, 0), COMM_OK);
    QCOMPARE(param.count(), 4);
    QCOMPARE(param.at(0).at(1).toByteArray(), QByteArray("Stage%20left"));
    QCOMPARE(param.at(1).at(0).toByteArray(), QByteArray("nothing"));
    QCOMPARE(param.at(1).at(2).value<E_CommResult>(), COMM_FAILED);
    QCOMPARE(param.at(2).at(0).toByteArray(), QByteArray("name"));
    QCOMPARE(param.at(2).at(1).toByteArray(), QByteArray("Stage%20left"));
    QCOMPARE(param.at(2).at(2).value<E_CommResult>(), COMM_OK);
    QCOMPARE(param.at(3).at(0).toByteArray(), QByteArray("sinkinfo"));
    QCOMPARE(param.at(3).at(1).toByteArray(), QByteArray("SAM"));
    QCOMPARE(option.count(), 2);
    QCOMPARE(option.at(0).at(1).toByteArray(), QByteArray("3"));
    QCOMPARE(option.at(1).at(2).value<E_CommResult>(), COMM_FAILED);
    QCOMPARE(config.count(), 1);
    QCOMPARE(config.at(0).at(1).toByteArray(), QByteArray("10.1.2.3"));
    QCOMPARE(rig.sim.Count(QStringLiteral("telnet_command")), 9);
    QCOMPARE(rig.sim.Count(QStringLiteral("telnet_param_save")), 1);
}

void TestTelnetDevsim::rebootTakesDeviceOff_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("going-down text") << false;
    // Fault: the echo was the last thing read, and the close was reported as a failed reboot.
    QTest::newRow("closed right after the echo") << true;
}

void TestTelnetDevsim::rebootTakesDeviceOff()
{
    QFETCH(bool, silent);
    CRig rig({{"telnet_reboot_ms", 1500}, {"telnet_reboot_silent", silent}}, QStringLiteral("Lobby encoder"),
             QStringLiteral("telnet,vaza"));
    QVERIFY(rig.bStarted);
    rig.comm.reset(); // the reboot brings its own channel
    const int iTelnet = rig.sim.Port(QStringLiteral("telnet"));
    const int iVaza = rig.sim.Port(QStringLiteral("vaza"));
    QVERIFY(Accepts(iVaza));
    CTelnetReboot reboot(QStringLiteral("ZR410-T00001"), s_strAddr, static_cast<quint16>(iTelnet));
    QSignalSpy finished(&reboot, &CTelnetReboot::finished);
    QVERIFY(reboot.Start());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(1).toString(), QString());
    QTRY_COMPARE(rig.sim.Count(QStringLiteral("power_off")), 1);
    QCOMPARE(rig.sim.Count(QStringLiteral("telnet_reboot")), 1);
    QVERIFY(!Accepts(iTelnet));
    QVERIFY(!Accepts(iVaza));
    // Its channel is gone with the result, and the device's close adds nothing.
    QTRY_COMPARE(CBaseComm::LiveCount(), 0);
    QCOMPARE(finished.count(), 1);
    // Back after the down time, on the same ports.
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.Count(QStringLiteral("power_on")), 1, 10000);
    QVERIFY(Accepts(iTelnet));
    QVERIFY(Accepts(iVaza));
}

// Many devices, few channels at a time: each device is reported once, failures included,
// and no more channels are open at once than allowed.
void TestTelnetDevsim::nameReaderBound()
{
    QJsonArray devices;
    for (int i = 0; i < 7; ++i) {
        QJsonObject dev = SimDevice(QStringLiteral("ZR410-R%1").arg(i), QStringLiteral("127.0.0.%1").arg(30 + i),
                                    i == 3 ? QJsonObject{{"telnet", false}} : QJsonObject{});
        dev.insert(QStringLiteral("telnet_name"), QStringLiteral("Room %1/%2").arg(i).arg(i));
        devices.append(dev);
    }
    CDevsimRunner sim;
    QVERIFY(sim.Start(devices, QStringLiteral("telnet")));
    CTelnetNameReader reader(2, static_cast<quint16>(sim.Port(QStringLiteral("telnet"))));
    QSignalSpy finished(&reader, &CTelnetNameReader::finished);
    QMap<QString, T_TelnetNameResult> results;
    connect(&reader, &CTelnetNameReader::nameRead, this, [&](const T_TelnetNameResult &st) {
        QVERIFY(!results.contains(st.strHostName));
        results.insert(st.strHostName, st);
    });
    for (const QJsonValue &v : devices)
        reader.Add(v.toObject().value("hostname").toString(), v.toObject().value("addr").toString());
    reader.Add(QStringLiteral("ZR410-BAD"), QStringLiteral("not-an-address"));
    reader.Start();
    QVERIFY(finished.wait(20000));
    QCOMPARE(results.size(), 8);
    QCOMPARE(reader.PeakOpen(), 2);
    QVERIFY(reader.IsFinished());
    for (int i = 0; i < 7; ++i) {
        const T_TelnetNameResult st = results.value(QStringLiteral("ZR410-R%1").arg(i));
        QCOMPARE(st.bOk, i != 3);
        if (i != 3)
            QCOMPARE(st.strName, QStringLiteral("Room %1/%2").arg(i).arg(i));
    }
    QCOMPARE(results.value("ZR410-R3").strReason, QStringLiteral("cannot connect to the telnet service"));
    QCOMPARE(results.value("ZR410-BAD").strReason, QStringLiteral("not an IP address"));
    QCOMPARE(finished.count(), 1);

    // Devices reported after the start are read as they come; one reported twice while it
    // still waits for a channel is read once. Every channel is gone afterwards.
    results.clear();
    for (int i : {0, 1, 2, 2})
        reader.Add(QStringLiteral("ZR410-R%1").arg(i), QStringLiteral("127.0.0.%1").arg(30 + i));
    QCOMPARE(reader.OpenCount(), 2);
    QVERIFY(finished.wait(20000));
    QCOMPARE(results.keys(), (QStringList{"ZR410-R0", "ZR410-R1", "ZR410-R2"}));
    QCOMPARE(reader.PeakOpen(), 2);
    QTRY_COMPARE(CBaseComm::LiveCount(), 0);
}

QTEST_GUILESS_MAIN(TestTelnetDevsim)
#include "tst_telnetdevsim.moc"
