// The telnet shell channel: negotiation answers, login, line assembly, one command per prompt,
// the silence checker and the reply parser. The receive path is fed exact reads through a
// transport that records what the channel writes (a TCP peer may merge or split reads); the
// socket behaviour is tested with CTelnetComm against a loopback peer.
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

// "name=value/0" for every read signal, in order.
QStringList Reads(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << QStringLiteral("%1=%2/%3")
                   .arg(QString::fromUtf8(args.at(0).toByteArray()), QString::fromUtf8(args.at(1).toByteArray()))
                   .arg(args.at(2).value<E_CommResult>());
    return out;
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
    void negotiation_data();
    void negotiation();
    void login_data();
    void login();
    void lineAssembly_data();
    void lineAssembly();
    void queueOnePerPrompt();
    void queueWhenIdleAndCleared();
    void reboot();
    void silenceTimesOut();
    void failedWrite();
    void replies_data();
    void replies();
    void deviceList();
    void builders_data();
    void builders();
    void socketLoginAndRead();
    void socketRefused();
    void socketSilentServer();
    void socketPeerCloses();
    void socketWriteStalls();
    void deletedFromItsSlots_data();
    void deletedFromItsSlots();
    void connectRefusesBadHost();
};

void TestTelnetComm::negotiation_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QByteArray>("written");

    // The fixed table, each row one read.
    QTest::newRow("DO tt/ts/xdl/env") << QByteArrayList{Hex("fffd18fffd20fffd23fffd27")}
                                      << Hex("fffc18fffc20fffc23fffc27");
    QTest::newRow("sga/echo/naws/status/lflow")
        << QByteArrayList{Hex("fffb03fffd01fffd1ffffb05fffd21")} << Hex("fffd03fffd01fffc1ffffe05fffc21");
    QTest::newRow("first row + environ") << QByteArrayList{Hex("fffd18fffd20fffd23fffd27fffd24")}
                                         << Hex("fffc18fffc20fffc23fffc27fffc24");
    QTest::newRow("second row + linemode")
        << QByteArrayList{Hex("fffb03fffd01fffd22fffd1ffffb05fffd21")} << Hex("fffd03fffd01fffc22fffc1ffffe05fffc21");
    QTest::newRow("WILL echo alone") << QByteArrayList{Hex("fffb01")} << QByteArray();
    // The reply keeps its final zero option byte.
    QTest::newRow("echo/timing/binary") << QByteArrayList{Hex("fffb01fffd06fffd00")} << Hex("fffd01fffc06fffc00");

    // Outside the table: answered option by option, or a server waiting for answers never
    // asks for the login. A Debian telnetd opens like this.
    QTest::newRow("debian telnetd") << QByteArrayList{Hex("fffb25fffb26fffd18fffd20fffd23fffd27")}
                                    << Hex("fffe25fffe26fffc18fffc20fffc23fffc27");
    // A busybox telnetd: it asks us to echo and offers echo and suppress-go-ahead.
    QTest::newRow("busybox telnetd") << QByteArrayList{Hex("fffd01fffd1ffffb01fffb03")}
                                     << Hex("fffc01fffc1ffffd01fffd03");
    // The first row split over two reads: neither half is a row, each is answered on its own.
    QTest::newRow("row split over two reads")
        << QByteArrayList{Hex("fffd18fffd20"), Hex("fffd23fffd27")} << Hex("fffc18fffc20fffc23fffc27");
    // Cut inside an option: the rest arrives with the next read.
    QTest::newRow("cut inside an option") << QByteArrayList{Hex("fffd18fffd"), Hex("20")} << Hex("fffc18fffc20");
    // WILL echo and the login prompt in one read: no row matches, the prompt still gets in.
    QTest::newRow("WILL echo + login") << QByteArrayList{Hex("fffb01") + "login: "} << Hex("fffd01") + "root\r\n";
    QTest::newRow("row + login in one read") << QByteArrayList{Hex("fffd18fffd20fffd23fffd27") + "\r\nlogin: "}
                                             << Hex("fffc18fffc20fffc23fffc27") + "root\r\n";
    // Subnegotiation and two-byte commands are skipped; WONT/DONT need no answer.
    QTest::newRow("SB, NOP, WONT") << QByteArrayList{Hex("fffa1801fff0fff1fffc01") + "login: "}
                                   << QByteArray("root\r\n");
    // Text arriving while a negotiation burst is pending is no burst: the tail goes.
    QTest::newRow("negotiation drops a text tail") << QByteArrayList{"garbage", Hex("fffb01")} << QByteArray();
    // Nothing readable as a command: skipped to the first letter or digit.
    QTest::newRow("escaped 0xff then login") << QByteArrayList{Hex("ffff2d2d") + "login: "} << QByteArray("root\r\n");
}

