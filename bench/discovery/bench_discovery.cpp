// Discovery of a large simulated fleet, run inside scripts/netns-run.sh:
//  1. one 2-pass search of N devices: every device reported exactly once;
//  2. the time slotOnUdpReady() takes for the burst of N answers, beside a plain read
//     of the same burst from a bare socket (the reference);
//  3. a burst of M answers with distinct host names while the event loop runs: how
//     many are reported, and whether every loss is one the kernel counts as a full
//     receive buffer; the same burst into a bare socket as the reference.
// Usage: bench_discovery [--devices N] [--burst M]      (defaults 250 and 10000)
#include "common/timescale.h"
#include "discovery/qdevicesearcher.h"
#include "netnsfleet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QThread>
#include <QUdpSocket>

#include <sys/socket.h>

#include <cstdio>

namespace
{
QtMessageHandler g_previousHandler = nullptr;

// Keeps the searcher's diagnostics out of the figures.
void MessageHandler(QtMsgType type, const QMessageLogContext &ctx, const QString &strMsg)
{
    if (ctx.category && qstrcmp(ctx.category, "velmora.discovery") == 0)
        return;
    g_previousHandler(type, ctx, strMsg);
}

QJsonArray Fleet(int iDevices, int iRepeat)
{
    static const char *const s_models[] = {"ZR410", "ZR420", "ZR420L", "ZR430", "NXT800", "NXR800", "ZR110", "ZR120"};
    QJsonArray devices;
    for (int i = 0; i < iDevices; ++i) {
        // 245 usable addresses per network from .10 on: 250 devices spill into 10.213.1.0/24.
        const QString strAddr = QStringLiteral("10.213.%1.%2").arg(i / 245).arg(10 + i % 245);
        QJsonObject knobs;
        if (iRepeat > 1) {
            knobs.insert(QStringLiteral("discovery_repeat"), iRepeat);
            knobs.insert(QStringLiteral("discovery_repeat_unique"), true);
        }
        devices.append(
            QJsonObject{{QStringLiteral("hostname"),
                         QStringLiteral("%1-B%2").arg(QLatin1String(s_models[i % 8])).arg(i, 5, 10, QLatin1Char('0'))},
                        {QStringLiteral("addr"), strAddr},
                        {QStringLiteral("knobs"), knobs}});
    }
    return devices;
}

// Answers devsim has finished sending since the record had iSkip answer lines.
int AnswersSent(const NetnsFleet &fleet, int iSkip, int *piEvents = nullptr)
{
    const QList<QJsonObject> answers = fleet.Records(QStringLiteral("discovery-answer")).mid(iSkip);
    int iSent = 0;
    for (const QJsonObject &o : answers)
        iSent += o.value(QStringLiteral("count")).toInt();
    if (piEvents)
        *piEvents = answers.size();
    return iSent;
}

// Blocks (no event processing) until devsim has recorded iEvents answer lines.
bool WaitForAnswerEvents(const NetnsFleet &fleet, int iSkip, int iEvents)
{
    QElapsedTimer t;
    t.start();
    int iSeen = 0;
    while (t.elapsed() < 30000) {
        AnswersSent(fleet, iSkip, &iSeen);
        if (iSeen >= iEvents)
            return true;
        QThread::msleep(5);
    }
    return false;
}

void SendRequest()
{
    QUdpSocket s;
    s.bind(QHostAddress(QStringLiteral("10.213.0.1")), 0);
    s.writeDatagram(QByteArray(8, '\0'), QHostAddress(QStringLiteral("225.1.0.0")), 3333);
}

void BindBare(QUdpSocket &s)
{
    s.bind(QHostAddress::AnyIPv4, 3334, QAbstractSocket::ReuseAddressHint);
    int iSize = QDeviceSearcher::kReceiveBufferBytes;
    ::setsockopt(s.socketDescriptor(), SOL_SOCKET, SO_RCVBUF, &iSize, sizeof(iSize));
}

int DrainBare(QUdpSocket &s)
{
    char buffer[QDeviceSearcher::kAnswerBufferSize];
    int iRead = 0;
    while (s.hasPendingDatagrams() && s.readDatagram(buffer, sizeof(buffer)) >= 0)
        ++iRead;
    return iRead;
}

// Runs the event loop until bDone() or iMs pass.
template <typename F> void RunUntil(F bDone, int iMs)
{
    QElapsedTimer t;
    t.start();
    while (!bDone() && t.elapsed() < iMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto argValue = [&](const char *pszName, int iDefault) {
        const int i = args.indexOf(QLatin1String(pszName));
        return i > 0 && i + 1 < args.size() ? args.at(i + 1).toInt() : iDefault;
    };
    const int iDevices = qBound(1, argValue("--devices", 250), 490);
    const int iBurst = qMax(iDevices, argValue("--burst", 10000));

    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason)) {
        std::fprintf(stderr, "bench_discovery: %s\n", qPrintable(strReason));
        return 77;
    }
    g_previousHandler = qInstallMessageHandler(MessageHandler);
    std::printf("bench_discovery: %d devices, burst of %d answers\n", iDevices, iBurst);

