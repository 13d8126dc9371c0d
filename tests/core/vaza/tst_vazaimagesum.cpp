// The image checksum a Vaza session gives its device, against the simulated device over
// real loopback sockets: taken once for every session sending the image, never for a file
// that changed after the upgrade began.
#include "vaza/cimagechecksums.h"
#include "vazasessionrig.h"

#include <QtTest>

#include <memory>

class TestVazaImageSum : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false")); }
    void changedImageNeverGetsAChecksum_data();
    void changedImageNeverGetsAChecksum();
    void sessionsSendingOneImageReadItOnce();
};

void TestVazaImageSum::changedImageNeverGetsAChecksum_data()
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
void TestVazaImageSum::changedImageNeverGetsAChecksum()
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
void TestVazaImageSum::sessionsSendingOneImageReadItOnce()
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

QTEST_MAIN(TestVazaImageSum)
#include "tst_vazaimagesum.moc"
