// The telnet shell channel: negotiation answers, login, line assembly, one command per prompt,
// the silence checker, and how replies become signals (the reply rules themselves, on bytes
// alone, are tst_telnetreply's). The receive path is fed exact reads through a transport that
// records what the channel writes (a TCP peer may merge or split reads); the socket behaviour
// is tested with CTelnetComm against a loopback peer.
#include "loopbackserver.h"
#include "quietwindow.h"
#include "telnet/ctelnetcomm.h"
#include "testtime.h"

#include <QPointer>
#include <QTcpServer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace
{

// A channel whose "socket" is a byte string: reads are handed in whole, writes are kept.
class CScriptedComm : public CBaseComm
{
public:
    explicit CScriptedComm(const QString &strPrefix = QStringLiteral("gb")) : CBaseComm(strPrefix, QString()) {}
    bool Connect() override
    {
        Reset();
        SetLive();
        m_bConnected = true;
        StartTimeOutChecker(kCheckerMs);
        return true;
    }
    bool Close() override
    {
        AbortConnect();
        return CBaseComm::Close();
    }
    bool IsConnecting() override { return false; }
    void AbortConnect() override { m_bConnected = false; }
    bool IsConnected() override { return m_bConnected; }
    bool WriteData(const QByteArray &data, bool bNewLine) override
    {
        if (m_bFailWrites || !m_bConnected)
            return false;
        m_written += data;
        if (bNewLine)
            m_written += "\r\n";
        StartTimeOutChecker(kCheckerMs);
        return true;
    }
    void Feed(const QByteArray &ba) { OnReceiveData(ba); }
    // What was written since the last call.
    QByteArray Take()
    {
        const QByteArray ba = m_written;
        m_written.clear();
        return ba;
    }
    void LogIn()
    {
        Connect();
        Feed("login: ");
        Feed("Password: ");
        Feed("/ # ");
    }
    QByteArray RecvBuffer() const { return m_recvBuffer; }
    QByteArray LastLine() const { return m_lastLine; }

    bool m_bConnected = false;
    bool m_bFailWrites = false;

private:
    QByteArray m_written;
};

E_CommResult Result(const QSignalSpy &spy, int i)
{
    return spy.at(i).at(0).value<E_CommResult>();
}

// Every reply signal as a line of text, in order: "param name=value/0", "exec cmd=status",
// "device ip host status", "list end". The log must outlive the channel.
void LogReplies(CBaseComm &comm, QStringList &log)
{
    const auto read = [&log](const char *pszKind) {
        return [&log, pszKind](const QByteArray &name, const QByteArray &value, E_CommResult eResult) {
            log << QStringLiteral("%1 %2=%3/%4").arg(pszKind, name, value).arg(eResult);
        };
    };
    QObject::connect(&comm, &CBaseComm::OnReadParam, &comm, read("param"));
    QObject::connect(&comm, &CBaseComm::OnReadOption, &comm, read("option"));
    QObject::connect(&comm, &CBaseComm::OnReadConfig, &comm, read("config"));
    QObject::connect(&comm, &CBaseComm::OnExecResult, &comm,
                     [&log](const QByteArray &cmd, const QByteArray &result) { log << "exec " + cmd + '=' + result; });
    QObject::connect(&comm, &CBaseComm::OnListDevice, &comm,
                     [&log](const QByteArray &ip, const QByteArray &host, const QByteArray &status) {
                         log << "device " + ip + ' ' + host + ' ' + status;
                     });
    QObject::connect(&comm, &CBaseComm::OnNodelistEnd, &comm, [&log] { log << "list end"; });
}

QByteArray Hex(const char *psz)
{
    return QByteArray::fromHex(psz);
}

// A port on loopback that nobody listens on.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

class TestTelnetComm : public QObject
{
    Q_OBJECT
private slots:
    void opening_data();
    void opening();
    void lineAssembly_data();
    void lineAssembly();
    void queue();
    void reboot();
    void silenceTimesOut();
    void replies_data();
    void replies();
    void builders();
    void socketLoginAndRead();
    void socketRefused();
    void socketSilentServer();
    void socketPeerCloses();
    void socketWriteStalls();
    void deletedFromItsSlots_data();
    void deletedFromItsSlots();
};

// The server's opening: option negotiation, then the login questions.
void TestTelnetComm::opening_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("failed"); // the run ended with COMM_FAILED

    // The fixed table, each row one read.
    QTest::newRow("DO tt/ts/xdl/env") << QByteArrayList{Hex("fffd18fffd20fffd23fffd27")}
                                      << Hex("fffc18fffc20fffc23fffc27") << false;
    QTest::newRow("sga/echo/naws/status/lflow")
        << QByteArrayList{Hex("fffb03fffd01fffd1ffffb05fffd21")} << Hex("fffd03fffd01fffc1ffffe05fffc21") << false;
    QTest::newRow("first row + environ") << QByteArrayList{Hex("fffd18fffd20fffd23fffd27fffd24")}
                                         << Hex("fffc18fffc20fffc23fffc27fffc24") << false;
    QTest::newRow("second row + linemode") << QByteArrayList{Hex("fffb03fffd01fffd22fffd1ffffb05fffd21")}
                                           << Hex("fffd03fffd01fffc22fffc1ffffe05fffc21") << false;
    QTest::newRow("WILL echo alone") << QByteArrayList{Hex("fffb01")} << QByteArray() << false;
    // The reply keeps its final zero option byte.
    QTest::newRow("echo/timing/binary") << QByteArrayList{Hex("fffb01fffd06fffd00")} << Hex("fffd01fffc06fffc00")
                                        << false;

    // Outside the table: answered option by option, or a server waiting for answers never
    // asks for the login. A Debian telnetd opens like this.
    QTest::newRow("debian telnetd") << QByteArrayList{Hex("fffb25fffb26fffd18fffd20fffd23fffd27")}
                                    << Hex("fffe25fffe26fffc18fffc20fffc23fffc27") << false;
    // A busybox telnetd: it asks us to echo and offers echo and suppress-go-ahead.
    QTest::newRow("busybox telnetd") << QByteArrayList{Hex("fffd01fffd1ffffb01fffb03")}
                                     << Hex("fffc01fffc1ffffd01fffd03") << false;
    // The first row split over two reads: neither half is a row, each is answered on its own.
    QTest::newRow("row split over two reads")
        << QByteArrayList{Hex("fffd18fffd20"), Hex("fffd23fffd27")} << Hex("fffc18fffc20fffc23fffc27") << false;
    // Cut inside an option: the rest arrives with the next read.
    QTest::newRow("cut inside an option")
        << QByteArrayList{Hex("fffd18fffd"), Hex("20")} << Hex("fffc18fffc20") << false;
    // A row and the login prompt in one read: no row matches, the prompt still gets in.
    QTest::newRow("WILL echo + login") << QByteArrayList{Hex("fffb01") + "\r\nlogin: "} << Hex("fffd01") + "root\r\n"
                                       << false;
    // Subnegotiation and two-byte commands are skipped; WONT/DONT need no answer.
    QTest::newRow("SB, NOP, WONT") << QByteArrayList{Hex("fffa1801fff0fff1fffc01") + "login: "}
                                   << QByteArray("root\r\n") << false;
    // Text arriving while a negotiation burst is pending is no burst: the tail goes.
    QTest::newRow("negotiation drops a text tail") << QByteArrayList{"garbage", Hex("fffb01")} << QByteArray() << false;
    // Nothing readable as a command: skipped to the first letter or digit.
    QTest::newRow("escaped 0xff then login")
        << QByteArrayList{Hex("ffff2d2d") + "login: "} << QByteArray("root\r\n") << false;

    // The questions of the shells' logins.
    QTest::newRow("login, any case") << QByteArrayList{"Velmora LOGIN: "} << QByteArray("root\r\n") << false;
    QTest::newRow("password is an empty line") << QByteArrayList{"Password: "} << QByteArray("\r\n") << false;
    QTest::newRow("ubuntu shell") << QByteArrayList{"ubuntu@box:~$ "} << QByteArray("sudo su\r\n") << false;
    QTest::newRow("sudo password") << QByteArrayList{"[sudo] password for ubuntu: "} << QByteArray("\r\n") << false;
    // The checker has stopped here, so only the prompt count holds queued commands back.
    QTest::newRow("incorrect password") << QByteArrayList{"login: ", "Password: ", "su: incorrect password"}
                                        << QByteArray("root\r\n\r\n") << true;
    QTest::newRow("login without blank") << QByteArrayList{"login:"} << QByteArray() << false;
}

