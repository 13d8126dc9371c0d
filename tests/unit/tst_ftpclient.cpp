// The client's protocol decisions against a scripted server on loopback: what it sends
// for each reply, and how every way of going wrong ends in done(true) with its text.
#include "loopbackserver.h"
#include "qftp/qftp/qftp.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

namespace
{
// A port with nobody listening: taken from the system, then released.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loginTextsNullBecomeAnonymousEmptyStayEmpty();
    void noPasswordNeededSendsNoPass();
    void repliesThatFailTheCommand_data();
    void repliesThatFailTheCommand();
    void refusedDataConnectionFailsCleanly();
    void controlConnectionLostMidCommand();
    void notConnectedAndRefusedHost();
    void lineBreakInArgumentIsNeverSent();
    void deletingTheClientInsideDoneIsSafe();
    void anyReplySequenceEndsInDone();

private:
    // Waits for the client's next line on the control connection and answers it.
    bool Expect(const QByteArray &baLine, const QByteArray &baReply);
    bool Greet(const QByteArray &baGreeting = "220 scripted server\r\n");

    LoopbackServer *m_pServer = nullptr;
    int m_iConsumed = 0;
};

void TestFtpClient::init()
{
    m_pServer = new LoopbackServer(this);
    QVERIFY(m_pServer->Listen());
    m_iConsumed = 0;
}

void TestFtpClient::cleanup()
{
    delete m_pServer;
    m_pServer = nullptr;
}

bool TestFtpClient::Greet(const QByteArray &baGreeting)
{
    if (!QTest::qWaitFor([this] { return m_pServer->ConnectionCount() > 0; }, 5000))
        return false;
    m_pServer->Send(0, baGreeting);
    return true;
}

bool TestFtpClient::Expect(const QByteArray &baLine, const QByteArray &baReply)
{
    const QByteArray baWanted = baLine + "\r\n";
    const bool bSeen =
        QTest::qWaitFor([&] { return m_pServer->Received(0).size() >= m_iConsumed + baWanted.size(); }, 5000);
    const QByteArray baGot = m_pServer->Received(0).mid(m_iConsumed, baWanted.size());
    if (!bSeen || baGot != baWanted) {
        qWarning() << "expected" << baWanted << "got" << m_pServer->Received(0).mid(m_iConsumed);
        return false;
    }
    m_iConsumed += baWanted.size();
    if (!baReply.isEmpty())
        m_pServer->Send(0, baReply);
    return true;
}

void TestFtpClient::loginTextsNullBecomeAnonymousEmptyStayEmpty()
{
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    ftp.login();
    ftp.login(QString(QLatin1String("")), QString(QLatin1String("")));
    QVERIFY(Greet());
    QVERIFY(Expect("USER anonymous", "331 Please specify the password.\r\n"));
    QVERIFY(Expect("PASS anonymous@", "230 Login successful.\r\n"));
    // A URL without a user gives an empty, not a null, user: it is sent as it is.
    QVERIFY(Expect("USER ", "331 Please specify the password.\r\n"));
    QVERIFY(Expect("PASS ", "230 Login successful.\r\n"));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QCOMPARE(ftp.state(), QFtp::LoggedIn);
}

void TestFtpClient::noPasswordNeededSendsNoPass()
{
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    ftp.login(QStringLiteral("guest"), QStringLiteral("pw"));
    ftp.close();
    QVERIFY(Greet("120 Ready in a moment\r\n220-Welcome\r\n220 to the scripted server\r\n"));
    QVERIFY(Expect("USER guest", "230 Logged in without a password.\r\n"));
    // The next line is QUIT: a PASS here would be refused and fail the login.
    QVERIFY(Expect("QUIT", "221 Goodbye.\r\n"));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
}

