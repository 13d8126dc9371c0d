// Uploads one file to a vsftpd on loopback with our client and with `curl -T`, alternating,
// and prints MB/s of each, their ratio and the peak memory of our uploader.
//   bench_ftp_upload [--size-mib 64] [--runs 5]   (BENCH_FTP_VERBOSE=1 lists every run)
// Figures never fail the run; only a broken upload (an error, a wrong size) does.
#include "ftp/qftp.h"
#include "vsftpdserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace
{

double CpuSeconds()
{
    struct rusage st = {};
    getrusage(RUSAGE_SELF, &st);
    return st.ru_utime.tv_sec + st.ru_stime.tv_sec + (st.ru_utime.tv_usec + st.ru_stime.tv_usec) / 1e6;
}

double MaxRssMiB(int iWho)
{
    struct rusage st = {};
    getrusage(iWho, &st);
    return st.ru_maxrss / 1024.0; // kilobytes on Linux
}

// Written in 1 MiB pieces, so making the file never raises our own peak.
bool MakeFile(const QString &strPath, qint64 i64Bytes)
{
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray baChunk(1 << 20, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (qint64 i64Left = i64Bytes; i64Left > 0;) {
        gen.fillRange(reinterpret_cast<quint32 *>(baChunk.data()), baChunk.size() / 4);
        const qint64 n = qMin<qint64>(i64Left, baChunk.size());
        if (file.write(baChunk.constData(), n) != n)
            return false;
        i64Left -= n;
    }
    return true;
}

// Seconds from connecting to the end of the upload (the goodbye is not counted, as curl's
// time_total does not count it); negative on failure.
double UploadWithQFtp(const CVsftpdServer &server, const QString &strFile, const QString &strRemote, QString &strError)
{
    QFile file(strFile);
    if (!file.open(QIODevice::ReadOnly)) {
        strError = file.errorString();
        return -1;
    }
    QFtp ftp;
    QEventLoop loop;
    double dSeconds = -1;
    QElapsedTimer timer;
    int iPut = 0;
    QObject::connect(&ftp, &QFtp::commandFinished, &loop, [&](int iId, bool bError) {
        if (iId == iPut && !bError)
            dSeconds = timer.nsecsElapsed() / 1e9;
    });
    QObject::connect(&ftp, &QFtp::done, &loop, [&](bool bError) {
        if (bError) {
            strError = ftp.errorString();
            dSeconds = -1;
        }
        loop.quit();
    });
    timer.start();
    ftp.connectToHost(server.Host(), server.Port());
    ftp.login(QStringLiteral("anonymous"), QStringLiteral("bench@"));
    iPut = ftp.put(&file, strRemote);
    ftp.close();
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    return dSeconds;
}

// curl's own time_total, which starts after the process has started; its peak memory and
// CPU time through /usr/bin/time when that is installed (else left as they are).
double UploadWithCurl(const QString &strCurl, const CVsftpdServer &server, const QString &strFile,
                      const QString &strRemote, const QString &strRssFile, qint64 &i64PeakKiB, double &dCpu,
                      QString &strError)
{
    QStringList lstArgs{strCurl,
                        QStringLiteral("-sS"),
                        QStringLiteral("--user"),
                        QStringLiteral("anonymous:bench@"),
                        QStringLiteral("-w"),
                        QStringLiteral("%{time_total}"),
                        QStringLiteral("-T"),
                        strFile,
                        QStringLiteral("ftp://%1:%2%3").arg(server.Host()).arg(server.Port()).arg(strRemote)};
    const bool bTime = QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable();
    if (bTime)
        lstArgs =
            QStringList{QStringLiteral("-f"), QStringLiteral("%M %U %S"), QStringLiteral("-o"), strRssFile} + lstArgs;
    QProcess curl;
    curl.start(bTime ? QStringLiteral("/usr/bin/time") : lstArgs.takeFirst(), lstArgs);
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0) {
        strError = QString::fromLocal8Bit(curl.readAllStandardError()).trimmed();
        return -1;
    }
    bool bOk = false;
    const double d = QString::fromLatin1(curl.readAllStandardOutput()).trimmed().toDouble(&bOk);
    QFile rss(strRssFile);
    if (bTime && rss.open(QIODevice::ReadOnly)) {
        const QStringList lst = QString::fromLatin1(rss.readAll()).simplified().split(QLatin1Char(' '));
        if (lst.size() == 3) {
            i64PeakKiB = qMax(i64PeakKiB, lst.at(0).toLongLong());
            dCpu = lst.at(1).toDouble() + lst.at(2).toDouble();
        }
    }
    return bOk ? d : -1;
}

double Median(QList<double> lst)
{
    std::sort(lst.begin(), lst.end());
    return lst.isEmpty() ? 0 : lst.at(lst.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The client's per-line diagnostics would be measured too.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    int iSizeMiB = 64;
    int iRuns = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--size-mib"))
            iSizeMiB = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--runs"))
            iRuns = qMax(1, args.at(i + 1).toInt());
    }
    const QString strWhy = CVsftpdServer::Unavailable();
    const QString strCurl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (!strWhy.isEmpty() || strCurl.isEmpty()) {
        std::printf("bench_ftp_upload: skipped: %s\n",
                    qPrintable(strWhy.isEmpty() ? QStringLiteral("curl is not installed") : strWhy));
        return 0;
    }
    CVsftpdServer server;
    QString strError;
    if (!server.Start(strError)) {
        std::printf("bench_ftp_upload: skipped: %s\n", qPrintable(strError));
        return 0;
    }
    QTemporaryDir dir;
    const QString strFile = dir.filePath(QStringLiteral("image.bin"));
    const qint64 i64Bytes = qint64(iSizeMiB) * 1024 * 1024;
    if (!MakeFile(strFile, i64Bytes)) {
        std::printf("bench_ftp_upload: cannot write %s\n", qPrintable(strFile));
        return 1;
    }

    const double dRssBefore = MaxRssMiB(RUSAGE_SELF);
    QList<double> lstOurs, lstCurl;
    qint64 i64CurlPeakKiB = -1;
    QList<double> lstOursCpu, lstCurlCpu; // CPU seconds of the uploader itself, per upload
    for (int iRun = 0; iRun < iRuns; ++iRun) {
        // Alternate who goes first, so neither always meets a warm or a cold server.
        for (int iTurn = 0; iTurn < 2; ++iTurn) {
            const bool bOurs = (iRun + iTurn) % 2 == 0;
            const QString strRemote =
                QStringLiteral("%1/%2-%3.bin").arg(CVsftpdServer::UploadDir(), bOurs ? "qftp" : "curl").arg(iRun);
            double dCpu = -1;
            const double dCpuBefore = CpuSeconds();
            const double d =
                bOurs ? UploadWithQFtp(server, strFile, strRemote, strError)
                      : UploadWithCurl(strCurl, server, strFile, strRemote,
                                       dir.filePath(QStringLiteral("curl-rss.txt")), i64CurlPeakKiB, dCpu, strError);
            if (bOurs)
                dCpu = CpuSeconds() - dCpuBefore;
            if (dCpu >= 0)
                (bOurs ? lstOursCpu : lstCurlCpu) << dCpu;
            const qint64 i64Stored = QFileInfo(server.LocalPath(strRemote)).size();
            if (d < 0 || i64Stored != i64Bytes) {
                std::printf("bench_ftp_upload: %s upload failed (%lld of %lld bytes stored): %s\n",
                            bOurs ? "QFtp" : "curl", static_cast<long long>(i64Stored),
                            static_cast<long long>(i64Bytes), qPrintable(strError));
                return 1;
            }
            QFile::remove(server.LocalPath(strRemote));
            (bOurs ? lstOurs : lstCurl) << d;
        }
    }
    const double dRssPeak = MaxRssMiB(RUSAGE_SELF);
    if (qEnvironmentVariableIsSet("BENCH_FTP_VERBOSE")) {
        for (int i = 0; i < lstOurs.size(); ++i)
            std::printf("  run %d: QFtp %.3f s, curl %.3f s\n", i, lstOurs.at(i), lstCurl.value(i));
    }

    const double dMB = i64Bytes / 1e6;
    // Other work on the machine only ever makes a run slower: the fastest run of each is
    // the fairest figure, the median shows the spread.
    const double dOurs = *std::min_element(lstOurs.cbegin(), lstOurs.cend());
    const double dCurl = *std::min_element(lstCurl.cbegin(), lstCurl.cend());
    std::printf("FTP upload of %d MiB to vsftpd on %s, %d runs each, alternating (MB = 10^6 bytes)\n", iSizeMiB,
                qPrintable(server.Host()), iRuns);
    std::printf("  %-22s %12s %12s %14s\n", "", "best MB/s", "best s", "median MB/s");
    std::printf("  %-22s %12.1f %12.3f %14.1f\n", "curl -T", dMB / dCurl, dCurl, dMB / Median(lstCurl));
    std::printf("  %-22s %12.1f %12.3f %14.1f\n", "QFtp (velmora)", dMB / dOurs, dOurs, dMB / Median(lstOurs));
    std::printf("  %-22s %12.2f   (goal: 0.95 or better; median ratio %.2f)\n", "ratio QFtp / curl", dCurl / dOurs,
                Median(lstCurl) / Median(lstOurs));
    if (!lstOursCpu.isEmpty() && !lstCurlCpu.isEmpty())
        std::printf("  CPU per upload (best):    QFtp %.3f s, curl %.3f s (less affected by other load)\n",
                    *std::min_element(lstOursCpu.cbegin(), lstOursCpu.cend()),
                    *std::min_element(lstCurlCpu.cbegin(), lstCurlCpu.cend()));
    std::printf("  peak RSS of our uploader: %.1f MiB (%.1f MiB before the first upload, file %d MiB)\n", dRssPeak,
                dRssBefore, iSizeMiB);
    if (i64CurlPeakKiB > 0)
        std::printf("  peak RSS of curl:         %.1f MiB\n", i64CurlPeakKiB / 1024.0);
    std::printf("Reproduce: bench/ftp/run.sh %d %d\n", iSizeMiB, iRuns);
    return 0;
}
