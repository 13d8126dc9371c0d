// The telnet channel against a telnet server we did not write: busybox's telnetd from Debian
// (package busybox-static), on the devices' own telnet port 24 inside the private namespaces of
// the runner (so no port is shared with anything else on the machine), running a small shell
// script as its login program. The script asks "login: " and "Password: " on the server's pty
// and then plays the device shell's parameter tool; the pty echoes what is typed, as on a
// device. Proves that negotiation and login survive a foreign server.
#include "telnet/ctelnetcomm.h"

#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// The login program: everything a device shell needs for a name read and a reboot.
const char *const kLoginScript = R"(#!/bin/sh
printf 'login: '
IFS= read -r user
printf 'Password: '
IFS= read -r pass
printf '%s\n' "$user" > "$(dirname "$0")/login.txt"
while :; do
  printf '/ # '
  IFS= read -r line || exit 0
  case "$line" in
    "gbparam g  name") printf 'Interop%%20box\n' ;;
    "gbparam r  serial") printf 'VX-0042\n' ;;
    "gbparam "[gr]"  "*) printf '"%s" not defined\n' "${line#gbparam ?  }" ;;
    reboot) printf 'The system is going down NOW!'; sleep 1; exit 0 ;;
    "") ;;
    *) printf 'sh: %s: not found\n' "${line%% *}" ;;
  esac
done
)";

QString Busybox()
{
    for (const QString &strPath : {QStringLiteral("/bin/busybox"), QStringLiteral("/usr/bin/busybox")})
        if (QFile::exists(strPath))
            return strPath;
    return QStandardPaths::findExecutable(QStringLiteral("busybox"));
}

// The server's opening bytes as the channel logged them, and what the channel wrote.
QStringList g_receivedHex;
QtMessageHandler g_previousHandler = nullptr;
void CaptureHex(QtMsgType eType, const QMessageLogContext &ctx, const QString &strMsg)
{
    if (strMsg.contains(QLatin1String("OnReceiveDataHex")))
        g_receivedHex << strMsg.section(QLatin1Char('"'), 1, 1);
    if (g_previousHandler)
        g_previousHandler(eType, ctx, strMsg);
}

} // namespace

class TestTelnetBusybox : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void readName();
    void reboot();

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_u16Port = 0;
};

void TestTelnetBusybox::initTestCase()
{
    const QString strBusybox = Busybox();
    if (strBusybox.isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("busybox (package busybox-static) is not installed");
        QSKIP("busybox (package busybox-static) is not installed; scripts/setup-deps.sh installs it");
    }
    QVERIFY(m_dir.isValid());
    const QString strScript = m_dir.filePath(QStringLiteral("login.sh"));
    QFile script(strScript);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(kLoginScript);
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    QFile issue(m_dir.filePath(QStringLiteral("issue")));
    QVERIFY(issue.open(QIODevice::WriteOnly));
    issue.close();
    // Port 24 is ours alone in this namespace: nothing else can take it between checks.
    m_u16Port = 24;
    m_server.setProcessChannelMode(QProcess::ForwardedChannels);
    // -F foreground, -K close the connection when the login program exits.
    m_server.start(strBusybox, {"telnetd", "-F", "-K", "-b", QStringLiteral("127.0.0.1:%1").arg(m_u16Port), "-p",
                                QString::number(m_u16Port), "-l", strScript, "-f", issue.fileName()});
    QVERIFY2(m_server.waitForStarted(5000), qPrintable(m_server.errorString()));
    // Listening once a connection is taken (the probe session ends when we close it). One
    // probe only: the server takes connections one at a time, and QTRY evaluates twice.
    bool bUp = false;
    const auto probe = [this] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_u16Port);
        return socket.waitForConnected(500);
    };
    QTRY_VERIFY_WITH_TIMEOUT(bUp = bUp || probe(), 10000);
    // The opening bytes are read from the channel's own diagnostics.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.telnet.debug=true"));
    g_previousHandler = qInstallMessageHandler(CaptureHex);
}

void TestTelnetBusybox::cleanupTestCase()
{
    qInstallMessageHandler(g_previousHandler);
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
}

// A name the device lacks, then one it has: the failure must neither end the run nor take the
// next read's value. Then a value from the read-only store.
void TestTelnetBusybox::readName()
{
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), m_u16Port);
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QSignalSpy param(&comm, &CBaseComm::OnReadParam);
    QSignalSpy sent(&comm, &CBaseComm::OnSendData);
    QVERIFY(comm.ReadParam(QStringLiteral("serial"), CBaseComm::PARAM_READ));
    QVERIFY(comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ));
    QVERIFY(comm.ReadParam(QStringLiteral("serial"), CBaseComm::PARAM_READ_RO));
    g_receivedHex.clear();
    QVERIFY(comm.Connect());
    QVERIFY(results.wait(20000));
    QCOMPARE(results.at(0).at(0).value<E_CommResult>(), COMM_OK);
    // Fault: the read-only read was typed but never reported.
    QCOMPARE(param.count(), 3);
    QCOMPARE(param.at(0).at(0).toByteArray(), QByteArray("serial"));
    QCOMPARE(param.at(0).at(1).toByteArray(), QByteArray());
    QCOMPARE(param.at(0).at(2).value<E_CommResult>(), COMM_FAILED);
    QCOMPARE(param.at(1).at(0).toByteArray(), QByteArray("name"));
    QCOMPARE(param.at(1).at(1).toByteArray(), QByteArray("Interop%20box"));
    QCOMPARE(param.at(1).at(2).value<E_CommResult>(), COMM_OK);
    QCOMPARE(param.at(2).at(0).toByteArray(), QByteArray("serial"));
    QCOMPARE(param.at(2).at(1).toByteArray(), QByteArray("VX-0042"));
    QCOMPARE(param.at(2).at(2).value<E_CommResult>(), COMM_OK);
    // The server really went through its login: the script kept the user we typed.
    QFile login(m_dir.filePath(QStringLiteral("login.txt")));
    QVERIFY(login.open(QIODevice::ReadOnly));
    QCOMPARE(login.readAll().trimmed(), QByteArray("root"));

    // For the record: what busybox opened with and how the channel answered it.
    QVERIFY(!g_receivedHex.isEmpty());
    QVERIFY(g_receivedHex.first().startsWith(QLatin1String("ff")));
    QStringList answers;
    for (const QList<QVariant> &args : sent)
        answers << QString::fromLatin1(args.at(0).toByteArray().toHex());
    qInfo("busybox telnetd opened with %s; the channel wrote %s", qPrintable(g_receivedHex.first()),
          qPrintable(answers.join(QLatin1Char(' '))));
    QVERIFY(answers.first().startsWith(QLatin1String("ff")));
}

void TestTelnetBusybox::reboot()
{
    CTelnetComm comm(QStringLiteral("gb"), QString(), QStringLiteral("127.0.0.1"), m_u16Port);
    QSignalSpy results(&comm, &CBaseComm::OnSendQueueReturn);
    QVERIFY(comm.Reboot());
    QVERIFY(comm.Connect());
    QVERIFY(results.wait(20000));
    QCOMPARE(results.at(0).at(0).value<E_CommResult>(), COMM_OK);
    QVERIFY(comm.SendQueue().isEmpty());
    // The login program exits and the server closes: no second result.
    QTRY_VERIFY_WITH_TIMEOUT(!comm.IsConnected(), 10000);
    QCOMPARE(results.count(), 1);
}

QTEST_GUILESS_MAIN(TestTelnetBusybox)
#include "tst_telnetbusybox.moc"
