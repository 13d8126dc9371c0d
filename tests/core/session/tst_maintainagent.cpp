// The agent: device list by exact host name, lazy sessions, relay, sessions that go quiet the
// moment they are taken out, and the words for a refused command.
#include "loopbackserver.h"
#include "quietwindow.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"
#include "testtime.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace
{
T_BaseDevInfo Dev(const QString &strHost, quint16 u16Port, const QString &strKind = QStringLiteral("tx"))
{
    T_BaseDevInfo st;
    st.strHostName = strHost;
    st.strAddr = QStringLiteral("127.0.0.1");
    st.u32Port = u16Port;
    st.strKind = strKind;
    return st;
}
} // namespace

class TestMaintainAgent : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false")); }
    void deviceListIsKeyedByExactHostName();
    void sessionsAreLazyAndReused();
    void removedDeviceSessionIsSilentAndDeleted();
    void refusalWords_data();
    void refusalWords();
};

// Catches case-insensitive matching, duplicates on re-discovery and wrong counts.
void TestMaintainAgent::deviceListIsKeyedByExactHostName()
{
    CMaintainAgent agent;
    QCOMPARE(agent.AddDevice(Dev(QStringLiteral("ZR410-1"), 1)), -1);
    QCOMPARE(agent.AddDevice(Dev(QStringLiteral("zr410-1"), 1, QStringLiteral("rx"))), -1);
    QCOMPARE(agent.AddDevice(Dev(QStringLiteral("ZR430-2"), 1, QStringLiteral("rx"))), -1);
    T_BaseDevInfo stMoved = Dev(QStringLiteral("ZR410-1"), 2);
    stMoved.strAddr = QStringLiteral("127.0.0.9");
    QCOMPARE(agent.AddDevice(stMoved), 0);
    QCOMPARE(agent.DeviceCount(), 3);
    QCOMPARE(agent.DeviceAt(0).strAddr, QStringLiteral("127.0.0.9"));
    QCOMPARE(agent.CountTx(), 1);
    QCOMPARE(agent.CountRx(), 2);
    QCOMPARE(agent.IndexOf(QStringLiteral("ZR430-2")), 2);
    QCOMPARE(agent.IndexOf(QStringLiteral("ZR430")), -1);
    QVERIFY(agent.RemoveDevice(QStringLiteral("zr410-1")));
    QVERIFY(!agent.RemoveDevice(QStringLiteral("zr410-1")));
    QCOMPARE(agent.IndexOf(QStringLiteral("ZR430-2")), 1);
    QCOMPARE(Velmora::CmdResultText(agent.GetSysInfo(QStringLiteral("NXT-unknown")), E_CmdKind::SysInfo,
                                    agent.LastError(QStringLiteral("NXT-unknown"))),
             QStringLiteral("device not found"));
    QVERIFY(!agent.GetSession(QStringLiteral("NXT-unknown")));
    agent.Clear();
    QCOMPARE(agent.DeviceCount(), 0);
}

// Catches a session per command instead of per device, the busy rule bypassed, AbortCmd
// opening sessions (and connections) nobody asked for, and a search keeping sessions bound
// to stale addresses after ClearSessions.
void TestMaintainAgent::sessionsAreLazyAndReused()
{
    const QString strHost = QStringLiteral("ZR410-1");
    LoopbackServer oldServer, newServer;
    QVERIFY(oldServer.Listen() && newServer.Listen());
    CMaintainAgent agent;
    agent.AddDevice(Dev(strHost, oldServer.Port()));
    QCOMPARE(agent.AbortCmd(strHost), 0);
    QCOMPARE(agent.AbortCmd(QStringLiteral("nobody")), 0);
    QVERIFY(!agent.RemoveSession(strHost));
    QPointer<CBaseMaintainSession> pOld = agent.GetSession(strHost);
    QVERIFY(pOld);
    QCOMPARE(agent.GetSysInfo(strHost), CMD_OK);
    QCOMPARE(agent.DownloadLog(strHost), CMD_BUSY);
    // A busy session is busy, whatever else is wrong with the request; once free, its own
    // reason names what is.
    T_UpgradeInfo stImage;
    stImage.strDevAddr = QStringLiteral("main");
    stImage.strFilePath = QStringLiteral("/nonexistent/main.bin");
    E_CmdResult eResult = agent.StartUpgrade(strHost, stImage);
    QCOMPARE(Velmora::CmdResultText(eResult, E_CmdKind::Upgrade, agent.LastError(strHost)),
             QStringLiteral("device is busy with another command"));
    QCOMPARE(agent.GetSession(strHost), pOld.data());
    QTRY_COMPARE(oldServer.ConnectionCount(), 1);
    QCOMPARE(agent.AbortCmd(strHost), int(CUR_SYSINFO));
    eResult = agent.StartUpgrade(strHost, stImage);
    const QString strWords = Velmora::CmdResultText(eResult, E_CmdKind::Upgrade, agent.LastError(strHost));
    QVERIFY2(strWords.startsWith("cannot open '/nonexistent/main.bin'"), qPrintable(strWords));

    agent.AddDevice(Dev(strHost, newServer.Port())); // found again elsewhere
    QCOMPARE(pOld->DevInfo().u32Port, quint32(oldServer.Port()));
    agent.ClearSessions();
    QCOMPARE(agent.DeviceCount(), 1);
    QTRY_VERIFY(pOld.isNull());
    QCOMPARE(agent.GetSysInfo(strHost), CMD_OK);
    QCOMPARE(agent.GetSession(strHost)->DevInfo().u32Port, quint32(newServer.Port()));
    QTRY_COMPARE(newServer.ConnectionCount(), 1);
    QCOMPARE(oldServer.ConnectionCount(), 1);
}

