// Rollouts over real Vaza sessions and devsim on loopback: at most N at once, retries with
// backoff, a canary and waves that stop a bad image before it reaches the rest.
#include "batch/crollout.h"
#include "devsimrunner.h"
#include "http/chttpagent.h"
#include "session/cmaintainagent.h"
#include "testtime.h"

#include <QCryptographicHash>
#include <QtTest>

namespace
{
// The session's 7000 ms response time-out becomes 280 ms, a 20 s retry delay 0.8 s and the
// module limit (a device silent while installing) 16.8 s.
constexpr double kScale = 0.04;

// A fleet of ZR410 on 127.0.0.1, .2, ..., the rollout over them and every signal as one line.
struct CRolloutRig {
    explicit CRolloutRig(const QList<QJsonObject> &knobs)
    {
        QJsonArray devices;
        for (int i = 0; i < knobs.size(); ++i) {
            hosts << QStringLiteral("ZR410-R%1").arg(i + 1, 2, 10, QLatin1Char('0'));
            devices.append(SimDevice(hosts.last(), QStringLiteral("127.0.0.%1").arg(i + 1), knobs.at(i)));
        }
        bStarted = sim.Start(devices, QStringLiteral("vaza,ftp"));
        for (int i = 0; bStarted && i < hosts.size(); ++i) {
            T_BaseDevInfo st;
            st.strHostName = st.strDispName = hosts.at(i);
            st.strAddr = QStringLiteral("127.0.0.%1").arg(i + 1);
            st.u32Port = static_cast<quint32>(sim.Port(QStringLiteral("vaza"), st.strHostName));
            st.strKind = QStringLiteral("tx");
            lstDevices << st;
            agent.AddDevice(st);
        }
        QFile file(sim.TempPath(QStringLiteral("main.bin")));
        QByteArray ba(50000, Qt::Uninitialized);
        for (int i = 0; i < ba.size(); ++i)
            ba[i] = static_cast<char>(i * 7 + i / 251);
        strSha = QCryptographicHash::hash(ba, QCryptographicHash::Sha256).toHex();
        bStarted = bStarted && file.open(QIODevice::WriteOnly) && file.write(ba) == ba.size();
        strImage = file.fileName();
        using R = CRollout;
        QObject::connect(&rollout, &R::signalDeviceWaiting,
                         [this](T_BaseDevInfo st, int) { waiting << st.strHostName; });
        QObject::connect(
            &rollout, &R::signalDeviceRetry,
            [this](T_BaseDevInfo st, int, int i32Attempt, QString, QString strReason, int i32Delay) {
                notes << QStringLiteral("retry %1 %2 | %3").arg(st.strHostName).arg(i32Attempt).arg(strReason);
                delays << i32Delay;
            });
        QObject::connect(&rollout, &R::signalDeviceFailed, [this](T_BaseDevInfo st, int, QString, QString strReason) {
            notes << QStringLiteral("fail %1 | %2").arg(st.strHostName, strReason);
        });
        QObject::connect(&rollout, &R::signalDeviceSucceeded,
                         [this](T_BaseDevInfo st, int) { notes << QStringLiteral("ok %1").arg(st.strHostName); });
        QObject::connect(&rollout, &R::signalDeviceNotStarted, [this](T_BaseDevInfo st, int, QString strReason) {
            notes << QStringLiteral("not started %1 | %2").arg(st.strHostName, strReason);
        });
        QObject::connect(&rollout, &R::signalFinished,
                         [this](int i32Ok, int i32Total, QStringList, R::E_End eEnd, QString) {
                             end = QStringLiteral("%1 of %2, end %3").arg(i32Ok).arg(i32Total).arg(int(eEnd));
                         });
    }
    bool Run(const T_RolloutOptions &st)
    {
        rollout.SetDevices(lstDevices);
        rollout.SetModules({{"main", "Main", strImage}});
        rollout.SetOptions(st);
        return rollout.Start() == CBatchUpgrade::START_OK;
    }
    // Hosts that saw any request of ours: a bind, an FTP connection or an image.
    QStringList Touched() const
    {
        QStringList lst;
        for (const QJsonObject &ev : sim.Events())
            if (ev.value("type").toString().startsWith(QLatin1String("vaza_bind")) ||
                ev.value("type").toString().startsWith(QLatin1String("ftp_")) || ev.value("type") == "image")
                if (!lst.contains(ev.value("device").toString()))
                    lst << ev.value("device").toString();
        lst.sort();
        return lst;
    }
    QStringList Filtered(const QString &strPrefix) const
    {
        QStringList lst;
        for (const QString &s : notes)
            if (s.startsWith(strPrefix))
                lst << s;
        return lst;
    }

    CDevsimRunner sim;
    CMaintainAgent agent;
    CHttpAgent http;
    CRollout rollout{&agent, &http};
    QStringList hosts;
    QList<T_BaseDevInfo> lstDevices;
    QString strImage;
    QByteArray strSha;
    bool bStarted = false;
    QStringList notes;
    QStringList waiting;
    QList<int> delays;
    QString end;
};
} // namespace

class TestRollout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Velmora::SetTimeScale(kScale); }
    void atMostNAtOnceWithRetries();
    void stopsBeforeTheRest_data();
    void stopsBeforeTheRest();
};

