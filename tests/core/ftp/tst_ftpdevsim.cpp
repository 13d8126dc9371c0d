// The FTP client against the simulator's FTP service: every injected fault ends in
// done(true) with the failed command's text, every quirk still in a whole transfer,
// never in a hang; the simulator's record proves what arrived.
#include "devsimrunner.h"
#include "ftp/qftp.h"
#include "testimage.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    void oneClientRunsCallsInOrderAndCountsEachTransferAfresh();
    void faultsFailWithTheirTextQuirksSucceed_data();
    void faultsFailWithTheirTextQuirksSucceed();
    void deletingTheClientMidUploadAbortsAndStoresNothing();

private:
    T_Outcome Run(const QString &strDevice, bool bPut, QFtp::TransferMode eMode, const QString &strPath,
                  const QByteArray &baUpload = QByteArray());
    QStringList Recorded(const QString &strDevice, const QString &strType, const QString &strField) const;

    CDevsimRunner m_sim;
    QHash<QString, QPair<QString, quint16>> m_addresses; // device -> address, FTP port
    QByteArray m_baLog;
};

void TestFtpDevsim::initTestCase()
{
    // A device's log as the simulator serves it: text, so it fits the fleet file.
    for (int i = 0; m_baLog.size() < 300000; ++i)
        m_baLog += "Jan  1 00:00:00 kernel: line " + QByteArray::number(i) + "\n";
    // Every device shares the login and the log; each has its own quirk or injected fault.
    const QJsonObject quirks = QJsonDocument::fromJson(R"({
        "OK": {}, "NOSIZE": {"ftp_refuse_size": true}, "NOALLO": {"ftp_refuse_allo": true},
        "CUT": {"ftp_cut_after": 50000}, "SLOW": {"ftp_delay_ms": 20}, "EARLY": {"ftp_early_226": true},
        "FAIL-CONNECT": {"ftp_fail": {"CONNECT": 421}}, "FAIL-USER": {"ftp_fail": {"USER": 530}},
        "FAIL-PASS": {"ftp_fail": {"PASS": 530}}, "FAIL-TYPE": {"ftp_fail": {"TYPE": 451}},
        "FAIL-PASV": {"ftp_fail": {"PASV": 425}}, "FAIL-PORT": {"ftp_fail": {"PORT": 501}},
        "FAIL-STOR": {"ftp_fail": {"STOR": 452}}, "FAIL-STOR_END": {"ftp_fail": {"STOR_END": 451}},
        "FAIL-RETR": {"ftp_fail": {"RETR": 550}}, "FAIL-RETR_END": {"ftp_fail": {"RETR_END": 426}}})")
                                   .object();
    QJsonArray devices;
    for (auto it = quirks.begin(); it != quirks.end(); ++it) {
        QJsonObject knobs = it.value().toObject();
        knobs.insert("ftp_user", "root");
        knobs.insert("ftp_password", "secret");
        knobs.insert("ftp_files", QJsonObject{{"/log/messages", QString::fromLatin1(m_baLog)}});
        devices.append(QJsonObject{
            {"hostname", it.key()}, {"addr", QStringLiteral("127.0.0.%1").arg(21 + devices.size())}, {"knobs", knobs}});
    }
    QVERIFY(m_sim.Start(devices, QStringLiteral("ftp")));
    for (const QJsonValue &v : devices) {
        const QString strHost = v.toObject().value("hostname").toString();
        const int iPort = m_sim.Port(QStringLiteral("ftp"), strHost);
        QVERIFY2(iPort > 0, qPrintable(strHost));
        m_addresses.insert(strHost, {v.toObject().value("addr").toString(), static_cast<quint16>(iPort)});
    }
}

// One field of each event of this type the device recorded ("image": "name", "sha256").
QStringList TestFtpDevsim::Recorded(const QString &strDevice, const QString &strType, const QString &strField) const
{
    QStringList lst;
    for (const QJsonObject &o : m_sim.Events(strType))
        if (o.value("device").toString() == strDevice)
            lst << o.value(strField).toVariant().toString();
    return lst;
}

