// The FTP client against a real vsftpd on loopback: what we upload is what the server
// stores, what we download is what it holds, in passive and active mode, over IPv4 and IPv6.
#include "qftp/qftp/qftp.h"
#include "vsftpdserver.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

namespace
{
QByteArray Sha256(const QByteArray &ba)
{
    return QCryptographicHash::hash(ba, QCryptographicHash::Sha256).toHex();
}

// The lines the client writes on the control connection, taken from its own log.
QStringList g_lstSentLines;
QtMessageHandler g_previousHandler = nullptr;
void CaptureFtpLog(QtMsgType eType, const QMessageLogContext &context, const QString &strMsg)
{
    const int iArrow = strMsg.indexOf(QLatin1String("-> "));
    if (context.category && qstrcmp(context.category, "velmora.ftp") == 0 && iArrow >= 0)
        g_lstSentLines << strMsg.mid(iArrow + 3);
    g_previousHandler(eType, context, strMsg);
}

// One client run to its done(): progress seen, bytes read the way the session reads them.
struct T_Outcome {
    bool bDone = false;
    bool bError = false;
    QString strError;
    QList<QPair<qint64, qint64>> lstProgress;
    QByteArray baData;
    int iReadyRead = 0;
};

// Uploads pbaUpload to strPath when given (streamed from a real file, as the session's
// image), otherwise downloads strPath, into pInto if given.
T_Outcome Run(const CVsftpdServer &server, QFtp::TransferMode eMode, const QString &strPath,
              const QByteArray *pbaUpload = nullptr, QIODevice *pInto = nullptr,
              const QString &strUser = QStringLiteral("anonymous"), const QString &strPassword = "velmora@")
{
    T_Outcome out;
    QTemporaryFile file;
    if (pbaUpload && (!file.open() || file.write(*pbaUpload) != pbaUpload->size() || !file.seek(0)))
        return out;
    QFtp ftp;
    QObject::connect(&ftp, &QFtp::dataTransferProgress, &ftp, [&out](qint64 i64Done, qint64 i64Total) {
        out.lstProgress.append({i64Done, i64Total});
    });
    QObject::connect(&ftp, &QFtp::readyRead, &ftp, [&ftp, &out] {
        ++out.iReadyRead;
        for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024))
            out.baData += ba;
    });
    QObject::connect(&ftp, &QFtp::done, &ftp, [&ftp, &out](bool bError) {
        out.bDone = true;
        out.bError = bError;
        out.strError = ftp.errorString();
    });
    ftp.setTransferMode(eMode);
    ftp.connectToHost(server.Host(), server.Port());
    ftp.login(strUser, strPassword);
    if (pbaUpload)
        ftp.put(&file, strPath);
    else
        ftp.get(strPath, pInto);
    ftp.close();
    (void)QTest::qWaitFor([&out] { return out.bDone; }, 60000);
    return out;
}
} // namespace

class TestFtpVsftpd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void uploadThenDownloadIsByteIdentical_data();
    void uploadThenDownloadIsByteIdentical();
    void workQueuedFromDoneSlotRuns();
    void refusalsEndInDoneTrueWithTheirText();

private:
    CVsftpdServer m_server;
    std::unique_ptr<CVsftpdServer> m_pServer6;
};

void TestFtpVsftpd::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.ftp.debug=true"));
    g_previousHandler = qInstallMessageHandler(CaptureFtpLog);
    const QString strWhy = CVsftpdServer::Unavailable();
    if (!strWhy.isEmpty() && qEnvironmentVariable("CI") == QLatin1String("true"))
        QFAIL(qPrintable(strWhy));
    if (!strWhy.isEmpty())
        QSKIP(qPrintable(strWhy));
    QString strError;
    QVERIFY2(m_server.Start(strError), qPrintable(strError));
}

void TestFtpVsftpd::uploadThenDownloadIsByteIdentical_data()
{
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("command"); // how the data connection must be opened
    // Sizes around the 16 KiB block and well past the queued-bytes limit, with an odd tail.
    for (const int iSize : {0, 1, 16384, 3 * 1024 * 1024 + 7}) {
        QTest::addRow("passive, %d bytes", iSize) << false << int(QFtp::Passive) << iSize << "PASV";
        QTest::addRow("active, %d bytes", iSize) << false << int(QFtp::Active) << iSize << "PORT 127,0,0,1,";
    }
    // "227 (h1,h2,h3,h4,p1,p2)" and "PORT" cannot carry an IPv6 address.
    QTest::newRow("IPv6 passive") << true << int(QFtp::Passive) << 100000 << "EPSV";
    QTest::newRow("IPv6 active") << true << int(QFtp::Active) << 100000 << "EPRT |2|::1|";
}

