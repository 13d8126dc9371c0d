// bench_clibatch: one batch upgrade of N simulated Vaza devices, 8 MiB module, three ways in
// the same run against the same simulator:
//   cli     velmora-cli upgrade --type ... --module main=FILE, as an operator runs it
//           (its own search, then the batch), a separate process;
//   driver  the same search and the batch engine over the maintenance agent in this
//           process, without widgets or the console program around them;
//   curl    curl uploading the same file to the same FTP services, all in parallel.
// Runs inside scripts/netns-run.sh (the search multicasts), which it checks first:
//   scripts/netns-run.sh --devsim build/bin/velmora-devsim -- build/bin/bench/bench_clibatch
//   bench_clibatch [--devices 10,100,200,1000] [--size-kib 8192] [--runs 1] [--cli PATH]
// Wall times include what the operator waits for (start-up, the 2-pass search, exit); the
// phase is the device side's own view from its records: first upgrade request (curl: first
// FTP connection) to the last installation reported done (curl: last file stored). Peak
// memory is the upgrading process's resident high-water mark.
#include "batch/cbatchupgrade.h"
#include "benchsupport.h"
#include "childrun.h"
#include "cstallmeter.h"
#include "discovery/qdevicesearcher.h"
#include "netnsfleet.h"
#include "product/hostmodel.h"
#include "product/productconfig.h"
#include "session/cmaintainagent.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using BenchSupport::Median;
using BenchSupport::ProcStatusKiB;
using BenchSupport::RaiseFileLimit;
using BenchSupport::Ratio;
using BenchSupport::ResetPeakRss;
using BenchSupport::WriteRandomFile;
using ChildRun::RunAll;
using ChildRun::T_Child;

