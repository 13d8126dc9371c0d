// The Vaza session against the simulated device over real loopback sockets.
#include "quietwindow.h"
#include "vazasessionrig.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

namespace
{
// The session's own periods (product time): a quiet window of one and a half of them
// is where a timer left running would show itself.
constexpr int kResponseMs = 7000;
constexpr int kHeartbeatTickMs = 3000;
constexpr int kPollMs = 10000;
} // namespace

class TestVazaSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false")); }
    void requestWaitsForBindThenHeartbeatsWhenIdle();
    void faultEndsInOneTimeOutAndSessionGoesOn_data();
    void faultEndsInOneTimeOutAndSessionGoesOn();
    void busyRefusesCommandsButQueryVersionRuns();
    void upgradeEndsOnce_data();
    void upgradeEndsOnce();
    void abortDuringInstallationSilencesSession();
    void imageNameReachesDeviceWhole_data();
    void imageNameReachesDeviceWhole();
    void installationProgressIsAnyValueButHundred_data();
    void installationProgressIsAnyValueButHundred();
    void logArrivesInChunksThenFinalNotification();
    void realTimeResponseTimeOut();
};

// Catches a request written before the bind reply, a lost waiting request, numbering that
// restarts on connect, and a heartbeat that never starts (or goes out on every tick).
void TestVazaSession::requestWaitsForBindThenHeartbeatsWhenIdle()
{
    CRig r(0.05, "ZR410-0001");
    QVERIFY(r.bStarted);
    QCOMPARE(r.session.GetSysInfo(), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.notes, QStringList{"sys ok"}, 5000);
    QVERIFY2(r.data.at(0).contains("<label name=\"PID\">ZR410</label>"), r.data.at(0).constData());
    QVERIFY(r.data.at(0).contains("<label name=\"IP Address\">127.0.0.1</label>"));
    QVERIFY(!r.session.IsBusy());

    const QList<QJsonObject> binds = r.sim.Events(QStringLiteral("vaza_bind"));
    QCOMPARE(binds.size(), 1);
    // The system-information request was numbered first, while there was no connection.
    QCOMPARE(binds.at(0).value(QStringLiteral("seq")).toInt(), 2);
    // devsim records a request before the accepted bind as unbound (and ignores it).
    QCOMPARE(r.sim.Count(QStringLiteral("vaza_unbound_request")), 0);

    // Idle for 1 s (20 s scaled): one heartbeat, not one per 150 ms tick.
    QTRY_COMPARE_WITH_TIMEOUT(r.sim.Count(QStringLiteral("vaza_heartbeat")), 1, 5000);
    QVERIFY_QUIET([&] { return r.sim.Count(QStringLiteral("vaza_heartbeat")); }, 2 * kHeartbeatTickMs);
}

void TestVazaSession::faultEndsInOneTimeOutAndSessionGoesOn_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("nextEnding");
    QTest::addColumn<int>("connects");
    QTest::addColumn<QString>("reason");
    // Each catches a time-out through the wrong signal, a second one (the response timer
    // repeating), a session left busy or wedged, or a request sent unbound.
    const QString strOut = QStringLiteral("sys err time out");
    // The reason of the first ending says what happened: a hung-up connection read "time out
    // (The remote host closed the connection)".
    auto row = [](const char *pszTag, const QJsonObject &knobs, const char *pszCommand, const QString &strEnding,
                  const char *pszNext, const QString &strNextEnding, int i32Connects = 1,
                  const char *pszReason = "time out") {
        QTest::newRow(pszTag) << knobs << pszCommand << strEnding << pszNext << strNextEnding << i32Connects
                              << QString::fromLatin1(pszReason);
    };
    // The next command logs in again on a new connection: a device that was away may be back.
    row("refused bind", {{"vaza_refuse_bind", true}}, "sys", strOut, "sys", strOut, 2,
        "the device refused the maintenance log-in");
    row("silent sysinfo", {{"vaza_silent", "sysinfo"}}, "sys", strOut, "ver", "ver ok main 1 V3.1.4");
    row("silent log", {{"vaza_silent", "log"}}, "log", "log err time out", "sys", "sys ok");
    row("silent step 101", {{"vaza_silent", "101"}}, "up", "up err time out 0", "sys", "sys ok");
    // After garbage the stream is framed again from the next message on.
    row("garbage", {{"vaza_garbage_at", "sysinfo"}}, "sys", strOut, "ver", "ver ok main 1 V3.1.4");
    // The next reply is swallowed as the body that never came: no false answer.
    row("body never comes", {{"vaza_truncate_at", "sysinfo"}}, "sys", strOut, "sys", strOut);
    // A session that keeps the dead socket (or its half message) never answers again.
    row("connection dropped", {{"vaza_drop_at", "101"}}, "up", "up err time out 0", "sys", "sys ok", 2,
        "the device closed the connection");
}

