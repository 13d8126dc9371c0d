// The Vaza session against the simulated device over real loopback sockets.
#include "devsimrunner.h"
#include "gbihmaintainsession/cvazamaintainsession.h"
#include "testtime.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QtTest>

namespace
{
T_BaseDevInfo Dev(const QString &strHost, const QString &strAddr, int i32Port)
{
    T_BaseDevInfo st;
    st.strHostName = strHost;
    st.strAddr = strAddr;
    st.u32Port = static_cast<quint32>(i32Port);
    st.strKind = QStringLiteral("tx");
    return st;
}

T_UpgradeInfo Module(const QString &strPath, const QString &strAddr = QStringLiteral("main"), quint32 u32Port = 1)
{
    T_UpgradeInfo st;
    st.strDevAddr = strAddr;
    st.u32DevPort = u32Port;
    st.strFilePath = strPath;
    return st;
}

QString WriteImage(const CDevsimRunner &sim, const QString &strName, int i32Size)
{
    const QString strPath = sim.TempPath(strName);
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QByteArray ba(i32Size, Qt::Uninitialized);
    for (int i = 0; i < i32Size; ++i)
        ba[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    file.write(ba);
    return strPath;
}

// Final notifications of an upgrade (error or finished).
int Finals(const QSignalSpy &spy)
{
    int i32 = 0;
    for (const QList<QVariant> &args : spy)
        i32 += (args.at(3).toBool() || args.at(4).toBool()) ? 1 : 0;
    return i32;
}
} // namespace

class TestVazaSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void requestWaitsForBindThenHeartbeatsWhenIdle();
    void refusedBindEndsInTimeOutAndNextCommandRuns();
    void silentDeviceTimesOutOncePerCommand();
    void busyRefusesCommandsButQueryVersionRuns();
    void upgradeReplyForAnotherModuleFails();
    void badUploadUrlFails();
    void modelPicksRequestIdentifiers();
    void brokenRepliesEndInTimeOutAndSessionGoesOn();
    void droppedConnectionIsReopenedByNextCommand();
    void fullUpgradeDeliversByteIdenticalImage();
    void imageChangedAfterUploadFailsInstallation();
    void emptyImageReportsZeroPercentAndCompletes();
    void ftpFailureEndsUpgradeAndSessionTakesNextCommand();
    void abortDuringInstallationSilencesSession();
    void logArrivesInChunksThenFinalNotification();
    void realTimeResponseTimeOut();

private:
    QString m_strAddr = QStringLiteral("127.0.0.1");
};

void TestVazaSession::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
}

// Catches a request written before the bind reply, a lost waiting request, numbering that
// restarts on connect, and a heartbeat that never starts (or runs on a busy link).
void TestVazaSession::requestWaitsForBindThenHeartbeatsWhenIdle()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0001"), m_strAddr)}, QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0001"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(1).toBool(), false);
    const QByteArray baDoc = spy.at(0).at(3).toByteArray();
    QVERIFY2(baDoc.contains("<label name=\"PID\">ZR410</label>"), baDoc.constData());
    QVERIFY(baDoc.contains("<label name=\"IP Address\">127.0.0.1</label>"));
    QVERIFY(!session.IsBusy());

    const QList<QJsonObject> binds = sim.Events(QStringLiteral("vaza_bind"));
    QCOMPARE(binds.size(), 1);
    // The system-information request was built first, while there was no connection.
    QCOMPARE(binds.at(0).value(QStringLiteral("seq")).toInt(), 2);
    const QString strStamp = binds.at(0).value(QStringLiteral("stamp")).toString();
    QVERIFY(QDateTime::fromString(strStamp.left(14), QStringLiteral("yyyyMMddHHmmss")).isValid());
    QVERIFY(strStamp.endsWith(QLatin1String("GMT")));
    const QList<QJsonObject> all = sim.Events();
    int i32Bind = -1, i32Req = -1;
    for (int i = 0; i < all.size(); ++i) {
        const QString strType = all.at(i).value(QStringLiteral("type")).toString();
        if (strType == QLatin1String("vaza_bind"))
            i32Bind = i;
        if (strType == QLatin1String("vaza_sysinfo"))
            i32Req = i;
    }
    QVERIFY(i32Bind >= 0 && i32Req > i32Bind);
    QCOMPARE(sim.Count(QStringLiteral("vaza_unbound_request")), 0);

    // Idle for 2 s (20 s scaled): one heartbeat, not one per 300 ms tick.
    QTRY_COMPARE_WITH_TIMEOUT(sim.Count(QStringLiteral("vaza_heartbeat")), 1, 5000);
    QTest::qWait(800);
    QCOMPARE(sim.Count(QStringLiteral("vaza_heartbeat")), 1);
}