void TestTelnetComm::opening()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QByteArray, written);
    QFETCH(bool, failed);
    CScriptedComm comm;
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    comm.Connect();
    for (const QByteArray &ba : reads)
        comm.Feed(ba);
    QCOMPARE(comm.Take().toHex(), written.toHex());
    // Fault: commands queued before any shell prompt were typed into the login.
    QVERIFY(comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QCOMPARE(comm.Take(), QByteArray());
    QVERIFY(comm.IsConnected()); // left open, also after an incorrect password
    QCOMPARE(results.count(), failed ? 1 : 0);
    if (failed) {
        QCOMPARE(Result(results, 0), COMM_FAILED);
        QVERIFY(!comm.IsCheckerRunning());
    }
}

void TestTelnetComm::lineAssembly_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::addColumn<QByteArray>("tail");

    // A blank line is no line: the one before stays the last.
    QTest::newRow("zero bytes, blank line")
        << QByteArray("o\0ne\r\ntwo\r\n\r\nt\0ail", 18) << QByteArray("two") << QByteArray("tail");
    QTest::newRow("1023 bytes stay") << QByteArray(1023, 'x') << QByteArray() << QByteArray(1023, 'x');
    QTest::newRow("1024 bytes are dropped") << QByteArray(1024, 'x') << QByteArray() << QByteArray();
    QTest::newRow("long line with its end is kept") << QByteArray(4000, 'y') + "\r\n"
                                                    << QByteArray(4000, 'y') << QByteArray();
}

