// The device search on a simulated network: two private namespaces from
// scripts/netns-run.sh, the devices played by velmora-devsim on the other side.
#include "netnsfleet.h"
#include "tavcomm/qdevicesearcher.h"
#include "testtime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {
QJsonObject Device(const QString &strHostName, const QString &strAddr, const QJsonObject &knobs = QJsonObject())
{
    return QJsonObject{{QStringLiteral("hostname"), strHostName},
                       {QStringLiteral("addr"), strAddr},
                       {QStringLiteral("knobs"), knobs}};
}

// Host name -> number of reports in the spy.
QMap<QByteArray, int> Reports(const QSignalSpy &spy)
{
    QMap<QByteArray, int> map;
    for (const QList<QVariant> &args : spy)
        ++map[args.at(2).toByteArray()];
    return map;
}

QList<QVariant> ReportOf(const QSignalSpy &spy, const QByteArray &baHostName)
{
    for (const QList<QVariant> &args : spy)
        if (args.at(2).toByteArray() == baHostName)
            return args;
    return {};
}

qint64 Ms(const QJsonObject &o) { return static_cast<qint64>(o.value(QStringLiteral("ms")).toDouble()); }
} // namespace

class TestDeviceSearcher : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void twoPassesOneSecondApartThenStop();
    void eachHostNameOncePerSearch();
    void answerAfterStopIsNotReported();
    void malformedAnswersNeverReadPastReceivedBytes();
    void oneRequestPerInterfaceAndNetwork();
    void portInUseStillRunsPassesAndStops();
    void noUsableAddressEndsAfter100ms();

private:
    NetnsFleet m_fleet;
};

void TestDeviceSearcher::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
}

void TestDeviceSearcher::twoPassesOneSecondApartThenStop()
{
    // Real time: the main window's 2-pass search must end 2 s after it starts, and
    // answers are accepted for that whole time.
    QString strError;
    QVERIFY2(m_fleet.Start({Device("ZR410-TIME01", "10.213.0.10")}, {"discovery"}, &strError), qPrintable(strError));
    QDeviceSearcher searcher(2);
    QSignalSpy spyPass(&searcher, &QDeviceSearcher::OnStartBroadcast);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    QElapsedTimer clock;
    clock.start();
    searcher.Start();
    // Pass 1 goes out before Start() returns.
    QCOMPARE(spyPass.count(), 1);
    QCOMPARE(spyPass.at(0), (QList<QVariant>{2, 1, QStringLiteral("10.213.0.1")}));
    QVERIFY(spyStop.wait(5000));
    const qint64 i64Elapsed = clock.elapsed();
    QVERIFY2(i64Elapsed >= 1950 && i64Elapsed < 3500, qPrintable(QString::number(i64Elapsed)));
    QCOMPARE(spyPass.count(), 2);
    QCOMPARE(spyPass.at(1), (QList<QVariant>{2, 2, QStringLiteral("10.213.0.1")}));
    QCOMPARE(spyStop.count(), 1);
    QCOMPARE(spyFound.count(), 1);
    QCOMPARE(spyFound.at(0),
             (QList<QVariant>{QString(), QByteArray("10.213.0.10"), QByteArray("ZR410-TIME01"), QByteArray("ready")}));

    // The two requests, as the device saw them: 8 zero bytes to the group, 1 s apart.
    const QList<QJsonObject> requests = m_fleet.Records("discovery-request");
    QCOMPARE(requests.size(), 2);
    for (const QJsonObject &r : requests) {
        QCOMPARE(r.value("from").toString(), QStringLiteral("10.213.0.1"));
        QCOMPARE(r.value("size").toInt(), 8);
        QCOMPARE(r.value("to").toString(), QStringLiteral("225.1.0.0"));
    }
    QVERIFY(qAbs(Ms(requests.at(1)) - Ms(requests.at(0)) - 1000) < 300);
    QTest::qWait(300);
    QCOMPARE(spyStop.count(), 1); // once, never again
}

