// Upgrades devsim's microcontroller over a pseudo-terminal paced at the line rate (10 bits per
// byte each way) and prints the upload phase (start to "Upload Completed") beside the time
// the line itself needs for every byte of that phase in both directions.
//   bench_serial [--cases KIB:BAUD,...]   (default 256:115200,1024:921600)
// Published bootloader tools reach about 30 % of the line rate; figures never fail a run.
#include "serialdevsim.h"

#include "serial/cserialmaintain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>

namespace
{

// Bytes on the line for one frame carrying a message with a body of n bytes.
qint64 FrameBytes(qint64 i64Body)
{
    return 4 + 24 + i64Body;
}

// Everything that crosses the line from the start request to the last acknowledgement:
// step 101 and its answer, every piece and its acknowledgement.
qint64 UploadWireBytes(qint64 i64Image, const QByteArray &baName)
{
    const qint64 i64Module = 4 + qstrlen(CSerialMaintain::MCU_MODULE);
    qint64 i64Bytes = FrameBytes(i64Module + 12 + 8 + 4 + baName.size()) + FrameBytes(i64Module + 12);
    for (qint64 i64Left = i64Image; i64Left > 0; i64Left -= SerialFrame::CHUNK)
        i64Bytes += FrameBytes(4 + qMin<qint64>(i64Left, SerialFrame::CHUNK)) + FrameBytes(4);
    return i64Bytes;
}

bool RunCase(int i32Kib, int i32Baud)
{
    SerialDevsim sim;
    QString strError;
    if (!sim.Start({{"serial_baud", i32Baud}, {"install_ms", 0}}, &strError)) {
        std::fprintf(stderr, "bench_serial: %s\n", qPrintable(strError));
        return false;
    }
    const qint64 i64Size = i32Kib * 1024LL;
    QByteArray baImage(static_cast<int>(i64Size), Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(baImage.data()), baImage.size() / 4);
    QFile file(sim.TempPath(QStringLiteral("mcu-bench.bin")));
    if (!file.open(QIODevice::WriteOnly) || file.write(baImage) != i64Size)
        return false;
    file.close();

    T_BaseDevInfo stDev;
    stDev.strHostName = QStringLiteral("Atmel_MCU");
    stDev.strAddr = sim.Port();
    stDev.u32Port = static_cast<quint32>(i32Baud);
    CSerialMaintain session(stDev);
    QEventLoop loop;
    QTimer watchdog;
    QElapsedTimer clock;
    qint64 i64UploadNs = -1;
    bool bOk = false;
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    QObject::connect(&session, &CBaseMaintainSession::OnUpgradeNotify, &loop,
                     [&](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool bError, bool bFinished, int) {
                         if (strStep == QLatin1String("Upload Completed") && i64UploadNs < 0)
                             i64UploadNs = clock.nsecsElapsed();
                         if (bError || bFinished) {
                             bOk = !bError;
                             loop.exit(0);
                         }
                         watchdog.start(CSerialMaintain::REPORT_GAP_MS);
                     });
    clock.start();
    if (session.StartUpgrade({QStringLiteral("Atmel_MCU"), 0, file.fileName()}) != CMD_OK) {
        std::fprintf(stderr, "bench_serial: cannot start: %s\n", qPrintable(session.LastError()));
        return false;
    }
    watchdog.start(CSerialMaintain::ANSWER_MS);
    loop.exec();
    const QList<QJsonObject> images = sim.Events(QStringLiteral("image"));
    if (!bOk || i64UploadNs < 0 || images.size() != 1 || images[0].value("size").toDouble() != i64Size) {
        std::fprintf(stderr, "bench_serial: upgrade failed: %s\n", qPrintable(session.LastError()));
        return false;
    }
    const qint64 i64Wire = UploadWireBytes(i64Size, QByteArrayLiteral("mcu-bench"));
    const double dBound = i64Wire * 10.0 / i32Baud;
    const double dUpload = i64UploadNs / 1e9;
    std::printf("serial upload %5d KiB at %6d baud: %8.3f s; line needs %8.3f s for %lld bytes both ways; "
                "%.1f %% of line rate (bootloader tools: about 30 %%)\n",
                i32Kib, i32Baud, dUpload, dBound, static_cast<long long>(i64Wire), 100.0 * dBound / dUpload);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    qRegisterMetaType<T_BaseDevInfo>("T_BaseDevInfo");
    qRegisterMetaType<T_UpgradeInfo>("T_UpgradeInfo");
    QString strCases = QStringLiteral("256:115200,1024:921600");
    const QStringList args = app.arguments();
    const int i32At = args.indexOf(QStringLiteral("--cases"));
    if (i32At > 0 && i32At + 1 < args.size())
        strCases = args.at(i32At + 1);
    for (const QString &strCase : strCases.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int i32Kib = strCase.section(QLatin1Char(':'), 0, 0).toInt();
        const int i32Baud = strCase.section(QLatin1Char(':'), 1, 1).toInt();
        if (i32Kib <= 0 || i32Baud <= 0) {
            std::fprintf(stderr, "usage: bench_serial [--cases KIB:BAUD,...]\n");
            return 2;
        }
        if (!RunCase(i32Kib, i32Baud))
            return 1;
    }
    return 0;
}
