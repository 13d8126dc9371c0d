// serial --port PATH --baud N (version | upgrade FILE) [--json]: the microcontroller on a
// serial line, with the same session and the same time limits as the serial window.
#include "clicommands.h"
#include "clicommon.h"

#include "common/timescale.h"
#include "serial/cserialmaintain.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace VelmoraCli;

namespace
{

const QString kHost = QString::fromLatin1(CSerialMaintain::MCU_MODULE);

struct T_Outcome {
    bool bOk = false;
    QString strStep;   // where it ended
    QString strReason; // why it failed
    QString strVersion;
};

QString RefusalReason(E_CmdResult eResult, const CSerialMaintain &session)
{
    const QString strLast = session.LastError();
    switch (eResult) {
    case CMD_CONNECT_FAIL:
        return strLast.isEmpty() ? QStringLiteral("serial port is not open") : strLast;
    case CMD_BUSY:
        return QStringLiteral("busy");
    case CMD_NOT_SUPPORT:
        return QStringLiteral("not supported");
    default:
        return strLast.isEmpty() ? QStringLiteral("refused") : strLast;
    }
}

// Waits for one version answer within the answer limit.
T_Outcome QueryVersion(CSerialMaintain &session)
{
    T_Outcome st;
    st.strStep = QStringLiteral("version");
    QEventLoop loop;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    QObject::connect(&session, &CBaseMaintainSession::OnVersionQueryNotify, &loop,
                     [&](T_BaseDevInfo, bool bError, QByteArray, UInt32, QByteArray strVersion) {
                         st.bOk = !bError;
                         st.strVersion = QString::fromUtf8(strVersion);
                         if (bError)
                             st.strReason = QStringLiteral("the controller refused the query");
                         loop.exit(0);
                     });
    const E_CmdResult eResult = session.QueryVersion(QByteArray(CSerialMaintain::MCU_MODULE), 0);
    if (eResult != CMD_OK) {
        st.strReason = RefusalReason(eResult, session);
        return st;
    }
    watchdog.start(Velmora::ScaledMs(CSerialMaintain::ANSWER_MS));
    if (loop.exec() != 0)
        st.strReason =
            QStringLiteral("operation timeout: no answer within %1 s").arg(CSerialMaintain::ANSWER_MS / 1000);
    return st;
}

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

T_Outcome Upgrade(CSerialMaintain &session, const QString &strFile, bool bQuiet)
{
    T_Outcome st;
    st.strStep = QStringLiteral("start");
    QEventLoop loop;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    CProgressLine progress;
    bool bReported = false;
    QObject::connect(
        &session, &CBaseMaintainSession::OnUpgradeNotify, &loop,
        [&](T_BaseDevInfo, T_UpgradeInfo, QString strCurStep, bool bError, bool bFinished, int i32CurProgress) {
            st.strStep = strCurStep;
            bReported = true;
            if (bError) {
                st.strReason = session.LastError().isEmpty() ? QStringLiteral("failed") : session.LastError();
                loop.exit(0);
                return;
            }
            if (!bQuiet)
                progress.Show(strCurStep, i32CurProgress);
            if (bFinished) {
                st.bOk = true;
                loop.exit(0);
                return;
            }
            watchdog.start(Velmora::ScaledMs(CSerialMaintain::REPORT_GAP_MS));
        });
    const T_UpgradeInfo stInfo{kHost, 0, strFile};
    const E_CmdResult eResult = session.StartUpgrade(stInfo);
    if (eResult != CMD_OK) {
        st.strReason = RefusalReason(eResult, session);
        return st;
    }
    watchdog.start(Velmora::ScaledMs(CSerialMaintain::ANSWER_MS));
    if (loop.exec() != 0) {
        session.AbortCmd();
        const int iLimitMs = bReported ? CSerialMaintain::REPORT_GAP_MS : CSerialMaintain::ANSWER_MS;
        st.strReason = QStringLiteral("operation timeout: no report within %1 s").arg(iLimitMs / 1000);
    }
    progress.End();
    return st;
}

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
    const QString strFile = bUpgrade ? positional.at(1) : QString();
    if (bUpgrade && !QFileInfo(strFile).isFile()) {
        PrintError(QStringLiteral("no such file: %1").arg(strFile));
        return EXIT_USAGE;
    }

    T_BaseDevInfo stDev;
    stDev.strHostName = kHost;
    stDev.strAddr = strPort;
    stDev.u32Port = u32Baud;
    const bool bJson = parser.isSet(json);
    T_Outcome st;
    QString strVersionError;
    {
        CSerialMaintain session(stDev);
        if (bUpgrade) {
            st = Upgrade(session, strFile, bJson);
            if (st.bOk) {
                // The version the controller now runs; a failure here does not undo the upgrade.
                const T_Outcome stVersion = QueryVersion(session);
                st.strVersion = stVersion.strVersion;
                strVersionError = stVersion.strReason;
            }
        } else {
            st = QueryVersion(session);
        }
    }
    if (bJson) {
        QJsonObject o{{"port", strPort}, {"baud", static_cast<double>(u32Baud)}, {"ok", st.bOk}, {"step", st.strStep}};
        if (!st.strVersion.isEmpty() || st.bOk)
            o.insert(QStringLiteral("version"), st.strVersion);
        if (!st.strReason.isEmpty())
            o.insert(QStringLiteral("error"), st.strReason);
        if (!strVersionError.isEmpty())
            o.insert(QStringLiteral("version_error"), strVersionError);
        PrintJson(o);
    } else if (st.bOk) {
        if (bUpgrade)
            PrintOut(QStringLiteral("%1: upgrade succeeded%2\n")
                         .arg(kHost, strVersionError.isEmpty() ? QStringLiteral(", version ") + st.strVersion
                                                               : QStringLiteral(", but the version query failed")));
        else
            PrintOut(st.strVersion + QLatin1Char('\n'));
    }
    if (!st.bOk)
        PrintDeviceError(kHost, st.strStep, st.strReason);
    else if (!strVersionError.isEmpty())
        PrintDeviceError(kHost, QStringLiteral("version"), strVersionError);
    return st.bOk ? EXIT_OK : EXIT_FAILED;
}
