// The session base's transport: connect on demand, one waiting request, reconnect after errors.
#include "loopbackserver.h"
#include "session/cbasemaintainsession.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

namespace
{
// The smallest concrete session: records what reaches OnReadData.
class CProbeSession : public CBaseMaintainSession
{
    Q_OBJECT
public:
    using CBaseMaintainSession::CBaseMaintainSession;
    bool IsCmdSupported(int) override { return false; }
    E_CmdResult StartUpgrade(const T_UpgradeInfo &) override { return CMD_NOT_SUPPORT; }
    E_CmdResult GetSysInfo() override
    {
        if (IsBusy())
            return CMD_BUSY;
        m_eCurCmd = CUR_SYSINFO;
        return CMD_OK;
    }
    E_CmdResult DownloadLog() override { return CMD_NOT_SUPPORT; }
    E_CmdResult QueryVersion(QByteArray, quint32) override { return CMD_NOT_SUPPORT; }

    bool Send(const QByteArray &ba) { return SendData(ba); }
    bool HasSocket() const { return m_pSocket != nullptr; }
    QTcpSocket *Socket() const { return m_pSocket; }
    QDateTime LastSend() const { return m_dtLastSend; }
    QByteArray m_baReceived;

signals:
    void received();

protected:
    void OnReadData(const QByteArray &data) override
    {
        m_baReceived += data;
        emit received();
    }
};

T_BaseDevInfo DeviceAt(quint16 u16Port)
{
    T_BaseDevInfo st;
    st.strHostName = QStringLiteral("ZR410-0001");
    st.strAddr = QStringLiteral("127.0.0.1");
    // Only the low 16 bits are a TCP port; the high ones must be ignored.
    st.u32Port = 0x10000u | u16Port;
    return st;
}
} // namespace

class TestBaseMaintainSession : public QObject
{
    Q_OBJECT
private slots:
    void onlyLastRequestWaitsForConnect();
    void bytesReachSubclassUnchangedAndErrorReconnects();
    void busyAndAbort();
    void recordsTravelThroughQueuedSignals();
    void sessionDeletedInsideItsSocketsSignalKeepsTheSocketAlive_data();
    void sessionDeletedInsideItsSocketsSignalKeepsTheSocketAlive();
};

// Catches a request lost or sent twice while connecting, a stale earlier request written
// behind the waiting one, and a connected session that still queues instead of sending.
void TestBaseMaintainSession::onlyLastRequestWaitsForConnect()
{
    LoopbackServer server;
    QVERIFY(server.Listen());
    CProbeSession session(DeviceAt(server.Port()));
    QVERIFY(!session.HasSocket());
    QVERIFY(!session.Send("first"));
    QVERIFY(session.HasSocket());
    QVERIFY(!session.Send("second"));
    QTRY_COMPARE(server.ReceivedOnLast(), QByteArray("second"));
    QVERIFY(session.LastSend().isValid());
    const int i32Connections = server.ConnectionCount();
    // A stray first request written after the second would arrive before this third one.
    QVERIFY(session.Send("+third"));
    QTRY_COMPARE(server.ReceivedOnLast(), QByteArray("second+third"));
    QCOMPARE(server.ConnectionCount(), i32Connections);
}

// Catches received bytes altered (a text conversion, a dropped zero) on the way to the
// subclass, and a session that keeps a reset socket instead of connecting anew.
void TestBaseMaintainSession::bytesReachSubclassUnchangedAndErrorReconnects()
{
    LoopbackServer server;
    QVERIFY(server.Listen());
    CProbeSession session(DeviceAt(server.Port()));
    session.Send("one");
    QTRY_COMPARE(server.Received(0), QByteArray("one"));
    QCOMPARE(server.ConnectionCount(), 1);
    QByteArray baAll;
    for (int i = 0; i < 256; ++i)
        baAll.append(char(i));
    server.Send(0, baAll);
    QTRY_COMPARE(session.m_baReceived, baAll);

    server.Abort(0);
    QTRY_VERIFY(!session.HasSocket());
    QVERIFY(!session.Send("two"));
    QTRY_COMPARE(server.ConnectionCount(), 2);
    QTRY_COMPARE(server.Received(1), QByteArray("two"));
}

