// The FTP client against the simulator's FTP service: every injected fault ends in
// done(true) with the failed command's text (never a hang), tolerated refusals still
// transfer, and the simulator's record proves what arrived.
#include "qftp/qftp/qftp.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
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

// A device's log as the simulator serves it: text, so it fits the fleet file.
QByteArray LogText(int iBytes)
{
    QByteArray ba;
    for (int i = 0; ba.size() < iBytes; ++i)
        ba += "Jan  1 00:00:00 kernel: line " + QByteArray::number(i) + "\n";
    ba.truncate(iBytes);
    return ba;
}

struct T_Outcome {
    bool bDone = false;
    bool bError = false;
    QString strError;
    QList<QPair<qint64, qint64>> lstProgress;
    QByteArray baData;
};

} // namespace

class TestFtpDevsim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void callsInARowRunInOrderOnceTheLoopRuns();
    void faultEndsInDoneTrueWithItsText_data();
    void faultEndsInDoneTrueWithItsText();
    void toleratedRefusalsStillTransfer();
    void slowServerAndEarlyFinalReplyStillDeliverEverything_data();
    void slowServerAndEarlyFinalReplyStillDeliverEverything();
    void deletingTheClientMidUploadAbortsAndStoresNothing();
    void readerThatFallsBehindLosesNothing();

private:
    void AddDevice(const QString &strHost, const QString &strAddr, const QJsonObject &knobs);
    T_Outcome Run(const QString &strDevice, const QString &strOp, QFtp::TransferMode eMode, const QString &strPath,
                  const QByteArray &baUpload = QByteArray(), const QString &strUser = QStringLiteral("root"),
                  const QString &strPassword = QStringLiteral("secret"));
    QList<QJsonObject> Record(const QString &strDevice, const QString &strType = QString()) const;

    QTemporaryDir m_dir;
    QJsonArray m_devices;
    QProcess m_devsim;
    QHash<QString, QPair<QString, quint16>> m_addresses; // device -> address, FTP port
    QByteArray m_baLog = LogText(300000);
};

void TestFtpDevsim::AddDevice(const QString &strHost, const QString &strAddr, const QJsonObject &knobs)
{
    m_devices.append(QJsonObject{
        {QStringLiteral("hostname"), strHost}, {QStringLiteral("addr"), strAddr}, {QStringLiteral("knobs"), knobs}});
}

void TestFtpDevsim::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QJsonObject files{{QStringLiteral("/log/messages"), QString::fromLatin1(m_baLog)}};
    const QJsonObject login{{QStringLiteral("ftp_user"), QStringLiteral("root")},
                            {QStringLiteral("ftp_password"), QStringLiteral("secret")},
                            {QStringLiteral("ftp_files"), files}};
    auto with = [&login](std::initializer_list<QPair<QString, QJsonValue>> extra) {
        QJsonObject o = login;
        for (const auto &kv : extra)
            o.insert(kv.first, kv.second);
        return o;
    };
    AddDevice(QStringLiteral("ZR410-OK"), QStringLiteral("127.0.0.21"), login);
    AddDevice(QStringLiteral("ZR410-NOSIZE"), QStringLiteral("127.0.0.22"),
              with({{QStringLiteral("ftp_refuse_size"), true}}));
    AddDevice(QStringLiteral("ZR410-NOALLO"), QStringLiteral("127.0.0.23"),
              with({{QStringLiteral("ftp_refuse_allo"), true}}));
    AddDevice(QStringLiteral("ZR410-CUT"), QStringLiteral("127.0.0.24"),
              with({{QStringLiteral("ftp_cut_after"), 50000}}));
    AddDevice(QStringLiteral("ZR410-SLOW"), QStringLiteral("127.0.0.25"), with({{QStringLiteral("ftp_delay_ms"), 20}}));
    AddDevice(QStringLiteral("ZR410-EARLY"), QStringLiteral("127.0.0.26"),
              with({{QStringLiteral("ftp_early_226"), true}}));
    const QList<QPair<QString, int>> failures = {{QStringLiteral("CONNECT"), 421}, {QStringLiteral("USER"), 530},
                                                 {QStringLiteral("PASS"), 530},    {QStringLiteral("TYPE"), 451},
                                                 {QStringLiteral("PASV"), 425},    {QStringLiteral("PORT"), 501},
                                                 {QStringLiteral("STOR"), 452},    {QStringLiteral("STOR_END"), 451},
                                                 {QStringLiteral("RETR"), 550},    {QStringLiteral("RETR_END"), 426}};
    for (int i = 0; i < failures.size(); ++i) {
        const QJsonObject fail{{failures.at(i).first, failures.at(i).second}};
        AddDevice(QStringLiteral("ZR410-FAIL-") + failures.at(i).first, QStringLiteral("127.0.0.%1").arg(31 + i),
                  with({{QStringLiteral("ftp_fail"), fail}}));
    }
    const QJsonObject fleet{
        {QStringLiteral("options"), QJsonObject{{QStringLiteral("ports"), QJsonObject{{QStringLiteral("ftp"), 0}}}}},
        {QStringLiteral("devices"), m_devices}};
    QFile fleetFile(m_dir.filePath(QStringLiteral("fleet.json")));
    QVERIFY(fleetFile.open(QIODevice::WriteOnly));
    fleetFile.write(QJsonDocument(fleet).toJson());
    fleetFile.close();

    m_devsim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_devsim.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim"),
                   {QStringLiteral("--fleet"), fleetFile.fileName(), QStringLiteral("--record"),
                    m_dir.filePath(QStringLiteral("record.jsonl")), QStringLiteral("--services"),
                    QStringLiteral("ftp")});
    QVERIFY2(m_devsim.waitForStarted(10000), qPrintable(m_devsim.errorString()));
    QByteArray baOut;
    QTRY_VERIFY_WITH_TIMEOUT((baOut += m_devsim.readAllStandardOutput()).contains("velmora-devsim: ready"), 20000);
    // "velmora-devsim: ftp ZR410-OK 127.0.0.21:40211"
    for (const QByteArray &baLine : baOut.split('\n')) {
        const QList<QByteArray> lst = baLine.split(' ');
        if (lst.size() == 4 && lst.at(1) == "ftp") {
            const int iColon = lst.at(3).lastIndexOf(':');
            m_addresses.insert(QString::fromLatin1(lst.at(2)),
                               {QString::fromLatin1(lst.at(3).left(iColon)), lst.at(3).mid(iColon + 1).toUShort()});
        }
    }
    QCOMPARE(m_addresses.size(), m_devices.size());
}