void TestDeviceSearcher::eachHostNameOncePerSearch()
{
    // A answers in both passes; B and C share one host name, B answering first.
    QString strError;
    const QJsonArray devices{
        Device("ZR410-EVERY", "10.213.0.10"),
        Device("ZR420-TWIN", "10.213.0.11", {{"discovery_status", "first-of-twins"}}),
        Device("ZR420-TWIN", "10.213.0.12", {{"discovery_status", "second"}, {"discovery_delay_ms", 150}}),
    };
    QVERIFY2(m_fleet.Start(devices, {"discovery"}, &strError), qPrintable(strError));
    QDeviceSearcher searcher(2);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    for (int iSearch = 0; iSearch < 2; ++iSearch) {
        spyFound.clear();
        searcher.Start();
        QVERIFY(spyStop.wait(5000));
        // Both devices answered both passes, so four answers of the twins arrived.
        QTRY_COMPARE(m_fleet.Records("discovery-answer").size(), 6 * (iSearch + 1));
        const QMap<QByteArray, int> reports = Reports(spyFound);
        QCOMPARE(reports.value("ZR410-EVERY"), 1);
        QCOMPARE(reports.value("ZR420-TWIN"), 1);
        QCOMPARE(reports.size(), 2);
        const QList<QVariant> twin = ReportOf(spyFound, "ZR420-TWIN");
        QCOMPARE(twin.at(1).toByteArray(), QByteArray("10.213.0.11"));
        QCOMPARE(twin.at(3).toByteArray(), QByteArray("first-of-twins"));
    }
    QCOMPARE(spyStop.count(), 2);
}

void TestDeviceSearcher::answerAfterStopIsNotReported()
{
    // L answers only the first request of a search, 2.3 s late: after the search ended.
    QString strError;
    const QJsonArray devices{
        Device("ZR410-ONTIME", "10.213.0.10"),
        Device("ZR430-LATE", "10.213.0.13", {{"discovery_passes", "first"}, {"discovery_delay_ms", 2300}}),
    };
    QVERIFY2(m_fleet.Start(devices, {"discovery"}, &strError), qPrintable(strError));
    QDeviceSearcher searcher(2);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    const qint64 i64NoPorts = NetnsFleet::UdpCounter("NoPorts");
    searcher.Start();
    QVERIFY(spyStop.wait(5000));
    // The late answer reaches this namespace and finds port 3334 closed.
    QTRY_VERIFY_WITH_TIMEOUT(NetnsFleet::UdpCounter("NoPorts") > i64NoPorts, 5000);
    QCoreApplication::processEvents();
    const QList<QJsonObject> answers = m_fleet.Records("discovery-answer");
    QCOMPARE(answers.size(), 3);
    QCOMPARE(Reports(spyFound).keys(), QList<QByteArray>{"ZR410-ONTIME"});
}

void TestDeviceSearcher::malformedAnswersNeverReadPastReceivedBytes()
{
    // A long name arrives first, so a reader that runs past a shorter datagram into a
    // reused buffer would append its tail to the names that follow.
    const QString strLong = QStringLiteral("ZR410-") + QString(120, QLatin1Char('L'));
    const QString strMaxName = QStringLiteral("ZR110-") + QString(250, QLatin1Char('H'));
    QString strError;
    const QJsonArray devices{
        Device(strLong, "10.213.0.10"),
        Device("ZR420-SHORT20", "10.213.0.11", {{"discovery_length", 20}, {"discovery_delay_ms", 40}}),
        Device("ZR420-STATUSONLY", "10.213.0.12", {{"discovery_length", 40}, {"discovery_delay_ms", 60}}),
        Device("ZR420L-CUTOFF", "10.213.0.13", {{"discovery_length", 48}, {"discovery_delay_ms", 80}}),
        Device("ZR430-NOZERO", "10.213.0.14",
               {{"discovery_unterminated", true}, {"discovery_status", "busy"}, {"discovery_delay_ms", 100}}),
        Device("NXT800-BIG", "10.213.0.15", {{"discovery_length", 3000}, {"discovery_delay_ms", 120}}),
        Device(strMaxName, "10.213.0.16",
               {{"discovery_unterminated", true}, {"discovery_length", 600}, {"discovery_delay_ms", 140}}),
    };
    QVERIFY2(m_fleet.Start(devices, {"discovery"}, &strError), qPrintable(strError));
    ScopedTimeScale scale(0.5);
    QDeviceSearcher searcher(2);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    searcher.Start();
    QVERIFY(spyStop.wait(5000));

    const QMap<QByteArray, int> reports = Reports(spyFound);
    QCOMPARE(reports.value(strLong.toLatin1()), 1);
    QCOMPARE(reports.value("ZR420L-C"), 1);     // the name's zero never came: it ends with the datagram
    QCOMPARE(reports.value("ZR430-NOZERO"), 1); // nothing of the long name behind it
    QCOMPARE(reports.value("NXT800-BIG"), 1);
    QCOMPARE(reports.value(strMaxName.toLatin1()), 1); // 256 bytes, not one of the 'U's after byte 296
    QCOMPARE(reports.size(), 5);                       // the answers without a name are dropped
    QCOMPARE(ReportOf(spyFound, "ZR430-NOZERO").at(3).toByteArray(), QByteArray("busybusybusybusybusybusybusybusy"));
    QCOMPARE(ReportOf(spyFound, "ZR420L-C").at(3).toByteArray(), QByteArray("ready"));
}

