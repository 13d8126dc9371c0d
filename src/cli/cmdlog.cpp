// log HOST [--addr A] [-o FILE]: a device's log, to stdout or a file.
#include "clicommands.h"
#include "clicommon.h"

#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"

#include <QFile>

#include <cstdio>
#include <unistd.h>

using namespace VelmoraCli;

int RunLog(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write the log to FILE instead of stdout."), QStringLiteral("FILE"));
    parser.addOption(output);
    AddAddrOption(parser);
    const int iParsed = ParseArgs(parser, args, QStringLiteral("Downloads a device's log.") + HostHelp(),
                                  QStringLiteral("HOST [--addr A] [-o FILE]"), 1, 1);
    if (iParsed >= 0)
        return iParsed;
    T_BaseDevInfo stDev;
    if (const int iResolved = ResolveHostArgument(parser, &stDev); iResolved >= 0)
        return iResolved;
    if (Velmora::IsHttpHostModel(stDev.strHostName)) {
        // The web-server models offer no log: the refusal a session would give for it.
        PrintDeviceError(stDev.strHostName, QStringLiteral("log"),
                         Velmora::CmdResultText(CMD_NOT_SUPPORT, E_CmdKind::Log));
        return EXIT_USAGE;
    }

    QFile file;
    // On a terminal the log's control characters are shown, never obeyed (an ESC [2J would clear
    // the screen); into a file or a pipe the log goes byte for byte.
    const bool bTerminal = !parser.isSet(output) && isatty(fileno(stdout)) == 1;
    QByteArray baCarry;
    if (parser.isSet(output)) {
        file.setFileName(parser.value(output));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            PrintError(QStringLiteral("cannot write '%1': %2").arg(file.fileName(), file.errorString()));
            return EXIT_USAGE;
        }
    } else if (!file.open(stdout, QIODevice::WriteOnly)) {
        PrintError(QStringLiteral("cannot write to stdout"));
        return EXIT_USAGE;
    }

    CRequestWatch watch; // outlives the agent whose signal finishes it
    CMaintainAgent agent;
    agent.AddDevice(stDev);
    bool bFailed = false;
    QString strReason;
    QObject::connect(&agent, &CMaintainAgent::OnDownloadLogNotify,
                     [&](T_BaseDevInfo stFrom, QByteArray strLogText, bool bError, bool bFinished) {
                         if (stFrom.strHostName != stDev.strHostName)
                             return;
                         if (bError) {
                             bFailed = true;
                             strReason = QString::fromUtf8(strLogText);
                             watch.Finish();
                             return;
                         }
                         const QByteArray baText =
                             bTerminal ? VisibleControls(strLogText, &baCarry, bFinished) : strLogText;
                         if (file.write(baText) != baText.size()) {
                             bFailed = true;
                             strReason = QStringLiteral("cannot write: %1").arg(file.errorString());
                             watch.Finish();
                             return;
                         }
                         if (bFinished)
                             watch.Finish();
                         else
                             watch.Restart(); // a long log that keeps arriving is not stalled
                     });
    const E_CmdResult eResult = agent.DownloadLog(stDev.strHostName);
    if (eResult != CMD_OK) {
        bFailed = true;
        strReason = Velmora::CmdResultText(eResult, E_CmdKind::Log, agent.LastError(stDev.strHostName));
    } else if (!watch.Wait()) {
        bFailed = true;
        strReason = QStringLiteral("time out");
    }
    if (bFailed && eResult == CMD_OK && !agent.LastError(stDev.strHostName).isEmpty())
        strReason = agent.LastError(stDev.strHostName);
    agent.AbortCmd(stDev.strHostName);
    file.close();
    if (bFailed) {
        // Half a log in a file looks like a whole one later.
        if (parser.isSet(output))
            file.remove();
        PrintDeviceError(stDev.strHostName, QStringLiteral("log"),
                         strReason.isEmpty() ? QStringLiteral("failed") : strReason);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