T_Outcome TestFtpDevsim::Run(const QString &strDevice, bool bPut, QFtp::TransferMode eMode, const QString &strPath,
                             const QByteArray &baUpload)
{
    T_Outcome out;
    QTemporaryFile file;
    if (bPut && (!file.open() || file.write(baUpload) != baUpload.size() || !file.seek(0)))
        return out;
    QFtp ftp;
    connect(&ftp, &QFtp::dataTransferProgress, &ftp, [&out](qint64 i64Done, qint64 i64Total) {
        out.lstProgress.append({i64Done, i64Total});
    });
    connect(&ftp, &QFtp::readyRead, &ftp, [&ftp, &out] {
        for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024))
            out.baData += ba;
    });
    QSignalSpy done(&ftp, &QFtp::done);
    const auto address = m_addresses.value(strDevice);
    ftp.setTransferMode(eMode);
    ftp.connectToHost(address.first, address.second);
    ftp.login(QStringLiteral("root"), QStringLiteral("secret"));
    if (bPut)
        ftp.put(&file, strPath);
    else
        ftp.get(strPath);
    // The test fails on a hang instead of waiting for ctest's time-out.
    out.bDone = done.wait(20000);
    out.bError = out.bDone && done.at(0).at(0).toBool();
    out.strError = ftp.errorString();
    return out;
}

// Catches work started inside the queuing calls (a caller connects its slots after queuing),
// commands out of order, a second upload that counts on from the first one's bytes (progress
// past its total, a bar that never ends at 100 %), and a reader that falls behind losing the
// bytes still in the data connection when it closes.
void TestFtpDevsim::oneClientRunsCallsInOrderAndCountsEachTransferAfresh()
{
    const QList<QByteArray> images{RandomBytes(300001, 1), RandomBytes(400000, 22)};
    QTemporaryFile files[2];
    for (int i : {0, 1})
        QVERIFY(files[i].open() && files[i].write(images.at(i)) == images.at(i).size() && files[i].seek(0));
    const auto address = m_addresses.value("OK");
    QFtp ftp;
    QSignalSpy started(&ftp, &QFtp::commandStarted);
    QSignalSpy done(&ftp, &QFtp::done);
    QList<QPair<qint64, qint64>> progress[2];
    connect(&ftp, &QFtp::dataTransferProgress, &ftp, [&](qint64 i64Done, qint64 i64Total) {
        if (done.count() < 2)
            progress[done.count()].append({i64Done, i64Total});
    });
    const int iConnect = ftp.connectToHost(address.first, address.second);
    const int iLogin = ftp.login(QStringLiteral("root"), QStringLiteral("secret"));
    const int iPut = ftp.put(&files[0], QStringLiteral("/upgrade/fw.img"));
    QVERIFY(iConnect < iLogin && iLogin < iPut);
    QCOMPARE(started.count(), 0);
    QCOMPARE(ftp.state(), QFtp::Unconnected);
    QVERIFY(done.wait(20000));
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QCOMPARE(started.count(), 3);
    QCOMPARE(started.at(0).at(0).toInt(), iConnect);
    QCOMPARE(started.at(2).at(0).toInt(), iPut);
    QCOMPARE(Recorded("OK", "ftp_command", "line"),
             QStringList({"USER root", "PASS secret", "TYPE I", "PASV", "ALLO 300001", "STOR /upgrade/fw.img"}));
    QVERIFY(Recorded("OK", "image", "name").contains("/upgrade/fw.img"));

    ftp.put(&files[1], QStringLiteral("/twice/second.img"));
    QVERIFY(done.wait(20000));
    QCOMPARE(done.at(1).at(0).toBool(), false);
    for (int i : {0, 1}) {
        const qint64 i64Size = images.at(i).size();
        QVERIFY(!progress[i].isEmpty());
        for (const auto &p : progress[i])
            QVERIFY2(p.second == i64Size && p.first >= 0 && p.first <= i64Size,
                     qPrintable(QStringLiteral("upload %1: %2 of %3").arg(i + 1).arg(p.first).arg(p.second)));
        QCOMPARE(progress[i].last(), qMakePair(i64Size, i64Size));
        QCOMPARE(Recorded("OK", "image", "sha256").filter(QString::fromLatin1(Sha256(images.at(i)))).size(), 1);
    }

    // The device serves the first image back. A caller that reads nothing until the transfer
    // is over: the bytes still in the data connection when it closes are kept, and handed
    // out no more than asked for at a time.
    QSignalSpy readyRead(&ftp, &QFtp::readyRead);
    ftp.get(QStringLiteral("/upgrade/fw.img"));
    QVERIFY(done.wait(20000));
    QCOMPARE(done.at(2).at(0).toBool(), false);
    QVERIFY(readyRead.count() > 0);
    QCOMPARE(ftp.bytesAvailable(), qint64(images.at(0).size()));
    QByteArray baAll;
    for (QByteArray ba = ftp.read(1024); !ba.isEmpty(); ba = ftp.read(1024)) {
        QVERIFY(ba.size() <= 1024);
        baAll += ba;
    }
    QCOMPARE(Sha256(baAll), Sha256(images.at(0)));
    QCOMPARE(ftp.bytesAvailable(), qint64(0));
}

