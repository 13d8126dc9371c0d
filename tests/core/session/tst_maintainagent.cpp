// The agent: device list by exact host name, lazy sessions, relay, and sessions that go
// quiet the moment they are taken out.
#include "loopbackserver.h"
#include "quietwindow.h"
#include "session/cmaintainagent.h"
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
    QCOMPARE(agent.GetSysInfo(QStringLiteral("NXT-unknown")), CMD_ERROR);
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
    QCOMPARE(agent.GetSession(strHost), pOld.data());
    QTRY_COMPARE(oldServer.ConnectionCount(), 1);
    QCOMPARE(agent.AbortCmd(strHost), int(CUR_SYSINFO));

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

QTEST_MAIN(TestMaintainAgent)
#include "tst_maintainagent.moc"