void TestDeviceSearcher::oneRequestPerInterfaceAndNetwork()
{
    QString strError;
    QVERIFY2(m_fleet.Start({Device("ZR410-NETS", "10.213.0.10")}, {"discovery"}, &strError), qPrintable(strError));
    ScopedTimeScale scale(0.1);
    QDeviceSearcher searcher(2);
    QSignalSpy spyPass(&searcher, &QDeviceSearcher::OnStartBroadcast);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    auto search = [&](int iExpectedRequests) {
        spyPass.clear();
        spyFound.clear();
        const int iBefore = m_fleet.Records("discovery-request").size();
        searcher.Start();
        if (!spyStop.wait(5000))
            return QStringList{QStringLiteral("no OnStop")};
        if (!QTest::qWaitFor(
                [&] { return m_fleet.Records("discovery-request").size() - iBefore >= iExpectedRequests; }, 3000))
            return QStringList{QStringLiteral("too few requests")};
        QStringList sources;
        const QList<QJsonObject> requests = m_fleet.Records("discovery-request").mid(iBefore);
        for (const QJsonObject &r : requests)
            sources << r.value("from").toString();
        sources.sort();
        return sources;
    };

    // A second address in the same network on the same card: still one request per pass.
    QVERIFY2(NetnsFleet::Ip({"addr", "add", "10.213.0.2/24", "dev", "vmo0"}, &strError), qPrintable(strError));
    QCOMPARE(search(2), (QStringList{"10.213.0.1", "10.213.0.1"}));
    QCOMPARE(spyPass.count(), 2);
    QCOMPARE(spyPass.at(0).at(2).toString(), QStringLiteral("10.213.0.1"));
    QCOMPARE(spyFound.count(), 1);
    QVERIFY(NetnsFleet::Ip({"addr", "del", "10.213.0.2/24", "dev", "vmo0"}));

    // The same card in a second network: a request from each address in every pass.
    QVERIFY2(NetnsFleet::Ip({"addr", "add", "10.214.0.1/24", "dev", "vmo0"}, &strError), qPrintable(strError));
    QCOMPARE(search(4), (QStringList{"10.213.0.1", "10.213.0.1", "10.214.0.1", "10.214.0.1"}));
    QCOMPARE(spyPass.at(0).at(2).toString(), QStringLiteral("10.213.0.1,10.214.0.1"));
    QCOMPARE(spyFound.count(), 1); // the device answered both requests of both passes

    // A second card: a veth pair whose both ends stay in this namespace, so its
    // request goes nowhere but is counted on the way out.
    QVERIFY2(NetnsFleet::Ip({"link", "add", "vmx0", "type", "veth", "peer", "name", "vmx1"}, &strError),
             qPrintable(strError));
    for (const char *pszLink : {"vmx0", "vmx1"}) {
        QFile ipv6(QStringLiteral("/proc/sys/net/ipv6/conf/%1/disable_ipv6").arg(QLatin1String(pszLink)));
        if (ipv6.open(QIODevice::WriteOnly)) // keeps the link silent but for our requests
            ipv6.write("1");
    }
    QVERIFY2(NetnsFleet::Ip({"addr", "add", "10.215.0.1/24", "dev", "vmx0"}, &strError), qPrintable(strError));
    QVERIFY2(NetnsFleet::Ip({"link", "set", "vmx1", "up"}, &strError), qPrintable(strError));
    QVERIFY2(NetnsFleet::Ip({"link", "set", "vmx0", "up"}, &strError), qPrintable(strError));
    QTRY_VERIFY(QNetworkInterface::interfaceFromName(QStringLiteral("vmx0")).flags().testFlag(QNetworkInterface::IsRunning));
    auto txPackets = [] {
        QFile f(QStringLiteral("/sys/class/net/vmx0/statistics/tx_packets"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : -1;
    };
    const qint64 i64Tx = txPackets();
    QCOMPARE(search(4), (QStringList{"10.213.0.1", "10.213.0.1", "10.214.0.1", "10.214.0.1"}));
    QCOMPARE(spyPass.at(0).at(2).toString(), QStringLiteral("10.213.0.1,10.214.0.1,10.215.0.1"));
    QCOMPARE(spyPass.at(1).at(2).toString(), QStringLiteral("10.213.0.1,10.214.0.1,10.215.0.1"));
    QCOMPARE(txPackets() - i64Tx, 2);
    QVERIFY(NetnsFleet::Ip({"link", "del", "vmx0"}));
    QVERIFY(NetnsFleet::Ip({"addr", "del", "10.214.0.1/24", "dev", "vmo0"}));
}

void TestDeviceSearcher::portInUseStillRunsPassesAndStops()
{
    // Someone else holds port 3334 without sharing it: the search cannot listen, but it
    // still sends its passes and ends, having found nothing.
    QString strError;
    QVERIFY2(m_fleet.Start({Device("ZR410-BUSY", "10.213.0.10")}, {"discovery"}, &strError), qPrintable(strError));
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, QDeviceSearcher::kAnswerPort, QAbstractSocket::DontShareAddress));
    ScopedTimeScale scale(0.05);
    QDeviceSearcher searcher(2);
    QSignalSpy spyPass(&searcher, &QDeviceSearcher::OnStartBroadcast);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    searcher.Start();
    QVERIFY(spyStop.wait(3000));
    QCOMPARE(spyPass.count(), 2);
    QCOMPARE(spyFound.count(), 0);
    QCOMPARE(spyStop.count(), 1);
    // The answers went to the holder instead.
    QTRY_VERIFY(holder.hasPendingDatagrams());
}

