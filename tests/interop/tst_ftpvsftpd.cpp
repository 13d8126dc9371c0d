// The FTP client against a real vsftpd on loopback: what we upload is what the server
// stores, what we download is what it holds, in passive and active mode, over IPv4 and IPv6.
#include "qftp/qftp/qftp.h"
#include "vsftpdserver.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace
{

QByteArray Sha256(const QByteArray &ba)
{
    return QCryptographicHash::hash(ba, QCryptographicHash::Sha256).toHex();
}

QByteArray RandomBytes(int iSize, quint32 u32Seed)
{
    QByteArray ba(iSize, Qt::Uninitialized);
    QRandomGenerator gen(u32Seed);
    for (int i = 0; i < iSize; ++i)
        ba[i] = static_cast<char>(gen.bounded(256));
    return ba;
}

// The lines the client writes on the control connection, taken from its own log.
QStringList g_lstSentLines;
QtMessageHandler g_previousHandler = nullptr;
void CaptureFtpLog(QtMsgType eType, const QMessageLogContext &context, const QString &strMsg)
{
    if (context.category && qstrcmp(context.category, "velmora.ftp") == 0) {
        const int iArrow = strMsg.indexOf(QLatin1String("-> "));
        if (iArrow >= 0)
            g_lstSentLines << strMsg.mid(iArrow + 3);
    }
    g_previousHandler(eType, context, strMsg);
}

// One client run to its done(): progress seen, bytes read the way the session reads them.
struct T_Outcome {
    bool bDone = false;
    bool bError = false;
    QString strError;
    QList<QPair<qint64, qint64>> lstProgress;
    QByteArray baData;
};

void Observe(QFtp &ftp, T_Outcome &out)
{
    QObject::connect(&ftp, &QFtp::dataTransferProgress, &ftp, [&out](qint64 i64Done, qint64 i64Total) {
        out.lstProgress.append({i64Done, i64Total});
    });
    QObject::connect(&ftp, &QFtp::readyRead, &ftp, [&ftp, &out] {
        for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024))
            out.baData += ba;
    });
    QObject::connect(&ftp, &QFtp::done, &ftp, [&ftp, &out](bool bError) {
        out.bDone = true;
        out.bError = bError;
        out.strError = ftp.errorString();
    });
}

} // namespace

class TestFtpVsftpd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void uploadThenDownloadIsByteIdentical_data();
    void uploadThenDownloadIsByteIdentical();
    void downloadIntoDevice();
    void ipv6UsesExtendedCommands_data();
    void ipv6UsesExtendedCommands();
    void workQueuedFromDoneSlotRuns();
    void refusalsEndInDoneTrueWithTheirText();

private:
    bool Put(QFtp::TransferMode eMode, const QByteArray &baContent, const QString &strPath, T_Outcome &out,
             const QString &strHost = QString(), quint16 u16Port = 0);
    bool Get(QFtp::TransferMode eMode, const QString &strPath, T_Outcome &out, const QString &strHost = QString(),
             quint16 u16Port = 0);

    CVsftpdServer m_server;
};

void TestFtpVsftpd::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.ftp.debug=true"));
    g_previousHandler = qInstallMessageHandler(CaptureFtpLog);
    const QString strWhy = CVsftpdServer::Unavailable();
    if (!strWhy.isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL(qPrintable(strWhy));
        QSKIP(qPrintable(strWhy));
    }
    QString strError;
    QVERIFY2(m_server.Start(strError), qPrintable(strError));
}

void TestFtpVsftpd::cleanupTestCase()
{
    m_server.Stop();
}

bool TestFtpVsftpd::Put(QFtp::TransferMode eMode, const QByteArray &baContent, const QString &strPath, T_Outcome &out,
                        const QString &strHost, quint16 u16Port)
{
    // Uploads stream from a real file, as the session's image file.
    QTemporaryFile file;
    if (!file.open() || file.write(baContent) != baContent.size() || !file.seek(0))
        return false;
    QFtp ftp;
    Observe(ftp, out);
    ftp.setTransferMode(eMode);
    ftp.connectToHost(strHost.isEmpty() ? m_server.Host() : strHost, u16Port ? u16Port : m_server.Port());
    ftp.login(QStringLiteral("anonymous"), QStringLiteral("velmora@"));
    ftp.put(&file, strPath);
    ftp.close();
    return QTest::qWaitFor([&out] { return out.bDone; }, 60000);
}