void TestFtpDevsim::faultsFailWithTheirTextQuirksSucceed_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("put");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected"); // exact text; ending in "\n" means "starts with"; empty: success
    const QString strConnect = QFtp::tr("Connecting to host failed:\n%1");
    const QString strLogin = QFtp::tr("Login failed:\n%1");
    const QString strUp = QFtp::tr("Uploading file failed:\n%1");
    const QString strDown = QFtp::tr("Downloading file failed:\n%1");
    auto sim = [](const char *pszStep) { return QStringLiteral("Simulated failure of %1.").arg(pszStep); };
    const int P = QFtp::Passive;
    const int A = QFtp::Active;
    QTest::newRow("greeting 421") << "FAIL-CONNECT" << true << P << strConnect.arg(sim("CONNECT"));
    QTest::newRow("USER 530") << "FAIL-USER" << true << P << strLogin.arg(sim("USER"));
    QTest::newRow("PASS 530") << "FAIL-PASS" << false << P << strLogin.arg(sim("PASS"));
    QTest::newRow("TYPE 451 on upload") << "FAIL-TYPE" << true << P << strUp.arg(sim("TYPE"));
    QTest::newRow("TYPE 451 on download") << "FAIL-TYPE" << false << P << strDown.arg(sim("TYPE"));
    QTest::newRow("PASV 425") << "FAIL-PASV" << true << P << strUp.arg(sim("PASV"));
    QTest::newRow("PORT 501") << "FAIL-PORT" << false << A << strDown.arg(sim("PORT"));
    QTest::newRow("STOR 452") << "FAIL-STOR" << true << P << strUp.arg(sim("STOR"));
    QTest::newRow("STOR 452, active") << "FAIL-STOR" << true << A << strUp.arg(sim("STOR"));
    QTest::newRow("451 after the upload") << "FAIL-STOR_END" << true << P << strUp.arg(sim("STOR_END"));
    QTest::newRow("RETR 550") << "FAIL-RETR" << false << P << strDown.arg(sim("RETR"));
    QTest::newRow("426 after the download") << "FAIL-RETR_END" << false << P << strDown.arg(sim("RETR_END"));
    // A download cut short ends with the server's 426, not with a short "success".
    const QString strCut = strDown.arg("Failure writing network stream.");
    QTest::newRow("download cut") << "CUT" << false << P << strCut;
    QTest::newRow("download cut, active") << "CUT" << false << A << strCut;
    // An upload cut short: the reset or the server's 426, whichever the client meets first.
    QTest::newRow("upload cut") << "CUT" << true << P << strUp.arg(QString());
    QTest::newRow("upload cut, active") << "CUT" << true << A << strUp.arg(QString());
    // Quirks a server may have: the transfer still succeeds, whole and intact.
    // Without SIZE the download's total is unknown (0); without ALLO the upload goes on.
    QTest::newRow("SIZE refused") << "NOSIZE" << false << P << QString();
    QTest::newRow("ALLO refused") << "NOALLO" << true << P << QString();
    for (const int iMode : {P, A}) {
        const char *pszMode = iMode == P ? "passive" : "active";
        QTest::addRow("slow download, %s", pszMode) << "SLOW" << false << iMode << QString();
        QTest::addRow("slow upload, %s", pszMode) << "SLOW" << true << iMode << QString();
        // "226" before the data: finishing on the reply alone would lose the whole log.
        QTest::addRow("226 before the data, download, %s", pszMode) << "EARLY" << false << iMode << QString();
        QTest::addRow("226 before the data, upload, %s", pszMode) << "EARLY" << true << iMode << QString();
    }
}