void TestVazaSession::faultEndsInOneTimeOutAndSessionGoesOn()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(QString, command);
    QFETCH(QString, ending);
    QFETCH(QString, next);
    QFETCH(QString, nextEnding);
    QFETCH(int, connects);
    QFETCH(QString, reason);
    CRig r(0.05, "ZR420-0003", knobs);
    QVERIFY(r.bStarted);
    QCOMPARE(r.Run(command), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.Finals(), 1, 5000);
    QCOMPARE(r.notes.last(), ending);
    QCOMPARE(r.session.LastError(), reason);
    // A response timer left repeating would end the command again.
    QVERIFY_QUIET([&] { return r.Finals(); }, kResponseMs * 3 / 2);
    QVERIFY(!r.session.IsBusy());
    QCOMPARE(r.sim.Count(QStringLiteral("vaza_unbound_request")), 0);
    QCOMPARE(r.Run(next), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.Finals(), 2, 5000);
    QCOMPARE(r.notes.last(), nextEnding);
    QCOMPARE(r.sim.Count(QStringLiteral("vaza_connect")), connects);
}

// Catches the busy rule applied to version queries, a busy answer that disturbs the running
// command, and an upgrade started from a file that cannot be sent.
void TestVazaSession::busyRefusesCommandsButQueryVersionRuns()
{
    CRig r(0.1, "ZR410-0004", {{"vaza_silent", "sysinfo"}});
    QVERIFY(r.bStarted);
    const QString strImage = r.Image(QStringLiteral("fw.bin"), 100);
    for (const QString &strBad : {QStringLiteral("fw.bin"), r.sim.TempPath(QString()), r.sim.TempPath("missing.bin")})
        QCOMPARE(r.Upgrade(strBad), CMD_ERROR);
    QCOMPARE(r.Upgrade(strImage, QString()), CMD_ERROR);
    QVERIFY(!r.session.IsBusy());

    QCOMPARE(r.session.GetSysInfo(), CMD_OK);
    QCOMPARE(r.session.GetSysInfo(), CMD_BUSY);
    QCOMPARE(r.session.DownloadLog(), CMD_BUSY);
    QCOMPARE(r.Upgrade(strImage), CMD_BUSY);
    QTRY_COMPARE_WITH_TIMEOUT(r.sim.Count(QStringLiteral("vaza_sysinfo")), 1, 5000);
    QCOMPARE(r.session.QueryVersion("fpga", 2), CMD_OK);
    QCOMPARE(r.session.QueryVersion("nosuch", 9), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.notes.size(), 2, 5000);
    QCOMPARE(r.notes, (QStringList{"ver ok fpga 2 F1.0.9", "ver err nosuch 9"}));
    QVERIFY(r.session.IsBusy());
    QTRY_COMPARE_WITH_TIMEOUT(r.notes.size(), 3, 5000);
    QCOMPARE(r.notes.last(), QStringLiteral("sys err time out"));
}

void TestVazaSession::upgradeEndsOnce_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("imageStored");
    QTest::addColumn<int>("installed");
    const QJsonObject quick{{"install_ms", 0}};
    const QString strDone = QStringLiteral("up fin Upgrade completed 100");
    const QString strInstallErr = QStringLiteral("up err Installing... 1");
    auto row = [](const char *pszTag, const QJsonObject &knobs, int i32Size, const QString &strEnding, bool bStored,
                  int i32Installed) {
        QTest::newRow(pszTag) << knobs << i32Size << strEnding << bStored << i32Installed;
    };
    // Lost or corrupted image bytes, a wrong checksum (the image is summed in 256 KiB
    // pieces: this one needs nine, the last one odd), polls going on after 100.
    row("full upgrade", {{"install_ms", 1500}}, 2 * 1024 * 1024 + 17, strDone, true, 1);
    // A division by zero (or a garbage percentage) for an image of 0 bytes.
    row("empty image", quick, 0, strDone, true, 1);
    // An upgrade that goes on although the device answers for another module.
    row("reply for another module", {{"vaza_wrong_module", true}}, 100, "up err Uploading -1", false, 0);
    // A malformed upload URL reaching the FTP client.
    row("upload URL not ftp", {{"vaza_ftp_url", "http://127.0.0.1/fw.bin"}}, 100, "up err Uploading -1", false, 0);
    // FTP failures reported as success.
    row("STOR refused", {{"ftp_fail", QJsonObject{{"STOR", 553}}}}, 65536, strInstallErr, false, 0);
    row("data connection cut", {{"ftp_cut_after", 5000}}, 65536, strInstallErr, false, 0);
}

