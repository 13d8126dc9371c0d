// The device search on a simulated network: two private namespaces from
// scripts/netns-run.sh, the devices played by velmora-devsim on the other side.
#include "discovery/qdevicesearcher.h"
#include "netnsfleet.h"
#include "quietwindow.h"
#include "testtime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace
{
QJsonObject Device(const QString &strHostName, const QString &strAddr, const QJsonObject &knobs = QJsonObject())
{
    return QJsonObject{{"hostname", strHostName}, {"addr", strAddr}, {"knobs", knobs}};
}

// A two-pass searcher with every signal spied.
struct CSearch {
    QDeviceSearcher searcher{2};
    QSignalSpy pass{&searcher, &QDeviceSearcher::OnStartBroadcast};
    QSignalSpy found{&searcher, &QDeviceSearcher::OnFoundDevice};
    QSignalSpy shared{&searcher, &QDeviceSearcher::OnSharedHostName};
    QSignalSpy stop{&searcher, &QDeviceSearcher::OnStop};
    // Host name -> number of reports.
    QMap<QByteArray, int> Reports() const
    {
        QMap<QByteArray, int> map;
        for (const QList<QVariant> &args : found)
            ++map[args.at(2).toByteArray()];
        return map;
    }
    QList<QVariant> ReportOf(const QByteArray &baHostName) const
    {
        for (const QList<QVariant> &args : found)
            if (args.at(2).toByteArray() == baHostName)
                return args;
        return {};
    }
};

// The searcher's own periods (product time).
constexpr int kPassIntervalMs = 1000;
constexpr int kNoAddressEndMs = 100;

qint64 Ms(const QJsonObject &o)
{
    return static_cast<qint64>(o.value(QStringLiteral("ms")).toDouble());
}
} // namespace

// Fail the case with the fleet's or ip's own message.
#define START_FLEET(...) QVERIFY2(m_fleet.Start({__VA_ARGS__}, {"discovery"}, &m_strError), qPrintable(m_strError))
#define IP(...) QVERIFY2(NetnsFleet::Ip({__VA_ARGS__}, &m_strError), qPrintable(m_strError))

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
    QString m_strError;
};

void TestDeviceSearcher::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
}