    // 1. One search of the whole fleet, as the main window runs it.
    NetnsFleet fleet;
    QString strError;
    if (!fleet.Start(Fleet(iDevices, 1), {QStringLiteral("discovery")}, &strError)) {
        std::fprintf(stderr, "bench_discovery: %s\n", qPrintable(strError));
        return 1;
    }
    {
        QDeviceSearcher searcher(2);
        QHash<QByteArray, int> reports;
        QElapsedTimer clock;
        qint64 i64First = -1, i64Last = -1, i64Stop = -1;
        QObject::connect(&searcher, &QDeviceSearcher::OnFoundDevice,
                         [&](QString, QByteArray, QByteArray baName, QByteArray) {
                             ++reports[baName];
                             i64Last = clock.elapsed();
                             if (i64First < 0)
                                 i64First = i64Last;
                         });
        QObject::connect(&searcher, &QDeviceSearcher::OnStop, [&] { i64Stop = clock.elapsed(); });
        clock.start();
        searcher.Start();
        RunUntil([&] { return i64Stop >= 0; }, 10000);
        int iOnce = 0, iMore = 0;
        for (int n : reports)
            (n == 1 ? iOnce : iMore)++;
        std::printf("search of %d devices: %d reported exactly once, %d more than once, %d missing "
                    "(%s); answers %d ms to %d ms after Start, OnStop after %d ms\n",
                    iDevices, iOnce, iMore, iDevices - reports.size(),
                    iOnce == iDevices ? "all found once" : "NOT all found once", int(i64First), int(i64Last),
                    int(i64Stop));
    }

    // 2. slotOnUdpReady() over the burst of N answers waiting in the socket, against a bare read.
    {
        Velmora::SetTimeScale(50.0); // keep the pass timer out of the measurement
        QDeviceSearcher searcher(1);
        int iReports = 0;
        QObject::connect(&searcher, &QDeviceSearcher::OnFoundDevice, [&] { ++iReports; });
        const int iSkip = fleet.Records(QStringLiteral("discovery-answer")).size();
        searcher.Start();
        WaitForAnswerEvents(fleet, iSkip, iDevices);
        QElapsedTimer t;
        t.start();
        searcher.slotOnUdpReady();
        const qint64 i64Ns = t.nsecsElapsed();
        searcher.slotSearchDone();
        const int iBurstSent = AnswersSent(fleet, iSkip);

        QUdpSocket bare;
        BindBare(bare);
        const int iSkip2 = fleet.Records(QStringLiteral("discovery-answer")).size();
        SendRequest();
        WaitForAnswerEvents(fleet, iSkip2, iDevices);
        t.restart();
        const int iRead = DrainBare(bare);
        const qint64 i64RefNs = t.nsecsElapsed();
        Velmora::SetTimeScale(1.0);
        std::printf("slotOnUdpReady over the burst: %d answers, %d reported, %.3f ms (%.2f us/answer); "
                    "reference bare read: %d datagrams, %.3f ms (%.2f us/datagram); ratio %.1fx\n",
                    iBurstSent, iReports, i64Ns / 1e6, i64Ns / 1e3 / qMax(1, iReports), iRead, i64RefNs / 1e6,
                    i64RefNs / 1e3 / qMax(1, iRead), double(i64Ns) / qMax<qint64>(1, i64RefNs));
    }

