// The serial upgrade runner against a scripted controller on a pseudo-terminal, on the scaled
// clock: which limit ends an operation and when, what counts as success, and that the
// version read after an upgrade never undoes the upgrade.
#include "ptypair.h"
#include "serialwire.h"
#include "testtime.h"

#include "serial/cserialmaintain.h"
#include "serial/cserialupgraderunner.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace SerialWire;

namespace
{
using T_Result = CSerialUpgradeRunner::T_Result;

// Answers what the session writes, as far as its script goes; silence past it.
class ScriptedMcu : public QObject
{
public:
    enum E_Version { VERSION_ANSWER, VERSION_REFUSE, VERSION_SILENT };
    explicit ScriptedMcu(PtyPair &pty) : m_pty(pty)
    {
        connect(&pty, &PtyPair::ReadyRead, this, [this] { Read(); });
    }

    bool bAnswerStart = true;
    int i32PiecesAnswered = 1 << 30;
    // Step-103 answers in turn; the last one is repeated for ever.
    QList<quint32> lstInstall{100};
    E_Version eVersion = VERSION_ANSWER;
    QByteArray baVersion = "MCU-2.0";
    // Written after the first piece: a version answer that no query of this upgrade asked for.
    QByteArray baStale;

private:
    void Read()
    {
        m_baRecv += m_pty.Take();
        int iUsed = 0;
        const QList<T_Seen> frames = Frames(m_baRecv, &iUsed);
        m_baRecv.remove(0, iUsed);
        for (const T_Seen &f : frames)
            Answer(f);
    }
    void Answer(const T_Seen &f)
    {
        if (f.id == 0x1813) {
            if (eVersion != VERSION_SILENT)
                m_pty.Write(eVersion == VERSION_ANSWER ? VersionRsp(baVersion) : VersionRefused());
        } else if (f.id == 0x1815) {
            if (++m_i32Pieces <= i32PiecesAnswered)
                m_pty.Write(Ack(0));
            if (m_i32Pieces == 1 && !baStale.isEmpty())
                m_pty.Write(VersionRsp(baStale));
        } else if (f.id == 0x1811) {
            const quint32 u32Step = Be32(f.body, Be32(f.body, 0) + 4);
            if (u32Step == 101 && bAnswerStart)
                m_pty.Write(UpgradeRsp(101, 0));
            else if (u32Step == 102)
                m_pty.Write(UpgradeRsp(102, 0));
            else if (u32Step == 103)
                m_pty.Write(UpgradeRsp(103, lstInstall.value(m_i32Polls++, lstInstall.last())));
        }
    }
    PtyPair &m_pty;
    QByteArray m_baRecv;
    int m_i32Pieces = 0;
    int m_i32Polls = 0;
};

// Whether a new session can open the line, which it cannot while another holds it.
bool PortFree(const QString &strPort)
{
    T_BaseDevInfo stDev;
    stDev.strAddr = strPort;
    stDev.u32Port = 115200;
    return CSerialMaintain(stDev).IsPortOpen();
}
} // namespace

class TstSerialUpgradeRunner : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void upgradeEndings_data();
    void upgradeEndings();
    void deletedInsideItsSignals_data();
    void deletedInsideItsSignals();

private:
    QTemporaryDir m_dir;
    QString m_strImage;
};

