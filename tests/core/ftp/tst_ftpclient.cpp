// The client's protocol decisions against a scripted server on loopback: what it sends
// for each reply, and how every way of going wrong ends in done(true) with its text.
#include "ftp/qftp.h"
#include "loopbackserver.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// A port on 127.0.0.1 that refuses connections for as long as the object lives. A port
// taken from the system and released could be bound again at once by a test running beside
// us, and a listener that never accepts is not closed (the kernel completes the handshake).
// So the socket stays bound but never listens: Linux answers a connection attempt with a
// reset, and without SO_REUSEADDR nobody else can bind the port meanwhile.
class CClosedPort
{
public:
    CClosedPort() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in stAddr{};
        stAddr.sin_family = AF_INET;
        stAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(stAddr);
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&stAddr), len) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&stAddr), &len) == 0)
            m_u16Port = ntohs(stAddr.sin_port);
    }
    ~CClosedPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CClosedPort(const CClosedPort &) = delete;
    CClosedPort &operator=(const CClosedPort &) = delete;
    quint16 Port() const { return m_u16Port; }

private:
    int m_fd;
    quint16 m_u16Port = 0;
};

// The scripted server's side: each client line expected (none for the greeting), then
// the reply to send ("RST" resets the connection instead).
using Script = QList<QPair<QByteArray, QByteArray>>;
} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void loginSendsWhatItIsGiven();
    void failureEndsInDoneTrueWithItsText_data();
    void failureEndsInDoneTrueWithItsText();
    void anyReplySequenceEndsInDoneAndMayDeleteTheClient();
    void downloadEndingOnDataEofMayDeleteTheClient_data();
    void downloadEndingOnDataEofMayDeleteTheClient();

private:
    bool Play(const Script &script);

    std::unique_ptr<LoopbackServer> m_pServer;
    CClosedPort m_closed; // held by the whole run: the data rows name it before their case runs
};

void TestFtpClient::init()
{
    m_pServer.reset(new LoopbackServer);
    QVERIFY(m_pServer->Listen());
}

bool TestFtpClient::Play(const Script &script)
{
    QByteArray baExpected;
    auto unread = [&] { return m_pServer->Received(0).mid(baExpected.size()); };
    for (const auto &step : script) {
        const QByteArray baLine = step.first.isEmpty() ? QByteArray() : step.first + "\r\n";
        (void)QTest::qWaitFor([&] { return m_pServer->ConnectionCount() && unread().size() >= baLine.size(); }, 5000);
        if (!m_pServer->ConnectionCount() || !unread().startsWith(baLine)) {
            qWarning() << "expected" << baLine << "got" << unread();
            return false;
        }
        baExpected += baLine;
        if (step.second == "RST")
            m_pServer->Abort(0);
        else
            m_pServer->Send(0, step.second);
    }
    return true;
}

void TestFtpClient::loginSendsWhatItIsGiven()
{
    // A null user is anonymous; an empty one (a URL without a user) is sent as it is; a
    // 230 to USER means no PASS (it would be refused and fail the login). Preliminary
    // 1xx and multi-line greetings come first.
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    ftp.login();
    ftp.login(QLatin1String(""), QLatin1String(""));
    ftp.login(QStringLiteral("guest"), QStringLiteral("pw"));
    ftp.close();
    QVERIFY(Play({{"", "120 Ready in a moment\r\n220-Welcome\r\n220 to the scripted server\r\n"},
                  {"USER anonymous", "331 Please specify the password.\r\n"},
                  {"PASS anonymous@", "230 Login successful.\r\n"},
                  {"USER ", "331 Please specify the password.\r\n"},
                  {"PASS ", "230 Login successful.\r\n"},
                  {"USER guest", "230 Logged in without a password.\r\n"},
                  {"QUIT", "221 Goodbye.\r\n"}}));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QCOMPARE(ftp.state(), QFtp::Unconnected);
}

