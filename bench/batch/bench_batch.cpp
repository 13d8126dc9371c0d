// bench_batch: upgrades N simulated devices with one image through the batch engine (as the
// batch form does, without widgets), at most P at once, then has curl upload the same image
// to the same devices' FTP services with the same P, and prints both side by side.
//   bench_batch [--devices 10,50,100,200] [--max-parallel 0,50,100] [--size-kib 8192] [--runs 1]
//               [--devsim PATH] [--no-curl]
// P = 0: every device at once. Devices live on 127.0.1.1 ... 127.0.1.250, 127.0.2.1 ...
// (loopback only; up to 1000); installation takes no time. Each engine run is a process of
// its own, so its peak memory is not the heap an earlier, larger run left behind.
#include "batch/cbatchupgrade.h"
#include "benchsupport.h"
#include "cstallmeter.h"
#include "netnsfleet.h"
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
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using BenchSupport::Median;
using BenchSupport::ProcStatusKiB;
using BenchSupport::RaiseFileLimit;
using BenchSupport::Ratio;
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
             QJsonArray{QJsonObject{{QStringLiteral("addr"), QStringLiteral("main")}, {QStringLiteral("port"), 0}}}},
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
    return NetnsFleet::RunDevsim(sim.process, strDevsim,
                                 {QStringLiteral("--fleet"), file.fileName(), QStringLiteral("--record"),
                                  strDir + QStringLiteral("/record.jsonl"), QStringLiteral("--services"),
                                  QStringLiteral("vaza,ftp")},
                                 nullptr);
}

struct T_Result {
    qint64 i64Ms = -1;
    int i32Ok = 0;
    int i32Failed = 0;
    qint64 i64StallMs = 0;
    qint64 i64PeakKiB = 0;
    qint64 i64BaseKiB = 0;
    qint64 i64StartMs = 0; // Start() handing out the first places, part of the first gap
};

// The engine's side, run in a process of its own (--engine-port): prints one "engine:" line.
T_Result RunEngine(quint16 u16VazaPort, const QString &strImage, int i32Devices, int i32MaxParallel)
{
    T_Result r;
    CMaintainAgent agent;
    QList<T_BaseDevInfo> lstDevices;
    for (int i = 0; i < i32Devices; ++i) {
        T_BaseDevInfo st;
        st.strHostName = DeviceHost(i);
        st.strAddr = DeviceAddr(i);
        st.u32Port = u16VazaPort;
        st.strKind = QStringLiteral("tx");
        agent.AddDevice(st);
        lstDevices.append(st);
    }
    CBatchUpgrade batch(&agent, nullptr);
    batch.SetDevices(lstDevices);
    batch.SetModules({T_BatchModule{QStringLiteral("main"), QStringLiteral("main"), strImage}});
    batch.SetMaxParallel(i32MaxParallel);
    // As velmora-cli runs it: a device done with the batch gives up its session.
    batch.SetReleaseFinished(true);
    QEventLoop loop;
    QObject::connect(&batch, &CBatchUpgrade::signalBatchFinished, &loop, [&](int i32Successes, int, QStringList) {
        r.i32Ok = i32Successes;
        loop.quit();
    });
    QObject::connect(&batch, &CBatchUpgrade::signalDeviceFailed,
                     [&](T_BaseDevInfo, int, QString strStep, QString strWhy) {
                         ++r.i32Failed;
                         std::fprintf(stderr, "  failed: %s: %s\n", qPrintable(strStep), qPrintable(strWhy));
                     });
    QObject::connect(&batch, &CBatchUpgrade::signalReplyTimeOut, &loop, &QEventLoop::quit);
    QObject::connect(&batch, &CBatchUpgrade::signalModuleNotStarted, &loop, &QEventLoop::quit);
    CStallMeter stall;
    QTimer::singleShot(900000, &loop, &QEventLoop::quit);

    r.i64BaseKiB = CurrentRssKiB();
    ResetPeakRss();
    QElapsedTimer clock;
    clock.start();
    stall.Start();
    const bool bStarted = batch.Start() == CBatchUpgrade::START_OK;
    r.i64StartMs = clock.elapsed();
    if (bStarted)
        loop.exec();
    r.i64Ms = clock.elapsed();
    stall.Stop();
    r.i64StallMs = stall.MaxStallMs();
    r.i64PeakKiB = PeakRssKiB();
    return r;
}