// Catches a removed device's command still reporting (its time-out firing before the
// deferred delete), and a session that is never deleted.
void TestMaintainAgent::removedDeviceSessionIsSilentAndDeleted()
{
    ScopedTimeScale scale(0.01);
    LoopbackServer server;
    QVERIFY(server.Listen());
    CMaintainAgent agent;
    agent.AddDevice(Dev(QStringLiteral("ZR410-1"), server.Port()));
    agent.AddDevice(Dev(QStringLiteral("ZR410-2"), server.Port()));
    QSignalSpy spy(&agent, &CMaintainAgent::OnSysInfoNotify);
    QCOMPARE(agent.GetSysInfo(QStringLiteral("ZR410-1")), CMD_OK);
    QCOMPARE(agent.GetSysInfo(QStringLiteral("ZR410-2")), CMD_OK);
    QPointer<CBaseMaintainSession> pGone = agent.GetSession(QStringLiteral("ZR410-1"));
    QVERIFY(agent.RemoveDevice(QStringLiteral("ZR410-1")));
    // The relay of the other device still works: its time-out arrives, once.
    QVERIFY(spy.wait(3000));
    // Both commands started together: the removed one's time-out would be due by now.
    QVERIFY_QUIET(spy, 7000);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<T_BaseDevInfo>().strHostName, QStringLiteral("ZR410-2"));
    QTRY_VERIFY(pGone.isNull());
}

void TestMaintainAgent::refusalWords_data()
{
    QTest::addColumn<int>("eResult");
    QTest::addColumn<int>("eCmd");
    QTest::addColumn<QString>("strReason"); // the session's own
    QTest::addColumn<QString>("strText");
    const int UP = int(E_CmdKind::Upgrade);
    QTest::newRow("accepted") << int(CMD_OK) << UP << "stale"
                              << "";
    QTest::newRow("reason given, one line") << int(CMD_ERROR) << UP << " cannot open 'x':\r\n denied "
                                            << "cannot open 'x': denied";
    QTest::newRow("no reason, no session") << int(CMD_ERROR) << UP << " "
                                           << "device not found";
    // A stale reason of an earlier failure says nothing about these.
    QTest::newRow("busy") << int(CMD_BUSY) << UP << "stale"
                          << "device is busy with another command";
    QTest::newRow("not sent") << int(CMD_CONNECT_FAIL) << int(E_CmdKind::VersionQuery) << "stale"
                              << "could not connect to the device: request not sent";
    QTest::newRow("no upgrade") << int(CMD_NOT_SUPPORT) << UP << ""
                                << "upgrade not supported by the device";
    QTest::newRow("no information") << int(CMD_NOT_SUPPORT) << int(E_CmdKind::SysInfo) << ""
                                    << "system information not supported by the device";
    QTest::newRow("no log") << int(CMD_NOT_SUPPORT) << int(E_CmdKind::Log) << ""
                            << "log download not supported by the device";
    QTest::newRow("no version query") << int(CMD_NOT_SUPPORT) << int(E_CmdKind::VersionQuery) << ""
                                      << "version query not supported by the device";
}

// Would catch a result given another's words, the command left out of a refusal that depends
// on it, and a stale channel reason shown for a refusal it did not cause.
void TestMaintainAgent::refusalWords()
{
    QFETCH(int, eResult);
    QFETCH(int, eCmd);
    QFETCH(QString, strReason);
    QFETCH(QString, strText);
    QCOMPARE(Velmora::CmdResultText(E_CmdResult(eResult), E_CmdKind(eCmd), strReason), strText);
}

QTEST_MAIN(TestMaintainAgent)
#include "tst_maintainagent.moc"
