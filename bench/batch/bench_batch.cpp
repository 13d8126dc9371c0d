// bench_batch: upgrades N simulated devices at once with one image through CMaintainAgent
// (as the batch form does, without widgets), then has curl upload the same image to the
// same devices' FTP services in parallel, and prints both side by side.
//   bench_batch [--devices 10,50,100,200] [--size-kib 8192] [--devsim PATH] [--no-curl]
// Devices live on 127.0.1.1 ... 127.0.1.250, 127.0.2.1 ... (loopback only; up to 1000);
// installation takes no time.
#include "benchsupport.h"
#include "session/cmaintainagent.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

using BenchSupport::ProcStatusKiB;
using BenchSupport::ResetPeakRss;
using BenchSupport::WriteRandomFile;

namespace
{

// The process's peak resident set since the last reset, and the current one, in KiB.
qint64 PeakRssKiB()
{
    return ProcStatusKiB("VmHWM:");
}

qint64 CurrentRssKiB()
{
    return ProcStatusKiB("VmRSS:");
}

quint16 FreePort()
{
    QTcpServer server;
    server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return server.serverPort();
}

QString DeviceAddr(int i)
{
    // 250 devices per network: a thousand spill into 127.0.4.0/24.
    return QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
}
QString DeviceHost(int i)
{
    return QStringLiteral("ZR410-%1").arg(i + 1, 4, 10, QLatin1Char('0'));
}

struct T_Devsim {
    QProcess process;
    int i32VazaPort = 0;
    int i32FtpPort = 0;
};

bool StartDevsim(T_Devsim &sim, const QString &strDevsim, const QString &strDir, int i32Devices)
{
    QJsonArray devices;
    for (int i = 0; i < i32Devices; ++i) {
        devices.append(QJsonObject{
            {QStringLiteral("hostname"), DeviceHost(i)},
            {QStringLiteral("addr"), DeviceAddr(i)},
            {QStringLiteral("kind"), QStringLiteral("tx")},
            {QStringLiteral("channel"), QStringLiteral("vaza")},
            {QStringLiteral("modules"),
             QJsonArray{QJsonObject{{QStringLiteral("addr"), QStringLiteral("main")}, {QStringLiteral("port"), 1}}}},
            {QStringLiteral("knobs"), QJsonObject{{QStringLiteral("install_ms"), 0}}}});
    }
    sim.i32VazaPort = FreePort();
    sim.i32FtpPort = FreePort();
    const QJsonObject fleet{
        {QStringLiteral("devices"), devices},
        {QStringLiteral("options"),
         QJsonObject{{QStringLiteral("ports"),
                      QJsonObject{{QStringLiteral("vaza"), sim.i32VazaPort}, {QStringLiteral("ftp"), sim.i32FtpPort}}},
                     // Hundreds of devices times the image would not fit: keep sizes and XOR checksums only,
                     // and no SHA-256 of gigabytes: the simulator must not be the slowest party.
                     {QStringLiteral("ftp"),
                      QJsonObject{{QStringLiteral("keep_files"), false}, {QStringLiteral("sha256"), false}}}}}};
    QFile file(strDir + QStringLiteral("/fleet.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(fleet).toJson());
    file.close();
    sim.process.setProgram(strDevsim);
    sim.process.setArguments({QStringLiteral("--fleet"), file.fileName(), QStringLiteral("--record"),
                              strDir + QStringLiteral("/record.jsonl"), QStringLiteral("--services"),
                              QStringLiteral("vaza,ftp")});
    sim.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.process.start();
    QByteArray baOut;
    QElapsedTimer clock;
    clock.start();
    while (!baOut.contains("velmora-devsim: ready") && clock.elapsed() < 30000 &&
           sim.process.state() != QProcess::NotRunning) {
        sim.process.waitForReadyRead(200);
        baOut += sim.process.readAllStandardOutput();
    }
    return baOut.contains("velmora-devsim: ready");
}

void StopDevsim(T_Devsim &sim)
{
    sim.process.terminate();
    if (!sim.process.waitForFinished(10000))
        sim.process.kill();
}

struct T_Result {
    qint64 i64Ms = 0;
    int i32Ok = 0;
    int i32Failed = 0;
    qint64 i64StallMs = 0;
    qint64 i64PeakKiB = 0;
    qint64 i64BaseKiB = 0;
    qint64 i64IssueMs = 0; // the caller's own loop issuing every StartUpgrade
};

T_Result RunAgent(const T_Devsim &sim, const QString &strImage, int i32Devices)
{
    T_Result r;
    CMaintainAgent agent;
    for (int i = 0; i < i32Devices; ++i) {
        T_BaseDevInfo st;
        st.strHostName = DeviceHost(i);
        st.strAddr = DeviceAddr(i);
        st.u32Port = static_cast<quint32>(sim.i32VazaPort);
        st.strKind = QStringLiteral("tx");
        agent.AddDevice(st);
    }
    QEventLoop loop;
    QObject::connect(&agent, &CMaintainAgent::OnUpgradeNotify, &loop,
                     [&](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool bError, bool bFinished, int) {
                         if (bError) {
                             ++r.i32Failed;
                             std::fprintf(stderr, "  failed: %s\n", qPrintable(strStep));
                         }
                         r.i32Ok += bFinished ? 1 : 0;
                         if (r.i32Ok + r.i32Failed == i32Devices)
                             loop.quit();
                     });
    // The longest gap between 5 ms ticks, less the tick, is the longest stall of the loop.
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 i64MaxGap = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] { i64MaxGap = qMax(i64MaxGap, sinceTick.restart()); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, &QEventLoop::quit);

    r.i64BaseKiB = CurrentRssKiB();
    ResetPeakRss();
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start(5);
    watchdog.start(600000);
    const T_UpgradeInfo stModule{QStringLiteral("main"), 1, strImage};
    for (int i = 0; i < i32Devices; ++i) {
        if (agent.StartUpgrade(DeviceHost(i), stModule) != CMD_OK)
            ++r.i32Failed;
    }
    r.i64IssueMs = clock.elapsed();
    if (r.i32Ok + r.i32Failed < i32Devices)
        loop.exec();
    r.i64Ms = clock.elapsed();
    ticker.stop();
    r.i64StallMs = qMax<qint64>(0, i64MaxGap - 5);
    r.i64PeakKiB = PeakRssKiB();
    agent.Clear();
    return r;
}

// curl uploading everything at once (--parallel), to the same FTP services; curl runs at
// most 300 transfers per process, so larger fleets get one process per 250 devices. Our
// event loop idles meanwhile with the same ticker: its longest gap is the stall the machine
// itself causes (scheduling under load), the reference for ours.
qint64 RunCurl(const T_Devsim &sim, const QString &strImage, int i32Devices, int *pi32Failed, qint64 *pi64IdleStall)
{
    constexpr int kPerProcess = 250;
    std::vector<std::unique_ptr<QProcess>> processes;
    QEventLoop loop;
    int i32Running = 0;
    *pi32Failed = 0;
    bool bFailedToStart = false;
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 i64MaxGap = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] { i64MaxGap = qMax(i64MaxGap, sinceTick.restart()); });
    QElapsedTimer clock;
    clock.start();
    for (int i0 = 0; i0 < i32Devices; i0 += kPerProcess) {
        const int i32Count = qMin(kPerProcess, i32Devices - i0);
        QStringList args{QStringLiteral("-sS"), QStringLiteral("--no-progress-meter"), QStringLiteral("--parallel"),
                         QStringLiteral("--parallel-max"), QString::number(i32Count)};
        for (int i = i0; i < i0 + i32Count; ++i)
            args << QStringLiteral("-T") << strImage
                 << QStringLiteral("ftp://velmora:velmora@%1:%2/curl-%3.img")
                        .arg(DeviceAddr(i))
                        .arg(sim.i32FtpPort)
                        .arg(i);
        processes.push_back(std::make_unique<QProcess>());
        QProcess *pCurl = processes.back().get();
        pCurl->setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(pCurl, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                         [&, pCurl](int i32Exit, QProcess::ExitStatus eStatus) {
                             if (eStatus != QProcess::NormalExit || i32Exit != 0)
                                 *pi32Failed = 1;
                             if (--i32Running == 0)
                                 loop.quit();
                         });
        pCurl->start(QStringLiteral("curl"), args);
        if (pCurl->waitForStarted(10000)) {
            ++i32Running;
        } else {
            *pi32Failed = 1;
            bFailedToStart = true;
        }
    }
    sinceTick.start();
    ticker.start(5);
    if (i32Running > 0)
        loop.exec();
    const qint64 i64Ms = clock.elapsed();
    *pi64IdleStall = qMax<qint64>(0, i64MaxGap - 5);
    return bFailedToStart ? -1 : i64Ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("devices"), QStringLiteral("Device counts."), QStringLiteral("list"),
                      QStringLiteral("10,50,100,200")});
    parser.addOption({QStringLiteral("size-kib"), QStringLiteral("Image size in KiB."), QStringLiteral("n"),
                      QStringLiteral("8192")});
    parser.addOption({QStringLiteral("devsim"), QStringLiteral("velmora-devsim to run."), QStringLiteral("path"),
                      QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim")});
    parser.addOption({QStringLiteral("no-curl"), QStringLiteral("Skip the curl reference.")});
    parser.process(app);

    // Three sockets per device on each side, plus listeners: lift the descriptor limit for
    // us and for the simulator we start.
    rlimit stLimit{};
    if (getrlimit(RLIMIT_NOFILE, &stLimit) == 0) {
        stLimit.rlim_cur = stLimit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &stLimit);
    }

    QTemporaryDir dir;
    const QString strImage = dir.filePath(QStringLiteral("module.img"));
    const qint64 i64Size = parser.value(QStringLiteral("size-kib")).toLongLong() * 1024;
    if (!WriteRandomFile(strImage, i64Size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(strImage));
        return 1;
    }
    const bool bCurl =
        !parser.isSet(QStringLiteral("no-curl")) && !QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty();

    std::printf("Batch upgrade, one %.1f MiB module per device, installation time 0, loopback\n",
                static_cast<double>(i64Size) / (1024 * 1024));
    std::printf("%5s | %10s %9s %6s %9s %9s %10s %8s | %10s %9s %9s | %6s\n", "N", "agent ms", "MB/s", "failed",
                "stall ms", "issue ms", "peak MiB", "KiB/dev", "curl ms", "MB/s", "idle stl", "ratio");
    for (const QString &strN : parser.value(QStringLiteral("devices")).split(QLatin1Char(','))) {
        const int i32N = strN.toInt();
        if (i32N <= 0 || i32N > 1000)
            continue;
        QTemporaryDir runDir;
        T_Devsim sim;
        if (!StartDevsim(sim, parser.value(QStringLiteral("devsim")), runDir.path(), i32N)) {
            std::printf("%5d | devsim did not start\n", i32N);
            continue;
        }
        const T_Result r = RunAgent(sim, strImage, i32N);
        int i32CurlFailed = 0;
        qint64 i64IdleStall = -1;
        const qint64 i64CurlMs = bCurl ? RunCurl(sim, strImage, i32N, &i32CurlFailed, &i64IdleStall) : -1;
        StopDevsim(sim);
        const double dMB = static_cast<double>(i64Size) * i32N / 1e6;
        const double dPeakMiB = static_cast<double>(r.i64PeakKiB) / 1024;
        const double dPerDev = static_cast<double>(r.i64PeakKiB - r.i64BaseKiB) / i32N;
        std::printf("%5d | %10lld %9.1f %6d %9lld %9lld %10.1f %8.0f | %10lld %9.1f %9lld | %6.2f%s\n", i32N,
                    static_cast<long long>(r.i64Ms), dMB / (static_cast<double>(qMax<qint64>(1, r.i64Ms)) / 1000),
                    r.i32Failed + (i32N - r.i32Ok - r.i32Failed), static_cast<long long>(r.i64StallMs),
                    static_cast<long long>(r.i64IssueMs), dPeakMiB, dPerDev, static_cast<long long>(i64CurlMs),
                    i64CurlMs > 0 ? dMB / (static_cast<double>(i64CurlMs) / 1000) : 0.0,
                    static_cast<long long>(i64IdleStall),
                    i64CurlMs > 0 ? static_cast<double>(r.i64Ms) / static_cast<double>(i64CurlMs) : 0.0,
                    i32CurlFailed ? " (curl failed)" : "");
        std::fflush(stdout);
    }
    std::printf("ratio = agent time / curl time (goal: at most 1.25); stall = longest event-loop gap\n"
                "(issue = the driver's own loop of StartUpgrade calls, part of the first gap; idle stl = the\n"
                "longest gap of the same loop idling while curl runs: what the loaded machine alone causes);\n"
                "KiB/dev = peak resident growth per device during the batch.\n");
    return 0;
}
