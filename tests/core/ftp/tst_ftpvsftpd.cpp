// The FTP client against a real vsftpd on loopback: what we upload is what the server
// stores, what we download is what it holds, in passive and active mode, over IPv4 and IPv6.
#include "ftp/qftp.h"
#include "vsftpdserver.h"

#include <QBuffer>
#include <QCryptographicHash>
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

// One client's run: progress and bytes per transfer, read the way the session reads them.
struct T_Outcome {
    QList<bool> lstDone;
    QStringList lstDataCommands; // per finished run: the line that opened its data connection
    QString strError;
    QList<QPair<qint64, qint64>> lstProgress[2];
    QByteArray baData;
    int iReadyRead = 0;
    QFtp::State eFinalState = QFtp::Connected;
};

// Uploads *pbaUpload to strPath (streamed from a real file, as the session's image) if
// given, then downloads strPath (into pInto if given) and closes. The download is queued
// from inside the upload's done(): the session reuses a client that way.
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
        out.lstProgress[qMin(out.lstDone.size(), 1)].append({i64Done, i64Total});
    });
    QObject::connect(&ftp, &QFtp::readyRead, &ftp, [&ftp, &out] {
        ++out.iReadyRead;
        for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024))
            out.baData += ba;
    });
    QObject::connect(&ftp, &QFtp::done, &ftp, [&](bool bError) {
        out.lstDone << bError;
        out.lstDataCommands << ftp.dataConnectionCommand();
        out.strError = ftp.errorString();
        out.eFinalState = ftp.state();
        if (pbaUpload && out.lstDone.size() == 1 && !bError) {
            ftp.get(strPath, pInto);
            ftp.close();
        }
    });
    ftp.setTransferMode(eMode);
    ftp.connectToHost(server.Host(), server.Port());
    ftp.login(strUser, strPassword);
    if (pbaUpload) {
        ftp.put(&file, strPath);
    } else {
        ftp.get(strPath, pInto);
        ftp.close();
    }
    const int iRuns = pbaUpload ? 2 : 1;
    (void)QTest::qWaitFor([&] { return out.lstDone.size() == iRuns || out.lstDone.contains(true); }, 60000);
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
    void refusalsEndInDoneTrueWithTheirText();

private:
    CVsftpdServer m_server;
    std::unique_ptr<CVsftpdServer> m_pServer6;
};

void TestFtpVsftpd::initTestCase()
{
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

    const T_Outcome out = Run(*pServer, eMode, strPath, &baContent);
    QVERIFY2(out.lstDone == QList<bool>({false, false}), qPrintable(out.strError));
    QCOMPARE(out.eFinalState, QFtp::Unconnected);
    QFile stored(pServer->LocalPath(strPath));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(Sha256(stored.readAll()), Sha256(baContent));
    // Upload progress counts the bytes the socket took and ends at the whole file; an
    // empty file reports exactly once, with 0 of 0.
    const auto &lstUp = out.lstProgress[0];
    QVERIFY(!lstUp.isEmpty());
    QCOMPARE(lstUp.last(), qMakePair(qint64(size), qint64(size)));
    QVERIFY(size > 0 || lstUp.size() == 1);
    for (int i = 1; i < lstUp.size(); ++i)
        QVERIFY(lstUp.at(i).first >= lstUp.at(i - 1).first);
    QCOMPARE(out.baData.size(), size);
    QCOMPARE(Sha256(out.baData), Sha256(baContent));
    // The SIZE answer is the download's total.
    for (const auto &progress : out.lstProgress[1])
        QCOMPARE(progress.second, qint64(size));
    // The mode asked for is the one used, both ways.
    QCOMPARE(out.lstDataCommands.size(), 2);
    for (const QString &strUsed : out.lstDataCommands)
        QVERIFY2(strUsed.startsWith(command), qPrintable(strUsed));

    // Into a device, the caller is not asked to read.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const T_Outcome into = Run(*pServer, eMode, strPath, nullptr, &buffer);
    QVERIFY2(into.lstDone == QList<bool>{false}, qPrintable(into.strError));
    QCOMPARE(Sha256(buffer.data()), Sha256(baContent));
    QCOMPARE(into.iReadyRead, 0);
}

void TestFtpVsftpd::refusalsEndInDoneTrueWithTheirText()
{
    // vsftpd's own words reach the caller inside the failed command's message.
    const T_Outcome missing = Run(m_server, QFtp::Passive, QStringLiteral("/pub/no-such-file"));
    QCOMPARE(missing.lstDone, QList<bool>{true});
    QCOMPARE(missing.strError, QFtp::tr("Downloading file failed:\n%1").arg("Failed to open file."));
    const T_Outcome login = Run(m_server, QFtp::Passive, QStringLiteral("/pub/anything"), nullptr, nullptr,
                                QStringLiteral("root"), QStringLiteral("secret"));
    QCOMPARE(login.lstDone, QList<bool>{true});
    QCOMPARE(login.strError, QFtp::tr("Login failed:\n%1").arg("This FTP server is anonymous only."));
}

QTEST_GUILESS_MAIN(TestFtpVsftpd)
#include "tst_ftpvsftpd.moc"