namespace
{

const char kModel[] = "ZR410";
const char kType[] = "ZR410 Encoder"; // its product name in config.xml, as the operator names the type
const char kModule[] = "main";
// The device side's address the operator side routes the device networks through.
const char kGateway[] = "10.213.0.2";
// curl refuses more than 300 transfers per process; larger fleets get several processes.
constexpr int kCurlPerProcess = 250;

QString DeviceAddr(int i)
{
    // 250 devices per network, off the runner's own 10.213.0.0/24.
    return QStringLiteral("10.213.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
}
QString DeviceHost(int i)
{
    return QStringLiteral("ZR410-C%1").arg(i + 1, 5, 10, QLatin1Char('0'));
}

// velmora-devsim on the device side of the runner, its output in a file (a pipe nobody
// reads while a child runs could fill and stop it).
class CDevsim
{
public:
    ~CDevsim() { Stop(); }
    bool Start(int i32Devices, const QString &strDir, QString *pstrError)
    {
        const QString strDevNs = NetnsFleet::DeviceNamespace();
        QJsonArray devices;
        // The operator side reaches the device networks through one gateway address on the
        // device side, not on-link: a thousand on-link addresses would take a thousand entries
        // of the system's neighbour table, which is shared by every namespace and overflows at
        // 1024 (then even the search's multicast requests are dropped).
        QString strAddrs = QStringLiteral("addr replace %1/24 dev vmd0\n").arg(QLatin1String(kGateway));
        QString strRoutes;
        for (int i = 0; i < i32Devices; ++i) {
            // Port 0: the port every upgrade and version query of this product names.
            auto module = [](const char *pszAddr) {
                return QJsonObject{{"addr", pszAddr}, {"port", 0}, {"version", "V3.1.4"}};
            };
            devices.append(QJsonObject{{"hostname", DeviceHost(i)},
                                       {"addr", DeviceAddr(i)},
                                       {"kind", "tx"},
                                       {"version", "V3.1.4"},
                                       {"channel", "vaza"},
                                       {"modules", QJsonArray{module("main"), module("fpga")}},
                                       {"knobs", QJsonObject{{"install_ms", 0}}}});
            strAddrs += QStringLiteral("addr replace %1/24 dev vmd0\n").arg(DeviceAddr(i));
            if (i % 250 == 0)
                strRoutes += QStringLiteral("route replace 10.213.%1.0/24 via %2 dev vmo0\n")
                                 .arg(1 + i / 250)
                                 .arg(QLatin1String(kGateway));
        }
        // One ip call per side, not one per address: a thousand calls take seconds.
        const QString strAddrFile = strDir + QStringLiteral("/addrs.ip");
        const QString strRouteFile = strDir + QStringLiteral("/routes.ip");
        if (!WriteFile(strAddrFile, strAddrs.toUtf8()) || !WriteFile(strRouteFile, strRoutes.toUtf8()) ||
            !NetnsFleet::Ip({"-n", strDevNs, "-batch", strAddrFile}, pstrError) ||
            !NetnsFleet::Ip({"-batch", strRouteFile}, pstrError))
            return false;
        // Hundreds of devices times the image would not fit: keep sizes and XOR checksums
        // only. No SHA-256 either: hashing gigabytes made the simulator the slowest party.
        const QJsonObject fleet{
            {"devices", devices},
            {"options", QJsonObject{{"ftp", QJsonObject{{"keep_files", false}, {"sha256", false}}}}}};
        const QString strFleet = strDir + QStringLiteral("/fleet.json");
        m_strRecord = strDir + QStringLiteral("/record.jsonl");
        m_strLog = strDir + QStringLiteral("/devsim.log");
        if (!WriteFile(strFleet, QJsonDocument(fleet).toJson(QJsonDocument::Compact)))
            return false;
        m_pid = ChildRun::Spawn({"ip", "netns", "exec", strDevNs, qEnvironmentVariable("VELMORA_DEVSIM"), "--fleet",
                                 strFleet, "--record", m_strRecord, "--services", "discovery,vaza,ftp"},
                                m_strLog);
        if (ChildRun::WaitForOutput(&m_pid, m_strLog, "velmora-devsim: ready", 60000))
            return true;
        *pstrError = QStringLiteral("velmora-devsim did not become ready: %1").arg(QString::fromLocal8Bit(Log()));
        Stop();
        return false;
    }
    void Stop() { ChildRun::Stop(&m_pid); }
    bool Running() const { return ChildRun::Running(m_pid); }
    QByteArray Log() const
    {
        QFile file(m_strLog);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QList<QJsonObject> RecordSince(qint64 *pi64From) const
    {
        return NetnsFleet::ReadRecordSince(m_strRecord, pi64From);
    }

private:
    static bool WriteFile(const QString &strPath, const QByteArray &ba)
    {
        QFile file(strPath);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(ba) == ba.size();
    }
    pid_t m_pid = -1;
    QString m_strRecord;
    QString m_strLog;
};

// What the devices saw of one contender: from its first request (the upgrade start, step
// 101; for curl the first FTP connection) to the last event of the run, and on how many
// devices strDone happened (installation reported done; for curl a file stored).
struct T_Phase {
    qint64 i64Ms = -1;
    int i32Devices = 0;
};

T_Phase PhaseOf(const QList<QJsonObject> &events, const QString &strFirst, const QString &strDone)
{
    qint64 i64First = -1, i64Last = -1;
    QSet<QString> setDone;
    for (const QJsonObject &o : events) {
        const QString strType = o.value(QStringLiteral("type")).toString();
        const qint64 i64Ms = static_cast<qint64>(o.value(QStringLiteral("ms")).toDouble());
        if (i64First < 0) {
            if (strType != strFirst ||
                (strType == QLatin1String("vaza_upgrade") && o.value(QStringLiteral("step")).toInt() != 101))
                continue;
            i64First = i64Ms;
        }
        // The version read back after installation belongs to the run; a heartbeat or the
        // closing of idle connections does not.
        if (strType == strDone || strType == QLatin1String("vaza_query") || strType == QLatin1String("vaza_upgrade"))
            i64Last = qMax(i64Last, i64Ms);
        if (strType == strDone)
            setDone.insert(o.value(QStringLiteral("device")).toString());
    }
    T_Phase phase;
    phase.i32Devices = setDone.size();
    if (i64First >= 0 && i64Last >= i64First)
        phase.i64Ms = i64Last - i64First;
    return phase;
}

struct T_DriverRun {
    qint64 i64Ms = 0;      // search and batch
    qint64 i64BatchMs = 0; // Start() to the summary
    qint64 i64StallMs = 0; // longest event-loop gap during the batch
    qint64 i64PeakKiB = 0; // resident high-water mark during the batch
    qint64 i64BaseKiB = 0; // resident before it
    int i32Found = 0;
    int i32Succeeded = 0;
    QMap<QString, int> mapFailures; // "step: reason" -> devices
};

// The console program's road without the console program: one 2-pass search, the known
// devices of the type, the engine over the agent.
T_DriverRun RunDriver(const QString &strImage)
{
    T_DriverRun r;
    QElapsedTimer clock;
    clock.start();
    QList<T_BaseDevInfo> lstDevices;
    {
        QDeviceSearcher searcher(2);
        QEventLoop loop;
        QObject::connect(&searcher, &QDeviceSearcher::OnFoundDevice,
                         [&](QString, QByteArray baAddr, QByteArray baHost, QByteArray) {
                             T_BaseDevInfo st;
                             st.strHostName = QString::fromUtf8(baHost);
                             st.strDispName = GetProductName(st.strHostName);
                             if (Velmora::ModelOfHostName(st.strHostName) != QLatin1String(kModel))
                                 return;
                             st.strAddr = QString::fromLatin1(baAddr);
                             st.u32Port = 60000;
                             st.strKind = GetProductType(st.strHostName);
                             for (const T_BaseDevInfo &stKnown : qAsConst(lstDevices))
                                 if (stKnown.strHostName == st.strHostName)
                                     return;
                             lstDevices.append(st);
                         });
        QObject::connect(&searcher, &QDeviceSearcher::OnStop, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        searcher.Start();
        loop.exec();
    }
    r.i32Found = lstDevices.size();

    CMaintainAgent agent;
    for (const T_BaseDevInfo &st : qAsConst(lstDevices))
        agent.AddDevice(st);
    CBatchUpgrade batch(&agent, nullptr);
    batch.SetDevices(lstDevices);
    batch.SetModules({T_BatchModule{QLatin1String(kModule), QStringLiteral("System firmware"), strImage},
                      T_BatchModule{QStringLiteral("fpga"), QStringLiteral("FPGA image"), QString()}});
    // As the console program does: a completion counts once the version has been read back.
    batch.SetVersionCheck(true);
    QEventLoop loop;
    QObject::connect(&batch, &CBatchUpgrade::signalBatchFinished, &loop, [&](int i32Successes, int, QStringList) {
        r.i32Succeeded = i32Successes;
        loop.quit();
    });
    QObject::connect(&batch, &CBatchUpgrade::signalDeviceFailed,
                     [&](T_BaseDevInfo, int, QString strStep, QString strWhy) {
                         ++r.mapFailures[strStep + QStringLiteral(": ") + strWhy];
                     });
    QObject::connect(&batch, &CBatchUpgrade::signalReplyTimeOut, &loop, &QEventLoop::quit);
    QObject::connect(&batch, &CBatchUpgrade::signalModuleNotStarted, &loop, &QEventLoop::quit);
    CStallMeter stall;

    r.i64BaseKiB = ProcStatusKiB("VmRSS:");
    ResetPeakRss();
    QElapsedTimer batchClock;
    batchClock.start();
    stall.Start();
    if (batch.Start() == CBatchUpgrade::START_OK)
        loop.exec();
    stall.Stop();
    r.i64BatchMs = batchClock.elapsed();
    r.i64Ms = clock.elapsed();
    r.i64StallMs = stall.MaxStallMs();
    r.i64PeakKiB = ProcStatusKiB("VmHWM:");
    agent.Clear();
    // Sessions go with deleteLater(): let them go before the next run measures.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return r;
}

QList<QStringList> CurlCommands(const QString &strImage, int i32Devices)
{
    QList<QStringList> commands;
    for (int i0 = 0; i0 < i32Devices; i0 += kCurlPerProcess) {
        const int i32Count = qMin(kCurlPerProcess, i32Devices - i0);
        QStringList args{"curl", "-sS", "--parallel", "--parallel-max", QString::number(i32Count)};
        for (int i = i0; i < i0 + i32Count; ++i)
            args << "-T" << strImage
                 << QStringLiteral("ftp://velmora:velmora@%1/curl-%2.img").arg(DeviceAddr(i)).arg(i);
        commands.append(args);
    }
    return commands;
}

} // namespace

int main(int argc, char *argv[])
{
    // Three connections per device in each process.
    RaiseFileLimit();
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    Velmora::RegisterMaintainMetaTypes();
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"devices", "Device counts.", "list", "10,100,200,1000"});
    parser.addOption({"size-kib", "Image size in KiB.", "n", "8192"});
    parser.addOption({"runs", "Runs of each contender per N (the median is shown).", "n", "1"});
    parser.addOption({"cli", "velmora-cli to run.", "path", QStringLiteral(VELMORA_BIN_DIR "/velmora-cli")});
    parser.addOption({"only", "Run only these of cli, driver, curl.", "list", "cli,driver,curl"});
    parser.addOption({"keep", "Keep each N's fleet, simulator record and outputs, and say where."});
    parser.process(app);

    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason) || qEnvironmentVariableIsEmpty("VELMORA_DEVSIM")) {
        std::fprintf(stderr, "bench_clibatch: %s\n",
                     strReason.isEmpty() ? "VELMORA_DEVSIM is not set (run through scripts/netns-run.sh --devsim)"
                                         : qPrintable(strReason));
        return 77;
    }
    const QString strCli = parser.value("cli");
    // The driver reads the same product table the console program finds beside itself.
    if (!LoadProductConfig(QFileInfo(strCli).absolutePath() + QStringLiteral("/config.xml"))) {
        std::fprintf(stderr, "bench_clibatch: no config.xml beside %s\n", qPrintable(strCli));
        return 1;
    }
    const QStringList lstOnly = parser.value("only").split(QLatin1Char(','));
    const bool bCli = lstOnly.contains(QLatin1String("cli"));
    const bool bDriver = lstOnly.contains(QLatin1String("driver"));
    const bool bCurl =
        lstOnly.contains(QLatin1String("curl")) && !QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty();
    const int i32Runs = qMax(1, parser.value("runs").toInt());

    QTemporaryDir dir;
    const QString strImage = dir.filePath(QStringLiteral("module.img"));
    const qint64 i64Size = parser.value("size-kib").toLongLong() * 1024;
    if (!WriteRandomFile(strImage, i64Size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(strImage));
        return 1;
    }
    const QString strOut = dir.filePath(QStringLiteral("children.log"));
    // The console program's resident set before it holds any device: the base its growth is measured from.
    const qint64 i64CliBaseKiB = RunAll({{strCli, "upgrade", "--help"}}, strOut).i64PeakKiB;

    std::printf("Batch upgrade through velmora-cli beside the in-process driver and curl, one %.1f MiB module "
                "per device,\ninstallation time 0, private namespaces; %d run(s) each, median shown\n",
                static_cast<double>(i64Size) / (1024 * 1024), i32Runs);
    std::printf("%5s | %8s %8s %4s %8s %8s | %8s %8s %4s %8s %8s %6s | %8s %8s %4s | %6s %6s %6s\n", "N", "cli ms",
                "phase", "ok", "peak MiB", "KiB/dev", "drv ms", "phase", "ok", "peak MiB", "KiB/dev", "stall",
                "curl ms", "phase", "ok", "c/drv", "c/d ph", "c/curl");
    bool bAnyRun = false;
    for (const QString &strN : parser.value("devices").split(QLatin1Char(','))) {
        const int i32N = strN.toInt();
        if (i32N <= 0 || i32N > 1000)
            continue;
        QTemporaryDir runDir;
        if (parser.isSet("keep")) {
            runDir.setAutoRemove(false);
            std::fprintf(stderr, "bench_clibatch: N=%d kept in %s\n", i32N, qPrintable(runDir.path()));
        }
        CDevsim sim;
        QString strError;
        if (!sim.Start(i32N, runDir.path(), &strError)) {
            std::printf("%5d | %s\n", i32N, qPrintable(strError));
            continue;
        }
        bAnyRun = true;
        qint64 i64RecordAt = 0;
        sim.RecordSince(&i64RecordAt);
        QList<qint64> cliMs, cliPhase, cliPeak, drvMs, drvPhase, drvPeak, drvBase, drvStall, curlMs, curlPhase;
        int i32CliOk = i32N, i32DrvOk = i32N, i32CurlOk = i32N;
        int i32CliExit = 0;
        for (int iRun = 0; iRun < i32Runs; ++iRun) {
            if (bCli) {
                const QString strCliOut = runDir.filePath(QStringLiteral("cli-%1.json").arg(iRun));
                const QString strCliErr = runDir.filePath(QStringLiteral("cli-%1.err").arg(iRun));
                const T_Child cli = RunAll({{strCli, "upgrade", "--type", kType, "--module",
                                             QStringLiteral("%1=%2").arg(kModule, strImage), "--json"}},
                                           strCliOut, strCliErr);
                const T_Phase cliSeen = PhaseOf(sim.RecordSince(&i64RecordAt), "vaza_upgrade", "vaza_installed");
                cliMs << cli.i64Ms;
                cliPhase << cliSeen.i64Ms;
                cliPeak << cli.i64PeakKiB;
                // What the console program itself says succeeded, and no more than the devices saw.
                QFile cliJson(strCliOut);
                const int i32CliSaid =
                    cliJson.open(QIODevice::ReadOnly)
                        ? QJsonDocument::fromJson(cliJson.readAll()).object().value("succeeded").toInt()
                        : 0;
                i32CliOk = qMin(i32CliOk, qMin(i32CliSaid, cliSeen.i32Devices));
                if (cli.i32Exit != 0 && i32CliExit == 0) {
                    i32CliExit = cli.i32Exit;
                    QFile err(strCliErr);
                    if (err.open(QIODevice::ReadOnly))
                        std::fprintf(stderr, "velmora-cli (N=%d) said:\n%s\n", i32N, err.read(2000).constData());
                }
            } else {
                i32CliOk = 0;
            }
            if (bDriver) {
                const T_DriverRun drv = RunDriver(strImage);
                const T_Phase drvSeen = PhaseOf(sim.RecordSince(&i64RecordAt), "vaza_upgrade", "vaza_installed");
                drvMs << drv.i64Ms;
                drvPhase << drvSeen.i64Ms;
                drvPeak << drv.i64PeakKiB;
                drvBase << drv.i64BaseKiB;
                drvStall << drv.i64StallMs;
                i32DrvOk = qMin(i32DrvOk, qMin(drvSeen.i32Devices, drv.i32Succeeded));
                for (auto it = drv.mapFailures.constBegin(); it != drv.mapFailures.constEnd(); ++it)
                    std::fprintf(stderr, "driver (N=%d): %d device(s) failed at %s\n", i32N, it.value(),
                                 qPrintable(it.key()));
            } else {
                i32DrvOk = 0;
            }

            if (bCurl) {
                const T_Child curl = RunAll(CurlCommands(strImage, i32N), strOut);
                const T_Phase curlSeen = PhaseOf(sim.RecordSince(&i64RecordAt), "ftp_connect", "image");
                curlMs << curl.i64Ms;
                curlPhase << curlSeen.i64Ms;
                i32CurlOk = qMin(i32CurlOk, curl.i32Exit == 0 ? curlSeen.i32Devices : 0);
            } else {
                i32CurlOk = 0;
            }
        }
        const bool bAlive = sim.Running();
        sim.Stop();
        const qint64 i64CliMs = Median(cliMs), i64CliPhase = Median(cliPhase), i64CliPeak = Median(cliPeak);
        const qint64 i64DrvMs = Median(drvMs), i64DrvPhase = Median(drvPhase), i64DrvPeak = Median(drvPeak);
        const qint64 i64CurlMs = Median(curlMs), i64CurlPhase = Median(curlPhase);
        std::printf("%5d | %8lld %8lld %4d %8.1f %8.0f | %8lld %8lld %4d %8.1f %8.0f %6lld | %8lld %8lld %4d | "
                    "%6.2f %6.2f %6.2f%s%s\n",
                    i32N, static_cast<long long>(i64CliMs), static_cast<long long>(i64CliPhase), i32CliOk,
                    static_cast<double>(i64CliPeak) / 1024, static_cast<double>(i64CliPeak - i64CliBaseKiB) / i32N,
                    static_cast<long long>(i64DrvMs), static_cast<long long>(i64DrvPhase), i32DrvOk,
                    static_cast<double>(i64DrvPeak) / 1024, static_cast<double>(i64DrvPeak - Median(drvBase)) / i32N,
                    static_cast<long long>(Median(drvStall)), static_cast<long long>(i64CurlMs),
                    static_cast<long long>(i64CurlPhase), i32CurlOk, Ratio(i64CliMs, i64DrvMs),
                    Ratio(i64CliPhase, i64DrvPhase), Ratio(i64CliPhase, i64CurlPhase),
                    i32CliExit ? qPrintable(QStringLiteral(" (cli exit %1)").arg(i32CliExit)) : "",
                    bAlive ? "" : " (devsim died)");
        std::fflush(stdout);
    }
    std::printf("ms = wall time of the whole run (cli: process start to exit; driver: search and batch);\n"
                "phase = the devices' view: first upgrade request (curl: first FTP connection) to the last\n"
                "installation done (curl: last file stored); ok = devices that completed; peak = resident\n"
                "high-water mark of the upgrading process, KiB/dev its growth per device over the idle process;\n"
                "stall = the driver's longest event-loop gap. Goal: c/drv and c/curl (cli phase / curl phase) at\n"
                "most 1.10.\n");
    if (!bAnyRun)
        std::printf("no run: the simulator did not start\n");
    std::fflush(stdout);
    return 0;
}
