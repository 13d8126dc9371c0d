// velmora-cli discover --names over a simulated fleet, run inside scripts/netns-run.sh:
//  1. `discover --json` alone (the reference) and `discover --names --json`, each the median
//     of three runs: wall time, and the time the names add;
//  2. the most sockets the program held at once while reading names (sampled from /proc);
//  3. every device listed once and every name read right (none missed).
// Usage: bench_telnetnames [--devices N] [--runs R]      (defaults 250 and 3)
#include "netnsfleet.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace
{

QString RoomName(int i)
{
    return QStringLiteral("Room %1 / floor %2").arg(i).arg(i % 7);
}

QJsonArray Fleet(int iDevices)
{
    static const char *const s_models[] = {"ZR410", "ZR420", "ZR420L", "ZR430", "NXT800", "NXR800", "ZR110", "ZR120"};
    QJsonArray devices;
    for (int i = 0; i < iDevices; ++i) {
        // 245 usable addresses per network from .10 on: 250 devices spill into 10.213.1.0/24.
        const QString strAddr = QStringLiteral("10.213.%1.%2").arg(i / 245).arg(10 + i % 245);
        devices.append(
            QJsonObject{{QStringLiteral("hostname"),
                         QStringLiteral("%1-N%2").arg(QLatin1String(s_models[i % 8])).arg(i, 5, 10, QLatin1Char('0'))},
                        {QStringLiteral("addr"), strAddr},
                        {QStringLiteral("telnet_name"), RoomName(i)}});
    }
    return devices;
}

int Sockets(qint64 i64Pid)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(i64Pid));
    int iSockets = 0;
    for (const QFileInfo &fi : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        iSockets += fi.symLinkTarget().contains(QLatin1String("socket:")) ? 1 : 0;
    return iSockets;
}

struct T_Run {
    qint64 i64Ms = -1;
    int iPeakSockets = 0;
    int iExit = -1;
    QByteArray baOut;
    QByteArray baErr;
};

// Runs velmora-cli with args, sampling its sockets every 2 ms.
T_Run RunCli(const QString &strCli, const QStringList &args)
{
    T_Run st;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(strCli, args);
    if (!process.waitForStarted(10000))
        return st;
    while (!process.waitForFinished(2)) {
        if (process.state() == QProcess::NotRunning)
            break;
        st.iPeakSockets = std::max(st.iPeakSockets, Sockets(process.processId()));
        if (clock.elapsed() > 300000) {
            process.kill();
            process.waitForFinished();
            return st;
        }
    }
    st.i64Ms = clock.elapsed();
    st.iExit = process.exitCode();
    st.baOut = process.readAllStandardOutput();
    st.baErr = process.readAllStandardError();
    return st;
}

qint64 Median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int iDevices = 250;
    int iRuns = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--devices"))
            iDevices = args.at(i + 1).toInt();
        if (args.at(i) == QLatin1String("--runs"))
            iRuns = qMax(1, args.at(i + 1).toInt());
    }
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason)) {
        std::printf("bench_telnetnames: %s\n", qPrintable(strReason));
        return 77;
    }
    NetnsFleet fleet;
    QString strError;
    if (!fleet.Start(Fleet(iDevices), {"discovery", "telnet"}, &strError)) {
        std::printf("bench_telnetnames: devsim: %s\n", qPrintable(strError));
        return 1;
    }
    const QString strCli = QStringLiteral(VELMORA_BIN_DIR "/velmora-cli");
    QList<qint64> plain;
    QList<qint64> named;
    int iPeak = 0;
    int iPeakPlain = 0;
    int iListed = 0;
    int iRight = 0;
    int iRuns2 = 0;
    for (int r = 0; r < iRuns; ++r) {
        const T_Run a = RunCli(strCli, {"discover", "--json"});
        plain << a.i64Ms;
        iPeakPlain = std::max(iPeakPlain, a.iPeakSockets);
        const T_Run b = RunCli(strCli, {"discover", "--names", "--json"});
        named << b.i64Ms;
        iPeak = std::max(iPeak, b.iPeakSockets);
        const QJsonArray arr = QJsonDocument::fromJson(b.baOut).array();
        iListed = arr.size();
        iRight = 0;
        for (const QJsonValue &v : arr) {
            const QString strHost = v.toObject().value(QStringLiteral("hostName")).toString();
            const int iIndex = strHost.section(QLatin1Char('N'), -1).toInt();
            iRight += v.toObject().value(QStringLiteral("name")).toString() == RoomName(iIndex) ? 1 : 0;
        }
        iRuns2 += b.iExit == 0 ? 1 : 0;
        std::printf("  run %d: %lld ms alone, %lld ms with names, %d listed, %d names right, exit %d\n", r + 1,
                    static_cast<long long>(a.i64Ms), static_cast<long long>(b.i64Ms), static_cast<int>(arr.size()),
                    iRight, b.iExit);
        if (b.iExit != 0)
            std::printf("%s", b.baErr.left(2000).constData());
    }
    const qint64 i64Plain = Median(plain);
    const qint64 i64Named = Median(named);
    std::printf("discover --names over %d simulated devices (median of %d runs)\n", iDevices, iRuns);
    std::printf("  discovery alone            %7lld ms\n", static_cast<long long>(i64Plain));
    std::printf("  discovery + every name     %7lld ms  (names add %lld ms)\n", static_cast<long long>(i64Named),
                static_cast<long long>(i64Named - i64Plain));
    std::printf("  sockets open at the peak   %7d      (discovery alone: %d; telnet channels are bounded at 32)\n",
                iPeak, iPeakPlain);
    std::printf("  devices listed             %7d / %d, names right %d, runs exiting 0: %d/%d\n", iListed, iDevices,
                iRight, iRuns2, iRuns);
    return 0;
}