void TestTelnetComm::lineAssembly()
{
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, lastLine);
    QFETCH(QByteArray, tail);
    CScriptedComm comm;
    comm.Connect();
    QSignalSpy recv(&comm, &CBaseComm::OnRecvData);
    comm.Feed(read);
    QCOMPARE(comm.LastLine(), lastLine);
    QCOMPARE(comm.RecvBuffer(), tail);
    QCOMPARE(recv.count(), 1);
    QVERIFY(!recv.at(0).at(0).toByteArray().contains('\0'));
}

void TestTelnetComm::queue()
{
    CScriptedComm comm;
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy sent(&comm, &CBaseComm::OnSendData);
    QVERIFY(comm.PushSendData("one", true));
    QVERIFY(comm.PushSendData("two", true));
    QVERIFY(comm.PushSendData("three", false));
    QVERIFY(!comm.PushSendData(nullptr, false));
    comm.Connect();
    comm.Feed("login: ");
    comm.Feed("Password: ");
    QCOMPARE(comm.Take(), QByteArray("root\r\n\r\n")); // nothing queued goes out before a prompt
    comm.Feed("/ # ");
    QCOMPARE(comm.Take(), QByteArray("one\r\n"));
    comm.Feed("one\r\n/ # ");
    QCOMPARE(comm.Take(), QByteArray("two\r\n"));
    QCOMPARE(results.count(), 0);
    comm.Feed("two\r\n/ # ");
    QCOMPARE(comm.Take(), QByteArray("three"));
    comm.Feed("three\r\n/ # ");
    QCOMPARE(comm.Take(), QByteArray());
    QCOMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_OK);
    QVERIFY(comm.SendQueue().isEmpty());
    QVERIFY(!comm.IsCheckerRunning());
    // Every write is reported, without the line end the channel adds.
    QCOMPARE(sent.count(), 5);
    QCOMPARE(sent.at(0).at(0).toByteArray(), QByteArray("root"));
    QCOMPARE(sent.at(2).at(0).toByteArray(), QByteArray("one\r\n"));

    // A read of nothing but telnet padding is no second prompt.
    comm.Feed(QByteArray(1, '\0'));
    QCOMPARE(results.count(), 1);

    QVERIFY(comm.PushSendData("ls", true)); // at a prompt and idle: written at once
    QCOMPARE(comm.Take(), QByteArray("ls\r\n"));
    QVERIFY(comm.PushSendData("pwd", true)); // one in flight: waits
    QCOMPARE(comm.Take(), QByteArray());
    comm.ClearSendQueue();
    QVERIFY(comm.SendQueue().isEmpty());
    QVERIFY(comm.IsCheckerRunning());
    comm.Feed("ls\r\nbin etc\r\n/ # ");
    QCOMPARE(comm.Take(), QByteArray());
    QCOMPARE(results.count(), 2);
    QCOMPARE(Result(results, 1), COMM_OK);

    // A write that fails ends the run; the line stays queued for another try.
    comm.m_bFailWrites = true;
    QVERIFY(comm.PushSendData("ls", true));
    QCOMPARE(results.count(), 3);
    QCOMPARE(Result(results, 2), COMM_FAILED);
    QCOMPARE(sent.last().at(1).toBool(), false);
    QVERIFY(!comm.IsCheckerRunning());
    QCOMPARE(comm.SendQueue().size(), 1);
}