void TestTelnetComm::negotiation()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QByteArray, written);
    CScriptedComm comm;
    comm.Connect();
    for (const QByteArray &ba : reads)
        comm.Feed(ba);
    QCOMPARE(comm.Take().toHex(), written.toHex());
    QVERIFY(comm.IsConnected());
}

void TestTelnetComm::login_data()
{
    QTest::addColumn<QByteArray>("question");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("results"); // OnSendQueueReturn count

    QTest::newRow("login") << QByteArray("Velmora login: ") << QByteArray("root\r\n") << 0;
    QTest::newRow("LOGIN any case") << QByteArray("LOGIN: ") << QByteArray("root\r\n") << 0;
    QTest::newRow("password is an empty line") << QByteArray("Password: ") << QByteArray("\r\n") << 0;
    QTest::newRow("ubuntu shell") << QByteArray("ubuntu@box:~$ ") << QByteArray("sudo su\r\n") << 0;
    QTest::newRow("sudo password") << QByteArray("[sudo] password for ubuntu: ") << QByteArray("\r\n") << 0;
    QTest::newRow("incorrect password") << QByteArray("su: incorrect password") << QByteArray() << 1;
    QTest::newRow("login without blank") << QByteArray("login:") << QByteArray() << 0;
}

void TestTelnetComm::login()
{
    QFETCH(QByteArray, question);
    QFETCH(QByteArray, answer);
    QFETCH(int, results);
    CScriptedComm comm;
    QSignalSpy spy(&comm, &CBaseComm::OnSendQueueReturn);
    comm.Connect();
    comm.Feed(question);
    QCOMPARE(comm.Take(), answer);
    QCOMPARE(spy.count(), results);
    if (results) {
        QCOMPARE(Result(spy, 0), COMM_FAILED);
        QVERIFY(!comm.IsCheckerRunning());
        QVERIFY(comm.IsConnected()); // left open
    }
}

void TestTelnetComm::lineAssembly_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::addColumn<QByteArray>("tail");

    QTest::newRow("lines and a tail") << QByteArray("one\r\n\r\ntwo\r\nrest") << QByteArray("two")
                                      << QByteArray("rest");
    QTest::newRow("zero bytes removed") << QByteArray("o\0ne\r\nt\0ail", 12) << QByteArray("one") << QByteArray("tail");
    QTest::newRow("lone CR and LF do not end a line")
        << QByteArray("a\rb\nc\r\nd") << QByteArray("a\rb\nc") << QByteArray("d");
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

void TestTelnetComm::queueOnePerPrompt()
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
}

void TestTelnetComm::queueWhenIdleAndCleared()
{
    CScriptedComm comm;
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    comm.LogIn();
    comm.Take();
    // The prompt right after login with nothing queued reports the (empty) run done.
    QCOMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_OK);

    QVERIFY(comm.PushSendData("ls", true)); // ready and idle: written at once
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

    // A server that never asks for the login is bounded too: the checker runs from Connect.
    CScriptedComm silent;
    QSignalSpy silentResults(&silent, &CBaseComm::OnSendQueueReturn);
    silent.Connect();
    QVERIFY(silentResults.wait(5000));
    QCOMPARE(Result(silentResults, 0), COMM_TIMEOUT);
}

void TestTelnetComm::failedWrite()
{
    CScriptedComm comm;
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy sent(&comm, &CBaseComm::OnSendData);
    comm.LogIn();
    results.clear();
    comm.m_bFailWrites = true;
    QVERIFY(comm.PushSendData("ls", true));
    QCOMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_FAILED);
    QCOMPARE(sent.last().at(1).toBool(), false);
    QVERIFY(!comm.IsCheckerRunning());
    QCOMPARE(comm.SendQueue().size(), 1);
}