void TstSerialUpgradeRunner::initTestCase()
{
    QVERIFY(m_dir.isValid());
    PtyPair pty;
    if (!pty.IsOpen())
        QSKIP("no pseudo-terminals here");
    QFile file(m_dir.filePath(QStringLiteral("mcu.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2000, '\x5a'));
    m_strImage = file.fileName();
}

void TstSerialUpgradeRunner::upgradeEndings_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("reason");
    // The least product time from the last report that moved to the end; 0: not checked.
    QTest::addColumn<int>("quietMs");
    const QString strDone = QStringLiteral("Upgrade completed");
    QTest::newRow("completed, version read, a stale answer on the way ignored")
        << "stale" << int(CSerialUpgradeRunner::RESULT_OK) << strDone << "" << 0;
    QTest::newRow("completed, version refused") << "refuse" << int(CSerialUpgradeRunner::RESULT_VERSION_UNREAD)
                                                << strDone << "the controller refused the query" << 0;
    // The controller said it was done: a silent version read is no failed upgrade.
    QTest::newRow("completed, version never answered")
        << "silent" << int(CSerialUpgradeRunner::RESULT_VERSION_UNREAD) << strDone
        << "operation timeout: no answer within 15 s" << CSerialMaintain::ANSWER_MS;
    QTest::newRow("start never answered") << "nostart" << int(CSerialUpgradeRunner::RESULT_TIMEOUT) << "start"
                                          << "operation timeout: no report within 15 s" << CSerialMaintain::ANSWER_MS;
    QTest::newRow("silent after the first piece")
        << "onepiece" << int(CSerialUpgradeRunner::RESULT_TIMEOUT) << "Uploading"
        << "operation timeout: no report within 40 s" << CSerialMaintain::REPORT_GAP_MS;
    // Every report holds off the 40 s limit, but only one that moves holds off the module
    // limit: a controller polled for ever at the same percentage still ends.
    QTest::newRow("installation stands still") << "still" << int(CSerialUpgradeRunner::RESULT_TIMEOUT) << "Installing"
                                               << "operation timeout: no progress for 420 s" << 420000;
    // Only 100 ends an installation: a value above it is progress, no refusal of the image.
    QTest::newRow("installing above 100, then done")
        << "above" << int(CSerialUpgradeRunner::RESULT_OK) << strDone << "" << 0;
    QTest::newRow("line hangs up") << "hangup" << int(CSerialUpgradeRunner::RESULT_FAILED) << "Uploading"
                                   << "lost" << 0;
}

void TstSerialUpgradeRunner::upgradeEndings()
{
    QFETCH(QString, script);
    QFETCH(int, result);
    QFETCH(QString, step);
    QFETCH(QString, reason);
    QFETCH(int, quietMs);
    ScopedTimeScale scale(0.01);
    PtyPair pty;
    ScriptedMcu mcu(pty);
    mcu.lstInstall = {20, 100};
    if (script == QLatin1String("stale"))
        mcu.baStale = "STALE";
    mcu.eVersion = script == QLatin1String("refuse")   ? ScriptedMcu::VERSION_REFUSE
                   : script == QLatin1String("silent") ? ScriptedMcu::VERSION_SILENT
                                                       : ScriptedMcu::VERSION_ANSWER;
    mcu.bAnswerStart = script != QLatin1String("nostart");
    if (script == QLatin1String("onepiece") || script == QLatin1String("hangup"))
        mcu.i32PiecesAnswered = 1;
    if (script == QLatin1String("above"))
        mcu.lstInstall = {150, 255, 100};
    if (script == QLatin1String("still"))
        mcu.lstInstall = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50};

    CSerialUpgradeRunner runner(pty.SlavePath(), 115200);
    QSignalSpy finished(&runner, &CSerialUpgradeRunner::signalFinished);
    QElapsedTimer clock;
    qint64 i64MovedMs = 0;
    QStringList lstReports;
    connect(&runner, &CSerialUpgradeRunner::signalProgress, this, [&](const QString &strStep, int i32Progress) {
        const QString strReport = QStringLiteral("%1 %2").arg(strStep).arg(i32Progress);
        if (lstReports.isEmpty() || lstReports.last() != strReport)
            i64MovedMs = clock.elapsed();
        lstReports << strReport;
        if (script == QLatin1String("hangup"))
            pty.Hangup();
    });
    clock.start();
    QCOMPARE(runner.StartUpgrade(m_strImage), CMD_OK);
    QVERIFY(runner.IsRunning());
    QCOMPARE(runner.QueryVersion(), CMD_BUSY);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    const qint64 i64QuietMs = clock.elapsed() - i64MovedMs;

    const T_Result st = finished[0][0].value<T_Result>();
    QVERIFY(st.bUpgrade);
    QCOMPARE(int(st.eResult), result);
    QCOMPARE(st.strStep, step);
    QVERIFY2(st.strReason.contains(reason), qPrintable(st.strReason));
    QVERIFY(reason.isEmpty() == st.strReason.isEmpty());
    QCOMPARE(st.baVersion, result == CSerialUpgradeRunner::RESULT_OK ? QByteArray("MCU-2.0") : QByteArray());
    QCOMPARE(runner.Result().strReason, st.strReason);
    QVERIFY(!runner.IsRunning());
    if (quietMs > 0)
        QVERIFY2(i64QuietMs >= Velmora::ScaledMs(quietMs) - 5, qPrintable(QString::number(i64QuietMs)));
    if (st.strStep == QLatin1String("Upgrade completed"))
        QCOMPARE(lstReports.last(), QStringLiteral("Upgrade completed 100"));
    if (script == QLatin1String("above"))
        mcu.lstInstall = {150, 255, 100};
    if (script == QLatin1String("still")) {
        // Stood still past the 40 s limit many times over: only the module limit ended it.
        QVERIFY(lstReports.count(QStringLiteral("Installing 50")) > 10);
        QVERIFY(!lstReports.contains(QStringLiteral("Upgrade completed 100")));
    }
    // The port is free again at once, for the next operation or another program.
    if (script != QLatin1String("hangup"))
        QVERIFY(PortFree(pty.SlavePath()));
}

void TstSerialUpgradeRunner::deletedInsideItsSignals_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("first progress report") << "progress";
    QTest::newRow("result inside the port's signal") << "answered";
    QTest::newRow("result on its own timer") << "timeout";
}

void TstSerialUpgradeRunner::deletedInsideItsSignals()
{
    QFETCH(QString, when);
    ScopedTimeScale scale(0.01);
    PtyPair pty;
    ScriptedMcu mcu(pty);
    mcu.bAnswerStart = when != QLatin1String("timeout");
    auto *pRunner = new CSerialUpgradeRunner(pty.SlavePath(), 115200);
    QPointer<CSerialUpgradeRunner> guard(pRunner);
    if (when == QLatin1String("progress"))
        connect(pRunner, &CSerialUpgradeRunner::signalProgress, this, [&] { delete pRunner; });
    else
        connect(pRunner, &CSerialUpgradeRunner::signalFinished, this, [&] { delete pRunner; });
    QCOMPARE(pRunner->StartUpgrade(m_strImage), CMD_OK);
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 10000);
    // Nothing of it is left to fire later, and it released the line.
    QTest::qWait(Velmora::ScaledMs(CSerialMaintain::ANSWER_MS));
    QVERIFY(PortFree(pty.SlavePath()));
}

QTEST_MAIN(TstSerialUpgradeRunner)
#include "tst_serialupgraderunner.moc"
