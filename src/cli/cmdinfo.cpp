// info HOST [--addr A] [--json]: a device's system information as rows.
#include "clicommands.h"
#include "clicommon.h"

#include "http/chttpupgrade.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"
#include "session/cmdresulttext.h"
#include "sysinfo/csysinforows.h"

using namespace VelmoraCli;

namespace
{

// Web-server models answer with their version page; the rest with the Vaza document.
bool ReadHttpRows(const T_BaseDevInfo &stDev, QList<T_InfoRow> *plstRows)
{
    QByteArray baPage;
    if (!ReadHttpVersionPage(stDev, QStringLiteral("info"), &baPage))
        return false;
    *plstRows = HttpVersionRows(baPage);
    return true;
}

bool ReadVazaRows(const T_BaseDevInfo &stDev, QList<T_InfoRow> *plstRows)
{
    CRequestWatch watch; // outlives the agent whose signal finishes it
    CMaintainAgent agent;
    agent.AddDevice(stDev);
    bool bError = true;
    QByteArray baData;
    CBaseMaintainSession::E_InfoDataType eType = CBaseMaintainSession::INFO_XML;
    QObject::connect(
        &agent, &CMaintainAgent::OnSysInfoNotify,
        [&](T_BaseDevInfo stFrom, bool bErr, CBaseMaintainSession::E_InfoDataType eDataType, QByteArray strData) {
            if (stFrom.strHostName != stDev.strHostName)
                return;
            bError = bErr;
            eType = eDataType;
            baData = strData;
            watch.Finish();
        });
    const E_CmdResult eResult = agent.GetSysInfo(stDev.strHostName);
    if (eResult != CMD_OK) {
        PrintDeviceError(stDev.strHostName, QStringLiteral("info"),
                         Velmora::CmdResultText(eResult, E_CmdKind::SysInfo, agent.LastError(stDev.strHostName)));
        return false;
    }
    const bool bAnswered = watch.Wait();
    const QString strLastError = agent.LastError(stDev.strHostName);
    agent.AbortCmd(stDev.strHostName);
    if (!bAnswered || bError) {
        QString strReason = strLastError;
        if (strReason.isEmpty())
            strReason = bAnswered ? QString::fromUtf8(baData) : QStringLiteral("time out");
        PrintDeviceError(stDev.strHostName, QStringLiteral("info"), strReason);
        return false;
    }
    *plstRows = eType == CBaseMaintainSession::INFO_JSON ? JsonInfoRows(baData) : XmlInfoRows(baData);
    return true;
}

} // namespace

int RunInfo(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the rows as JSON."));
    parser.addOption(json);
    AddAddrOption(parser);
    const int iParsed = ParseArgs(parser, args, QStringLiteral("Reads a device's system information.") + HostHelp(),
                                  QStringLiteral("HOST [--addr A] [--json]"), 1, 1);
    if (iParsed >= 0)
        return iParsed;
    T_BaseDevInfo stDev;
    if (const int iResolved = ResolveHostArgument(parser, &stDev); iResolved >= 0)
        return iResolved;

    QList<T_InfoRow> lstRows;
    const bool bOk =
        Velmora::IsHttpHostModel(stDev.strHostName) ? ReadHttpRows(stDev, &lstRows) : ReadVazaRows(stDev, &lstRows);
    if (!bOk)
        return EXIT_FAILED;
    if (parser.isSet(json))
        PrintJson(InfoRowsJson(lstRows));
    else
        PrintOut(InfoRowsText(lstRows));
    return EXIT_OK;
}