// Catches more uploads at once than asked for, a queued device never started, a device that
// refused its first log-ins given up at once (or retried without waiting), and one retried
// after it took the image.
void TestRollout::atMostNAtOnceWithRetries()
{
    const QJsonObject slow{{"ftp_delay_ms", 150}, {"install_ms", 0}};
    QJsonObject refusing = slow;
    // Away for the first 1.8 s: refused at once, back while it is being tried again.
    refusing.insert("vaza_refuse_bind_ms", 1800);
    QJsonObject silent = slow;
    silent.insert("vaza_silent", "103");
    CRolloutRig r({refusing, silent, slow, slow, slow, slow});
    QVERIFY(r.bStarted);
    T_RolloutOptions st;
    st.i32MaxParallel = 2;
    st.i32Retries = 2;
    st.i32RetryDelayMs = 20000;
    QVERIFY(r.Run(st));
    QTRY_VERIFY_WITH_TIMEOUT(!r.end.isEmpty(), 60000);
    QCOMPARE(r.end, QStringLiteral("5 of 6, end 0"));
    // The first device was away: refused, waited, tried again and came through. The one that
    // fell silent after installing began was not tried again.
    const QStringList lstRetries = r.Filtered("retry");
    QVERIFY2(!lstRetries.isEmpty() && lstRetries.size() <= 2, qPrintable(lstRetries.join('\n')));
    for (int i = 0; i < lstRetries.size(); ++i) {
        QVERIFY(lstRetries.at(i).startsWith(QStringLiteral("retry ZR410-R01 %1 | ").arg(i + 1)));
        // 20 s, then 40 s, each within a fifth (product time).
        const int i32Base = 20000 << i;
        QVERIFY2(r.delays.at(i) >= i32Base * 4 / 5 && r.delays.at(i) <= i32Base * 6 / 5,
                 qPrintable(QString::number(r.delays.at(i))));
    }
    QCOMPARE(r.Filtered("fail").size(), 1);
    QVERIFY(r.Filtered("fail").at(0).startsWith("fail ZR410-R02 | "));
    QCOMPARE(r.waiting.mid(0, 4), (QStringList{"ZR410-R03", "ZR410-R04", "ZR410-R05", "ZR410-R06"}));
    // Uploads from the STOR to the stored image: never more than two at once.
    QList<QPair<qint64, int>> edges;
    for (const QJsonObject &ev : r.sim.Events("ftp_command"))
        if (ev.value("line").toString().startsWith("STOR"))
            edges << qMakePair(qint64(ev.value("ms").toDouble()), 1);
    const QList<QJsonObject> images = r.sim.Events("image");
    for (const QJsonObject &ev : images) {
        edges << qMakePair(qint64(ev.value("ms").toDouble()), -1);
        QCOMPARE(ev.value("sha256").toString().toLatin1(), r.strSha);
    }
    QCOMPARE(images.size(), 6);
    std::sort(edges.begin(), edges.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    });
    int i32Now = 0, i32Max = 0;
    for (const auto &e : edges)
        i32Max = qMax(i32Max, i32Now += e.second);
    QVERIFY2(i32Max <= 2 && i32Max >= 1, qPrintable(QString::number(i32Max)));
}

void TestRollout::stopsBeforeTheRest_data()
{
    QTest::addColumn<int>("canary");
    QTest::addColumn<int>("wave");
    QTest::addColumn<int>("failing");
    QTest::addColumn<QStringList>("touched");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("retries");
    // The canary's FTP log-in is refused: no other device hears from us at all.
    QTest::newRow("canary") << 1 << 0 << 0 << QStringList{"ZR410-R01"} << "canary failed: ZR410-R01: "
                            << "0 of 5, end 1" << 0;
    // Tried again after a while, alone: nothing but the wait itself may start it.
    QTest::newRow("canary tried again") << 1 << 0 << 0 << QStringList{"ZR410-R01"} << "canary failed: ZR410-R01: "
                                        << "0 of 5, end 1" << 1;
    // The second device of the first wave fails: with no failure allowed the next waves never start.
    QTest::newRow("wave limit") << 0 << 2 << 1 << QStringList{"ZR410-R01", "ZR410-R02"}
                                << "stopped after 1 of 2 devices failed: ZR410-R02: "
                                << "1 of 5, end 2" << 0;
}

void TestRollout::stopsBeforeTheRest()
{
    QFETCH(int, canary);
    QFETCH(int, wave);
    QFETCH(int, failing);
    QFETCH(QStringList, touched);
    QFETCH(QString, reason);
    QFETCH(QString, end);
    QFETCH(int, retries);
    QList<QJsonObject> knobs;
    for (int i = 0; i < 5; ++i)
        knobs << QJsonObject{{"install_ms", 0}};
    knobs[failing].insert("ftp_fail", QJsonObject{{"USER", 530}});
    CRolloutRig r(knobs);
    QVERIFY(r.bStarted);
    T_RolloutOptions st;
    st.i32Canary = canary;
    st.i32Wave = wave;
    st.i32MaxFailures = 0;
    st.i32Retries = retries;
    st.i32RetryDelayMs = 5000;
    QVERIFY(r.Run(st));
    QTRY_VERIFY_WITH_TIMEOUT(!r.end.isEmpty(), 60000);
    QCOMPARE(r.end, end);
    QCOMPARE(r.Touched(), touched);
    QCOMPARE(r.Filtered("retry").size(), retries);
    const QStringList lstNot = r.Filtered("not started");
    QCOMPARE(lstNot.size(), 5 - touched.size());
    for (const QString &s : lstNot)
        QVERIFY2(s.contains(" | " + reason), qPrintable(s));
}

QTEST_GUILESS_MAIN(TestRollout)
#include "tst_rollout.moc"
