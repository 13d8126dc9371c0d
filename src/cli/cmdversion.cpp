// version HOST --module ID [--addr A]: the version of one module of a device.
#include "clicommands.h"
#include "clicommon.h"

#include "http/chttpupgrade.h"
#include "http/httpversionpage.h"
#include "product/hostmodel.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"
#include "sysinfo/csysinforows.h"
#include "upgradeconf/cupgradeconfig.h"

using namespace VelmoraCli;

namespace
{

// Web-server models have a single module; its version is the version page's "version".
int HttpVersion(const T_BaseDevInfo &stDev)
{
    QByteArray baPage;
    if (!ReadHttpVersionPage(stDev, QStringLiteral("version"), &baPage))
        return EXIT_FAILED;
    PrintOut(PrintableText(Velmora::HttpPageVersion(baPage)).trimmed() + QLatin1Char('\n'));
    return EXIT_OK;
}

int VazaVersion(const T_BaseDevInfo &stDev, const QString &strModule)
{
    CRequestWatch watch; // outlives the agent whose session finishes it
    CMaintainAgent agent;
    agent.AddDevice(stDev);
    CBaseMaintainSession *pSession = agent.GetSession(stDev.strHostName);
    if (!pSession) {
        PrintDeviceError(stDev.strHostName, QStringLiteral("version"), QStringLiteral("no session"));
        return EXIT_FAILED;
    }
    const QByteArray baModule = strModule.toUtf8();
    bool bError = true;
    QByteArray baVersion;
    // The agent does not relay version answers: they come from the session itself.
    QObject::connect(pSession, &CBaseMaintainSession::OnVersionQueryNotify,
                     [&](T_BaseDevInfo, bool bErr, QByteArray strDevAddr, UInt32, QByteArray strVersion) {
                         if (strDevAddr.trimmed() != baModule)
                             return;
                         bError = bErr;
                         baVersion = strVersion;
                         watch.Finish();
                     });
    // Modules are addressed by identifier alone; the forms send port 0 as well.
    const E_CmdResult eResult = pSession->QueryVersion(baModule, 0);
    // CMD_CONNECT_FAIL only means the request waits for the connection and log-in; the
    // watchdog decides whether it ever got an answer.
    if (eResult != CMD_OK && eResult != CMD_CONNECT_FAIL) {
        PrintDeviceError(stDev.strHostName, QStringLiteral("version"),
                         Velmora::CmdResultText(eResult, E_CmdKind::VersionQuery, pSession->LastError()));
        return EXIT_FAILED;
    }
    if (!watch.Wait()) {
        const QString strLast = pSession->LastError();
        PrintDeviceError(stDev.strHostName, QStringLiteral("version"),
                         strLast.isEmpty() ? QStringLiteral("time out") : strLast);
        return EXIT_FAILED;
    }
    if (bError) {
        PrintDeviceError(stDev.strHostName, QStringLiteral("version"),
                         QStringLiteral("module '%1' refused the query").arg(strModule));
        return EXIT_FAILED;
    }
    PrintOut(PrintableText(QString::fromUtf8(baVersion)) + QLatin1Char('\n'));
    return EXIT_OK;
}

} // namespace

int RunVersion(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption module(QStringLiteral("module"),
                                    QStringLiteral("The module's identifier, as upgrade.conf names it."),
                                    QStringLiteral("ID"));
    parser.addOption(module);
    AddAddrOption(parser);
    const int iParsed =
        ParseArgs(parser, args, QStringLiteral("Reads the version of one module of a device.") + HostHelp(),
                  QStringLiteral("HOST --module ID [--addr A]"), 1, 1);
    if (iParsed >= 0)
        return iParsed;
    const QString strModule = parser.value(module).trimmed();
    if (strModule.isEmpty()) {
        PrintError(QStringLiteral("--module ID is required"));
        return EXIT_USAGE;
    }
    T_BaseDevInfo stDev;
    if (const int iResolved = ResolveHostArgument(parser, &stDev); iResolved >= 0)
        return iResolved;
    // The modules are upgrade.conf's, as for upgrade: a mistyped one is the operator's mistake,
    // not a device that refused the query.
    const QString strModel = Velmora::ModelOfHostName(stDev.strHostName);
    const T_UpgradeConf stConf = ReadUpgradeConf(DefaultUpgradeConfPath(), strModel);
    if (stConf.eStatus != E_UpgradeConfStatus::Ok)
        return Usage(UpgradeConfErrorText(stConf));
    QStringList lstIds;
    for (const T_ModuleRow &stRow : stConf.lstModules)
        lstIds << stRow.strId;
    if (lstIds.isEmpty())
        return Usage(QStringLiteral("'%1' lists no modules for type %2").arg(stConf.strPath, strModel));
    if (!lstIds.contains(strModule))
        return Usage(QStringLiteral("unknown module '%1' for type %2 (upgrade.conf has: %3)")
                         .arg(strModule, strModel, lstIds.join(QStringLiteral(", "))));
    return Velmora::IsHttpHostModel(stDev.strHostName) ? HttpVersion(stDev) : VazaVersion(stDev, strModule);
}