void TestTelnetComm::reboot()
{
    CScriptedComm comm;
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QVERIFY(comm.Reboot());
    comm.LogIn();
    QCOMPARE(comm.Take(), QByteArray("root\r\n\r\nreboot\r\n"));
    // The echo is a complete line: not yet the end.
    comm.Feed("reboot\r\n");
    QCOMPARE(results.count(), 0);
    QVERIFY(comm.IsCheckerRunning());
    comm.Feed("The system is going down NOW!");
    QCOMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_OK);
    QVERIFY(comm.SendQueue().isEmpty());
    QVERIFY(!comm.IsCheckerRunning());
}

void TestTelnetComm::silenceTimesOut()
{
    ScopedTimeScale scale(0.002); // 15 s -> 30 ms
    CScriptedComm comm;
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    comm.LogIn();
    comm.Take();
    results.clear();
    QVERIFY(comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QCOMPARE(comm.Take(), QByteArray("gbparam g  name\r\n"));
    QVERIFY(comm.IsCheckerRunning());
    QVERIFY(results.wait(5000));
    QCOMPARE(Result(results, 0), COMM_TIMEOUT);
    QVERIFY(!comm.IsConnected());
    QCOMPARE(comm.SendQueue(), QList<QByteArray>{"gbparam g  name\r\n"});
    QVERIFY_QUIET(results, 3 * CBaseComm::kCheckerMs);

    // After a reconnect the command cut off is typed again.
    comm.LogIn();
    QCOMPARE(comm.Take(), QByteArray("root\r\n\r\ngbparam g  name\r\n"));
}

void TestTelnetComm::replies_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("signals");
    const QByteArray monitor = CBaseComm::s_monitorInfoCmd;
    struct {
        const char *pszTag;
        QByteArray baCommand, baAnswer; // '^' marks where a read ends
        QStringList lstSignals;
    } const rows[] = {
        {"param in pieces", "gbparam g  name", "gbpa^ram g  na^me\r\nA^BC\r^\n/ ^# ", {"param name=ABC/0"}},
        // Fault: the echoed command line was taken for the value when the value line was empty.
        {"param empty value", "gbparam g  name", "gbparam g  name\r\n\r\n/ # ", {"param name=/0"}},
        {"param not defined", "gbparam g  name", "gbparam g  name\r\n\"name\" not defined\r\n/ # ", {"param name=/1"}},
        {"read-only param, empty value", "gbparam r  name", "gbparam r  name\r\n\r\n/ # ", {"param name=/0"}},
        {"option value", "gbget vi_mode", "gbget vi_mode\r\n3\r\n/ # ", {"option vi_mode=3/0"}},
        {"option not found", "gbget vi_mode", "gbget vi_mode\r\nsh: gbget: not found\r\n/ # ", {"option vi_mode=/1"}},
        {"config empty value", "gbconfig --show ip", "gbconfig --show ip\r\n/ # ", {"config ip=/0"}},
        {"display lines",
         monitor,
         monitor + "\r\n00 ff ff ff | ff ff ff 00 | 4c 2d | 00\r\n00 ff ff ff | ff ff ff 00 | 4c 2d 0d 05 | 00\r\n/ # ",
         {"param sinkinfo=/1", "param sinkinfo=SAM/0"}},
        {"exit status", "false; echo $?", "false; echo $?\r\n1\r\n/ # ", {"exec false; echo $?\r\n=1"}},
        // The device prints its list unasked; only lines between the markers are devices.
        {"device list",
         "",
         "10.0.0.9\tZR410-OUTSIDE\tonline\r\n>>>>>\r\n10.0.0.7\tZR410-A1B2C3\tonline\r\n<<<<<\r\n"
         "10.0.0.9\tZR410-AFTER00\tonline\r\n/ # ",
         {"device 10.0.0.7 ZR410-A1B2C3 online", "list end"}},
    };
    for (const auto &row : rows)
        QTest::newRow(row.pszTag) << row.baCommand << row.baAnswer << row.lstSignals;
}