// Catches an abort that does not say what it ended, or leaves the session busy.
void TestBaseMaintainSession::busyAndAbort()
{
    CProbeSession session(DeviceAt(1));
    QCOMPARE(session.AbortCmd(), int(CUR_NONE));
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(session.IsBusy());
    QCOMPARE(session.AbortCmd(), int(CUR_SYSINFO));
    QVERIFY(!session.IsBusy());
}

void TestBaseMaintainSession::recordsTravelThroughQueuedSignals()
{
    // Forms may sit behind queued connections: without registered meta-types the records
    // (and the "UInt32" spelling) would be dropped with only a warning.
    CProbeSession session(DeviceAt(1));
    QSignalSpy upgradeSpy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QSignalSpy versionSpy(&session, &CBaseMaintainSession::OnVersionQueryNotify);
    QObject receiver;
    quint32 u32GotPort = 0;
    T_UpgradeInfo stUpGot;
    connect(
        &session, &CBaseMaintainSession::OnUpgradeNotify, &receiver,
        [&](T_BaseDevInfo, T_UpgradeInfo up, QString, bool, bool, int) { stUpGot = up; }, Qt::QueuedConnection);
    connect(
        &session, &CBaseMaintainSession::OnVersionQueryNotify, &receiver,
        [&](T_BaseDevInfo, bool, QByteArray, UInt32 u32, QByteArray) { u32GotPort = u32; }, Qt::QueuedConnection);

    emit session.OnUpgradeNotify(session.DevInfo(), T_UpgradeInfo{QStringLiteral("mod"), 7, QStringLiteral("/i.bin")},
                                 QStringLiteral("Uploading"), false, false, 10);
    emit session.OnVersionQueryNotify(session.DevInfo(), false, "mod", 0xFFFFFFFFu, "1.2");
    QTRY_COMPARE(u32GotPort, 0xFFFFFFFFu);
    QCOMPARE(stUpGot.strFilePath, QStringLiteral("/i.bin"));
    QCOMPARE(upgradeSpy.at(0).at(0).value<T_BaseDevInfo>().strAddr, QStringLiteral("127.0.0.1"));
    QCOMPARE(versionSpy.at(0).at(4).toByteArray(), QByteArray("1.2"));
}

void TestBaseMaintainSession::sessionDeletedInsideItsSocketsSignalKeepsTheSocketAlive_data()
{
    QTest::addColumn<bool>("reset");
    // Deleted from a notification raised by a reply (inside readyRead), or right after the
    // device reset the connection (inside the socket's error signal).
    QTest::newRow("reply") << false;
    QTest::newRow("reset") << true;
}

void TestBaseMaintainSession::sessionDeletedInsideItsSocketsSignalKeepsTheSocketAlive()
{
    // Qt keeps using the emitting socket after the slot returns: a socket dying with its
    // session there is a use-after-free that only an optimised build shows.
    QFETCH(bool, reset);
    LoopbackServer server;
    QVERIFY(server.Listen());
    auto *pSession = new CProbeSession(DeviceAt(server.Port()));
    QSignalSpy destroyed(pSession, &QObject::destroyed);
    pSession->Send("q");
    QTRY_COMPARE(server.ConnectionCount(), 1);
    QPointer<QTcpSocket> pSocket = pSession->Socket();
    bool bSocketAliveAfterDelete = false;
    auto deleteSession = [&] {
        delete pSession;
        bSocketAliveAfterDelete = !pSocket.isNull();
    };
    if (reset) {
        connect(pSocket.data(), &QAbstractSocket::errorOccurred, &server, deleteSession);
        server.Abort(0);
    } else {
        connect(pSession, &CProbeSession::received, pSession, deleteSession);
        server.Send(0, "answer");
    }
    QVERIFY(destroyed.wait(5000));
    QVERIFY(bSocketAliveAfterDelete);
    QTRY_VERIFY(pSocket.isNull());
}

QTEST_GUILESS_MAIN(TestBaseMaintainSession)
#include "tst_basemaintainsession.moc"