// Catches a search that ends early or late (real time: the main window's 2-pass search
// ends 2 s after it starts and takes answers all that time), passes not 1 s apart and a
// wrong request. (A second OnStop is caught on the scaled clock below.)
void TestDeviceSearcher::twoPassesOneSecondApartThenStop()
{
    START_FLEET(Device("ZR410-TIME01", "10.213.0.10"));
    CSearch t;
    QElapsedTimer clock;
    clock.start();
    t.searcher.Start();
    // Pass 1 goes out before Start() returns.
    QCOMPARE(t.pass.count(), 1);
    QCOMPARE(t.pass.at(0), (QList<QVariant>{2, 1, QStringLiteral("10.213.0.1")}));
    QVERIFY(t.stop.wait(5000));
    QVERIFY2(clock.elapsed() >= 1950 && clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(t.pass.count(), 2);
    QCOMPARE(t.pass.at(1), (QList<QVariant>{2, 2, QStringLiteral("10.213.0.1")}));
    QCOMPARE(t.found.count(), 1);
    QCOMPARE(t.found.at(0),
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
}

// Catches a device reported once per pass, twins with one host name reported twice (or
// the later one winning), and de-duplication that outlives its search.
void TestDeviceSearcher::eachHostNameOncePerSearch()
{
    START_FLEET(Device("ZR410-EVERY", "10.213.0.10"),
                Device("ZR420-TWIN", "10.213.0.11", {{"discovery_status", "first-of-twins"}}),
                Device("ZR420-TWIN", "10.213.0.12", {{"discovery_status", "second"}, {"discovery_delay_ms", 150}}));
    CSearch t;
    for (int iSearch = 1; iSearch <= 2; ++iSearch) {
        t.found.clear();
        t.shared.clear();
        t.searcher.Start();
        QVERIFY(t.stop.wait(5000));
        // Every device answered both passes: six answers per search.
        QTRY_COMPARE(m_fleet.Records("discovery-answer").size(), 6 * iSearch);
        QCOMPARE(t.Reports(), (QMap<QByteArray, int>{{"ZR410-EVERY", 1}, {"ZR420-TWIN", 1}}));
        const QList<QVariant> twin = t.ReportOf("ZR420-TWIN");
        QCOMPARE(twin.at(1).toByteArray(), QByteArray("10.213.0.11"));
        QCOMPARE(twin.at(3).toByteArray(), QByteArray("first-of-twins"));
        // The second twin is not lost without a word: reported once, as sharing the name.
        QCOMPARE(t.shared.count(), 1);
        QCOMPARE(t.shared.at(0).at(0).toByteArray(), QByteArray("10.213.0.12"));
        QCOMPARE(t.shared.at(0).at(1).toByteArray(), QByteArray("ZR420-TWIN"));
    }
    QCOMPARE(t.stop.count(), 2);
}

// Catches an answer reported after OnStop. The late device answers only the first
// request, 2.3 s late: after the search ended.
void TestDeviceSearcher::answerAfterStopIsNotReported()
{
    START_FLEET(Device("ZR410-ONTIME", "10.213.0.10"),
                Device("ZR430-LATE", "10.213.0.13", {{"discovery_passes", "first"}, {"discovery_delay_ms", 2300}}));
    CSearch t;
    const qint64 i64NoPorts = NetnsFleet::UdpCounter("NoPorts");
    t.searcher.Start();
    QVERIFY(t.stop.wait(5000));
    // The late answer reaches this namespace and finds port 3334 closed.
    QTRY_VERIFY_WITH_TIMEOUT(NetnsFleet::UdpCounter("NoPorts") > i64NoPorts, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(m_fleet.Records("discovery-answer").size(), 3);
    QCOMPARE(t.Reports().keys(), QList<QByteArray>{"ZR410-ONTIME"});
}

// Catches reads past the received bytes (known fault: short or unterminated answers).
// A long name arrives first, so a reader that runs past a shorter datagram into a reused
// buffer would append its tail to the names that follow.
void TestDeviceSearcher::malformedAnswersNeverReadPastReceivedBytes()
{
    const QString strLong = QStringLiteral("ZR410-") + QString(120, QLatin1Char('L'));
    const QString strMaxName = QStringLiteral("ZR110-") + QString(250, QLatin1Char('H'));
    START_FLEET(Device(strLong, "10.213.0.10"),
                Device("ZR420-SHORT20", "10.213.0.11", {{"discovery_length", 20}, {"discovery_delay_ms", 40}}),
                Device("ZR420-STATUSONLY", "10.213.0.12", {{"discovery_length", 40}, {"discovery_delay_ms", 60}}),
                Device("ZR420L-CUTOFF", "10.213.0.13", {{"discovery_length", 48}, {"discovery_delay_ms", 80}}),
                Device("ZR430-NOZERO", "10.213.0.14",
                       {{"discovery_unterminated", true}, {"discovery_status", "busy"}, {"discovery_delay_ms", 100}}),
                Device("NXT800-BIG", "10.213.0.15", {{"discovery_length", 3000}, {"discovery_delay_ms", 120}}),
                Device(strMaxName, "10.213.0.16",
                       {{"discovery_unterminated", true}, {"discovery_length", 600}, {"discovery_delay_ms", 140}}));
    ScopedTimeScale scale(0.5);
    CSearch t;
    t.searcher.Start();
    QVERIFY(t.stop.wait(5000));
    // The answers without a name are dropped; the cut name ends with its datagram; nothing
    // of the long name behind the unterminated one; 256 name bytes, none of those after 296.
    QCOMPARE(t.Reports(), (QMap<QByteArray, int>{{strLong.toLatin1(), 1},
                                                 {"ZR420L-C", 1},
                                                 {"ZR430-NOZERO", 1},
                                                 {"NXT800-BIG", 1},
                                                 {strMaxName.toLatin1(), 1}}));
    QCOMPARE(t.ReportOf("ZR430-NOZERO").at(3).toByteArray(), QByteArray("busybusybusybusybusybusybusybusy"));
    QCOMPARE(t.ReportOf("ZR420L-C").at(3).toByteArray(), QByteArray("ready"));
}

// Catches one request per address instead of per interface and network, or a network
// (or a second card) left out.
void TestDeviceSearcher::oneRequestPerInterfaceAndNetwork()
{
    START_FLEET(Device("ZR410-NETS", "10.213.0.10"));
    ScopedTimeScale scale(0.1);
    CSearch t;
    // Sorted sources of the requests the device saw in one search.
    auto search = [&](int iExpectedRequests) {
        t.pass.clear();
        t.found.clear();
        const int iBefore = m_fleet.Records("discovery-request").size();
        t.searcher.Start();
        if (!t.stop.wait(5000))
            return QStringList{QStringLiteral("no OnStop")};
        if (!QTest::qWaitFor([&] { return m_fleet.Records("discovery-request").size() - iBefore >= iExpectedRequests; },
                             3000))
            return QStringList{QStringLiteral("too few requests")};
        QStringList sources;
        for (const QJsonObject &r : m_fleet.Records("discovery-request").mid(iBefore))
            sources << r.value("from").toString();
        sources.sort();
        return sources;
    };

    // A second address in the same network on the same card: still one request per pass.
    IP("addr", "add", "10.213.0.2/24", "dev", "vmo0");
    QCOMPARE(search(2), (QStringList{"10.213.0.1", "10.213.0.1"}));
    QCOMPARE(t.pass.count(), 2);
    QCOMPARE(t.pass.at(0).at(2).toString(), QStringLiteral("10.213.0.1"));
    QCOMPARE(t.found.count(), 1);
    IP("addr", "del", "10.213.0.2/24", "dev", "vmo0");

    // The same card in a second network: a request from each address in every pass.
    IP("addr", "add", "10.214.0.1/24", "dev", "vmo0");
    const QStringList twoNets{"10.213.0.1", "10.213.0.1", "10.214.0.1", "10.214.0.1"};
    QCOMPARE(search(4), twoNets);
    QCOMPARE(t.pass.at(0).at(2).toString(), QStringLiteral("10.213.0.1,10.214.0.1"));
    QCOMPARE(t.found.count(), 1); // the device answered both requests of both passes

    // A second card: a veth pair whose both ends stay in this namespace, so its
    // request goes nowhere but is counted on the way out.
    IP("link", "add", "vmx0", "type", "veth", "peer", "name", "vmx1");
    for (const char *pszLink : {"vmx0", "vmx1"}) {
        QFile ipv6(QStringLiteral("/proc/sys/net/ipv6/conf/%1/disable_ipv6").arg(QLatin1String(pszLink)));
        if (ipv6.open(QIODevice::WriteOnly)) // keeps the link silent but for our requests
            ipv6.write("1");
    }
    IP("addr", "add", "10.215.0.1/24", "dev", "vmx0");
    IP("link", "set", "vmx1", "up");
    IP("link", "set", "vmx0", "up");
    QTRY_VERIFY(
        QNetworkInterface::interfaceFromName(QStringLiteral("vmx0")).flags().testFlag(QNetworkInterface::IsRunning));
    auto txPackets = [] {
        QFile f(QStringLiteral("/sys/class/net/vmx0/statistics/tx_packets"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : -1;
    };
    const qint64 i64Tx = txPackets();
    QCOMPARE(search(4), twoNets);
    for (int i : {0, 1})
        QCOMPARE(t.pass.at(i).at(2).toString(), QStringLiteral("10.213.0.1,10.214.0.1,10.215.0.1"));
    QCOMPARE(txPackets() - i64Tx, 2);
    IP("link", "del", "vmx0");
    IP("addr", "del", "10.214.0.1/24", "dev", "vmo0");
}

// Catches a search that hangs or stops sending when someone else holds port 3334
// without sharing it: it still sends its passes and ends, once, having found nothing.
void TestDeviceSearcher::portInUseStillRunsPassesAndStops()
{
    START_FLEET(Device("ZR410-BUSY", "10.213.0.10"));
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, QDeviceSearcher::kAnswerPort, QAbstractSocket::DontShareAddress));
    ScopedTimeScale scale(0.05);
    CSearch t;
    t.searcher.Start();
    QVERIFY(t.stop.wait(3000));
    QCOMPARE(t.pass.count(), 2);
    QCOMPARE(t.found.count(), 0);
    // A pass timer left running would end the search again.
    QVERIFY_QUIET(t.stop, kPassIntervalMs * 3 / 2);
    QCOMPARE(t.pass.count(), 2);
    QTRY_VERIFY(holder.hasPendingDatagrams()); // the answers went to the holder instead
}

// Catches a search without a usable address that never ends (or waits the full 2 s),
// and a restart cut short by the first search's end timer.
void TestDeviceSearcher::noUsableAddressEndsAfter100ms()
{
    IP("link", "set", "vmo0", "down"); // nothing but loopback is left
    CSearch t;
    QElapsedTimer clock;
    clock.start();
    t.searcher.Start();
    QCOMPARE(t.pass.count(), 1);
    QCOMPARE(t.pass.at(0), (QList<QVariant>{2, 1, QString()}));
    QVERIFY(t.stop.wait(2000));
    QVERIFY2(clock.elapsed() >= 95 && clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));

    t.stop.clear();
    clock.restart();
    t.searcher.Start();
    // Restart halfway through the first search's end timer (which must not end it early).
    QVERIFY_QUIET(t.stop, kNoAddressEndMs / 2);
    t.searcher.Start();
    QVERIFY(t.stop.wait(2000));
    QVERIFY2(clock.elapsed() >= 145, qPrintable(QString::number(clock.elapsed())));
    QVERIFY_QUIET(t.stop, kNoAddressEndMs * 3 / 2);
    IP("link", "set", "vmo0", "up");
    IP("route", "replace", "224.0.0.0/4", "dev", "vmo0");
}

QTEST_GUILESS_MAIN(TestDeviceSearcher)
#include "tst_devicesearcher.moc"