void TestFtpDevsim::cleanupTestCase()
{
    if (m_devsim.state() == QProcess::NotRunning)
        return;
    m_devsim.terminate();
    if (!m_devsim.waitForFinished(5000))
        m_devsim.kill();
    m_devsim.waitForFinished(5000);
}

QList<QJsonObject> TestFtpDevsim::Record(const QString &strDevice, const QString &strType) const
{
    QList<QJsonObject> lst;
    QFile file(m_dir.filePath(QStringLiteral("record.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return lst;
    for (const QByteArray &baLine : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(baLine).object();
        if (o.value(QStringLiteral("device")).toString() == strDevice &&
            (strType.isEmpty() || o.value(QStringLiteral("type")).toString() == strType))
            lst << o;
    }
    return lst;
}

T_Outcome TestFtpDevsim::Run(const QString &strDevice, const QString &strOp, QFtp::TransferMode eMode,
                             const QString &strPath, const QByteArray &baUpload, const QString &strUser,
                             const QString &strPassword)
{
    T_Outcome out;
    QTemporaryFile file;
    if (strOp == QLatin1String("put")) {
        file.open();
        file.write(baUpload);
        file.seek(0);
    }
    QFtp ftp;
    connect(&ftp, &QFtp::dataTransferProgress, &ftp, [&out](qint64 i64Done, qint64 i64Total) {
        out.lstProgress.append({i64Done, i64Total});
    });
    connect(&ftp, &QFtp::readyRead, &ftp, [&ftp, &out] {
        for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024))
            out.baData += ba;
    });
    connect(&ftp, &QFtp::done, &ftp, [&ftp, &out](bool bError) {
        out.bDone = true;
        out.bError = bError;
        out.strError = ftp.errorString();
    });
    const auto address = m_addresses.value(strDevice);
    ftp.setTransferMode(eMode);
    ftp.connectToHost(address.first, address.second);
    ftp.login(strUser, strPassword);
    if (strOp == QLatin1String("put"))
        ftp.put(&file, strPath);
    else
        ftp.get(strPath);
    // The test fails on a hang instead of waiting for ctest's time-out.
    (void)QTest::qWaitFor([&out] { return out.bDone; }, 20000);
    return out;
}

void TestFtpDevsim::callsInARowRunInOrderOnceTheLoopRuns()
{
    const QByteArray baImage = RandomBytes(123457, 1);
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(baImage);
    file.seek(0);
    const auto address = m_addresses.value(QStringLiteral("ZR410-OK"));

    QFtp ftp;
    QSignalSpy started(&ftp, &QFtp::commandStarted);
    QSignalSpy done(&ftp, &QFtp::done);
    const int iConnect = ftp.connectToHost(address.first, address.second);
    const int iLogin = ftp.login(QStringLiteral("root"), QStringLiteral("secret"));
    const int iPut = ftp.put(&file, QStringLiteral("/upgrade/fw.img"));
    // Nothing starts inside the calls: a caller connects its slots after queuing.
    QVERIFY(iConnect < iLogin && iLogin < iPut);
    QCOMPARE(started.count(), 0);
    QCOMPARE(ftp.state(), QFtp::Unconnected);
    QVERIFY(done.wait(20000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QCOMPARE(started.count(), 3);
    QCOMPARE(started.at(0).at(0).toInt(), iConnect);
    QCOMPARE(started.at(2).at(0).toInt(), iPut);

    QStringList lstLines;
    for (const QJsonObject &o : Record(QStringLiteral("ZR410-OK"), QStringLiteral("ftp_command")))
        lstLines << o.value(QStringLiteral("line")).toString();
    QCOMPARE(lstLines, (QStringList{QStringLiteral("USER root"), QStringLiteral("PASS secret"),
                                    QStringLiteral("TYPE I"), QStringLiteral("PASV"), QStringLiteral("ALLO 123457"),
                                    QStringLiteral("STOR /upgrade/fw.img")}));
    const QList<QJsonObject> images = Record(QStringLiteral("ZR410-OK"), QStringLiteral("image"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.at(0).value(QStringLiteral("size")).toInt(), baImage.size());
    QCOMPARE(images.at(0).value(QStringLiteral("sha256")).toString().toLatin1(), Sha256(baImage));

    // The device serves what it received: the log-download path reads it back intact.
    const T_Outcome back =
        Run(QStringLiteral("ZR410-OK"), QStringLiteral("get"), QFtp::Active, QStringLiteral("/upgrade/fw.img"));
    QVERIFY2(back.bDone && !back.bError, qPrintable(back.strError));
    QCOMPARE(Sha256(back.baData), Sha256(baImage));
}

void TestFtpDevsim::faultEndsInDoneTrueWithItsText_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected"); // exact text; ending in "\n" means "starts with"

    const QString strConnect = QFtp::tr("Connecting to host failed:\n%1");
    const QString strLogin = QFtp::tr("Login failed:\n%1");
    const QString strUp = QFtp::tr("Uploading file failed:\n%1");
    const QString strDown = QFtp::tr("Downloading file failed:\n%1");
    auto sim = [](const char *pszStep) {
        return QStringLiteral("Simulated failure of %1.").arg(QLatin1String(pszStep));
    };
    const int P = QFtp::Passive;
    const int A = QFtp::Active;
    const QString ok = QStringLiteral("secret");

    QTest::newRow("greeting 421") << "ZR410-FAIL-CONNECT"
                                  << "put" << P << ok << strConnect.arg(sim("CONNECT"));
    QTest::newRow("USER 530") << "ZR410-FAIL-USER"
                              << "put" << P << ok << strLogin.arg(sim("USER"));
    QTest::newRow("PASS 530") << "ZR410-FAIL-PASS"
                              << "get" << P << ok << strLogin.arg(sim("PASS"));
    QTest::newRow("wrong password") << "ZR410-OK"
                                    << "get" << P << "wrong" << strLogin.arg(QStringLiteral("Login incorrect."));
    QTest::newRow("TYPE 451 on upload") << "ZR410-FAIL-TYPE"
                                        << "put" << P << ok << strUp.arg(sim("TYPE"));
    QTest::newRow("TYPE 451 on download") << "ZR410-FAIL-TYPE"
                                          << "get" << P << ok << strDown.arg(sim("TYPE"));
    QTest::newRow("PASV 425") << "ZR410-FAIL-PASV"
                              << "put" << P << ok << strUp.arg(sim("PASV"));
    QTest::newRow("PORT 501") << "ZR410-FAIL-PORT"
                              << "get" << A << ok << strDown.arg(sim("PORT"));
    QTest::newRow("STOR 452") << "ZR410-FAIL-STOR"
                              << "put" << P << ok << strUp.arg(sim("STOR"));
    QTest::newRow("STOR 452, active") << "ZR410-FAIL-STOR"
                                      << "put" << A << ok << strUp.arg(sim("STOR"));
    QTest::newRow("451 after the upload") << "ZR410-FAIL-STOR_END"
                                          << "put" << P << ok << strUp.arg(sim("STOR_END"));
    QTest::newRow("RETR 550") << "ZR410-FAIL-RETR"
                              << "get" << P << ok << strDown.arg(sim("RETR"));
    QTest::newRow("426 after the download") << "ZR410-FAIL-RETR_END"
                                            << "get" << P << ok << strDown.arg(sim("RETR_END"));
    QTest::newRow("missing file") << "ZR410-OK"
                                  << "get" << P << ok << strDown.arg(QStringLiteral("Failed to open file."));
    // A download cut short ends with the server's 426, not with a short "success".
    QTest::newRow("download cut") << "ZR410-CUT"
                                  << "get" << P << ok << strDown.arg(QStringLiteral("Failure writing network stream."));
    QTest::newRow("download cut, active")
        << "ZR410-CUT"
        << "get" << A << ok << strDown.arg(QStringLiteral("Failure writing network stream."));
    // An upload cut short: the reset or the server's 426, whichever the client meets first.
    QTest::newRow("upload cut") << "ZR410-CUT"
                                << "put" << P << ok << strUp.arg(QString());
    QTest::newRow("upload cut, active") << "ZR410-CUT"
                                        << "put" << A << ok << strUp.arg(QString());
}

void TestFtpDevsim::faultEndsInDoneTrueWithItsText()
{
    QFETCH(QString, device);
    QFETCH(QString, op);
    QFETCH(int, mode);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    const QString strPath =
        op == QLatin1String("get") && !expected.contains(QLatin1String("Failed to open"))
            ? QStringLiteral("/log/messages")
            : QStringLiteral("/fault/%1.img")
                  .arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
    const T_Outcome out = Run(device, op, static_cast<QFtp::TransferMode>(mode), strPath, RandomBytes(400000, 5),
                              QStringLiteral("root"), password);
    QVERIFY2(out.bDone, "the client hung instead of reporting the failure");
    QVERIFY(out.bError);
    if (expected.endsWith(QLatin1Char('\n'))) {
        QVERIFY2(out.strError.startsWith(expected) && out.strError.size() > expected.size(), qPrintable(out.strError));
    } else {
        QCOMPARE(out.strError, expected);
    }
    if (op == QLatin1String("put")) {
        // Whatever failed, no image may count as received.
        for (const QJsonObject &o : Record(device, QStringLiteral("image")))
            QVERIFY(o.value(QStringLiteral("name")).toString() != strPath);
    }
}

void TestFtpDevsim::toleratedRefusalsStillTransfer()
{
    // A server without SIZE still hands over the log; the total is then unknown (0).
    const T_Outcome log =
        Run(QStringLiteral("ZR410-NOSIZE"), QStringLiteral("get"), QFtp::Passive, QStringLiteral("/log/messages"));
    QVERIFY2(log.bDone && !log.bError, qPrintable(log.strError));
    QCOMPARE(Sha256(log.baData), Sha256(m_baLog));
    QVERIFY(!log.lstProgress.isEmpty());
    for (const auto &progress : log.lstProgress)
        QCOMPARE(progress.second, qint64(0));

    // A server without ALLO still stores the image.
    const QByteArray baImage = RandomBytes(250000, 9);
    const T_Outcome up = Run(QStringLiteral("ZR410-NOALLO"), QStringLiteral("put"), QFtp::Passive,
                             QStringLiteral("/noallo.img"), baImage);
    QVERIFY2(up.bDone && !up.bError, qPrintable(up.strError));
    const QList<QJsonObject> images = Record(QStringLiteral("ZR410-NOALLO"), QStringLiteral("image"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.at(0).value(QStringLiteral("sha256")).toString().toLatin1(), Sha256(baImage));
}

void TestFtpDevsim::slowServerAndEarlyFinalReplyStillDeliverEverything_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("mode");
    QTest::newRow("slow, passive") << "ZR410-SLOW" << int(QFtp::Passive);
    QTest::newRow("slow, active") << "ZR410-SLOW" << int(QFtp::Active);
    // "226" before the data: finishing on the reply alone would lose the whole log.
    QTest::newRow("226 before the data, passive") << "ZR410-EARLY" << int(QFtp::Passive);
    QTest::newRow("226 before the data, active") << "ZR410-EARLY" << int(QFtp::Active);
}

void TestFtpDevsim::slowServerAndEarlyFinalReplyStillDeliverEverything()
{
    QFETCH(QString, device);
    QFETCH(int, mode);
    const auto eMode = static_cast<QFtp::TransferMode>(mode);
    const T_Outcome log = Run(device, QStringLiteral("get"), eMode, QStringLiteral("/log/messages"));
    QVERIFY2(log.bDone && !log.bError, qPrintable(log.strError));
    QCOMPARE(log.baData.size(), m_baLog.size());
    QCOMPARE(Sha256(log.baData), Sha256(m_baLog));

    const QByteArray baImage = RandomBytes(150000, 11);
    const QString strPath = QStringLiteral("/slow-%1.img").arg(mode);
    const T_Outcome up = Run(device, QStringLiteral("put"), eMode, strPath, baImage);
    QVERIFY2(up.bDone && !up.bError, qPrintable(up.strError));
    bool bFound = false;
    for (const QJsonObject &o : Record(device, QStringLiteral("image")))
        bFound |= o.value(QStringLiteral("name")).toString() == strPath &&
                  o.value(QStringLiteral("sha256")).toString().toLatin1() == Sha256(baImage);
    QVERIFY(bFound);
}

void TestFtpDevsim::deletingTheClientMidUploadAbortsAndStoresNothing()
{
    // The session ends an upload only by deleting the client: the device must learn that
    // the transfer was abandoned, and must not keep the stump as an image.
    const QByteArray baImage = RandomBytes(16 * 1024 * 1024, 13);
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(baImage);
    file.seek(0);
    const auto address = m_addresses.value(QStringLiteral("ZR410-OK"));
    const int iDisconnectsBefore = Record(QStringLiteral("ZR410-OK"), QStringLiteral("ftp_disconnect")).size();

    auto *pFtp = new QFtp(this);
    bool bDoneAfterDelete = false;
    bool bDeleted = false;
    connect(pFtp, &QFtp::dataTransferProgress, this, [&](qint64 i64Done, qint64) {
        if (i64Done > 0 && !bDeleted) {
            bDeleted = true;
            pFtp->deleteLater();
        }
    });
    connect(pFtp, &QFtp::done, this, [&](bool) { bDoneAfterDelete = bDeleted; });
    QSignalSpy destroyed(pFtp, &QObject::destroyed);
    pFtp->connectToHost(address.first, address.second);
    pFtp->login(QStringLiteral("root"), QStringLiteral("secret"));
    pFtp->put(&file, QStringLiteral("/abandoned.img"));
    QVERIFY(destroyed.wait(20000));
    QVERIFY(!bDoneAfterDelete);

    QTRY_VERIFY_WITH_TIMEOUT(
        Record(QStringLiteral("ZR410-OK"), QStringLiteral("ftp_disconnect")).size() > iDisconnectsBefore, 10000);
    bool bAbor = false;
    for (const QJsonObject &o : Record(QStringLiteral("ZR410-OK"), QStringLiteral("ftp_command")))
        bAbor |= o.value(QStringLiteral("line")).toString() == QLatin1String("ABOR");
    QVERIFY(bAbor);
    for (const QJsonObject &o : Record(QStringLiteral("ZR410-OK"), QStringLiteral("image")))
        QVERIFY(o.value(QStringLiteral("name")).toString() != QLatin1String("/abandoned.img"));
}

void TestFtpDevsim::readerThatFallsBehindLosesNothing()
{
    // A caller that reads nothing until the transfer is over: the bytes still in the data
    // connection when it closes are kept, and handed out no more than asked for at a time.
    const auto address = m_addresses.value(QStringLiteral("ZR410-OK"));
    QFtp ftp;
    QSignalSpy done(&ftp, &QFtp::done);
    QSignalSpy readyRead(&ftp, &QFtp::readyRead);
    ftp.connectToHost(address.first, address.second);
    ftp.login(QStringLiteral("root"), QStringLiteral("secret"));
    ftp.get(QStringLiteral("/log/messages"));
    QVERIFY(done.wait(20000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QVERIFY(readyRead.count() > 0);
    QCOMPARE(ftp.bytesAvailable(), qint64(m_baLog.size()));
    QByteArray baAll;
    for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024)) {
        QVERIFY(ba.size() <= 1024);
        baAll += ba;
    }
    QCOMPARE(Sha256(baAll), Sha256(m_baLog));
    QCOMPARE(ftp.bytesAvailable(), qint64(0));
}

QTEST_GUILESS_MAIN(TestFtpDevsim)
#include "tst_ftpdevsim.moc"
