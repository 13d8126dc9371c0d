// Session rules that need a scripted peer: what a device may send out of turn, repeat, or
// leave half-sent must never produce a second ending or wedge the session.
#include "loopbackserver.h"
#include "quietwindow.h"
#include "testtime.h"
#include "vaza/cvazabuffer.h"
#include "vaza/cvazamaintainsession.h"
#include "vaza/vazafields.h"
#include "vaza/vazamessages.h"

#include <QSignalSpy>
#include <QtTest>

namespace
{
QByteArray Reply(quint32 u32Id, const QByteArray &baBody = QByteArray())
{
    return Vaza::BuildMsg(u32Id, 77, baBody);
}

// Module "main", port 1, two words, and for version replies the version text.
QByteArray ModuleBody(quint32 u32A, quint32 u32B, const QByteArray &baVersion = QByteArray())
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    WriteByteArray(&buf, "main");
    WriteUInt32(&buf, 1);
    WriteUInt32(&buf, u32A);
    WriteUInt32(&buf, u32B);
    if (!baVersion.isNull())
        WriteByteArray(&buf, baVersion);
    return buf.data();
}

// A version reply the session always reports: once it is heard of, everything the peer sent
// before it has been read and acted on, so a test needs no pause to be sure.
QByteArray Marker()
{
    return Reply(0x2803, ModuleBody(0, 0, "marker"));
}

class CRulesFixture
{
public:
    explicit CRulesFixture(double dScale) : m_scale(dScale)
    {
        m_server.Listen();
        T_BaseDevInfo st;
        st.strHostName = QStringLiteral("ZR410-0001");
        st.strAddr = QStringLiteral("127.0.0.1");
        st.u32Port = m_server.Port();
        m_pSession.reset(new CVazaMaintainSession(st));
    }
    // Identifiers of the complete messages received on connection i.
    QList<quint32> Ids(int i = 0) const
    {
        QList<quint32> ids;
        CVazaStreamSplitter splitter;
        splitter.Feed(m_server.Received(i), [&](const T_VAZAMsgHead &st, QByteArray &) { ids.append(st.u32MsgId); });
        return ids;
    }
    // Accepts the bind request on connection i (plus extra bytes) and waits for the request behind it.
    bool Bind(int i = 0, const QByteArray &baExtra = QByteArray())
    {
        if (!QTest::qWaitFor([&] { return m_server.ConnectionCount() > i && Ids(i).size() == 1; }))
            return false;
        m_server.Send(i, Reply(Vaza::ID_BindRsp, QByteArray(4, '\0')) + baExtra);
        return QTest::qWaitFor([&] { return Ids(i).size() >= 2; });
    }
    ScopedTimeScale m_scale;
    LoopbackServer m_server;
    QScopedPointer<CVazaMaintainSession> m_pSession;
};
} // namespace

class TestVazaSessionRules : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false")); }
    void lateReplyAfterTimeOutIsDropped();
    void nextCommandFromInsideFinalNotification();
    void repeatedBindReplySendsWaitingRequestOnce();
    void halfMessageOfOldConnectionIsForgotten();
    void unbindStopsHeartbeat();
    void uploadRepliesOutOfTurnAreDropped();
};

// Catches a second final notification for one command when the reply comes too late.
void TestVazaSessionRules::lateReplyAfterTimeOutIsDropped()
{
    CRulesFixture f(0.02);
    QSignalSpy spy(f.m_pSession.data(), &CBaseMaintainSession::OnSysInfoNotify);
    QCOMPARE(f.m_pSession->GetSysInfo(), CMD_OK);
    QVERIFY(f.Bind());
    QCOMPARE(f.Ids(), (QList<quint32>{Vaza::ID_BindReq, 0x1101}));
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.at(0).at(1).toBool(), true);
    QSignalSpy marker(f.m_pSession.data(), &CBaseMaintainSession::OnVersionQueryNotify);
    f.m_server.Send(0, Reply(0x2101) + Marker());
    QTRY_COMPARE(marker.count(), 1);
    QCOMPARE(spy.size(), 1);
    QVERIFY(!f.m_pSession->IsBusy());
}

// Catches a session still busy while it announces the end of a command, so that a form
// starting the next command from its slot would be told CMD_BUSY.
void TestVazaSessionRules::nextCommandFromInsideFinalNotification()
{
    CRulesFixture f(0.02);
    QList<E_CmdResult> results;
    connect(f.m_pSession.data(), &CBaseMaintainSession::OnSysInfoNotify, this, [&] {
        if (results.isEmpty())
            results.append(f.m_pSession->DownloadLog());
    });
    QSignalSpy logSpy(f.m_pSession.data(), &CBaseMaintainSession::OnDownloadLogNotify);
    QCOMPARE(f.m_pSession->GetSysInfo(), CMD_OK);
    QVERIFY(logSpy.wait(3000));
    QCOMPARE(results, (QList<E_CmdResult>{CMD_OK}));
    QCOMPARE(logSpy.at(0).at(1).toByteArray(), QByteArray("time out"));
}

