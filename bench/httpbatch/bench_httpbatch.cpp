// bench_httpbatch: the upload phase of an HTTP batch (the web-server models) beside curl -F
// posting the same image to the same simulated devices, in one run:
//   engine  the batch engine over the HTTP agent in this process, as the batch form and the
//           console program drive it: time from Start() to each device's first
//           "Installing..." (its upload answered);
//   curl    curl -F fwfile=@IMAGE to every device's upgrade CGI at once (one process,
//           --parallel): time to the last answer.
// Devices live on 127.0.2.1 ... (loopback only, each web server on a port the system picks),
// so no namespace is needed.
//   bench_httpbatch [--devices 50] [--size-kib 8192] [--runs 1]
#include "batch/cbatchupgrade.h"
#include "benchsupport.h"
#include "cstallmeter.h"
#include "http/chttpagent.h"
#include "netnsfleet.h"
#include "session/cmaintainagent.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using BenchSupport::Median;
using BenchSupport::ProcStatusKiB;
using BenchSupport::ResetPeakRss;
using BenchSupport::WriteRandomFile;

namespace
{

QString DeviceAddr(int i)
{
    return QStringLiteral("127.0.2.%1").arg(i + 1);
}
QString DeviceHost(int i)
{
    return QStringLiteral("NXT800-H%1").arg(i + 1, 4, 10, QLatin1Char('0'));
}

// The simulator with N web-server devices; the port each device listens on comes from its
// output ("velmora-devsim: http HOST ADDR:PORT").
class CDevsim
{
public:
    ~CDevsim() { NetnsFleet::StopProcess(m_process); }
    bool Start(const QString &strDevsim, const QString &strDir, int i32Devices, QString *pstrError)
    {
        QJsonArray devices;
        for (int i = 0; i < i32Devices; ++i)
            devices.append(QJsonObject{{"hostname", DeviceHost(i)},
                                       {"addr", DeviceAddr(i)},
                                       {"kind", "tx"},
                                       {"channel", "http"},
                                       // The upgrader counts an installation done once the result file has been
                                       // served to at least four polls: the shortest a batch can be.
                                       {"knobs", QJsonObject{{"http_result_polls", 4}}}});
        const QJsonObject fleet{{"devices", devices}, {"options", QJsonObject{{"ports", QJsonObject{{"http", 0}}}}}};
        QFile file(strDir + QStringLiteral("/fleet.json"));
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(fleet).toJson()) < 0) {
            *pstrError = QStringLiteral("cannot write the fleet file");
            return false;
        }
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QByteArray baOut;
        if (!NetnsFleet::RunDevsim(m_process, strDevsim, {"--fleet", file.fileName(), "--services", "http"}, pstrError,
                                   &baOut))
            return false;
        for (const QByteArray &baLine : baOut.split('\n')) {
            const QList<QByteArray> fields = baLine.split(' ');
            if (fields.size() == 4 && fields.at(1) == "http")
                m_hashEndpoint.insert(QString::fromLatin1(fields.at(2)), QString::fromLatin1(fields.at(3)));
        }
        if (m_hashEndpoint.size() != i32Devices) {
            *pstrError = QStringLiteral("velmora-devsim did not start: %1").arg(QString::fromLocal8Bit(baOut));
            return false;
        }
        return true;
    }
    // "ADDR:PORT" of a device's web server.
    QString Endpoint(int i) const { return m_hashEndpoint.value(DeviceHost(i)); }

private:
    QProcess m_process;
    QHash<QString, QString> m_hashEndpoint;
};

struct T_EngineRun {
    QList<qint64> uploadMs; // per device: Start() to its first "Installing..."
    qint64 i64BatchMs = 0;  // Start() to the summary
    int i32Succeeded = 0;
    qint64 i64StallMs = 0;
    qint64 i64PeakKiB = 0;
    qint64 i64BaseKiB = 0;
};

