// reboot HOST... [--addr A]: reboot devices over their telnet shell, all at once.
#include "clicommands.h"
#include "clicommon.h"

#include "sysinfo/csysinforows.h"
#include "telnet/ctelnetreboot.h"

#include <QHash>

using namespace VelmoraCli;

int RunReboot(const QStringList &args)
{
    QCommandLineParser parser;
    AddAddrOption(parser);
    const int iParsed = ParseArgs(
        parser, args,
        QStringLiteral("Reboots devices over telnet. Each HOST is a host name, display name or address that one "
                       "search finds; with --addr, a single host name at that address."),
        QStringLiteral("HOST... [--addr A]"), 1, 1000);
    if (iParsed >= 0)
        return iParsed;
    if (!LoadConfig())
        return EXIT_USAGE;
    const QStringList hosts = parser.positionalArguments().mid(1);
    const QString strAddr = parser.value(QStringLiteral("addr"));
    if (!strAddr.isEmpty() && hosts.size() != 1) {
        PrintError(QStringLiteral("--addr takes a single HOST"));
        return EXIT_USAGE;
    }

    int iExit = EXIT_OK;
    QList<T_BaseDevInfo> lstTargets;
    if (!strAddr.isEmpty()) {
        T_BaseDevInfo stDev;
        const int iResolved = ResolveDevice(hosts.first(), strAddr, &stDev);
        if (iResolved >= 0)
            return iResolved;
        lstTargets.append(stDev);
    } else {
        const QList<T_BaseDevInfo> lstFound = SearchDevices(1);
        for (const QString &strHost : hosts) {
            const int iIndex = FindOneDevice(lstFound, strHost);
            if (iIndex == -2) {
                const QString strShared = lstFound.at(FindDevice(lstFound, strHost)).strHostName;
                PrintDeviceError(strShared, QStringLiteral("search"),
                                 SharedHostNameText(lstFound, strShared, QStringLiteral("HOST --addr A")));
                iExit = EXIT_FAILED;
                continue;
            }
            if (iIndex < 0) {
                PrintDeviceError(strHost, QStringLiteral("search"), QStringLiteral("not found"));
                iExit = EXIT_FAILED;
                continue;
            }
            bool bTwice = false;
            for (const T_BaseDevInfo &st : qAsConst(lstTargets))
                bTwice = bTwice || st.strAddr == lstFound.at(iIndex).strAddr;
            if (!bTwice)
                lstTargets.append(lstFound.at(iIndex));
        }
    }

    CRequestWatch watch;
    QList<CTelnetReboot *> lstRuns;
    QHash<CTelnetReboot *, QString> results;
    int iOpen = 0;
    for (const T_BaseDevInfo &stDev : qAsConst(lstTargets)) {
        auto *pRun = new CTelnetReboot(stDev.strHostName, stDev.strAddr);
        lstRuns.append(pRun);
        QObject::connect(pRun, &CTelnetReboot::finished, [&, pRun](const QString &, const QString &strReason) {
            results.insert(pRun, strReason);
            if (--iOpen == 0)
                watch.Finish();
        });
        ++iOpen;
        if (!pRun->Start()) {
            results.insert(pRun, QStringLiteral("not an IP address"));
            --iOpen;
        }
    }
    if (iOpen > 0)
        watch.Wait();
    for (CTelnetReboot *pRun : qAsConst(lstRuns)) {
        // A run still open afterwards is a time-out.
        const QString strReason = results.value(pRun, QStringLiteral("time out"));
        if (strReason.isEmpty()) {
            PrintOut(QStringLiteral("%1: rebooting\n").arg(PrintableText(pRun->HostName())));
        } else {
            PrintDeviceError(pRun->HostName(), QStringLiteral("reboot"), strReason);
            iExit = EXIT_FAILED;
        }
        delete pRun;
    }
    return iExit;
}