void TestFtpClient::repliesThatFailTheCommand_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("userReply");
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<QString>("expected");
    const QString strConnect = QFtp::tr("Connecting to host failed:\n%1");
    const QString strLogin = QFtp::tr("Login failed:\n%1");
    QTest::newRow("greeting that is no reply") << QByteArray("hello there\r\n") << QByteArray() << QByteArray()
                                               << strConnect.arg(QStringLiteral("hello there"));
    // A server that never ends its line: the client answers with what fits, never waits forever.
    QTest::newRow("endless greeting") << QByteArray(1 << 20, 'x') << QByteArray() << QByteArray()
                                      << strConnect.arg(QString(8192, QLatin1Char('x')));
    QTest::newRow("greeting 421") << QByteArray("421 Too many users\r\n") << QByteArray() << QByteArray()
                                  << strConnect.arg(QStringLiteral("Too many users"));
    QTest::newRow("first digit 6") << QByteArray("220 ok\r\n") << QByteArray("631 odd\r\n") << QByteArray()
                                   << strLogin.arg(QStringLiteral("odd"));
    // "202 superfluous" did nothing, so the login did not happen.
    QTest::newRow("202 to USER") << QByteArray("220 ok\r\n") << QByteArray("202 Superfluous\r\n") << QByteArray()
                                 << strLogin.arg(QStringLiteral("Superfluous"));
    // An account is needed and this command has none to send: not a successful login.
    QTest::newRow("332 to PASS") << QByteArray("220 ok\r\n") << QByteArray("331 pw\r\n")
                                 << QByteArray("332 Need account for login.\r\n")
                                 << strLogin.arg(QStringLiteral("Need account for login."));
    QTest::newRow("multi-line 530") << QByteArray("220 ok\r\n") << QByteArray("331 pw\r\n")
                                    << QByteArray("530-Not today.\r\n530 Try later.\r\n")
                                    << strLogin.arg(QStringLiteral("Not today.\nTry later."));
}

void TestFtpClient::repliesThatFailTheCommand()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, userReply);
    QFETCH(QByteArray, passReply);
    QFETCH(QString, expected);
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    QSignalSpy finished(&ftp, &QFtp::commandFinished);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    const int iLogin = ftp.login(QStringLiteral("u"), QStringLiteral("p"));
    ftp.close();
    QVERIFY(Greet(greeting));
    if (!userReply.isEmpty())
        QVERIFY(Expect("USER u", userReply));
    if (!passReply.isEmpty())
        QVERIFY(Expect("PASS p", passReply));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(ftp.errorString(), expected);
    // The failed command ends with the error and the rest of the queue is dropped.
    QCOMPARE(finished.last().at(1).toBool(), true);
    if (!userReply.isEmpty())
        QCOMPARE(finished.last().at(0).toInt(), iLogin);
    QVERIFY(!ftp.hasPendingCommands());
    QVERIFY(!m_pServer->Received(0).contains("QUIT"));
    QCOMPARE(done.count(), 1);
}

void TestFtpClient::refusedDataConnectionFailsCleanly()
{
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    ftp.login(QStringLiteral("u"), QStringLiteral("p"));
    ftp.get(QStringLiteral("/log"));
    QVERIFY(Greet());
    QVERIFY(Expect("USER u", "331 pw\r\n"));
    QVERIFY(Expect("PASS p", "230 ok\r\n"));
    QVERIFY(Expect("TYPE I", "200 ok\r\n"));
    QVERIFY(Expect("SIZE /log", "213 10\r\n"));
    const quint16 u16Port = ClosedPort();
    QVERIFY(Expect("PASV", QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2).\r\n")
                               .arg(u16Port >> 8)
                               .arg(u16Port & 0xff)
                               .toLatin1()));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(ftp.errorString(), QFtp::tr("Connection refused for data connection"));
    QCOMPARE(ftp.error(), QFtp::ConnectionRefused);
    // The transfer command never went out for a connection that does not exist.
    QVERIFY(!m_pServer->Received(0).contains("RETR"));
}

void TestFtpClient::controlConnectionLostMidCommand()
{
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    ftp.login(QStringLiteral("u"), QStringLiteral("p"));
    QVERIFY(Greet());
    QVERIFY(Expect("USER u", QByteArray()));
    m_pServer->Abort(0);
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(ftp.errorString(), QFtp::tr("Connection closed"));
    QCOMPARE(ftp.state(), QFtp::Unconnected);
}