// Catches a refused bind that blocks the session for good, or a request sent unbound.
void TestVazaSession::refusedBindEndsInTimeOutAndNextCommandRuns()
{
    ScopedTimeScale scale(0.05);
    CDevsimRunner sim;
    QVERIFY(
        sim.Start({SimDevice(QStringLiteral("ZR430-0002"), m_strAddr, {{QStringLiteral("vaza_refuse_bind"), true}})},
                  QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR430-0002"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(1).toBool(), true);
    QCOMPARE(spy.at(0).at(3).toByteArray(), QByteArray("time out"));
    QCOMPARE(sim.Count(QStringLiteral("vaza_sysinfo")), 0);
    QCOMPARE(sim.Count(QStringLiteral("vaza_unbound_request")), 0);
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.size(), 2);
}

// Catches a time-out reported through the wrong signal, reported twice (the response
// timer repeats), or leaving the session busy.
void TestVazaSession::silentDeviceTimesOutOncePerCommand()
{
    ScopedTimeScale scale(0.05);
    CDevsimRunner sim;
    QVERIFY(
        sim.Start({SimDevice(QStringLiteral("ZR420-0003"), m_strAddr,
                             {{QStringLiteral("vaza_silent"),
                               QJsonArray{QStringLiteral("sysinfo"), QStringLiteral("log"), QStringLiteral("101")}}})},
                  QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR420-0003"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy sysSpy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QSignalSpy logSpy(&session, &CBaseMaintainSession::OnDownloadLogNotify);
    QSignalSpy upSpy(&session, &CBaseMaintainSession::OnUpgradeNotify);

    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(sysSpy.wait(5000));
    QCOMPARE(sysSpy.at(0).at(3).toByteArray(), QByteArray("time out"));

    QCOMPARE(session.DownloadLog(), CMD_OK);
    QVERIFY(logSpy.wait(5000));
    QCOMPARE(logSpy.at(0).at(1).toByteArray(), QByteArray("time out"));
    QCOMPARE(logSpy.at(0).at(2).toBool(), true);
    QCOMPARE(logSpy.at(0).at(3).toBool(), false);

    const QString strImage = WriteImage(sim, QStringLiteral("fw.bin"), 1000);
    QCOMPARE(session.StartUpgrade(Module(strImage)), CMD_OK);
    QVERIFY(upSpy.wait(5000));
    QCOMPARE(upSpy.at(0).at(2).toString(), QStringLiteral("time out"));
    QCOMPARE(upSpy.at(0).at(3).toBool(), true);
    QCOMPARE(upSpy.at(0).at(5).toInt(), 0);

    QTest::qWait(1000); // several response periods
    QCOMPARE(sysSpy.size(), 1);
    QCOMPARE(logSpy.size(), 1);
    QCOMPARE(upSpy.size(), 1);
    QVERIFY(!session.IsBusy());
    QCOMPARE(sim.Count(QStringLiteral("vaza_sysinfo")), 1);
    QCOMPARE(sim.Count(QStringLiteral("vaza_log")), 1);
}

// Catches the busy rule applied to version queries, or a busy answer that disturbs the
// running command.
void TestVazaSession::busyRefusesCommandsButQueryVersionRuns()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0004"), m_strAddr,
                                 {{QStringLiteral("vaza_silent"), QStringLiteral("sysinfo")}})},
                      QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0004"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy sysSpy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QSignalSpy verSpy(&session, &CBaseMaintainSession::OnVersionQueryNotify);
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QCOMPARE(session.GetSysInfo(), CMD_BUSY);
    QCOMPARE(session.DownloadLog(), CMD_BUSY);
    QCOMPARE(session.StartUpgrade(Module(QStringLiteral("/nonexistent/x.bin"))), CMD_BUSY);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Count(QStringLiteral("vaza_sysinfo")), 1, 5000);
    QCOMPARE(session.QueryVersion("fpga", 2), CMD_OK);
    QCOMPARE(session.QueryVersion("nosuch", 9), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(verSpy.size(), 2, 5000);
    QCOMPARE(verSpy.at(0).at(1).toBool(), false);
    QCOMPARE(verSpy.at(0).at(2).toByteArray(), QByteArray("fpga"));
    QCOMPARE(verSpy.at(0).at(3).toUInt(), 2u);
    QCOMPARE(verSpy.at(0).at(4).toByteArray(), QByteArray("F1.0.9"));
    QCOMPARE(verSpy.at(1).at(1).toBool(), true);
    QVERIFY(verSpy.at(1).at(4).toByteArray().isEmpty());
    QVERIFY(session.IsBusy());
    QVERIFY(sysSpy.wait(5000));
    QCOMPARE(sysSpy.size(), 1);
    QCOMPARE(sysSpy.at(0).at(1).toBool(), true);
}