void TestTelnetComm::replies()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QStringList got;
    CScriptedComm comm;
    comm.LogIn();
    LogReplies(comm, got);
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    if (!command.isEmpty())
        comm.PushSendData(command.constData(), true);
    for (const QByteArray &piece : answer.split('^'))
        comm.Feed(piece);
    QTEST(got, "signals");
    QCOMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_OK);
}

void TestTelnetComm::builders()
{
    const QString strName = QStringLiteral("name");
    const QList<QPair<std::function<bool(CBaseComm &)>, QByteArray>> rows = {
        {[&](CBaseComm &c) { return c.ReadParam(strName, CBaseComm::PARAM_READ); }, "gbparam g  name\r\n"},
        {[&](CBaseComm &c) { return c.ReadParam(strName, CBaseComm::PARAM_READ_RO); }, "gbparam r  name\r\n"},
        {[&](CBaseComm &c) { return c.WriteParam(strName, QStringLiteral("Café 1")); },
         "gbparam s  name Caf\xc3\xa9 1\r\n"},
        // A value holding a placeholder is not substituted a second time.
        {[&](CBaseComm &c) { return c.WriteParam(strName, QStringLiteral("%1%2")); }, "gbparam s  name %1%2\r\n"},
        {[](CBaseComm &c) { return c.SaveParam(); }, "gbparam save \r\n"},
        {[](CBaseComm &c) { return c.SendECommand(QStringLiteral("reset")); }, "e  reset\r\n"},
        {[](CBaseComm &c) { return c.SetOsd(true); }, "osd_on.sh  123456\r\n"},
        {[](CBaseComm &c) { return c.SetOsd(false); }, "osd_off.sh  0\r\n"},
        {[](CBaseComm &c) { return c.ReadOption(QStringLiteral("vi_mode")); }, "gbget vi_mode\r\n"},
        {[](CBaseComm &c) { return c.WriteOption(QStringLiteral("vi_mode"), QStringLiteral("3")); },
         "gbset -vi_mode 3\r\n"},
        {[](CBaseComm &c) { return c.ReadConfig(QStringLiteral("ip")); }, "gbconfig --show ip\r\n"},
        {[](CBaseComm &c) { return c.WriteConfig(QStringLiteral("--ip 10.0.0.5")); }, "gbconfig --ip 10.0.0.5\r\n"},
        {[](CBaseComm &c) { return c.WriteViOption(QStringLiteral("1080p")); }, "gbset -vi  1080p\r\n"},
        {[](CBaseComm &c) { return c.ReadMonitorInfo(); }, "cat /sys/devices/platform/display/monitor_info\r\n"},
        {[](CBaseComm &c) { return c.Reboot(); }, "reboot\r\n"},
    };
    for (const auto &row : rows) {
        CScriptedComm comm;
        QVERIFY(row.first(comm));
        QCOMPARE(comm.SendQueue(), QList<QByteArray>{row.second});
        // A mode that is neither read queues nothing.
        QVERIFY(!comm.ReadParam(strName, 2));
        QCOMPARE(comm.SendQueue().size(), 1);
    }
}