void TestDeviceSearcher::noUsableAddressEndsAfter100ms()
{
    // With the only card down, nothing but loopback is left.
    QString strError;
    QVERIFY2(NetnsFleet::Ip({"link", "set", "vmo0", "down"}, &strError), qPrintable(strError));
    QDeviceSearcher searcher(2);
    QSignalSpy spyPass(&searcher, &QDeviceSearcher::OnStartBroadcast);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    QElapsedTimer clock;
    clock.start();
    searcher.Start();
    QCOMPARE(spyPass.count(), 1);
    QCOMPARE(spyPass.at(0), (QList<QVariant>{2, 1, QString()}));
    QVERIFY(spyStop.wait(2000));
    const qint64 i64Elapsed = clock.elapsed();
    QVERIFY2(i64Elapsed >= 95 && i64Elapsed < 600, qPrintable(QString::number(i64Elapsed)));

    // A restart inside those 100 ms is a new search: the first one's end must not cut
    // it short, and it ends once.
    spyStop.clear();
    clock.restart();
    searcher.Start();
    QTest::qWait(50);
    searcher.Start();
    QVERIFY(spyStop.wait(2000));
    QVERIFY2(clock.elapsed() >= 145, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(200);
    QCOMPARE(spyStop.count(), 1);

    QVERIFY(NetnsFleet::Ip({"link", "set", "vmo0", "up"}));
    QVERIFY(NetnsFleet::Ip({"route", "replace", "224.0.0.0/4", "dev", "vmo0"}));
}

QTEST_GUILESS_MAIN(TestDeviceSearcher)
#include "tst_devicesearcher.moc"