// Catches the waiting request going out again on a second bind reply.
void TestVazaSessionRules::repeatedBindReplySendsWaitingRequestOnce()
{
    CRulesFixture f(0.1);
    QSignalSpy marker(f.m_pSession.data(), &CBaseMaintainSession::OnVersionQueryNotify);
    QCOMPARE(f.m_pSession->QueryVersion("main", 1), CMD_CONNECT_FAIL);
    QVERIFY(f.Bind(0, Reply(Vaza::ID_BindRsp, QByteArray(4, '\0')) + Marker()));
    QTRY_COMPARE(marker.count(), 1);
    // Both bind replies are handled; a request sent after them arrives behind any repeat.
    QCOMPARE(f.m_pSession->GetSysInfo(), CMD_OK);
    QTRY_VERIFY(f.Ids().contains(Vaza::ID_SysInfoReq));
    QCOMPARE(f.Ids(), (QList<quint32>{Vaza::ID_BindReq, Vaza::ID_VersionQueryReq, Vaza::ID_SysInfoReq}));
}

// Catches bytes of a message the old connection never finished being read as the start of
// the new connection's stream (the first reply after reconnecting would be lost).
void TestVazaSessionRules::halfMessageOfOldConnectionIsForgotten()
{
    CRulesFixture f(0.1);
    QSignalSpy spy(f.m_pSession.data(), &CBaseMaintainSession::OnVersionQueryNotify);
    f.m_pSession->QueryVersion("main", 1);
    QVERIFY(f.Bind(0, Reply(0x2803, QByteArray(100, 'x')).left(40)));
    f.m_server.Abort(0);
    // The session lets go of a socket (detaches it) as soon as it learns of the reset.
    QTRY_VERIFY(!f.m_pSession->findChild<QTcpSocket *>());
    f.m_pSession->QueryVersion("main", 1);
    QVERIFY(f.Bind(1));
    f.m_server.Send(1, Reply(0x2803, ModuleBody(0, 0, "V9")));
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.at(0).at(4).toByteArray(), QByteArray("V9"));
}

// Catches heartbeats going on after the device unbinds us.
void TestVazaSessionRules::unbindStopsHeartbeat()
{
    CRulesFixture f(0.01); // 30 ms ticks, 200 ms idle
    QSignalSpy marker(f.m_pSession.data(), &CBaseMaintainSession::OnVersionQueryNotify);
    f.m_pSession->QueryVersion("main", 1);
    QVERIFY(f.Bind());
    QTRY_VERIFY(f.Ids().contains(Vaza::ID_HeartbeatReq));
    f.m_server.Send(0, Reply(Vaza::ID_UnBindReq) + Marker());
    QTRY_COMPARE(marker.count(), 1);
    // Anything written before the unbind was handled is in by the time this request is.
    QCOMPARE(f.m_pSession->GetSysInfo(), CMD_OK);
    QTRY_VERIFY(f.Ids().contains(Vaza::ID_SysInfoReq));
    // Idle time plus a tick, and half again: a heartbeat still running would go out.
    QVERIFY_QUIET([&] { return f.Ids().count(Vaza::ID_HeartbeatReq); }, (20000 + 3000) * 3 / 2);
}

// Catches step 102/103 replies (or a second 101) acted on before the upload they follow.
void TestVazaSessionRules::uploadRepliesOutOfTurnAreDropped()
{
    CRulesFixture f(0.1);
    QTemporaryFile image;
    QVERIFY(image.open() && image.write("image") == 5 && image.flush());
    QSignalSpy spy(f.m_pSession.data(), &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(f.m_pSession->StartUpgrade(T_UpgradeInfo{QStringLiteral("main"), 1, image.fileName()}), CMD_OK);
    QVERIFY(f.Bind());
    for (quint32 u32Step : {102u, 103u})
        f.m_server.Send(0, Reply(Vaza::ID_VersionUpgradeRsp, ModuleBody(u32Step, 100)));
    // Only the response time-out may end it.
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("time out"));
    QCOMPARE(f.Ids().size(), 2);
}

QTEST_MAIN(TestVazaSessionRules)
#include "tst_vazasessionrules.moc"