bool TestFtpVsftpd::Get(QFtp::TransferMode eMode, const QString &strPath, T_Outcome &out, const QString &strHost,
                        quint16 u16Port)
{
    QFtp ftp;
    Observe(ftp, out);
    ftp.setTransferMode(eMode);
    ftp.connectToHost(strHost.isEmpty() ? m_server.Host() : strHost, u16Port ? u16Port : m_server.Port());
    ftp.login(QStringLiteral("anonymous"), QStringLiteral("velmora@"));
    ftp.get(strPath);
    ftp.close();
    return QTest::qWaitFor([&out] { return out.bDone; }, 60000);
}

void TestFtpVsftpd::uploadThenDownloadIsByteIdentical_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("size");
    // Sizes around the 16 KiB block and well past the queued-bytes limit, with an odd tail.
    for (const int iMode : {int(QFtp::Passive), int(QFtp::Active)}) {
        const char *pszMode = iMode == QFtp::Passive ? "passive" : "active";
        QTest::addRow("%s, empty", pszMode) << iMode << 0;
        QTest::addRow("%s, one byte", pszMode) << iMode << 1;
        QTest::addRow("%s, one block", pszMode) << iMode << 16384;
        QTest::addRow("%s, 3 MiB and 7 bytes", pszMode) << iMode << 3 * 1024 * 1024 + 7;
    }
}

void TestFtpVsftpd::uploadThenDownloadIsByteIdentical()
{
    QFETCH(int, mode);
    QFETCH(int, size);
    const auto eMode = static_cast<QFtp::TransferMode>(mode);
    const QByteArray baContent = RandomBytes(size, static_cast<quint32>(size * 31 + mode));
    const QString strPath = QStringLiteral("%1/up-%2-%3.bin").arg(CVsftpdServer::UploadDir()).arg(mode).arg(size);

    T_Outcome up;
    QVERIFY(Put(eMode, baContent, strPath, up));
    QVERIFY2(!up.bError, qPrintable(up.strError));
    QFile stored(m_server.LocalPath(strPath));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(Sha256(stored.readAll()), Sha256(baContent));
    // Progress counts the bytes the socket took and ends at the whole file; an empty
    // file reports exactly once, with 0 of 0.
    QVERIFY(!up.lstProgress.isEmpty());
    QCOMPARE(up.lstProgress.last(), qMakePair(qint64(size), qint64(size)));
    if (size == 0)
        QCOMPARE(up.lstProgress.size(), 1);
    for (int i = 1; i < up.lstProgress.size(); ++i)
        QVERIFY(up.lstProgress.at(i).first >= up.lstProgress.at(i - 1).first);

    T_Outcome down;
    QVERIFY(Get(eMode, strPath, down));
    QVERIFY2(!down.bError, qPrintable(down.strError));
    QCOMPARE(down.baData.size(), size);
    QCOMPARE(Sha256(down.baData), Sha256(baContent));
    // The SIZE answer is the download's total.
    for (const auto &progress : qAsConst(down.lstProgress))
        QCOMPARE(progress.second, qint64(size));
}

void TestFtpVsftpd::downloadIntoDevice()
{
    const QByteArray baContent = RandomBytes(200000, 7);
    const QString strPath = CVsftpdServer::UploadDir() + QStringLiteral("/into-device.bin");
    T_Outcome up;
    QVERIFY(Put(QFtp::Passive, baContent, strPath, up));
    QVERIFY2(!up.bError, qPrintable(up.strError));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QFtp ftp;
    T_Outcome out;
    Observe(ftp, out);
    QSignalSpy readySpy(&ftp, &QFtp::readyRead);
    ftp.connectToHost(m_server.Host(), m_server.Port());
    ftp.login(QStringLiteral("anonymous"), QStringLiteral("x@"));
    ftp.get(strPath, &buffer);
    QVERIFY(QTest::qWaitFor([&out] { return out.bDone; }, 30000));
    QVERIFY2(!out.bError, qPrintable(out.strError));
    QCOMPARE(Sha256(buffer.data()), Sha256(baContent));
    // With a device the caller is not asked to read.
    QCOMPARE(readySpy.count(), 0);
}

void TestFtpVsftpd::ipv6UsesExtendedCommands_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("command");
    QTest::newRow("passive: EPSV") << int(QFtp::Passive) << "EPSV";
    QTest::newRow("active: EPRT") << int(QFtp::Active) << "EPRT |2|::1|";
}