// Whatever the outcome: one final notification, an idle session that takes the next
// command, upload progress that only rises and ends before installation, and a stored
// image byte-identical to the file as it was sent.
void TestVazaSession::upgradeEndsOnce()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(int, size);
    QFETCH(QString, ending);
    QFETCH(bool, imageStored);
    QFETCH(int, installed);
    CRig r(0.05, "ZR410-0020", knobs, QStringLiteral("vaza,ftp"));
    QVERIFY(r.bStarted);
    const QString strImage = r.Image(QStringLiteral("fw.img"), size);
    QFile file(strImage);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray baSent = file.readAll();
    QCOMPARE(r.Upgrade(strImage), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.Finals(), 1, 20000);
    QCOMPARE(r.notes.last(), ending);
    QVERIFY(!r.session.IsBusy());
    if (size == 0)
        QCOMPARE(r.notes.first(), QStringLiteral("up - Uploading 0"));

    int i32LastUpload = -1;
    bool bInstalling = false;
    bool bMidUpload = false;
    for (const QString &s : r.notes.mid(0, r.notes.size() - 1)) {
        bInstalling = bInstalling || s.contains(QLatin1String("Installing"));
        if (s.contains(QLatin1String("Uploading"))) {
            QVERIFY2(!bInstalling && s.section(' ', -1).toInt() >= i32LastUpload, qPrintable(r.notes.join('\n')));
            i32LastUpload = s.section(' ', -1).toInt();
            bMidUpload = bMidUpload || (i32LastUpload > 0 && i32LastUpload < 100);
        }
    }
    if (imageStored && size > 0)
        QCOMPARE(i32LastUpload, 100);
    // A percentage taken in whole numbers before multiplying sits at 0 and jumps to 100.
    // The client hands the socket at most about 1 MiB per turn and reports after each, so
    // an image over 2 MiB always gets a report between 1 % and 99 %.
    if (imageStored && size > 2 * 1024 * 1024)
        QVERIFY2(bMidUpload, qPrintable(r.notes.join('\n')));
    const QList<QJsonObject> images = r.sim.Events(QStringLiteral("image"));
    QCOMPARE(images.size(), imageStored ? 1 : 0);
    if (imageStored)
        QCOMPARE(images.at(0).value(QStringLiteral("sha256")).toString().toLatin1(),
                 QCryptographicHash::hash(baSent, QCryptographicHash::Sha256).toHex());
    QCOMPARE(r.sim.Count(QStringLiteral("vaza_installed")), installed);

    // Polls (or a progress tick, or the response timer) going on after the ending.
    QVERIFY_QUIET([&] { return r.sim.Count(QStringLiteral("vaza_upgrade")) + r.notes.size(); }, kPollMs * 3 / 2);
    QCOMPARE(r.Finals(), 1);
    QCOMPARE(r.session.GetSysInfo(), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.notes.last(), QStringLiteral("sys ok"), 5000);
}

void TestVazaSession::imageNameReachesDeviceWhole_data()
{
    QTest::addColumn<QString>("name");
    // A name cut at its blank was stored as "/with" and the run then failed with a false
    // reason; '#' and '%' must not be read as URL syntax; UTF-8 names stay UTF-8.
    QTest::newRow("blank") << QStringLiteral("with blank.img");
    QTest::newRow("hash and percent") << QStringLiteral("a#b 50%.img");
    QTest::newRow("chinese") << QString::fromUtf8("\xe5\x9b\xba\xe4\xbb\xb6.img");
}