void TestFtpClient::failureEndsInDoneTrueWithItsText_data()
{
    QTest::addColumn<int>("port");     // 0: none (not connected), 1: the scripted server, 2: a closed port
    QTest::addColumn<QString>("file"); // a download after the login, if any
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QByteArray>("neverSent");
    const QString strConnect = QFtp::tr("Connecting to host failed:\n%1");
    const QString strLogin = QFtp::tr("Login failed:\n%1");
    const quint16 u16Closed = m_closed.Port();
    const QByteArray baPasv =
        "227 (127,0,0,1," + QByteArray::number(u16Closed >> 8) + ',' + QByteArray::number(u16Closed & 0xff) + ")\r\n";
    const Script login{{"", "220 ok\r\n"}, {"USER u", "331 pw\r\n"}, {"PASS p", "230 ok\r\n"}};
    const int U = QFtp::UnknownError;
    auto row = [](const char *pszTag, int iPort, const Script &script, int iError, const QString &strExpected,
                  const QByteArray &baNeverSent = QByteArray(), const QString &strFile = QString()) {
        QTest::newRow(pszTag) << iPort << strFile << script << iError << strExpected << baNeverSent;
    };
    row("not connected", 0, {}, QFtp::NotConnected, QFtp::tr("Not connected"));
    row("refused host", 2, {}, QFtp::ConnectionRefused, QFtp::tr("Connection refused to host %1").arg("127.0.0.1"));
    row("greeting that is no reply", 1, {{"", "hello there\r\n"}}, U, strConnect.arg("hello there"), "USER");
    // A server that never ends its line: the client answers with what fits, never waits forever.
    row("endless greeting", 1, {{"", QByteArray(1 << 20, 'x')}}, U, strConnect.arg(QString(8192, 'x')), "USER");
    row("greeting 421", 1, {{"", "421 Too many users\r\n"}}, U, strConnect.arg("Too many users"), "USER");
    row("first digit 6", 1, {{"", "220 ok\r\n"}, {"USER u", "631 odd\r\n"}}, U, strLogin.arg("odd"), "PASS");
    // "202 superfluous" did nothing, so the login did not happen.
    row("202 to USER", 1, {{"", "220 ok\r\n"}, {"USER u", "202 Superfluous\r\n"}}, U, strLogin.arg("Superfluous"),
        "PASS");
    // An account is needed and this command has none to send: not a successful login.
    row("332 to PASS", 1, login.mid(0, 2) + Script{{"PASS p", "332 Need account.\r\n"}}, U,
        strLogin.arg("Need account."));
    row("multi-line 530", 1, login.mid(0, 2) + Script{{"PASS p", "530-Not today.\r\n530 Try later.\r\n"}}, U,
        strLogin.arg("Not today.\nTry later."));
    row("control connection reset", 1, {{"", "220 ok\r\n"}, {"USER u", "RST"}}, QFtp::ConnectionClosed,
        QFtp::tr("Connection closed"));
    // The transfer command never goes out for a data connection that does not exist.
    row("refused data connection", 1,
        login + Script{{"TYPE I", "200 ok\r\n"}, {"SIZE /log", "213 10\r\n"}, {"PASV", baPasv}},
        QFtp::ConnectionRefused, QFtp::tr("Connection refused for data connection"), "RETR", "/log");
    // A line break in an argument would smuggle in a command of the caller's choosing.
    row("line break in the file name", 1, login, U,
        QFtp::tr("Downloading file failed:\n%1").arg(QFtp::tr("The command contains a line break")), "DELE",
        "fw.img\r\nDELE important");
}

void TestFtpClient::failureEndsInDoneTrueWithItsText()
{
    QFETCH(int, port);
    QFETCH(QString, file);
    QFETCH(Script, script);
    QFETCH(int, error);
    QFETCH(QString, expected);
    QFETCH(QByteArray, neverSent);
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    QSignalSpy started(&ftp, &QFtp::commandStarted);
    QSignalSpy finished(&ftp, &QFtp::commandFinished);
    if (port)
        ftp.connectToHost(QStringLiteral("127.0.0.1"), port == 1 ? m_pServer->Port() : m_closed.Port());
    ftp.login(QStringLiteral("u"), QStringLiteral("p"));
    if (!file.isEmpty())
        ftp.get(file);
    ftp.close();
    if (port == 1)
        QVERIFY(Play(script));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(ftp.errorString(), expected);
    QCOMPARE(int(ftp.error()), error);
    // The running command fails and the rest of the queue (QUIT among it) is dropped.
    QVERIFY(!started.isEmpty());
    QCOMPARE(finished.last().at(0), started.last().at(0));
    QCOMPARE(finished.last().at(1).toBool(), true);
    QVERIFY(!ftp.hasPendingCommands());
    if (port == 1) {
        QVERIFY(!m_pServer->Received(0).contains("QUIT"));
        QVERIFY(neverSent.isEmpty() || !m_pServer->Received(0).contains(neverSent));
    }
    if (error == QFtp::ConnectionClosed || port != 1)
        QCOMPARE(ftp.state(), QFtp::Unconnected);
    QCOMPARE(done.count(), 1);
}

