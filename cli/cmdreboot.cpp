// reboot HOST... [--addr A]: reboot devices over their telnet shell, all at once.
#include "clicommands.h"
#include "clicommon.h"

#include "sysinfo/csysinforows.h"
#include "tavcomm/ctelnetcomm.h"
#include "tavcomm/ctelnetnamereader.h"

#include <QPointer>

using namespace VelmoraCli;

namespace
{

// One device's reboot: a channel that types "reboot" after the login. The device prints a
// line while going down and closes; that line is the success.
struct T_Reboot {
    T_BaseDevInfo stDev;
    QPointer<CTelnetComm> pComm;
    bool bConnected = false;
    bool bDone = false;
    QString strReason;
    QByteArray baLastText;
};

} // namespace

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
            const int iIndex = FindDevice(lstFound, strHost);
            if (iIndex < 0) {
                PrintDeviceError(strHost, QStringLiteral("search"), QStringLiteral("not found"));
                iExit = EXIT_FAILED;
                continue;
            }
            bool bTwice = false;
            for (const T_BaseDevInfo &st : qAsConst(lstTargets))
                bTwice = bTwice || st.strHostName == lstFound.at(iIndex).strHostName;
            if (!bTwice)
                lstTargets.append(lstFound.at(iIndex));
        }
    }

    CRequestWatch watch;
    QList<T_Reboot *> lstRuns;
    int iOpen = 0;
    auto finish = [&](T_Reboot *pRun, const QString &strReason) {
        if (pRun->bDone)
            return;
        pRun->bDone = true;
        pRun->strReason = strReason;
        // Disposed of on its final result: nothing is left behind per reboot.
        if (pRun->pComm) {
            pRun->pComm->disconnect();
            pRun->pComm->deleteLater();
        }
        if (--iOpen == 0)
            watch.Finish();
    };
    for (const T_BaseDevInfo &stDev : qAsConst(lstTargets)) {
        auto *pRun = new T_Reboot;
        pRun->stDev = stDev;
        lstRuns.append(pRun);
        // Every model takes the "gb" prefix here; "reboot" itself carries none.
        auto *pComm = new CTelnetComm(QStringLiteral("gb"), QString(), stDev.strAddr, 24);
        pRun->pComm = pComm;
        ++iOpen;
        QObject::connect(pComm, &CBaseComm::OnConnected, [pRun] { pRun->bConnected = true; });
        QObject::connect(pComm, &CBaseComm::OnRecvData,
                         [pRun](const QByteArray &ba) { pRun->baLastText = ba.right(256); });
        QObject::connect(pComm, &CBaseComm::OnSendQueueReturn, [pRun, &finish](E_CommResult eResult) {
            finish(pRun, TelnetFailureReason(eResult, pRun->bConnected, pRun->baLastText));
        });
        if (!pComm->Connect()) {
            finish(pRun, QStringLiteral("not an IP address"));
            continue;
        }
        pComm->Reboot();
    }
    if (!lstRuns.isEmpty())
        watch.Wait(); // a run still open afterwards is a time-out
    for (T_Reboot *pRun : qAsConst(lstRuns)) {
        if (!pRun->bDone)
            finish(pRun, QStringLiteral("time out"));
        if (pRun->strReason.isEmpty()) {
            PrintOut(QStringLiteral("%1: rebooting\n").arg(PrintableText(pRun->stDev.strHostName)));
        } else {
            PrintDeviceError(pRun->stDev.strHostName, QStringLiteral("reboot"), pRun->strReason);
            iExit = EXIT_FAILED;
        }
        delete pRun;
    }
    return iExit;
}