// Catches an upgrade that goes on although the device answers for another module.
void TestVazaSession::upgradeReplyForAnotherModuleFails()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(
        sim.Start({SimDevice(QStringLiteral("ZR410-0005"), m_strAddr, {{QStringLiteral("vaza_wrong_module"), true}})},
                  QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0005"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(session.StartUpgrade(Module(WriteImage(sim, QStringLiteral("fw.bin"), 100))), CMD_OK);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("Uploading"));
    QCOMPARE(spy.at(0).at(3).toBool(), true);
    QCOMPARE(spy.at(0).at(5).toInt(), -1);
    QCOMPARE(spy.at(0).value(1).value<T_UpgradeInfo>().strDevAddr, QStringLiteral("main"));
    QVERIFY(!session.IsBusy());
    QTest::qWait(1000);
    QCOMPARE(spy.size(), 1);
}

// Catches a malformed upload URL reaching the FTP client, and the start-up checks.
void TestVazaSession::badUploadUrlFails()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0006"), m_strAddr,
                                 {{QStringLiteral("vaza_ftp_url"), QStringLiteral("http://127.0.0.1/fw.bin")}})},
                      QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0006"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    const QString strImage = WriteImage(sim, QStringLiteral("fw.bin"), 100);
    QCOMPARE(session.StartUpgrade(Module(QStringLiteral("fw.bin"))), CMD_ERROR);
    QCOMPARE(session.StartUpgrade(Module(sim.TempPath(QString()))), CMD_ERROR);
    QCOMPARE(session.StartUpgrade(Module(strImage, QString())), CMD_ERROR);
    QCOMPARE(session.StartUpgrade(Module(sim.TempPath(QStringLiteral("missing.bin")))), CMD_ERROR);
    QVERIFY(!session.IsBusy());
    QCOMPARE(session.StartUpgrade(Module(strImage)), CMD_OK);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("Uploading"));
    QCOMPARE(spy.at(0).at(3).toBool(), true);
    QCOMPARE(spy.at(0).at(5).toInt(), -1);
    QVERIFY(!session.IsBusy());
    const QList<QJsonObject> steps = sim.Events(QStringLiteral("vaza_upgrade"));
    QCOMPARE(steps.size(), 1);
    QCOMPARE(steps.at(0).value(QStringLiteral("name")).toString(), QStringLiteral("fw.bin"));
    QCOMPARE(steps.at(0).value(QStringLiteral("module")).toString(), QStringLiteral("main"));
}

