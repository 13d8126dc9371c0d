// serial --port PATH --baud N (version | upgrade FILE) [--json]: the microcontroller on a
// serial line, through the same runner as the serial window, so both end an operation alike.
#include "clicommands.h"
#include "clicommon.h"

#include "serial/cserialmaintain.h"
#include "serial/cserialupgraderunner.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

using namespace VelmoraCli;

namespace
{

const QString kHost = QString::fromLatin1(CSerialMaintain::MCU_MODULE);

class CProgressLine
{
public:
    CProgressLine() : m_bTty(isatty(fileno(stderr)) != 0) {}
    ~CProgressLine() { End(); }
    void Show(const QString &strStep, int i32Progress)
    {
        const QString strLine = QStringLiteral("%1: %2 %3%").arg(kHost, strStep).arg(i32Progress);
        if (m_bTty) {
            std::fprintf(stderr, "\r%-60s", qPrintable(strLine));
            m_bOpen = true;
        } else if (strStep != m_strLastStep || i32Progress / 25 != m_i32LastQuarter) {
            // A log file gets a line per step and per quarter, not one per piece.
            std::fprintf(stderr, "%s\n", qPrintable(strLine));
        }
        std::fflush(stderr);
        m_strLastStep = strStep;
        m_i32LastQuarter = i32Progress / 25;
    }
    void End()
    {
        if (m_bOpen)
            std::fprintf(stderr, "\n");
        m_bOpen = false;
    }

private:
    bool m_bTty;
    bool m_bOpen = false;
    QString m_strLastStep;
    int m_i32LastQuarter = -1;
};

} // namespace

int RunSerial(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Serial device, e.g. /dev/ttyUSB0."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Baud rate (default 9600)."),
                                  QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the result as JSON."));
    parser.addOption(port);
    parser.addOption(baud);
    parser.addOption(json);
    const int iParsed =
        ParseArgs(parser, args,
                  QStringLiteral("Reads the version of the microcontroller on a serial line, or upgrades it with FILE "
                                 "and reads the version it then reports."),
                  QStringLiteral("--port PATH [--baud N] (version | upgrade FILE) [--json]"), 1, 2);
    if (iParsed >= 0)
        return iParsed;
    const QStringList positional = parser.positionalArguments().mid(1);
    const QString strAction = positional.value(0);
    const bool bUpgrade = strAction == QLatin1String("upgrade");
    if ((!bUpgrade && strAction != QLatin1String("version")) || positional.size() != (bUpgrade ? 2 : 1)) {
        PrintError(QStringLiteral("expected \"version\" or \"upgrade FILE\""));
        return EXIT_USAGE;
    }
    const QString strPort = parser.value(port);
    bool bNumber = false;
    const quint32 u32Baud = parser.value(baud).toUInt(&bNumber);
    if (strPort.isEmpty() || !bNumber || u32Baud == 0) {
        PrintError(strPort.isEmpty() ? QStringLiteral("--port PATH is required")
                                     : QStringLiteral("--baud needs a positive number"));
        return EXIT_USAGE;
    }
    // What the operator typed wrong is a usage error (2), not a failing controller (1).
    if (!QFileInfo::exists(strPort) && !QFileInfo::exists(QStringLiteral("/dev/") + strPort)) {
        PrintError(QStringLiteral("no such serial port: %1").arg(strPort));
        return EXIT_USAGE;
    }
    const QString strFile = bUpgrade ? positional.at(1) : QString();
    if (bUpgrade) {
        const QFileInfo info(strFile);
        QFile file(strFile);
        QString strWhy;
        if (!info.isFile())
            strWhy = QStringLiteral("no such file: %1").arg(strFile);
        else if (!file.open(QIODevice::ReadOnly))
            strWhy = QStringLiteral("cannot read '%1': %2").arg(strFile, file.errorString());
        else if (info.size() == 0)
            strWhy = QStringLiteral("the image '%1' is empty").arg(strFile);
        if (!strWhy.isEmpty()) {
            PrintError(strWhy);
            return EXIT_USAGE;
        }
    }

    const bool bJson = parser.isSet(json);
    CSerialUpgradeRunner runner(strPort, u32Baud);
    CProgressLine progress;
    if (!bJson)
        QObject::connect(&runner, &CSerialUpgradeRunner::signalProgress,
                         [&progress](const QString &strStep, int i32Progress) { progress.Show(strStep, i32Progress); });
    QEventLoop loop;
    QObject::connect(&runner, &CSerialUpgradeRunner::signalFinished, &loop, &QEventLoop::quit);
    if ((bUpgrade ? runner.StartUpgrade(strFile) : runner.QueryVersion()) == CMD_OK && runner.IsRunning())
        loop.exec();
    progress.End();

    const CSerialUpgradeRunner::T_Result &st = runner.Result();
    // The version read after an upgrade does not undo the upgrade when it fails.
    const bool bOk =
        st.eResult == CSerialUpgradeRunner::RESULT_OK || st.eResult == CSerialUpgradeRunner::RESULT_VERSION_UNREAD;
    const QString strVersion = QString::fromUtf8(st.baVersion);
    const QString strVersionError = bOk ? st.strReason : QString();
    if (bJson) {
        QJsonObject o{{"port", strPort}, {"baud", static_cast<double>(u32Baud)}, {"ok", bOk}, {"step", st.strStep}};
        if (!strVersion.isEmpty() || bOk)
            o.insert(QStringLiteral("version"), strVersion);
        if (!bOk && !st.strReason.isEmpty())
            o.insert(QStringLiteral("error"), st.strReason);
        if (!strVersionError.isEmpty())
            o.insert(QStringLiteral("version_error"), strVersionError);
        PrintJson(o);
    } else if (bOk) {
        if (bUpgrade)
            PrintOut(QStringLiteral("%1: upgrade succeeded%2\n")
                         .arg(kHost, strVersionError.isEmpty() ? QStringLiteral(", version ") + strVersion
                                                               : QStringLiteral(", but the version query failed")));
        else
            PrintOut(strVersion + QLatin1Char('\n'));
    }
    if (!bOk)
        PrintDeviceError(kHost, st.strStep, st.strReason);
    else if (!strVersionError.isEmpty())
        PrintDeviceError(kHost, QStringLiteral("version"), strVersionError);
    return bOk ? EXIT_OK : EXIT_FAILED;
}