void TestVazaSession::imageNameReachesDeviceWhole()
{
    QFETCH(QString, name);
    CRig r(0.05, "ZR410-0026", {{"install_ms", 0}}, QStringLiteral("vaza,ftp"));
    QVERIFY(r.bStarted);
    QCOMPARE(r.Upgrade(r.Image(name, 3000)), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.Finals(), 1, 20000);
    QCOMPARE(r.notes.last(), QStringLiteral("up fin Upgrade completed 100"));
    const QList<QJsonObject> images = r.sim.Events(QStringLiteral("image"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.at(0).value(QStringLiteral("name")).toString(), QLatin1Char('/') + name);
}

// Catches simulated progress and polls that go on reporting after the caller gave up, and
// an abort that leaves the command running.
void TestVazaSession::abortDuringInstallationSilencesSession()
{
    CRig r(0.05, "ZR410-0024", {{"install_ms", 600000}}, QStringLiteral("vaza,ftp"));
    QVERIFY(r.bStarted);
    QCOMPARE(r.Upgrade(r.Image(QStringLiteral("fw.img"), 1000)), CMD_OK);
    // Wait for device progress from the polls (step 103 answered).
    QTRY_VERIFY_WITH_TIMEOUT(r.sim.Count(QStringLiteral("vaza_upgrade")) >= 4, 20000);
    QCOMPARE(r.session.AbortCmd(), int(CUR_UPGRADE));
    QCOMPARE(r.session.AbortCmd(), int(CUR_NONE));
    // A poll period and a half holds several progress ticks as well.
    QVERIFY_QUIET([&] { return r.notes.size() + r.sim.Count(QStringLiteral("vaza_upgrade")); }, kPollMs * 3 / 2);
    QCOMPARE(r.Finals(), 0);
}

void TestVazaSession::installationProgressIsAnyValueButHundred_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<QString>("progress");
    // Only 100 ends an installation: a value above it is no verdict of the device's (taking it
    // for "checksum rejected" reported a reason nobody gave).
    QTest::newRow("value above 100") << QJsonObject{{"install_stuck_at", 150}} << "up - Installing... 150";
}

// Whatever the device answers while installing, short of 100, the session reports progress
// and polls on; the caller's silence limit decides when to give up.
void TestVazaSession::installationProgressIsAnyValueButHundred()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(QString, progress);
    CRig r(0.05, "ZR410-0025", knobs, QStringLiteral("vaza,ftp"));
    QVERIFY(r.bStarted);
    QCOMPARE(r.Upgrade(r.Image(QStringLiteral("fw.img"), 4096)), CMD_OK);
    auto polls = [&] {
        int i = 0;
        for (const QJsonObject &ev : r.sim.Events(QStringLiteral("vaza_upgrade")))
            i += ev.value("step").toInt() == 103;
        return i;
    };
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= 3, 20000);
    QVERIFY2(r.notes.contains(progress), qPrintable(r.notes.join('\n')));
    QCOMPARE(r.Finals(), 0);
    QVERIFY(r.session.IsBusy());
    QCOMPARE(r.session.AbortCmd(), int(CUR_UPGRADE));
}

// Catches chunks over 1024 bytes, lost or repeated log bytes, a missing final emission,
// and ZR420L (any letter case) treated alike for system information and log.
void TestVazaSession::logArrivesInChunksThenFinalNotification()
{
    QByteArray baLog;
    for (int i = 0; baLog.size() < 2500; ++i)
        baLog += QByteArray::number(i) + " kernel: line <" + QByteArray::number(i * 7) + ">\n";
    baLog.truncate(2500);
    CRig r(0.1, "zr420l-0025", {{"log_text", QString::fromLatin1(baLog)}}, QStringLiteral("vaza,ftp"));
    QVERIFY(r.bStarted);
    QCOMPARE(r.session.GetSysInfo(), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.notes, QStringList{"sys ok"}, 5000);
    QVERIFY(r.data.at(0).contains("Stream Info"));
    QCOMPARE(r.session.DownloadLog(), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(r.Finals() == 2, 20000);
    // All 2500 bytes were waiting at once on loopback: exactly 1024, 1024, 452.
    QCOMPARE(r.notes, (QStringList{"sys ok", "log - 1024", "log - 1024", "log - 452", "log fin"}));
    QCOMPARE(r.data.mid(1), (QList<QByteArray>{baLog.left(1024), baLog.mid(1024, 1024), baLog.mid(2048), ""}));
    QVERIFY(!r.session.IsBusy());
    QCOMPARE(r.sim.Events(QStringLiteral("vaza_sysinfo")).at(0).value(QStringLiteral("model")).toInt(), 1);
    QCOMPARE(r.sim.Events(QStringLiteral("vaza_log")).at(0).value(QStringLiteral("model")).toInt(), 3);
}

// The unscaled 7000 ms response time-out, once, on a real clock (run by its own ctest).
void TestVazaSession::realTimeResponseTimeOut()
{
    if (qEnvironmentVariableIntValue("VELMORA_REAL_TIME") != 1)
        QSKIP("real-time case: runs as tst_vazasession_realtime");
    CRig r(1.0, "ZR410-0011", {{"vaza_silent", "sysinfo"}});
    QVERIFY(r.bStarted);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(r.session.GetSysInfo(), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.notes.size(), 1, 12000);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(clock.elapsed() >= 6600 && clock.elapsed() < 9000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(r.notes.at(0), QStringLiteral("sys err time out"));
}

QTEST_MAIN(TestVazaSession)
#include "tst_vazasession.moc"