    // 3. A burst of M answers with distinct names while the event loop runs.
    const int iRepeat = (iBurst + iDevices - 1) / iDevices;
    if (!fleet.Start(Fleet(iDevices, iRepeat), {QStringLiteral("discovery")}, &strError)) {
        std::fprintf(stderr, "bench_discovery: %s\n", qPrintable(strError));
        return 1;
    }
    {
        Velmora::SetTimeScale(100.0);
        QDeviceSearcher searcher(1);
        int iReports = 0;
        QElapsedTimer clock;
        qint64 i64Last = 0;
        QObject::connect(&searcher, &QDeviceSearcher::OnFoundDevice, [&] {
            ++iReports;
            i64Last = clock.elapsed();
        });
        const qint64 i64Overflow = NetnsFleet::UdpCounter(QStringLiteral("RcvbufErrors"));
        clock.start();
        searcher.Start();
        const int iBufferReadBack = searcher.ReceiveBufferSize();
        int iEvents = 0;
        int iSent = 0;
        // Until devsim has sent everything and nothing more arrives for 300 ms.
        RunUntil(
            [&] {
                iSent = AnswersSent(fleet, 0, &iEvents);
                return iReports >= iDevices * iRepeat || (iEvents >= iDevices && clock.elapsed() - i64Last > 300);
            },
            60000);
        searcher.slotSearchDone();
        const qint64 i64Overflows = NetnsFleet::UdpCounter(QStringLiteral("RcvbufErrors")) - i64Overflow;

        QUdpSocket bare;
        BindBare(bare);
        int iBare = 0;
        qint64 i64BareLast = 0;
        QObject::connect(&bare, &QUdpSocket::readyRead, [&] {
            iBare += DrainBare(bare);
            i64BareLast = clock.elapsed();
        });
        const qint64 i64Overflow2 = NetnsFleet::UdpCounter(QStringLiteral("RcvbufErrors"));
        clock.restart();
        SendRequest();
        int iEvents2 = 0;
        RunUntil(
            [&] {
                AnswersSent(fleet, iEvents, &iEvents2);
                return iBare >= iDevices * iRepeat || (iEvents2 >= iDevices && clock.elapsed() - i64BareLast > 300);
            },
            60000);
        const qint64 i64Overflows2 = NetnsFleet::UdpCounter(QStringLiteral("RcvbufErrors")) - i64Overflow2;
        Velmora::SetTimeScale(1.0);
        const int iLost = iSent - iReports;
        std::printf("burst: devsim sent %d answers, searcher reported %d, lost %d, of which the kernel counted %lld as "
                    "receive-buffer overflow (buffer read back: %d bytes); loss beyond the buffer: %lld; "
                    "last report after %d ms\n",
                    iSent, iReports, iLost, i64Overflows, iBufferReadBack, iLost - i64Overflows, int(i64Last));
        std::printf(
            "reference bare socket, same buffer and burst: received %d, lost %d, overflow %lld, last after %d ms\n",
            iBare, iSent - iBare, i64Overflows2, int(i64BareLast));
    }
    // What the buffer alone holds: the event loop blocked for the whole burst, then one drain.
    {
        Velmora::SetTimeScale(100.0);
        QDeviceSearcher searcher(1);
        int iReports = 0;
        QObject::connect(&searcher, &QDeviceSearcher::OnFoundDevice, [&] { ++iReports; });
        const int iSkip = fleet.Records(QStringLiteral("discovery-answer")).size();
        const qint64 i64Overflow = NetnsFleet::UdpCounter(QStringLiteral("RcvbufErrors"));
        searcher.Start();
        WaitForAnswerEvents(fleet, iSkip, iDevices);
        QElapsedTimer t;
        t.start();
        searcher.slotOnUdpReady();
        const qint64 i64Ns = t.nsecsElapsed();
        searcher.slotSearchDone();
        Velmora::SetTimeScale(1.0);
        std::printf("burst into a blocked event loop: sent %d, the buffer held %d (kernel overflow %lld), "
                    "drained by one slotOnUdpReady in %.3f ms\n",
                    AnswersSent(fleet, iSkip), iReports,
                    NetnsFleet::UdpCounter(QStringLiteral("RcvbufErrors")) - i64Overflow, i64Ns / 1e6);
    }
    fleet.Stop();
    return 0;
}