// Catches ZR420L treated alike for both requests, and case-sensitive model names.
void TestVazaSession::modelPicksRequestIdentifiers()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start(
        {SimDevice(QStringLiteral("zr420l-0007"), m_strAddr, {{QStringLiteral("vaza_silent"), QStringLiteral("log")}})},
        QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("zr420l-0007"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(spy.wait(5000));
    QVERIFY(spy.at(0).at(3).toByteArray().contains("Stream Info"));
    QCOMPARE(session.DownloadLog(), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Count(QStringLiteral("vaza_log")), 1, 5000);
    QCOMPARE(sim.Events(QStringLiteral("vaza_sysinfo")).at(0).value(QStringLiteral("model")).toInt(), 1);
    QCOMPARE(sim.Events(QStringLiteral("vaza_log")).at(0).value(QStringLiteral("model")).toInt(), 3);
    QCOMPARE(session.AbortCmd(), int(CUR_LOG));
    QCOMPARE(session.AbortCmd(), int(CUR_NONE));
}

// Catches garbage or a reply whose body never comes wedging the session: each ends in
// one time-out and the next command still gets its answer.
void TestVazaSession::brokenRepliesEndInTimeOutAndSessionGoesOn()
{
    ScopedTimeScale scale(0.05);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0008"), m_strAddr,
                                 {{QStringLiteral("vaza_garbage_at"), QStringLiteral("sysinfo")}}),
                       SimDevice(QStringLiteral("ZR410-0009"), QStringLiteral("127.0.0.2"),
                                 {{QStringLiteral("vaza_truncate_at"), QStringLiteral("sysinfo")}})},
                      QStringLiteral("vaza")));
    for (const QString &strAddr : {m_strAddr, QStringLiteral("127.0.0.2")}) {
        CVazaMaintainSession session(Dev(QStringLiteral("ZR410-x"), strAddr, sim.Port(QStringLiteral("vaza"))));
        QSignalSpy sysSpy(&session, &CBaseMaintainSession::OnSysInfoNotify);
        QSignalSpy verSpy(&session, &CBaseMaintainSession::OnVersionQueryNotify);
        QCOMPARE(session.GetSysInfo(), CMD_OK);
        QVERIFY(sysSpy.wait(5000));
        QCOMPARE(sysSpy.at(0).at(3).toByteArray(), QByteArray("time out"));
        QTest::qWait(400);
        QCOMPARE(sysSpy.size(), 1);
        QVERIFY(!session.IsBusy());
        QVERIFY(session.QueryVersion("main", 1) == CMD_OK);
        if (strAddr == m_strAddr) {
            // After garbage the stream is framed again from the next message on.
            QTRY_COMPARE_WITH_TIMEOUT(verSpy.size(), 1, 5000);
            QCOMPARE(verSpy.at(0).at(4).toByteArray(), QByteArray("V3.1.4"));
        }
        // After a body that never came the reply is swallowed as that body: no false answer.
        QCOMPARE(session.GetSysInfo(), CMD_OK);
        QVERIFY(sysSpy.wait(5000));
        QCOMPARE(sysSpy.size(), 2);
    }
}