void TestFtpClient::notConnectedAndRefusedHost()
{
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.login(QStringLiteral("u"), QStringLiteral("p"));
    QVERIFY(done.wait(5000));
    QCOMPARE(ftp.errorString(), QFtp::tr("Not connected"));
    QCOMPARE(ftp.error(), QFtp::NotConnected);

    const quint16 u16Port = ClosedPort();
    ftp.connectToHost(QStringLiteral("127.0.0.1"), u16Port);
    ftp.login();
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(1).at(0).toBool(), true);
    QCOMPARE(ftp.errorString(), QFtp::tr("Connection refused to host %1").arg(QStringLiteral("127.0.0.1")));
    QCOMPARE(ftp.state(), QFtp::Unconnected);
}

void TestFtpClient::lineBreakInArgumentIsNeverSent()
{
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    ftp.login(QStringLiteral("u"), QStringLiteral("p"));
    ftp.get(QStringLiteral("fw.img\r\nDELE important"));
    QVERIFY(Greet());
    QVERIFY(Expect("USER u", "331 pw\r\n"));
    QVERIFY(Expect("PASS p", "230 ok\r\n"));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(ftp.errorString(),
             QFtp::tr("Downloading file failed:\n%1").arg(QFtp::tr("The command contains a line break")));
    QVERIFY(!m_pServer->Received(0).contains("DELE"));
}

void TestFtpClient::deletingTheClientInsideDoneIsSafe()
{
    // A caller that deletes the client outright in its done() slot must not crash it.
    auto *pFtp = new QFtp;
    QPointer<QFtp> guard(pFtp);
    connect(pFtp, &QFtp::done, pFtp, [pFtp] { delete pFtp; });
    pFtp->connectToHost(QStringLiteral("127.0.0.1"), m_pServer->Port());
    pFtp->login(QStringLiteral("u"), QStringLiteral("p"));
    QVERIFY(Greet());
    QVERIFY(Expect("USER u", "530 no\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 5000);
}

void TestFtpClient::anyReplySequenceEndsInDone()
{
    // A server answering every line with something arbitrary, sane or not: the client
    // always comes to done() (no hang, no crash), whatever path the replies take it down.
    const quint16 u16Closed = ClosedPort();
    const QList<QByteArray> lstReplies = {
        "200 ok\r\n",
        "331 more please\r\n",
        "530 no\r\n",
        "150 wait\r\n226 done\r\n",
        "garbage without a code\r\n",
        "213 12345\r\n",
        "213 not-a-size\r\n",
        "202 superfluous\r\n",
        "699 odd\r\n",
        "\r\n\r\n250-first\r\n250 last\r\n",
        "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(u16Closed >> 8) + "," +
            QByteArray::number(u16Closed & 0xff) + ")\r\n",
        "227 (999,1,1,1,1,1)\r\n",
        "229 (|||0|)\r\n",
        "421 closing\r\n",
        "220 hello again\r\n",
    };
    for (quint32 u32Seed = 1; u32Seed <= 40; ++u32Seed) {
        LoopbackServer server;
        QVERIFY(server.Listen());
        QRandomGenerator gen(u32Seed);
        int iLines = 0;
        connect(&server, &LoopbackServer::newConnection, &server, [&] {
            server.Send(server.ConnectionCount() - 1, gen.bounded(4) == 0
                                                          ? lstReplies.at(gen.bounded(lstReplies.size()))
                                                          : QByteArray("220 ready\r\n"));
        });
        connect(&server, &LoopbackServer::bytesReceived, &server, [&](int i) {
            const int iNow = server.Received(i).count('\n');
            for (; iLines < iNow; ++iLines)
                server.Send(i, lstReplies.at(gen.bounded(lstReplies.size())));
        });
        QFtp ftp;
        QSignalSpy done(&ftp, &QFtp::done);
        ftp.connectToHost(QStringLiteral("127.0.0.1"), server.Port());
        ftp.login(QStringLiteral("u"), QStringLiteral("p"));
        if (u32Seed % 2)
            ftp.get(QStringLiteral("/log"));
        ftp.close();
        QVERIFY2(done.wait(5000), qPrintable(QStringLiteral("seed %1 hung").arg(u32Seed)));
    }
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
