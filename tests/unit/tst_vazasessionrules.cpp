// Session rules that need a scripted peer: what a device may send out of turn, repeat, or
// leave half-sent must never produce a second ending or wedge the session.
#include "gbihmaintainsession/cvazabuffer.h"
#include "gbihmaintainsession/cvazamaintainsession.h"
#include "loopbackserver.h"
#include "testtime.h"

#include <QSignalSpy>
#include <QtTest>

namespace
{
QByteArray Reply(quint32 u32Id, const QByteArray &baBody = QByteArray())
{
    return Vaza::BuildMsg(u32Id, 77, baBody);
}

QByteArray U32(quint32 u32)
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    WriteUInt32(&buf, u32);
    return buf.data();
}

// Identifiers of the complete messages in a byte stream.
QList<quint32> Ids(const QByteArray &ba)
{
    QList<quint32> ids;
    CVazaStreamSplitter splitter;
    splitter.Feed(ba, [&](const T_VAZAMsgHead &st, QByteArray &) { ids.append(st.u32MsgId); });
    return ids;
}

class CRulesFixture
{
public:
    CRulesFixture()
    {
        m_server.Listen();
        T_BaseDevInfo st;
        st.strHostName = QStringLiteral("ZR410-0001");
        st.strAddr = QStringLiteral("127.0.0.1");
        st.u32Port = m_server.Port();
        m_pSession.reset(new CVazaMaintainSession(st));
    }
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
    ScopedTimeScale scale(0.02);
    CRulesFixture f;
    QSignalSpy spy(f.m_pSession.data(), &CBaseMaintainSession::OnSysInfoNotify);
    QCOMPARE(f.m_pSession->GetSysInfo(), CMD_OK);
    QTRY_VERIFY(f.m_server.ConnectionCount() == 1 && Ids(f.m_server.Received(0)).size() == 1);
    f.m_server.Send(0, Reply(Vaza::ID_BindRsp, U32(0)));
    QTRY_COMPARE(Ids(f.m_server.Received(0)), (QList<quint32>{Vaza::ID_BindReq, 0x1101}));
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.at(0).at(1).toBool(), true);
    f.m_server.Send(0, Reply(0x2101));
    QTest::qWait(300);
    QCOMPARE(spy.size(), 1);
    QVERIFY(!f.m_pSession->IsBusy());
}

// Catches a session still busy while it announces the end of a command, so that a form
// starting the next command from its slot would be told CMD_BUSY.
void TestVazaSessionRules::nextCommandFromInsideFinalNotification()
{
    ScopedTimeScale scale(0.02);
    CRulesFixture f;
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
    ScopedTimeScale scale(0.1);
    CRulesFixture f;
    QCOMPARE(f.m_pSession->QueryVersion("main", 1), CMD_CONNECT_FAIL);
    QTRY_COMPARE(f.m_server.ConnectionCount(), 1);
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 1);
    f.m_server.Send(0, Reply(Vaza::ID_BindRsp, U32(0)) + Reply(Vaza::ID_BindRsp, U32(0)));
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 2);
    QTest::qWait(100);
    QCOMPARE(Ids(f.m_server.Received(0)), (QList<quint32>{Vaza::ID_BindReq, Vaza::ID_VersionQueryReq}));
}

// Catches bytes of a message the old connection never finished being read as the start of
// the new connection's stream (the first reply after reconnecting would be lost).
void TestVazaSessionRules::halfMessageOfOldConnectionIsForgotten()
{
    ScopedTimeScale scale(0.1);
    CRulesFixture f;
    QSignalSpy spy(f.m_pSession.data(), &CBaseMaintainSession::OnVersionQueryNotify);
    f.m_pSession->QueryVersion("main", 1);
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 1);
    QByteArray baHalf = Reply(0x2803, QByteArray(100, 'x')).left(40);
    f.m_server.Send(0, Reply(Vaza::ID_BindRsp, U32(0)) + baHalf);
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 2);
    f.m_server.Abort(0);
    QTest::qWait(100);
    f.m_pSession->QueryVersion("main", 1);
    QTRY_COMPARE(f.m_server.ConnectionCount(), 2);
    QTRY_COMPARE(Ids(f.m_server.Received(1)).size(), 1);
    CVazaBuffer body;
    body.open(QIODevice::WriteOnly);
    WriteByteArray(&body, "main");
    WriteUInt32(&body, 1);
    WriteUInt32(&body, 0);
    WriteUInt32(&body, 0);
    WriteByteArray(&body, "V9");
    f.m_server.Send(1, Reply(Vaza::ID_BindRsp, U32(0)));
    QTRY_COMPARE(Ids(f.m_server.Received(1)).size(), 2);
    f.m_server.Send(1, Reply(0x2803, body.data()));
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.at(0).at(4).toByteArray(), QByteArray("V9"));
}

// Catches heartbeats going on after the device unbinds us.
void TestVazaSessionRules::unbindStopsHeartbeat()
{
    ScopedTimeScale scale(0.01); // 30 ms ticks, 200 ms idle
    CRulesFixture f;
    f.m_pSession->QueryVersion("main", 1);
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 1);
    f.m_server.Send(0, Reply(Vaza::ID_BindRsp, U32(0)));
    QTRY_VERIFY(Ids(f.m_server.Received(0)).contains(Vaza::ID_HeartbeatReq));
    f.m_server.Send(0, Reply(Vaza::ID_UnBindReq));
    QTest::qWait(100);
    const int i32Count = Ids(f.m_server.Received(0)).count(Vaza::ID_HeartbeatReq);
    QTest::qWait(600);
    QCOMPARE(Ids(f.m_server.Received(0)).count(Vaza::ID_HeartbeatReq), i32Count);
}

// Catches step 102/103 replies (or a second 101) acted on before the upload they follow.
void TestVazaSessionRules::uploadRepliesOutOfTurnAreDropped()
{
    ScopedTimeScale scale(0.1);
    CRulesFixture f;
    QTemporaryFile image;
    QVERIFY(image.open());
    image.write("image");
    image.flush();
    QSignalSpy spy(f.m_pSession.data(), &CBaseMaintainSession::OnUpgradeNotify);
    T_UpgradeInfo st{QStringLiteral("main"), 1, image.fileName()};
    QCOMPARE(f.m_pSession->StartUpgrade(st), CMD_OK);
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 1);
    f.m_server.Send(0, Reply(Vaza::ID_BindRsp, U32(0)));
    QTRY_COMPARE(Ids(f.m_server.Received(0)).size(), 2);
    for (quint32 u32Step : {102u, 103u}) {
        CVazaBuffer body;
        body.open(QIODevice::WriteOnly);
        WriteByteArray(&body, "main");
        WriteUInt32(&body, 1);
        WriteUInt32(&body, u32Step);
        WriteUInt32(&body, 100);
        f.m_server.Send(0, Reply(Vaza::ID_VersionUpgradeRsp, body.data()));
    }
    // Only the response time-out may end it.
    QVERIFY(spy.wait(3000));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("time out"));
    QCOMPARE(Ids(f.m_server.Received(0)).size(), 2);
}

QTEST_MAIN(TestVazaSessionRules)
#include "tst_vazasessionrules.moc"