void TestFtpDevsim::faultsFailWithTheirTextQuirksSucceed()
{
    QFETCH(QString, device);
    QFETCH(bool, put);
    QFETCH(int, mode);
    QFETCH(QString, expected);
    const QByteArray baImage = RandomBytes(400000, 5);
    const QString strPath = put ? QStringLiteral("/up/%1.img").arg(QString(QTest::currentDataTag()).replace(' ', '_'))
                                : QStringLiteral("/log/messages");
    const T_Outcome out = Run(device, put, static_cast<QFtp::TransferMode>(mode), strPath, baImage);
    QVERIFY2(out.bDone, "the client hung instead of reporting the outcome");
    QVERIFY2(out.bError == !expected.isEmpty(), qPrintable(out.strError));
    if (expected.endsWith('\n'))
        QVERIFY2(out.strError.startsWith(expected) && out.strError.size() > expected.size(), qPrintable(out.strError));
    else if (!expected.isEmpty())
        QCOMPARE(out.strError, expected);
    // An image counts as received exactly when the upload succeeded, and then it is intact.
    QCOMPARE(put && Recorded(device, "image", "name").contains(strPath), put && !out.bError);
    QVERIFY(!put || out.bError || Recorded(device, "image", "sha256").contains(Sha256(baImage)));
    if (put || out.bError)
        return;
    QCOMPARE(out.baData.size(), m_baLog.size());
    QCOMPARE(Sha256(out.baData), Sha256(m_baLog));
    QVERIFY(!out.lstProgress.isEmpty());
    for (const auto &progress : out.lstProgress)
        QCOMPARE(progress.second, device == "NOSIZE" ? 0 : qint64(m_baLog.size()));
}

void TestFtpDevsim::deletingTheClientMidUploadAbortsAndStoresNothing()
{
    // The session ends an upload only by deleting the client: the device must learn that
    // the transfer was abandoned (ABOR, reset), and must not keep the stump as an image.
    const QByteArray baImage = RandomBytes(16 * 1024 * 1024, 13);
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(baImage) == baImage.size() && file.seek(0));
    const auto address = m_addresses.value("OK");
    const int iDisconnectsBefore = Recorded("OK", "ftp_disconnect", "type").size();
    auto *pFtp = new QFtp(this);
    bool bDeleted = false;
    bool bDoneAfterDelete = false;
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
    QTRY_VERIFY_WITH_TIMEOUT(Recorded("OK", "ftp_disconnect", "type").size() > iDisconnectsBefore, 10000);
    QVERIFY(Recorded("OK", "ftp_command", "line").contains("ABOR"));
    QVERIFY(!Recorded("OK", "image", "name").contains("/abandoned.img"));
}

QTEST_GUILESS_MAIN(TestFtpDevsim)
#include "tst_ftpdevsim.moc"