// Real bytes over loopback: a peer that plays the device by hand.
void TestTelnetComm::socketLoginAndRead()
{
    LoopbackServer server;
    QVERIFY(server.Listen());
    QStringList got;
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), server.Port());
    LogReplies(comm, got);
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy connected(&comm, &CBaseComm::OnConnected);
    QVERIFY(comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QVERIFY(comm.Connect());
    QVERIFY(!comm.Connect()); // already connecting
    QTRY_COMPARE(server.ConnectionCount(), 1);
    QTRY_COMPARE(connected.count(), 1);
    server.Send(0, Hex("fffd18fffd20fffd23fffd27"));
    QTRY_COMPARE(server.Received(0), Hex("fffc18fffc20fffc23fffc27"));
    server.Send(0, "\r\nlogin: ");
    QTRY_VERIFY(server.Received(0).endsWith("root\r\n"));
    server.Send(0, "root\r\nPassword: ");
    QTRY_VERIFY(server.Received(0).endsWith("root\r\n\r\n"));
    server.Send(0, "\r\n/ # ");
    QTRY_VERIFY(server.Received(0).endsWith("gbparam g  name\r\n"));
    server.Send(0, "gbparam g  name\r\nMeeting%20room\r\n/ # ");
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(got, QStringList{"param name=Meeting%20room/0"});
    QCOMPARE(Result(results, 0), COMM_OK);
    QVERIFY(comm.IsConnected());
}

void TestTelnetComm::socketRefused()
{
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), ClosedPort());
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QVERIFY(comm.PushSendData("one", true));
    QVERIFY(comm.PushSendData("two", true));
    QVERIFY(comm.Connect());
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_FAILED);
    QCOMPARE(comm.SendQueue(), (QList<QByteArray>{"one\r\n", "two\r\n"}));
    QVERIFY(!comm.IsCheckerRunning());
    QVERIFY_QUIET(results, 2 * CBaseComm::kCheckerMs / 100);

    // A host name is refused at once: no lookup, no result.
    CTelnetComm named(QStringLiteral("gb"), QString(), QStringLiteral("device.example"), 24);
    QSignalSpy namedResults(&named, &CBaseComm::OnSendQueueReturn);
    QVERIFY(!named.Connect());
    QVERIFY(!named.IsConnecting());
    QCOMPARE(namedResults.count(), 0);
}

void TestTelnetComm::socketSilentServer()
{
    ScopedTimeScale scale(0.005); // 15 s -> 75 ms
    LoopbackServer server;
    QVERIFY(server.Listen());
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), server.Port());
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy disconnected(&comm, &CBaseComm::OnDisconnected);
    comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ);
    QVERIFY(comm.Connect());
    QVERIFY(results.wait(5000));
    QCOMPARE(Result(results, 0), COMM_TIMEOUT);
    QVERIFY(!comm.IsConnected());
    QVERIFY_QUIET(results, 3 * CBaseComm::kCheckerMs);
    QCOMPARE(results.count(), 1);
    QCOMPARE(disconnected.count(), 0); // our own abort is no peer close
    QCOMPARE(comm.SendQueue().size(), 1);
}

void TestTelnetComm::socketPeerCloses()
{
    LoopbackServer server;
    QVERIFY(server.Listen());
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), server.Port());
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy disconnected(&comm, &CBaseComm::OnDisconnected);
    comm.PushSendData("ls", true);
    QVERIFY(comm.Connect());
    QTRY_COMPARE(server.ConnectionCount(), 1);
    server.Send(0, "/ # ");
    QTRY_VERIFY(server.Received(0).endsWith("ls\r\n"));
    server.Connection(0)->disconnectFromHost();
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_FAILED);
    // One loss, one result: the socket's error and its close are the same event.
    QVERIFY_QUIET(results, 1000);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(comm.SendQueue().size(), 1);

    // Once "reboot" has gone out, the device going down without a word is its success; a
    // reconnect does not reboot it again.
    QVERIFY(comm.Reboot()); // behind the "ls" kept from the run above
    QVERIFY(comm.Connect());
    QTRY_COMPARE(server.ConnectionCount(), 2);
    results.clear();
    server.Send(1, "/ # ");
    QTRY_VERIFY(server.Received(1).endsWith("ls\r\n"));
    server.Send(1, "ls\r\nbin\r\n/ # ");
    QTRY_VERIFY(server.Received(1).endsWith("reboot\r\n"));
    server.Send(1, "reboot\r\n");
    server.Connection(1)->disconnectFromHost();
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_OK);
    QVERIFY(comm.SendQueue().isEmpty());
    QVERIFY_QUIET(results, 1000);
}

