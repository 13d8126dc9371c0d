// The Vaza session against the simulated device over real loopback sockets.
#include "devsimrunner.h"
#include "quietwindow.h"
#include "testtime.h"
#include "vaza/cimagechecksums.h"
#include "vaza/cvazamaintainsession.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

namespace
{
// The session's own periods (product time): a quiet window of one and a half of them
// is where a timer left running would show itself.
constexpr int kResponseMs = 7000;
constexpr int kHeartbeatTickMs = 3000;
constexpr int kPollMs = 10000;

// One simulated device on 127.0.0.1 and a session to it. Every notification is kept as
// one line: "sys ok", "sys err time out", "log - 1024", "log fin", "up - Uploading 40",
// "up fin Upgrade completed 100", "ver ok fpga 2 F1.0.9". The second word is "-" for
// progress and anything else for a final notification.
struct CRig {
    CRig(double dScale, const QString &strHost, const QJsonObject &knobs = {}, const QString &strServices = "vaza")
        : scale(dScale), bStarted(sim.Start({SimDevice(strHost, QStringLiteral("127.0.0.1"), knobs)}, strServices)),
          session(Dev(strHost, sim.Port(QStringLiteral("vaza"))))
    {
        using S = CBaseMaintainSession;
        QObject::connect(&session, &S::OnSysInfoNotify,
                         [this](T_BaseDevInfo, bool bErr, S::E_InfoDataType, QByteArray ba) {
                             Note({"sys", bErr ? "err " + ba : "ok"}, ba);
                         });
        QObject::connect(&session, &S::OnDownloadLogNotify, [this](T_BaseDevInfo, QByteArray ba, bool bErr, bool bFin) {
            Note({"log", bErr ? "err " + ba : bFin ? "fin" : "- " + QByteArray::number(ba.size())}, ba);
        });
        QObject::connect(&session, &S::OnUpgradeNotify,
                         [this](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool bErr, bool bFin, int i32Pct) {
                             Note({"up", bErr ? "err" : bFin ? "fin" : "-", strStep, QString::number(i32Pct)});
                         });
        QObject::connect(&session, &S::OnVersionQueryNotify,
                         [this](T_BaseDevInfo, bool bErr, QByteArray baAddr, UInt32 u32Port, QByteArray baVer) {
                             Note({"ver", bErr ? "err" : "ok", baAddr, QString::number(u32Port), baVer});
                         });
    }
    static T_BaseDevInfo Dev(const QString &strHost, int i32Port)
    {
        T_BaseDevInfo st;
        st.strHostName = strHost;
        st.strAddr = QStringLiteral("127.0.0.1");
        st.u32Port = static_cast<quint32>(i32Port);
        st.strKind = QStringLiteral("tx");
        return st;
    }
    void Note(const QStringList &words, const QByteArray &baData = QByteArray())
    {
        notes << words.join(QLatin1Char(' ')).trimmed();
        data << baData;
    }
    int Finals() const
    {
        return static_cast<int>(
            std::count_if(notes.begin(), notes.end(), [](const QString &s) { return s.section(' ', 1, 1) != "-"; }));
    }
    QString Image(const QString &strName, int i32Size)
    {
        QFile file(sim.TempPath(strName));
        // Not periodic: with a 256-byte period every read-back piece would XOR to zero and a
        // checksum that forgets all but the last piece would still come out right.
        QByteArray ba(i32Size, Qt::Uninitialized);
        QRandomGenerator gen(static_cast<quint32>(i32Size));
        for (int i = 0; i < i32Size; ++i)
            ba[i] = static_cast<char>(gen.generate());
        return file.open(QIODevice::WriteOnly) && file.write(ba) == i32Size ? file.fileName() : QString();
    }
    E_CmdResult Upgrade(const QString &strPath, const QString &strModule = QStringLiteral("main"))
    {
        return session.StartUpgrade(T_UpgradeInfo{strModule, 1, strPath});
    }
    E_CmdResult Run(const QString &strCmd)
    {
        if (strCmd == QLatin1String("sys"))
            return session.GetSysInfo();
        if (strCmd == QLatin1String("log"))
            return session.DownloadLog();
        if (strCmd == QLatin1String("ver"))
            return session.QueryVersion("main", 1);
        return Upgrade(Image(QStringLiteral("fw.bin"), 1000));
    }
    ScopedTimeScale scale;
    CDevsimRunner sim;
    QStringList notes; // outlive the session, whatever it emits while going away
    QList<QByteArray> data;
    bool bStarted;
    CVazaMaintainSession session;
};
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
    void changedImageNeverGetsAChecksum_data();
    void changedImageNeverGetsAChecksum();
    void sessionsSendingOneImageReadItOnce();
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
    // Each catches a time-out through the wrong signal, a second one (the response timer
    // repeating), a session left busy or wedged, or a request sent unbound.
    const QString strOut = QStringLiteral("sys err time out");
    auto row = [](const char *pszTag, const QJsonObject &knobs, const char *pszCommand, const QString &strEnding,
                  const char *pszNext, const QString &strNextEnding, int i32Connects = 1) {
        QTest::newRow(pszTag) << knobs << pszCommand << strEnding << pszNext << strNextEnding << i32Connects;
    };
    // A refused bind leaves the link unbound: the next command times out as well.
    row("refused bind", {{"vaza_refuse_bind", true}}, "sys", strOut, "sys", strOut);
    row("silent sysinfo", {{"vaza_silent", "sysinfo"}}, "sys", strOut, "ver", "ver ok main 1 V3.1.4");
    row("silent log", {{"vaza_silent", "log"}}, "log", "log err time out", "sys", "sys ok");
    row("silent step 101", {{"vaza_silent", "101"}}, "up", "up err time out 0", "sys", "sys ok");
    // After garbage the stream is framed again from the next message on.
    row("garbage", {{"vaza_garbage_at", "sysinfo"}}, "sys", strOut, "ver", "ver ok main 1 V3.1.4");
    // The next reply is swallowed as the body that never came: no false answer.
    row("body never comes", {{"vaza_truncate_at", "sysinfo"}}, "sys", strOut, "sys", strOut);
    // A session that keeps the dead socket (or its half message) never answers again.
    row("connection dropped", {{"vaza_drop_at", "101"}}, "up", "up err time out 0", "sys", "sys ok", 2);
}