void TestFtpVsftpd::ipv6UsesExtendedCommands()
{
    QFETCH(int, mode);
    QFETCH(QString, command);
    const QString strWhy = CVsftpdServer::Unavailable(true);
    if (!strWhy.isEmpty())
        QSKIP(qPrintable(strWhy));
    CVsftpdServer server6(true);
    QString strError;
    QVERIFY2(server6.Start(strError), qPrintable(strError));
    const auto eMode = static_cast<QFtp::TransferMode>(mode);
    const QByteArray baContent = RandomBytes(100000, 99);
    const QString strPath = CVsftpdServer::UploadDir() + QStringLiteral("/v6.bin");

    g_lstSentLines.clear();
    T_Outcome up;
    QVERIFY(Put(eMode, baContent, strPath, up, server6.Host(), server6.Port()));
    QVERIFY2(!up.bError, qPrintable(up.strError));
    T_Outcome down;
    QVERIFY(Get(eMode, strPath, down, server6.Host(), server6.Port()));
    QVERIFY2(!down.bError, qPrintable(down.strError));
    QCOMPARE(Sha256(down.baData), Sha256(baContent));
    // "227 (h1,h2,h3,h4,p1,p2)" and "PORT" cannot carry an IPv6 address.
    QVERIFY2(std::any_of(g_lstSentLines.cbegin(), g_lstSentLines.cend(),
                         [&command](const QString &str) { return str.startsWith(command); }),
             qPrintable(g_lstSentLines.join(QLatin1Char('|'))));
    QVERIFY(!g_lstSentLines.contains(QStringLiteral("PASV")));
}

void TestFtpVsftpd::workQueuedFromDoneSlotRuns()
{
    // The session's pattern of reuse: new work queued while the client is still inside done().
    const QByteArray baContent = RandomBytes(70000, 3);
    const QString strPath = CVsftpdServer::UploadDir() + QStringLiteral("/from-done.bin");
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(baContent);
    file.seek(0);

    QFtp ftp;
    QList<bool> lstDone;
    QByteArray baDownloaded;
    connect(&ftp, &QFtp::readyRead, &ftp, [&] { baDownloaded += ftp.read(1 << 20); });
    connect(&ftp, &QFtp::done, &ftp, [&](bool bError) {
        lstDone << bError;
        if (lstDone.size() == 1) {
            ftp.get(strPath);
            ftp.close();
        }
    });
    ftp.connectToHost(m_server.Host(), m_server.Port());
    ftp.login(QStringLiteral("anonymous"), QStringLiteral("x@"));
    ftp.put(&file, strPath);
    QTRY_COMPARE_WITH_TIMEOUT(lstDone.size(), 2, 30000);
    QCOMPARE(lstDone, (QList<bool>{false, false}));
    QCOMPARE(Sha256(baDownloaded), Sha256(baContent));
    QCOMPARE(ftp.state(), QFtp::Unconnected);
}

void TestFtpVsftpd::refusalsEndInDoneTrueWithTheirText()
{
    // vsftpd's own words reach the caller inside the failed command's message.
    T_Outcome missing;
    QVERIFY(Get(QFtp::Passive, QStringLiteral("/pub/no-such-file"), missing));
    QVERIFY(missing.bError);
    QCOMPARE(missing.strError, QFtp::tr("Downloading file failed:\n%1").arg(QStringLiteral("Failed to open file.")));

    QFtp ftp;
    T_Outcome login;
    Observe(ftp, login);
    ftp.connectToHost(m_server.Host(), m_server.Port());
    ftp.login(QStringLiteral("root"), QStringLiteral("secret"));
    ftp.get(QStringLiteral("/pub/anything"));
    QVERIFY(QTest::qWaitFor([&login] { return login.bDone; }, 30000));
    QVERIFY(login.bError);
    QCOMPARE(login.strError, QFtp::tr("Login failed:\n%1").arg(QStringLiteral("This FTP server is anonymous only.")));
    QCOMPARE(ftp.error(), QFtp::UnknownError);
    // The queue was dropped with the failure: nothing else is pending.
    QVERIFY(!ftp.hasPendingCommands());
}

QTEST_GUILESS_MAIN(TestFtpVsftpd)
#include "tst_ftpvsftpd.moc"