T_EngineRun RunEngine(const CDevsim &sim, const QString &strImage, int i32Devices)
{
    T_EngineRun r;
    QList<T_BaseDevInfo> lstDevices;
    CMaintainAgent agent;
    CHttpAgent http;
    for (int i = 0; i < i32Devices; ++i) {
        T_BaseDevInfo st;
        st.strHostName = DeviceHost(i);
        st.strAddr = sim.Endpoint(i); // the upgrader takes "address:port"
        st.u32Port = 60000;
        st.strKind = QStringLiteral("tx");
        lstDevices << st;
        agent.AddDevice(st);
        http.AddDevice(st);
    }
    CBatchUpgrade batch(&agent, &http);
    batch.SetDevices(lstDevices);
    batch.SetModules({T_BatchModule{QStringLiteral("firmware"), QStringLiteral("Firmware"), strImage}});
    QEventLoop loop;
    QElapsedTimer clock;
    QHash<QString, qint64> hashUploaded;
    QObject::connect(&batch, &CBatchUpgrade::signalDeviceProgress,
                     [&](T_BaseDevInfo st, int, QString strStep, int, bool bError, bool) {
                         if (!bError && strStep == QLatin1String("Installing...") &&
                             !hashUploaded.contains(st.strHostName))
                             hashUploaded.insert(st.strHostName, clock.elapsed());
                     });
    QObject::connect(&batch, &CBatchUpgrade::signalDeviceFailed,
                     [](T_BaseDevInfo st, int, QString strStep, QString strWhy) {
                         std::fprintf(stderr, "  %s failed at %s: %s\n", qPrintable(st.strHostName),
                                      qPrintable(strStep), qPrintable(strWhy));
                     });
    QObject::connect(&batch, &CBatchUpgrade::signalBatchFinished, &loop, [&](int i32Ok, int, QStringList) {
        r.i32Succeeded = i32Ok;
        loop.quit();
    });
    QObject::connect(&batch, &CBatchUpgrade::signalReplyTimeOut, &loop, &QEventLoop::quit);
    QObject::connect(&batch, &CBatchUpgrade::signalModuleNotStarted, &loop, &QEventLoop::quit);
    CStallMeter stall;

    r.i64BaseKiB = ProcStatusKiB("VmRSS:");
    ResetPeakRss();
    clock.start();
    stall.Start();
    if (batch.Start() == CBatchUpgrade::START_OK)
        loop.exec();
    stall.Stop();
    r.i64BatchMs = clock.elapsed();
    r.i64StallMs = stall.MaxStallMs();
    r.i64PeakKiB = ProcStatusKiB("VmHWM:");
    r.uploadMs = hashUploaded.values();
    std::sort(r.uploadMs.begin(), r.uploadMs.end());
    http.Clear();
    agent.Clear();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return r;
}