void TestVazaSession::faultEndsInOneTimeOutAndSessionGoesOn()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(QString, command);
    QFETCH(QString, ending);
    QFETCH(QString, next);
    QFETCH(QString, nextEnding);
    QFETCH(int, connects);
    CRig r(0.05, "ZR420-0003", knobs);
    QVERIFY(r.bStarted);
    QCOMPARE(r.Run(command), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(r.Finals(), 1, 5000);
    QCOMPARE(r.notes.last(), ending);
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

void TestVazaSession::changedImageNeverGetsAChecksum_data()
{
    QTest::addColumn<QString>("change");
    // The sum came from the file as it was after the upload: the device was told the checksum
    // of bytes it never received, refused it and never finished installing.
    QTest::newRow("changed after the upload") << "after upload";
    // A stale sum: summed as a batch began, then replaced by a build (new inode, same size,
    // maybe the same time) or rewritten in place (same inode, later time) before its upload.
    QTest::newRow("replaced after it was summed") << "replace";
    QTest::newRow("rewritten after it was summed") << "rewrite";
}

// A changed image fails the upgrade with the reason; its device is never told a checksum.
void TestVazaSession::changedImageNeverGetsAChecksum()
{
    QFETCH(QString, change);
    CRig r(0.05, "ZR410-0027", {{"install_ms", 0}}, QStringLiteral("vaza,ftp"));
    QVERIFY(r.bStarted);
    const QString strImage = r.Image(QStringLiteral("fw.img"), 4096);
    QFile file(strImage);
    QVERIFY(file.open(QIODevice::ReadWrite));
    // One byte flipped: the XOR of the whole file differs.
    QByteArray baOther = file.readAll();
    baOther[10] = static_cast<char>(baOther.at(10) ^ 1);
    if (change == QLatin1String("after upload")) {
        // The first "Installing..." comes as the upload ends, before the checksum is sent.
        connect(&r.session, &CBaseMaintainSession::OnUpgradeNotify, this, [&](T_BaseDevInfo, T_UpgradeInfo, QString s) {
            if (s == QLatin1String("Installing...") && file.isOpen() && file.seek(0) && file.write(baOther))
                file.close();
        });
        QCOMPARE(r.Upgrade(strImage), CMD_OK);
        QTRY_COMPARE_WITH_TIMEOUT(r.Finals(), 1, 20000);
        QCOMPARE(r.notes.last(), QStringLiteral("up err Upload Completed 100"));
        QVERIFY(!file.isOpen());
    } else {
        QString strError;
        QVERIFY2(CImageChecksums::Prepare(strImage, &strError), qPrintable(strError));
        if (change == QLatin1String("replace")) {
            file.close();
            QFile fileNew(strImage + QStringLiteral(".new"));
            QVERIFY(fileNew.open(QIODevice::WriteOnly) && fileNew.write(baOther) == baOther.size());
            fileNew.close();
            QVERIFY(QFile::remove(strImage) && QFile::rename(fileNew.fileName(), strImage));
        } else {
            const QDateTime dtSummed = file.fileTime(QFileDevice::FileModificationTime);
            QVERIFY(file.seek(0) && file.write(baOther) == baOther.size());
            QVERIFY(file.setFileTime(dtSummed.addSecs(2), QFileDevice::FileModificationTime));
            file.close();
        }
        // Refused before anything is sent: no box gets a file the rest of its batch did not.
        QCOMPARE(r.Upgrade(strImage), CMD_ERROR);
        QCOMPARE(r.sim.Count(QStringLiteral("vaza_upgrade")), 0);
    }
    QCOMPARE(r.session.LastError(), QStringLiteral("the image '%1' changed during the upgrade").arg(strImage));
    QVERIFY(!r.session.IsBusy());
    for (const QJsonObject &ev : r.sim.Events(QStringLiteral("vaza_upgrade")))
        QVERIFY2(ev.value("step").toInt() != 102, "the device was told a checksum");
}

// Catches every session reading the image back after its upload (a batch of N read it N
// times more, the whole gap to curl). Counted as all bytes this process reads: each upload
// reads the image once, the checksum once for all sessions, and not again for a second run.
void TestVazaSession::sessionsSendingOneImageReadItOnce()
{
    auto bytesRead = [] {
        QFile io(QStringLiteral("/proc/self/io"));
        const QByteArray ba = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
        const int i = ba.indexOf("rchar: ");
        return i < 0 ? qint64(-1) : ba.mid(i + 7, ba.indexOf('\n', i) - i - 7).toLongLong();
    };
    if (bytesRead() < 0)
        QSKIP("no read counter of this process here");
    constexpr int kSessions = 3;
    constexpr int kSize = 1024 * 1024;
    ScopedTimeScale scale(0.05);
    CDevsimRunner sim;
    QJsonArray devices;
    for (int i = 0; i < kSessions; ++i)
        devices.append(SimDevice(QStringLiteral("ZR410-003%1").arg(i), QStringLiteral("127.0.0.%1").arg(i + 1),
                                 {{"install_ms", 0}}));
    QVERIFY(sim.Start(devices, QStringLiteral("vaza,ftp")));
    QFile file(sim.TempPath(QStringLiteral("fw.img")));
    QByteArray baImage(kSize, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(baImage.data()), kSize / 4);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(baImage) == kSize);
    file.close();
    QStringList notes;
    std::vector<std::unique_ptr<CVazaMaintainSession>> sessions;
    for (int i = 0; i < kSessions; ++i) {
        T_BaseDevInfo st = CRig::Dev(QStringLiteral("ZR410-003%1").arg(i), 0);
        st.strAddr = QStringLiteral("127.0.0.%1").arg(i + 1);
        st.u32Port = static_cast<quint32>(sim.Port(QStringLiteral("vaza"), st.strHostName));
        sessions.push_back(std::make_unique<CVazaMaintainSession>(st));
        connect(sessions.back().get(), &CBaseMaintainSession::OnUpgradeNotify, this,
                [&](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool bErr, bool bFin) {
                    if (bErr || bFin)
                        notes << strStep;
                });
    }
    const qint64 i64Before = bytesRead();
    for (int i32Run = 1; i32Run <= 2; ++i32Run) {
        for (auto &pSession : sessions)
            QCOMPARE(pSession->StartUpgrade(T_UpgradeInfo{QStringLiteral("main"), 1, file.fileName()}), CMD_OK);
        QTRY_COMPARE_WITH_TIMEOUT(notes.size(), kSessions * i32Run, 20000);
    }
    const qint64 i64Read = bytesRead() - i64Before;
    QCOMPARE(notes.count(QStringLiteral("Upgrade completed")), 2 * kSessions);
    QCOMPARE(sim.Count(QStringLiteral("vaza_installed")), 2 * kSessions);
    // Uploads 6 MiB, the sum 1 MiB; the replies and the record are a few KiB.
    QVERIFY2(i64Read >= 7 * kSize && i64Read < 7 * kSize + kSize / 2, qPrintable(QString::number(i64Read)));
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