// Catches a session that keeps a dead socket (or its half message) after the device cut
// the connection.
void TestVazaSession::droppedConnectionIsReopenedByNextCommand()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start(
        {SimDevice(QStringLiteral("ZR410-0010"), m_strAddr, {{QStringLiteral("vaza_drop_at"), QStringLiteral("101")}})},
        QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0010"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy upSpy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QSignalSpy sysSpy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QCOMPARE(session.StartUpgrade(Module(WriteImage(sim, QStringLiteral("fw.bin"), 10))), CMD_OK);
    QVERIFY(upSpy.wait(5000));
    QCOMPARE(upSpy.at(0).at(2).toString(), QStringLiteral("time out"));
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(sysSpy.wait(5000));
    QCOMPARE(sysSpy.at(0).at(1).toBool(), false);
    QCOMPARE(sim.Count(QStringLiteral("vaza_connect")), 2);
    QCOMPARE(sim.Count(QStringLiteral("vaza_bind")), 2);
    QCOMPARE(upSpy.size(), 1);
}

// Catches lost or corrupted image bytes, a wrong checksum, polls that go on after 100,
// and more than one final notification.
void TestVazaSession::fullUpgradeDeliversByteIdenticalImage()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0020"), m_strAddr, {{QStringLiteral("install_ms"), 1500}})},
                      QStringLiteral("vaza,ftp")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0020"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    const QString strImage = WriteImage(sim, QStringLiteral("main-v2.img"), 300 * 1024 + 17);
    QCOMPARE(session.StartUpgrade(Module(strImage)), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(Finals(spy) == 1, 20000);
    const QList<QVariant> last = spy.last();
    QCOMPARE(last.at(2).toString(), QStringLiteral("Upgrade completed"));
    QCOMPARE(last.at(3).toBool(), false);
    QCOMPARE(last.at(4).toBool(), true);
    QCOMPARE(last.at(5).toInt(), 100);
    QVERIFY(!session.IsBusy());

    // Upload progress rises to 100, then installation starts again from 1.
    int i32LastUpload = -1;
    bool bSawInstall = false;
    for (const QList<QVariant> &args : spy) {
        if (args.at(2).toString() == QLatin1String("Uploading")) {
            QVERIFY(!bSawInstall);
            QVERIFY(args.at(5).toInt() >= i32LastUpload);
            i32LastUpload = args.at(5).toInt();
        } else if (args.at(2).toString() == QLatin1String("Installing...")) {
            bSawInstall = true;
        }
    }
    QCOMPARE(i32LastUpload, 100);
    QVERIFY(bSawInstall);

    QFile file(strImage);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray baContent = file.readAll();
    const QList<QJsonObject> images = sim.Events(QStringLiteral("image"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.at(0).value(QStringLiteral("size")).toInt(), baContent.size());
    QCOMPARE(images.at(0).value(QStringLiteral("sha256")).toString().toLatin1(),
             QCryptographicHash::hash(baContent, QCryptographicHash::Sha256).toHex());
    bool bChecked = false;
    for (const QJsonObject &o : sim.Events(QStringLiteral("vaza_upgrade")))
        if (o.value(QStringLiteral("step")).toInt() == 102)
            bChecked = o.value(QStringLiteral("checksum_ok")).toBool();
    QVERIFY(bChecked);
    QCOMPARE(sim.Count(QStringLiteral("vaza_installed")), 1);
    const int i32Polls = sim.Events(QStringLiteral("vaza_upgrade")).size();
    QTest::qWait(2500); // more than two poll periods
    QCOMPARE(sim.Events(QStringLiteral("vaza_upgrade")).size(), i32Polls);
    QCOMPARE(Finals(spy), 1);
}

// Catches a checksum taken from something other than the file as it is at the end of the
// upload, and an installation failure that never ends the command.
void TestVazaSession::imageChangedAfterUploadFailsInstallation()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0021"), m_strAddr, {{QStringLiteral("install_ms"), 0}})},
                      QStringLiteral("vaza,ftp")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0021"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    const QString strImage = WriteImage(sim, QStringLiteral("fw.img"), 4096);
    bool bChanged = false;
    // The first "Installing..." comes as the upload ends, before the checksum is taken.
    connect(&session, &CBaseMaintainSession::OnUpgradeNotify, this,
            [&](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool, bool, int) {
                if (bChanged || strStep != QLatin1String("Installing..."))
                    return;
                bChanged = true;
                QFile file(strImage);
                QVERIFY(file.open(QIODevice::ReadWrite));
                file.seek(10);
                file.write("\x01");
            });
    QCOMPARE(session.StartUpgrade(Module(strImage)), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(Finals(spy) == 1, 20000);
    QCOMPARE(spy.last().at(3).toBool(), true);
    QCOMPARE(spy.last().at(4).toBool(), false);
    QVERIFY(!session.IsBusy());
    bool bMismatch = false;
    for (const QJsonObject &o : sim.Events(QStringLiteral("vaza_upgrade")))
        if (o.value(QStringLiteral("step")).toInt() == 102)
            bMismatch = !o.value(QStringLiteral("checksum_ok")).toBool(true);
    QVERIFY(bMismatch);
    QCOMPARE(sim.Count(QStringLiteral("vaza_installed")), 0);
    QTest::qWait(1500);
    QCOMPARE(Finals(spy), 1);
}

// Catches a division by zero (or a garbage percentage) for an image of 0 bytes.
void TestVazaSession::emptyImageReportsZeroPercentAndCompletes()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0026"), m_strAddr, {{QStringLiteral("install_ms"), 0}})},
                      QStringLiteral("vaza,ftp")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0026"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(session.StartUpgrade(Module(WriteImage(sim, QStringLiteral("empty.img"), 0))), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(Finals(spy) == 1, 20000);
    QCOMPARE(spy.last().at(4).toBool(), true);
    QCOMPARE(spy.first().at(2).toString(), QStringLiteral("Uploading"));
    QCOMPARE(spy.first().at(5).toInt(), 0);
    QCOMPARE(sim.Events(QStringLiteral("image")).value(0).value(QStringLiteral("size")).toInt(-1), 0);
}

