// The serial session and velmora-cli serial against devsim's microcontroller on a
// pseudo-terminal: every fault the controller can inject on the line still ends in the image
// stored byte for byte, or in a failure that names its cause.
#include "programrun.h"
#include "serialdevsim.h"
#include "testtime.h"

#include "serial/cserialmaintain.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

class TstSerialDevsim : public QObject
{
    Q_OBJECT
private slots:
    void upgradeThroughFaults_data();
    void upgradeThroughFaults();
    void cli_data();
    void cli();

private:
    QByteArray ImageBytes(int i32Size)
    {
        QByteArray ba(i32Size, '\0');
        for (int i = 0; i < i32Size; ++i)
            ba[i] = char((i * 2654435761u) >> 13);
        return ba;
    }
    QString WriteImage(SerialDevsim &sim, const QString &strName, const QByteArray &ba)
    {
        QFile file(sim.TempPath(strName));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(ba);
        return file.fileName();
    }
    static T_BaseDevInfo Mcu(const QString &strPort)
    {
        T_BaseDevInfo st;
        st.strHostName = QStringLiteral("Atmel_MCU");
        st.strAddr = strPort;
        st.u32Port = 115200;
        return st;
    }
};

void TstSerialDevsim::upgradeThroughFaults_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("step");   // of the final notification
    QTest::addColumn<QString>("reason"); // in the session's last error; empty on success
    const QString strDone = QStringLiteral("Upgrade completed");
    QTest::newRow("clean line") << QJsonObject{} << 10000 << strDone << "";
    QTest::newRow("one byte image") << QJsonObject{} << 1 << strDone << "";
    QTest::newRow("exactly one piece") << QJsonObject{} << 960 << strDone << "";
    QTest::newRow("negative acknowledgements") << QJsonObject{{"serial_nak_every", 3}} << 6000 << strDone << "";
    QTest::newRow("first frame of every step unanswered, resent")
        << QJsonObject{{"serial_ignore_first", QJsonArray{"101", "data", "102", "103"}}} << 3000 << strDone << "";
    QTest::newRow("noise before every reply") << QJsonObject{{"serial_garbage", 7}} << 4000 << strDone << "";
    QTest::newRow("lone and stray 0xFF") << QJsonObject{{"serial_stray_ff", true}} << 4000 << strDone << "";
    QTest::newRow("broken checksums, then resends")
        << QJsonObject{{"serial_bad_checksum", QJsonArray{"101", "data", "102", "103"}}} << 3000 << strDone << "";
    QTest::newRow("paced at 115200 baud") << QJsonObject{{"serial_baud", 115200}} << 3000 << strDone << "";
    // Failures end once, with the step they happened in and a reason an operator can act on.
    QTest::newRow("reply for another module") << QJsonObject{{"serial_wrong_module", true}} << 2000 << "Uploading"
                                              << "wrong-module";
}