// Runs this program again as the engine's process and reads its figures back.
T_Result RunEngineProcess(const T_Devsim &sim, const QString &strImage, int i32Devices, int i32MaxParallel)
{
    T_Result r;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--engine-port"), QString::number(sim.i32VazaPort), QStringLiteral("--image"), strImage,
                 QStringLiteral("--devices"), QString::number(i32Devices), QStringLiteral("--max-parallel"),
                 QString::number(i32MaxParallel)});
    if (!child.waitForFinished(1000000))
        child.kill();
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 8 && fields.at(0) == "engine:") {
        r.i64Ms = fields.at(1).toLongLong();
        r.i32Ok = fields.at(2).toInt();
        r.i32Failed = fields.at(3).toInt();
        r.i64StallMs = fields.at(4).toLongLong();
        r.i64StartMs = fields.at(5).toLongLong();
        r.i64PeakKiB = fields.at(6).toLongLong();
        r.i64BaseKiB = fields.at(7).toLongLong();
    }
    return r;
}

// curl uploading the same files to the same FTP services, at most i32MaxParallel at once
// (0: all) with its own --parallel; one curl runs at most 300 transfers at once, so more at
// once are split over processes of at most 250 each. Our event loop idles meanwhile with the
// same ticker: its longest gap is the stall the machine itself causes (scheduling under
// load), the reference for ours.
qint64 RunCurl(const T_Devsim &sim, const QString &strImage, int i32Devices, int i32MaxParallel, int *pi32Failed,
               qint64 *pi64IdleStall)
{
    constexpr int kPerProcess = 250;
    const int i32AtOnce = i32MaxParallel > 0 ? qMin(i32MaxParallel, i32Devices) : i32Devices;
    const int i32Processes = (i32AtOnce + kPerProcess - 1) / kPerProcess;
    const int i32Slice = (i32Devices + i32Processes - 1) / i32Processes;
    std::vector<std::unique_ptr<QProcess>> processes;
    QEventLoop loop;
    int i32Running = 0;
    *pi32Failed = 0;
    bool bFailedToStart = false;
    CStallMeter stall;
    QElapsedTimer clock;
    clock.start();
    for (int i0 = 0; i0 < i32Devices; i0 += i32Slice) {
        const int i32Count = qMin(i32Slice, i32Devices - i0);
        QStringList args{QStringLiteral("-sS"), QStringLiteral("--no-progress-meter"), QStringLiteral("--parallel"),
                         QStringLiteral("--parallel-max"),
                         QString::number(qMin(i32Count, (i32AtOnce + i32Processes - 1) / i32Processes))};
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
    stall.Start();
    if (i32Running > 0)
        loop.exec();
    const qint64 i64Ms = clock.elapsed();
    *pi64IdleStall = stall.MaxStallMs();
    return bFailedToStart ? -1 : i64Ms;
}

// The most uploads the simulator saw at once, from its record: one runs from its STOR to the
// stored image (or its end otherwise). bCurl picks curl's files, else the engine's. The record
// counts milliseconds: an upload that starts in the one another ends in is not counted beside it.
int MaxUploadsAtOnce(const QString &strRecord, bool bCurl)
{
    QFile file(strRecord);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    std::vector<std::pair<qint64, int>> edges; // (ms, +1 / -1); an end sorts before a start
    QSet<QString> setOpen;
    while (!file.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(file.readLine()).object();
        const QString strType = o.value(QStringLiteral("type")).toString();
        const QString strDevice = o.value(QStringLiteral("device")).toString();
        const qint64 i64Ms = static_cast<qint64>(o.value(QStringLiteral("ms")).toDouble());
        const QString strLine = o.value(QStringLiteral("line")).toString();
        if (strType == QLatin1String("ftp_command") && strLine.startsWith(QLatin1String("STOR "))) {
            if (strLine.contains(QLatin1String("curl-")) == bCurl && !setOpen.contains(strDevice)) {
                setOpen.insert(strDevice);
                edges.emplace_back(i64Ms, 1);
            }
        } else if ((strType == QLatin1String("image") || strType.startsWith(QLatin1String("ftp_cut")) ||
                    strType == QLatin1String("ftp_short") || strType == QLatin1String("ftp_abort") ||
                    strType == QLatin1String("ftp_data_lost") || strType == QLatin1String("ftp_abandoned") ||
                    strType == QLatin1String("ftp_disconnect")) &&
                   setOpen.remove(strDevice)) {
            edges.emplace_back(i64Ms, -1);
        }
    }
    std::sort(edges.begin(), edges.end());
    int i32Now = 0;
    int i32Max = edges.empty() ? 0 : 1;
    for (const auto &edge : edges)
        i32Max = qMax(i32Max, i32Now += edge.second);
    return i32Max;
}

// Each figure's median over the runs; i32Failed becomes the most devices not upgraded in any.
T_Result MedianOf(const QList<T_Result> &lstRuns, int i32Devices)
{
    auto median = [&](qint64 T_Result::*pField) {
        QList<qint64> values;
        for (const T_Result &r : lstRuns)
            values.append(r.*pField);
        return Median(values);
    };
    T_Result m;
    m.i64Ms = median(&T_Result::i64Ms);
    m.i64StallMs = median(&T_Result::i64StallMs);
    m.i64PeakKiB = median(&T_Result::i64PeakKiB);
    m.i64BaseKiB = median(&T_Result::i64BaseKiB);
    m.i64StartMs = median(&T_Result::i64StartMs);
    for (const T_Result &r : lstRuns)
        m.i32Failed = qMax(m.i32Failed, i32Devices - r.i32Ok);
    return m;
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
    parser.addOption({QStringLiteral("max-parallel"),
                      QStringLiteral("Devices at most at once, for the engine and curl alike (0: all)."),
                      QStringLiteral("list"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("size-kib"), QStringLiteral("Image size in KiB."), QStringLiteral("n"),
                      QStringLiteral("8192")});
    parser.addOption({QStringLiteral("devsim"), QStringLiteral("velmora-devsim to run."), QStringLiteral("path"),
                      QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each, engine and curl in turn; medians shown."),
                      QStringLiteral("n"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("no-curl"), QStringLiteral("Skip the curl reference.")});
    QCommandLineOption engineOption(QStringLiteral("engine-port"), QStringLiteral("Run as the engine's process."),
                                    QStringLiteral("port"));
    QCommandLineOption imageOption(QStringLiteral("image"), QStringLiteral("The engine process's image."),
                                   QStringLiteral("path"));
    engineOption.setFlags(QCommandLineOption::HiddenFromHelp);
    imageOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(engineOption);
    parser.addOption(imageOption);
    parser.process(app);

    // Three sockets per device on each side, plus listeners.
    RaiseFileLimit();

    if (parser.isSet(engineOption)) {
        const T_Result r = RunEngine(static_cast<quint16>(parser.value(engineOption).toUInt()),
                                     parser.value(imageOption), parser.value(QStringLiteral("devices")).toInt(),
                                     parser.value(QStringLiteral("max-parallel")).toInt());
        std::printf("engine: %lld %d %d %lld %lld %lld %lld\n", static_cast<long long>(r.i64Ms), r.i32Ok, r.i32Failed,
                    static_cast<long long>(r.i64StallMs), static_cast<long long>(r.i64StartMs),
                    static_cast<long long>(r.i64PeakKiB), static_cast<long long>(r.i64BaseKiB));
        return 0;
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

    const int i32Runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());
    std::printf("Batch upgrade, one %.1f MiB module per device, installation time 0, loopback; median of %d run(s)\n",
                static_cast<double>(i64Size) / (1024 * 1024), i32Runs);
    std::printf("%5s %5s | %9s %7s %6s %5s %8s %8s %8s %7s | %9s %7s %5s %8s | %6s\n", "N", "P", "engine ms", "MB/s",
                "failed", "seen", "stall ms", "start ms", "peak MiB", "KiB/dev", "curl ms", "MB/s", "seen", "idle stl",
                "ratio");
    for (const QString &strN : parser.value(QStringLiteral("devices")).split(QLatin1Char(','))) {
        const int i32N = strN.toInt();
        if (i32N <= 0 || i32N > 1000)
            continue;
        for (const QString &strP : parser.value(QStringLiteral("max-parallel")).split(QLatin1Char(','))) {
            const int i32P = qMax(0, strP.toInt());
            QTemporaryDir runDir;
            T_Devsim sim;
            if (!StartDevsim(sim, parser.value(QStringLiteral("devsim")), runDir.path(), i32N)) {
                std::printf("%5d %5d | devsim did not start\n", i32N, i32P);
                continue;
            }
            // A shared machine's load comes and goes: the two take turns, and each figure is
            // the median of its runs, but a failure in any run shows.
            QList<T_Result> lstRuns;
            QList<qint64> lstCurlMs;
            QList<qint64> lstIdleStall;
            int i32CurlFailed = 0;
            for (int k = 0; k < i32Runs; ++k) {
                lstRuns.append(RunEngineProcess(sim, strImage, i32N, i32P));
                int i32Failed = 0;
                qint64 i64Idle = -1;
                lstCurlMs.append(bCurl ? RunCurl(sim, strImage, i32N, i32P, &i32Failed, &i64Idle) : -1);
                lstIdleStall.append(i64Idle);
                i32CurlFailed |= i32Failed;
            }
            const T_Result r = MedianOf(lstRuns, i32N);
            const qint64 i64CurlMs = Median(lstCurlMs);
            const qint64 i64IdleStall = Median(lstIdleStall);
            NetnsFleet::StopProcess(sim.process);
            const QString strRecord = runDir.filePath(QStringLiteral("record.jsonl"));
            const double dMB = static_cast<double>(i64Size) * i32N / 1e6;
            std::printf("%5d %5s | %9lld %7.1f %6d %5d %8lld %8lld %8.1f %7.0f | %9lld %7.1f %5d %8lld | %6.2f%s\n",
                        i32N, i32P > 0 ? qPrintable(QString::number(i32P)) : "all", static_cast<long long>(r.i64Ms),
                        r.i64Ms > 0 ? dMB / (static_cast<double>(r.i64Ms) / 1000) : 0.0, r.i32Failed,
                        MaxUploadsAtOnce(strRecord, false), static_cast<long long>(r.i64StallMs),
                        static_cast<long long>(r.i64StartMs), static_cast<double>(r.i64PeakKiB) / 1024,
                        static_cast<double>(r.i64PeakKiB - r.i64BaseKiB) / i32N, static_cast<long long>(i64CurlMs),
                        i64CurlMs > 0 ? dMB / (static_cast<double>(i64CurlMs) / 1000) : 0.0,
                        bCurl ? MaxUploadsAtOnce(strRecord, true) : 0, static_cast<long long>(i64IdleStall),
                        Ratio(r.i64Ms, i64CurlMs), i32CurlFailed ? " (curl failed)" : "");
            std::fflush(stdout);
        }
    }
    std::printf("P = at most this many at once (all: every device); seen = the most uploads the simulator saw at\n"
                "once; ratio = engine time / curl time at the same P (goal: at most 1.1); stall = longest\n"
                "event-loop gap of the engine's process (goal: under 100 ms); start = Start() handing out the\n"
                "first places, part of the first gap; idle stl = the longest gap of an idle loop while curl runs:\n"
                "what the loaded machine alone causes; peak = the engine process's peak resident set (goal: at\n"
                "100 at once at most a fifth of all at once); KiB/dev = its growth during the batch per device.\n");
    return 0;
}