// Catches an FTP failure reported as success, or leaving the session busy.
void TestVazaSession::ftpFailureEndsUpgradeAndSessionTakesNextCommand()
{
    ScopedTimeScale scale(0.1);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0022"), m_strAddr,
                                 {{QStringLiteral("ftp_fail"), QJsonObject{{QStringLiteral("STOR"), 553}}}}),
                       SimDevice(QStringLiteral("ZR410-0023"), QStringLiteral("127.0.0.2"),
                                 {{QStringLiteral("ftp_cut_after"), 5000}})},
                      QStringLiteral("vaza,ftp")));
    for (const QString &strAddr : {m_strAddr, QStringLiteral("127.0.0.2")}) {
        CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0022"), strAddr, sim.Port(QStringLiteral("vaza"))));
        QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
        QSignalSpy sysSpy(&session, &CBaseMaintainSession::OnSysInfoNotify);
        QCOMPARE(session.StartUpgrade(Module(WriteImage(sim, QStringLiteral("fw.img"), 64 * 1024))), CMD_OK);
        QTRY_VERIFY_WITH_TIMEOUT(Finals(spy) == 1, 20000);
        QCOMPARE(spy.last().at(2).toString(), QStringLiteral("Installing..."));
        QCOMPARE(spy.last().at(3).toBool(), true);
        QCOMPARE(spy.last().at(5).toInt(), 1);
        QVERIFY(!session.IsBusy());
        QCOMPARE(session.GetSysInfo(), CMD_OK);
        QVERIFY(sysSpy.wait(5000));
        QCOMPARE(sysSpy.at(0).at(1).toBool(), false);
        QCOMPARE(Finals(spy), 1);
    }
    QCOMPARE(sim.Count(QStringLiteral("image")), 0);
}