void TestFtpClient::anyReplySequenceEndsInDoneAndMayDeleteTheClient()
{
    // A server answering every line with something arbitrary, sane or not: the client
    // always comes to done() (no hang, no crash), whatever path the replies take it down.
    const quint16 u16Closed = m_closed.Port();
    QVERIFY(u16Closed != 0);
    QList<QByteArray> lstReplies =
        QByteArray("200 ok\r\n;331 more please\r\n;530 no\r\n;150 wait\r\n226 done\r\n;"
                   "garbage without a code\r\n;213 12345\r\n;213 not-a-size\r\n;"
                   "202 superfluous\r\n;699 odd\r\n;\r\n\r\n250-first\r\n250 last\r\n;"
                   "227 (999,1,1,1,1,1)\r\n;229 (|||0|)\r\n;421 closing\r\n;220 hello again\r\n")
            .split(';');
    lstReplies << "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(u16Closed >> 8) + "," +
                      QByteArray::number(u16Closed & 0xff) + ")\r\n";
    for (quint32 u32Seed = 1; u32Seed <= 40; ++u32Seed) {
        LoopbackServer server;
        QVERIFY(server.Listen());
        QRandomGenerator gen(u32Seed);
        auto pick = [&] { return lstReplies.at(gen.bounded(lstReplies.size())); };
        int iLines = 0;
        connect(&server, &LoopbackServer::newConnection, &server, [&] {
            server.Send(server.ConnectionCount() - 1, gen.bounded(4) == 0 ? pick() : QByteArray("220 ready\r\n"));
        });
        connect(&server, &LoopbackServer::bytesReceived, &server, [&](int i) {
            for (const int iNow = server.Received(i).count('\n'); iLines < iNow; ++iLines)
                server.Send(i, pick());
        });
        // A caller may delete the client outright in its done() slot, whatever led there.
        auto *pFtp = new QFtp;
        QSignalSpy destroyed(pFtp, &QObject::destroyed);
        // Qt goes on using the emitting socket after done()'s slots return, so no socket
        // may die with the client: each must still exist right after the delete.
        bool bSocketDiedWithClient = false;
        connect(pFtp, &QFtp::done, pFtp, [pFtp, &bSocketDiedWithClient] {
            QList<QPointer<QTcpSocket>> lstSockets;
            for (QTcpSocket *pSocket : pFtp->findChildren<QTcpSocket *>())
                lstSockets.append(pSocket);
            delete pFtp;
            for (const QPointer<QTcpSocket> &pSocket : lstSockets)
                bSocketDiedWithClient |= pSocket.isNull();
        });
        pFtp->connectToHost(QStringLiteral("127.0.0.1"), server.Port());
        pFtp->login(QStringLiteral("u"), QStringLiteral("p"));
        if (u32Seed % 2)
            pFtp->get(QStringLiteral("/log"));
        pFtp->close();
        QVERIFY2(destroyed.wait(5000), qPrintable(QStringLiteral("seed %1 hung").arg(u32Seed)));
        QVERIFY2(!bSocketDiedWithClient, qPrintable(QStringLiteral("seed %1 freed a socket mid-signal").arg(u32Seed)));
    }
}

void TestFtpClient::downloadEndingOnDataEofMayDeleteTheClient_data()
{
    QTest::addColumn<bool>("replyFirst");
    // "226" read first: the command ends when the data connection reaches its end of file,
    // inside the data socket's own signal. Data ended first: it ends on the control reply.
    QTest::newRow("226 then end of data") << true;
    QTest::newRow("end of data then 226") << false;
}

void TestFtpClient::downloadEndingOnDataEofMayDeleteTheClient()
{
    // Deleting the client from done() must not free a socket Qt is still emitting from;
    // a sanitizer build keeps freed memory intact, so this bites in the optimised build.
    QFETCH(bool, replyFirst);
    LoopbackServer data;
    QVERIFY(data.Listen());
    auto *pFtp = new QFtp;
    QSignalSpy destroyed(pFtp, &QObject::destroyed);
    QByteArray baLog;
    connect(pFtp, &QFtp::readyRead, pFtp, [&] { baLog += pFtp->readAll(); });
    QList<QPointer<QTcpSocket>> lstSockets;
    connect(pFtp, &QFtp::done, pFtp, [&](bool bError) {
        QVERIFY(!bError);
        baLog += pFtp->readAll();
        for (QTcpSocket *pSocket : pFtp->findChildren<QTcpSocket *>())
            lstSockets.append(pSocket);
        delete pFtp;
        // Every socket it had must outlive it until the event loop runs again.
        for (const QPointer<QTcpSocket> &pSocket : lstSockets)
            QVERIFY(pSocket);
    });
    pFtp->connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    pFtp->login(QStringLiteral("u"), QStringLiteral("p"));
    pFtp->get(QStringLiteral("/log"));
    const QByteArray baPasv = "227 (127,0,0,1," + QByteArray::number(data.Port() >> 8) + ',' +
                              QByteArray::number(data.Port() & 0xff) + ")\r\n";
    QVERIFY(Play({{"", "220 ok\r\n"},
                  {"USER u", "331 pw\r\n"},
                  {"PASS p", "230 ok\r\n"},
                  {"TYPE I", "200 ok\r\n"},
                  {"SIZE /log", "213 5\r\n"},
                  {"PASV", baPasv},
                  {"RETR /log", "150 here it comes\r\n"}}));
    QTRY_COMPARE_WITH_TIMEOUT(data.ConnectionCount(), 1, 5000);
    auto settle = [] {
        // Bytes already written on loopback are delivered by the next few event-loop turns.
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    };
    data.Send(0, "hello");
    data.Connection(0)->flush();
    settle();
    if (replyFirst) {
        m_pServer->Send(0, "226 done\r\n");
        m_pServer->Connection(0)->flush();
        settle();
        data.Connection(0)->disconnectFromHost();
    } else {
        data.Connection(0)->disconnectFromHost();
        settle();
        m_pServer->Send(0, "226 done\r\n");
    }
    QVERIFY(destroyed.wait(5000));
    QCOMPARE(baLog, QByteArray("hello"));
    // The detached sockets are deleted once control is back in the event loop.
    for (const QPointer<QTcpSocket> &pSocket : lstSockets)
        QTRY_VERIFY(!pSocket);
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