void TstSerialDevsim::upgradeThroughFaults()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(int, size);
    QFETCH(QString, step);
    QFETCH(QString, reason);
    ScopedTimeScale scale(0.02);
    knobs.insert(QStringLiteral("install_ms"), 0);
    SerialDevsim sim;
    QString strError;
    QVERIFY2(sim.Start(knobs, &strError), qPrintable(strError));
    const QByteArray baImage = ImageBytes(size);
    const QString strPath = WriteImage(sim, QStringLiteral("mcu-3.0.bin"), baImage);

    CSerialMaintain session(Mcu(sim.Port()));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(session.StartUpgrade({QStringLiteral("Atmel_MCU"), 0, strPath}), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && (spy.last()[3].toBool() || spy.last()[4].toBool()), 20000);
    QCOMPARE(spy.last()[2].toString(), step);
    QVERIFY(!session.IsBusy());
    if (!reason.isEmpty()) {
        QVERIFY(spy.last()[3].toBool());
        QCOMPARE(spy.last()[5].toInt(), -1);
        QVERIFY2(session.LastError().contains(reason), qPrintable(session.LastError()));
        return;
    }
    QVERIFY2(!spy.last()[3].toBool(), qPrintable(session.LastError()));
    const QList<QJsonObject> images = sim.Events(QStringLiteral("image"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images[0].value("size").toInt(), size);
    QCOMPARE(images[0].value("sha256").toString(),
             QString::fromLatin1(QCryptographicHash::hash(baImage, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(images[0].value("name").toString(), QStringLiteral("mcu-3.0"));
}

void TstSerialDevsim::cli_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<QStringList>("args"); // "@PORT" and "@FILE" are filled in
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("version") << QJsonObject{} << QStringList{"version"} << 0 << "MCU-1.0.0"
                             << "";
    QTest::newRow("upgrade, json") << QJsonObject{{"serial_version_after", "MCU-3.0.0"}}
                                   << QStringList{"upgrade", "@FILE", "--json"} << 0 << "\"version\": \"MCU-3.0.0\""
                                   << "";
    // The controller said the upgrade completed: a version it then will not tell is no failure.
    QTest::newRow("upgrade, version unread, json")
        << QJsonObject{{"serial_silent", QJsonArray{"query"}}} << QStringList{"upgrade", "@FILE", "--json"} << 0
        << "\"version_error\": \"operation timeout: no answer within 15 s\""
        << "Atmel_MCU: version: operation timeout";
    QTest::newRow("upgrade with progress")
        << QJsonObject{} << QStringList{"upgrade", "@FILE"} << 0 << "upgrade succeeded"
        << "Atmel_MCU: Uploading 100%";
    QTest::newRow("silent controller") << QJsonObject{{"serial_silent", true}} << QStringList{"version"} << 1 << ""
                                       << "Atmel_MCU: version: operation timeout";
    // A refused image only stops the controller's percentage: the silence limit ends the run
    // and names the step it stood in, never a checksum nobody reported.
    QTest::newRow("installation stands still")
        << QJsonObject{{"install_fail", true}} << QStringList{"upgrade", "@FILE"} << 1 << ""
        << "Atmel_MCU: Installing: operation timeout: no progress for 420 s";
    // What the operator typed wrong is a usage error, as in every other command.
    QTest::newRow("missing port") << QJsonObject{} << QStringList{"--port", "/nonexistent/tty", "version"} << 2 << ""
                                  << "no such serial port: /nonexistent/tty";
    QTest::newRow("empty image") << QJsonObject{} << QStringList{"upgrade", "@EMPTY"} << 2 << ""
                                 << "is empty";
    QTest::newRow("bad action") << QJsonObject{} << QStringList{"flash"} << 2 << ""
                                << "expected";
    QTest::newRow("missing file") << QJsonObject{} << QStringList{"upgrade", "/nonexistent.bin"} << 2 << ""
                                  << "no such file";
}

void TstSerialDevsim::cli()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);
    knobs.insert(QStringLiteral("install_ms"), 0);
    SerialDevsim sim;
    QString strError;
    QVERIFY2(sim.Start(knobs, &strError), qPrintable(strError));
    const QString strFile = WriteImage(sim, QStringLiteral("mcu.bin"), ImageBytes(3000));
    QStringList full{QStringLiteral("serial")};
    if (!args.contains(QStringLiteral("--port")))
        full << QStringLiteral("--port") << sim.Port();
    full << QStringLiteral("--baud") << QStringLiteral("57600");
    for (const QString &strArg : args)
        full << (strArg == QLatin1String("@FILE")    ? strFile
                 : strArg == QLatin1String("@EMPTY") ? WriteImage(sim, QStringLiteral("empty.bin"), QByteArray())
                                                     : strArg);
    const T_ProgramRun run = RunProgram(QStringLiteral(VELMORA_BIN_DIR "/velmora-cli"), full, 60000, "0.02");
    const QString strOut = QString::fromUtf8(run.baOut);
    const QString strErr = QString::fromUtf8(run.baErr);
    QVERIFY2(run.iExit == exitCode, qPrintable(strOut + strErr));
    QVERIFY2(strOut.contains(stdoutHas), qPrintable(strOut));
    QVERIFY2(strErr.contains(stderrHas), qPrintable(strErr));
}

QTEST_MAIN(TstSerialDevsim)
#include "tst_serialdevsim.moc"