void TestFtpVsftpd::uploadThenDownloadIsByteIdentical()
{
    QFETCH(bool, ipv6);
    QFETCH(int, mode);
    QFETCH(int, size);
    QFETCH(QString, command);
    const CVsftpdServer *pServer = &m_server;
    if (ipv6) {
        const QString strWhy = CVsftpdServer::Unavailable(true);
        if (!strWhy.isEmpty())
            QSKIP(qPrintable(strWhy));
        QString strError;
        if (!m_pServer6)
            m_pServer6 = std::make_unique<CVsftpdServer>(true);
        QVERIFY2(m_pServer6->Port() != 0 || m_pServer6->Start(strError), qPrintable(strError));
        pServer = m_pServer6.get();
    }
    const auto eMode = static_cast<QFtp::TransferMode>(mode);
    QByteArray baContent((size + 3) / 4 * 4, '\0');
    QRandomGenerator(size * 31 + mode).fillRange(reinterpret_cast<quint32 *>(baContent.data()), baContent.size() / 4);
    baContent.truncate(size);
    const QString strPath = QStringLiteral("%1/up-%2-%3.bin").arg(CVsftpdServer::UploadDir()).arg(mode).arg(size);

    g_lstSentLines.clear();
    const T_Outcome up = Run(*pServer, eMode, strPath, &baContent);
    QVERIFY2(up.bDone && !up.bError, qPrintable(up.strError));
    QFile stored(pServer->LocalPath(strPath));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(Sha256(stored.readAll()), Sha256(baContent));
    // Progress counts the bytes the socket took and ends at the whole file; an empty
    // file reports exactly once, with 0 of 0.
    QVERIFY(!up.lstProgress.isEmpty());
    QCOMPARE(up.lstProgress.last(), qMakePair(qint64(size), qint64(size)));
    QVERIFY(size > 0 || up.lstProgress.size() == 1);
    for (int i = 1; i < up.lstProgress.size(); ++i)
        QVERIFY(up.lstProgress.at(i).first >= up.lstProgress.at(i - 1).first);

    const T_Outcome down = Run(*pServer, eMode, strPath);
    QVERIFY2(down.bDone && !down.bError, qPrintable(down.strError));
    QCOMPARE(down.baData.size(), size);
    QCOMPARE(Sha256(down.baData), Sha256(baContent));
    // The SIZE answer is the download's total.
    for (const auto &progress : down.lstProgress)
        QCOMPARE(progress.second, qint64(size));
    // The mode asked for is the one used, both ways.
    QCOMPARE(std::count_if(g_lstSentLines.cbegin(), g_lstSentLines.cend(),
                           [&command](const QString &str) { return str.startsWith(command); }),
             2);
    QVERIFY(!ipv6 || !g_lstSentLines.contains("PASV"));

    // Into a device, the caller is not asked to read.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const T_Outcome into = Run(*pServer, eMode, strPath, nullptr, &buffer);
    QVERIFY2(into.bDone && !into.bError, qPrintable(into.strError));
    QCOMPARE(Sha256(buffer.data()), Sha256(baContent));
    QCOMPARE(into.iReadyRead, 0);
}

void TestFtpVsftpd::workQueuedFromDoneSlotRuns()
{
    // The session's pattern of reuse: new work queued while the client is still inside done().
    const QByteArray baContent(70000, 'w');
    const QString strPath = CVsftpdServer::UploadDir() + QStringLiteral("/from-done.bin");
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(baContent) == baContent.size() && file.seek(0));
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
    const T_Outcome missing = Run(m_server, QFtp::Passive, QStringLiteral("/pub/no-such-file"));
    QVERIFY(missing.bDone && missing.bError);
    QCOMPARE(missing.strError, QFtp::tr("Downloading file failed:\n%1").arg("Failed to open file."));
    const T_Outcome login = Run(m_server, QFtp::Passive, QStringLiteral("/pub/anything"), nullptr, nullptr,
                                QStringLiteral("root"), QStringLiteral("secret"));
    QVERIFY(login.bDone && login.bError);
    QCOMPARE(login.strError, QFtp::tr("Login failed:\n%1").arg("This FTP server is anonymous only."));
}

QTEST_GUILESS_MAIN(TestFtpVsftpd)
#include "tst_ftpvsftpd.moc"