// Catches simulated progress and polls that go on reporting after the caller gave up.
void TestVazaSession::abortDuringInstallationSilencesSession()
{
    ScopedTimeScale scale(0.05);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0024"), m_strAddr, {{QStringLiteral("install_ms"), 600000}})},
                      QStringLiteral("vaza,ftp")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0024"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(session.StartUpgrade(Module(WriteImage(sim, QStringLiteral("fw.img"), 1000))), CMD_OK);
    // Wait for device progress from the polls (step 103 answered).
    QTRY_VERIFY_WITH_TIMEOUT(sim.Events(QStringLiteral("vaza_upgrade")).size() >= 4, 20000);
    QCOMPARE(session.AbortCmd(), int(CUR_UPGRADE));
    const int i32Seen = spy.size();
    const int i32Polls = sim.Events(QStringLiteral("vaza_upgrade")).size();
    QTest::qWait(1500); // three poll periods, many progress ticks
    QCOMPARE(spy.size(), i32Seen);
    QCOMPARE(sim.Events(QStringLiteral("vaza_upgrade")).size(), i32Polls);
    QCOMPARE(Finals(spy), 0);
}

// Catches chunks over 1024 bytes, lost or repeated log bytes, and a missing final emission.
void TestVazaSession::logArrivesInChunksThenFinalNotification()
{
    ScopedTimeScale scale(0.1);
    QByteArray baLog;
    for (int i = 0; baLog.size() < 2500; ++i)
        baLog += QByteArray::number(i) + " kernel: line <" + QByteArray::number(i * 7) + ">\n";
    baLog.truncate(2500);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR430-0025"), m_strAddr,
                                 {{QStringLiteral("log_text"), QString::fromLatin1(baLog)}})},
                      QStringLiteral("vaza,ftp")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR430-0025"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnDownloadLogNotify);
    QCOMPARE(session.DownloadLog(), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && spy.last().at(3).toBool(), 20000);
    QByteArray baGot;
    QList<int> sizes;
    for (int i = 0; i + 1 < spy.size(); ++i) {
        QCOMPARE(spy.at(i).at(2).toBool(), false);
        QCOMPARE(spy.at(i).at(3).toBool(), false);
        baGot += spy.at(i).at(1).toByteArray();
        sizes << spy.at(i).at(1).toByteArray().size();
    }
    QCOMPARE(baGot, baLog);
    // All 2500 bytes were waiting at once on loopback: exactly 1024, 1024, 452.
    QCOMPARE(sizes, (QList<int>{1024, 1024, 452}));
    QVERIFY(spy.last().at(1).toByteArray().isEmpty());
    QCOMPARE(spy.last().at(2).toBool(), false);
    QVERIFY(!session.IsBusy());
    QCOMPARE(sim.Events(QStringLiteral("vaza_log")).at(0).value(QStringLiteral("model")).toInt(), 2);
}

// The unscaled 7000 ms response time-out, once, on a real clock (run by its own ctest).
void TestVazaSession::realTimeResponseTimeOut()
{
    if (qEnvironmentVariableIntValue("VELMORA_REAL_TIME") != 1)
        QSKIP("real-time case: runs as tst_vazasession_realtime");
    ScopedTimeScale scale(1.0);
    CDevsimRunner sim;
    QVERIFY(sim.Start({SimDevice(QStringLiteral("ZR410-0011"), m_strAddr,
                                 {{QStringLiteral("vaza_silent"), QStringLiteral("sysinfo")}})},
                      QStringLiteral("vaza")));
    CVazaMaintainSession session(Dev(QStringLiteral("ZR410-0011"), m_strAddr, sim.Port(QStringLiteral("vaza"))));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnSysInfoNotify);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(session.GetSysInfo(), CMD_OK);
    QVERIFY(spy.wait(12000));
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(clock.elapsed() >= 6600 && clock.elapsed() < 9000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(spy.at(0).at(3).toByteArray(), QByteArray("time out"));
}

QTEST_MAIN(TestVazaSession)
#include "tst_vazasession.moc"