// Every post in one curl process, all at once; -1 when curl cannot run.
qint64 RunCurl(const CDevsim &sim, const QString &strImage, int i32Devices, bool *pbOk)
{
    QStringList args{"-sS", "--parallel", "--parallel-max", QString::number(qMin(300, i32Devices))};
    for (int i = 0; i < i32Devices; ++i) {
        if (i > 0)
            args << "--next";
        args << "-sS"
             << "-f"
             << "-o"
             << "/dev/null"
             << "-F" << QStringLiteral("fwfile=@%1").arg(strImage)
             << QStringLiteral("http://%1/cgi-bin/astfwup.cgi").arg(sim.Endpoint(i));
    }
    QProcess curl;
    // Its parallel progress meter shows even with -s: keep its words for a failure.
    curl.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), args);
    if (!curl.waitForStarted(10000)) {
        *pbOk = false;
        return -1;
    }
    curl.waitForFinished(600000);
    const qint64 i64Ms = clock.elapsed();
    *pbOk = curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    if (!*pbOk)
        std::fprintf(stderr, "curl: %s\n", curl.readAll().right(2000).constData());
    return i64Ms;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchSupport::RaiseFileLimit();
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    Velmora::RegisterMaintainMetaTypes();
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"devices", "Device count (at most 250).", "n", "50"});
    parser.addOption({"size-kib", "Image size in KiB.", "n", "8192"});
    parser.addOption({"runs", "Runs of each (the median is shown).", "n", "1"});
    parser.addOption({"devsim", "velmora-devsim to run.", "path", QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim")});
    parser.process(app);
    const int i32N = qBound(1, parser.value("devices").toInt(), 250);
    const int i32Runs = qMax(1, parser.value("runs").toInt());
    const bool bCurl = !QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty();

    QTemporaryDir dir;
    const QString strImage = dir.filePath(QStringLiteral("firmware.bin"));
    const qint64 i64Size = parser.value("size-kib").toLongLong() * 1024;
    if (!WriteRandomFile(strImage, i64Size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(strImage));
        return 1;
    }
    CDevsim sim;
    QString strError;
    std::printf("HTTP batch upload phase, %d devices x %.1f MiB, loopback; %d run(s), median shown\n", i32N,
                static_cast<double>(i64Size) / (1024 * 1024), i32Runs);
    if (!sim.Start(parser.value("devsim"), dir.path(), i32N, &strError)) {
        std::printf("no run: %s\n", qPrintable(strError));
        return 0;
    }
    QList<qint64> lastMs, medianMs, batchMs, stallMs, peakKiB, baseKiB, curlMs;
    int i32Ok = i32N;
    bool bCurlOk = bCurl;
    for (int iRun = 0; iRun < i32Runs; ++iRun) {
        const T_EngineRun r = RunEngine(sim, strImage, i32N);
        i32Ok = qMin(i32Ok, qMin(r.i32Succeeded, static_cast<int>(r.uploadMs.size())));
        lastMs << (r.uploadMs.isEmpty() ? -1 : r.uploadMs.last());
        medianMs << Median(r.uploadMs);
        batchMs << r.i64BatchMs;
        stallMs << r.i64StallMs;
        peakKiB << r.i64PeakKiB;
        baseKiB << r.i64BaseKiB;
        if (bCurl) {
            bool bOk = false;
            curlMs << RunCurl(sim, strImage, i32N, &bOk);
            bCurlOk = bCurlOk && bOk;
        }
    }
    const qint64 i64Last = Median(lastMs), i64Curl = Median(curlMs);
    const double dMB = static_cast<double>(i64Size) * i32N / 1e6;
    std::printf("%5s | %9s %9s %9s %4s %7s %9s %8s | %9s %9s | %6s\n", "N", "upload ms", "median", "batch ms", "ok",
                "stall", "peak MiB", "KiB/dev", "curl ms", "MB/s", "ratio");
    std::printf("%5d | %9lld %9lld %9lld %4d %7lld %9.1f %8.0f | %9lld %9.1f | %6.2f%s\n", i32N,
                static_cast<long long>(i64Last), static_cast<long long>(Median(medianMs)),
                static_cast<long long>(Median(batchMs)), i32Ok, static_cast<long long>(Median(stallMs)),
                static_cast<double>(Median(peakKiB)) / 1024,
                static_cast<double>(Median(peakKiB) - Median(baseKiB)) / i32N, static_cast<long long>(i64Curl),
                i64Curl > 0 ? dMB / (static_cast<double>(i64Curl) / 1000) : 0.0, BenchSupport::Ratio(i64Last, i64Curl),
                bCurl ? (bCurlOk ? "" : " (curl failed)") : " (no curl)");
    std::printf("upload ms = Start() to the last device's first \"Installing...\" (median: the middle device's);\n"
                "batch ms = to the summary; curl ms = curl -F to every device at once, to its last answer;\n"
                "ratio = upload ms / curl ms (goal: at most 1.25); stall = the engine's longest event-loop gap;\n"
                "KiB/dev = resident growth per device during the batch.\n");
    return 0;
}