void TestTelnetComm::replies_data()
{
    QTest::addColumn<QString>("command"); // "param", "option", "config", "monitor", "exec"
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("reads");

    QTest::newRow("param value line") << "param" << QByteArray("gbparam g  name\r\nLobby%20encoder\r\n/ # ")
                                      << QStringList{"name=Lobby%20encoder/0"};
    QTest::newRow("param value on the prompt line")
        << "param" << QByteArray("gbparam g  name\r\n42/ # ") << QStringList{"name=42/0"};
    // Fault: the echoed command line was taken for the value when the value line was empty.
    QTest::newRow("param empty value") << "param" << QByteArray("gbparam g  name\r\n\r\n/ # ")
                                       << QStringList{"name=/0"};
    QTest::newRow("param not defined") << "param" << QByteArray("gbparam g  name\r\n\"name\" not defined\r\n/ # ")
                                       << QStringList{"name=/1"};
    QTest::newRow("param in pieces") << "param" << QByteArray("gbpa^ram g  na^me\r\nA^BC\r^\n/ ^# ")
                                     << QStringList{"name=ABC/0"};
    QTest::newRow("option value") << "option" << QByteArray("gbget vi_mode\r\n3\r\n/ # ") << QStringList{"vi_mode=3/0"};
    QTest::newRow("option not found") << "option" << QByteArray("gbget vi_mode\r\nsh: gbget: not found\r\n/ # ")
                                      << QStringList{"vi_mode=/1"};
    QTest::newRow("option not defined") << "option" << QByteArray("gbget vi_mode\r\nvi_mode not defined\r\n/ # ")
                                        << QStringList{"vi_mode=/1"};
    QTest::newRow("config value") << "config" << QByteArray("gbconfig --show ip\r\n10.0.0.5\r\n/ # ")
                                  << QStringList{"ip=10.0.0.5/0"};
    QTest::newRow("config empty value") << "config" << QByteArray("gbconfig --show ip\r\n/ # ") << QStringList{"ip=/0"};
    QTest::newRow("SAM display") << "monitor"
                                 << QByteArray(CBaseComm::s_monitorInfoCmd +
                                               "\r\n00 ff ff ff | ff ff ff 00 | 4c 2d 0d 05 | 00\r\n/ # ")
                                 << QStringList{"sinkinfo=SAM/0"};
    QTest::newRow("display, short id") << "monitor" << QByteArray("x\r\n00 ff ff ff | ff ff ff 00 | 4c 2d | 00\r\n/ # ")
                                       << QStringList{"sinkinfo=/1"};
    QTest::newRow("display, too few fields")
        << "monitor" << QByteArray("x\r\n00 ff ff ff | ff ff ff 00 |\r\n/ # ") << QStringList{"sinkinfo=/1"};
    QTest::newRow("exit status") << "exec" << QByteArray("false; echo $?\r\n1\r\n/ # ")
                                 << QStringList{"false; echo $?\r\n=1/0"};
}

void TestTelnetComm::replies()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, reads);
    CScriptedComm comm;
    comm.LogIn();
    QSignalSpy param(&comm, &CBaseComm::OnReadParam);
    QSignalSpy option(&comm, &CBaseComm::OnReadOption);
    QSignalSpy config(&comm, &CBaseComm::OnReadConfig);
    QSignalSpy exec(&comm, &CBaseComm::OnExecResult);
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    results.clear();
    if (command == "param")
        comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ);
    else if (command == "option")
        comm.ReadOption(QStringLiteral("vi_mode"));
    else if (command == "config")
        comm.ReadConfig(QStringLiteral("ip"));
    else if (command == "monitor")
        comm.ReadMonitorInfo();
    else
        comm.PushSendData("false; echo $?", true);
    for (const QByteArray &piece : answer.split('^')) // '^' marks where a read ends
        comm.Feed(piece);
    QStringList got;
    if (command == "param" || command == "monitor")
        got = Reads(param);
    else if (command == "option")
        got = Reads(option);
    else if (command == "config")
        got = Reads(config);
    else
        for (const QList<QVariant> &args : exec)
            got << QString::fromUtf8(args.at(0).toByteArray() + "=" + args.at(1).toByteArray()) + "/0";
    QCOMPARE(got, reads);
    QCOMPARE(results.count(), 1);
    QCOMPARE(Result(results, 0), COMM_OK);
}

void TestTelnetComm::deviceList()
{
    CScriptedComm comm;
    comm.LogIn();
    QSignalSpy list(&comm, &CBaseComm::OnListDevice);
    QSignalSpy end(&comm, &CBaseComm::OnNodelistEnd);
    QSignalSpy param(&comm, &CBaseComm::OnReadParam);
    comm.Feed("10.0.0.9\tZR410-OUTSIDE\tonline\r\n" // before the list: ignored
              ">>>>>\r\n"
              "10.0.0.7\tZR410-A1B2C3\tonline\r\n"
              "a\tb\tc\r\n"                          // 8 bytes or fewer
              "10.0.0.8\tZR420-X\tonline\textra\r\n" // four fields
              "<<<<<\r\n"
              "10.0.0.9\tZR410-AFTER00\tonline\r\n"
              "/ # ");
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.at(0).at(0).toByteArray(), QByteArray("10.0.0.7"));
    QCOMPARE(list.at(0).at(1).toByteArray(), QByteArray("ZR410-A1B2C3"));
    QCOMPARE(list.at(0).at(2).toByteArray(), QByteArray("online"));
    QCOMPARE(end.count(), 1);
    // Echo marker at the very end of a line: no name is taken, nothing is read.
    comm.Feed("/ # gbparam g  \r\nvalue\r\n/ # ");
    QCOMPARE(param.count(), 0);
}