// A peer that takes no more bytes: the write fails after the write limit, as a blocking write
// would, and the silence checker does not run while the bytes wait.
void TestTelnetComm::socketWriteStalls()
{
    ScopedTimeScale scale(0.1); // the 30 s write limit in 3 s, the checker from Connect in 1.5 s
    const QByteArray huge(64 * 1024 * 1024, 'x');
    // A bare listener that never accepts (a QTcpServer would, and read everything), with a
    // small receive buffer for the connection the kernel completes on its own.
    const int iListener = socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(iListener >= 0);
    const auto closeListener = qScopeGuard([iListener] { close(iListener); });
    const int iSmall = 4096;
    QCOMPARE(setsockopt(iListener, SOL_SOCKET, SO_RCVBUF, &iSmall, sizeof(iSmall)), 0);
    sockaddr_in stAddr{};
    stAddr.sin_family = AF_INET;
    stAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLen = sizeof(stAddr);
    QCOMPARE(bind(iListener, reinterpret_cast<sockaddr *>(&stAddr), sizeof(stAddr)), 0);
    QCOMPARE(listen(iListener, 1), 0);
    QCOMPARE(getsockname(iListener, reinterpret_cast<sockaddr *>(&stAddr), &uLen), 0);
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), ntohs(stAddr.sin_port));
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy sent(&comm, &CBaseComm::OnSendData);
    QVERIFY(comm.Connect());
    QTRY_VERIFY(comm.IsConnected());
    QVERIFY(comm.SendData(huge, false));
    QVERIFY(!comm.IsCheckerRunning());
    QVERIFY(results.wait(10000));
    QCOMPARE(Result(results, 0), COMM_FAILED);
    QCOMPARE(sent.last().at(1).toBool(), false);
    QVERIFY(!comm.IsConnected());
    QVERIFY_QUIET(results, 3 * CBaseComm::kCheckerMs);
}

// Callers drop a channel from its own result signal; each ending path survives that.
void TestTelnetComm::deletedFromItsSlots_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("ok") << "ok";
    QTest::newRow("peer close") << "close";
    QTest::newRow("refused") << "refused";
    QTest::newRow("time out") << "timeout";
    QTest::newRow("read param") << "param";
}

void TestTelnetComm::deletedFromItsSlots()
{
    QFETCH(QString, ending);
    ScopedTimeScale scale(ending == "timeout" ? 0.005 : 1.0);
    LoopbackServer server;
    QVERIFY(server.Listen());
    const quint16 port = ending == "refused" ? ClosedPort() : server.Port();
    QPointer<CTelnetComm> comm = new CTelnetComm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), port);
    if (ending == "param")
        QObject::connect(comm.data(), &CBaseComm::OnReadParam, comm.data(), &QObject::deleteLater);
    else
        QObject::connect(comm.data(), &CBaseComm::OnSendQueueReturn, comm.data(), &QObject::deleteLater);
    comm->ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ);
    QVERIFY(comm->Connect());
    if (ending == "ok" || ending == "param" || ending == "close") {
        QTRY_COMPARE(server.ConnectionCount(), 1);
        server.Send(0, "/ # ");
        QTRY_VERIFY(server.Received(0).endsWith("name\r\n"));
        if (ending == "close")
            server.Abort(0);
        else
            server.Send(0, "gbparam g  name\r\nx\r\n/ # ");
    }
    QTRY_VERIFY(comm.isNull());
}

QTEST_GUILESS_MAIN(TestTelnetComm)
#include "tst_telnetcomm.moc"