void TestTelnetComm::builders_data()
{
    QTest::addColumn<int>("builder");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("ReadParam g") << 0 << QByteArray("gbparam g  name\r\n");
    QTest::newRow("ReadParam r") << 1 << QByteArray("gbparam r  name\r\n");
    QTest::newRow("WriteParam") << 2 << QByteArray("gbparam s  name Caf\xc3\xa9 1\r\n");
    QTest::newRow("SaveParam") << 3 << QByteArray("gbparam save \r\n");
    QTest::newRow("SendECommand") << 4 << QByteArray("e  reset\r\n");
    QTest::newRow("SetOsd on") << 5 << QByteArray("osd_on.sh  123456\r\n");
    QTest::newRow("SetOsd off") << 6 << QByteArray("osd_off.sh  0\r\n");
    QTest::newRow("ReadOption") << 7 << QByteArray("gbget vi_mode\r\n");
    QTest::newRow("WriteOption") << 8 << QByteArray("gbset -vi_mode 3\r\n");
    QTest::newRow("ReadConfig") << 9 << QByteArray("gbconfig --show ip\r\n");
    QTest::newRow("WriteConfig") << 10 << QByteArray("gbconfig --ip 10.0.0.5\r\n");
    QTest::newRow("WriteViOption") << 11 << QByteArray("gbset -vi  1080p\r\n");
    QTest::newRow("ReadMonitorInfo") << 12 << QByteArray("cat /sys/devices/platform/display/monitor_info\r\n");
    QTest::newRow("Reboot") << 13 << QByteArray("reboot\r\n");
    // A value holding a placeholder is not substituted a second time.
    QTest::newRow("placeholder in a value") << 14 << QByteArray("gbparam s  name %1%2\r\n");
}

void TestTelnetComm::builders()
{
    QFETCH(int, builder);
    QFETCH(QByteArray, line);
    CScriptedComm comm;
    const QString strName = QStringLiteral("name");
    bool bOk = false;
    switch (builder) {
    case 0:
        bOk = comm.ReadParam(strName, CBaseComm::PARAM_READ);
        break;
    case 1:
        bOk = comm.ReadParam(strName, CBaseComm::PARAM_READ_RO);
        break;
    case 2:
        bOk = comm.WriteParam(strName, QStringLiteral("Café 1"));
        break;
    case 3:
        bOk = comm.SaveParam();
        break;
    case 4:
        bOk = comm.SendECommand(QStringLiteral("reset"));
        break;
    case 5:
        bOk = comm.SetOsd(true);
        break;
    case 6:
        bOk = comm.SetOsd(false);
        break;
    case 7:
        bOk = comm.ReadOption(QStringLiteral("vi_mode"));
        break;
    case 8:
        bOk = comm.WriteOption(QStringLiteral("vi_mode"), QStringLiteral("3"));
        break;
    case 9:
        bOk = comm.ReadConfig(QStringLiteral("ip"));
        break;
    case 10:
        bOk = comm.WriteConfig(QStringLiteral("--ip 10.0.0.5"));
        break;
    case 11:
        bOk = comm.WriteViOption(QStringLiteral("1080p"));
        break;
    case 12:
        bOk = comm.ReadMonitorInfo();
        break;
    case 13:
        bOk = comm.Reboot();
        break;
    case 14:
        bOk = comm.WriteParam(strName, QStringLiteral("%1%2"));
        break;
    }
    QVERIFY(bOk);
    QCOMPARE(comm.SendQueue(), QList<QByteArray>{line});
    // A mode that is neither read queues nothing.
    QVERIFY(!comm.ReadParam(strName, 2));
    QCOMPARE(comm.SendQueue().size(), 1);
}

// Real bytes over loopback: a peer that plays the device by hand.
void TestTelnetComm::socketLoginAndRead()
{
    LoopbackServer server;
    QVERIFY(server.Listen());
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), server.Port());
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy param(&comm, &CBaseComm::OnReadParam);
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
    QCOMPARE(Reads(param), QStringList{"name=Meeting%20room/0"});
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

void TestTelnetComm::connectRefusesBadHost()
{
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("device.example"), 24);
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QVERIFY(!comm.Connect()); // no name lookup
    QVERIFY(!comm.IsConnecting());
    QCOMPARE(results.count(), 0);
}

QTEST_GUILESS_MAIN(TestTelnetComm)
#include "tst_telnetcomm.moc"
