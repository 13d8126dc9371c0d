// discover [--passes N] [--json]: the known devices of one or more searches.
#include "clicommands.h"
#include "clicommon.h"

#include "sysinfo/csysinforows.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace VelmoraCli;

int RunDiscover(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption passes(QStringLiteral("passes"),
                                    QStringLiteral("Run N searches and merge what they find (default 1)."),
                                    QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON array."));
    parser.addOption(passes);
    parser.addOption(json);
    const int iParsed = ParseArgs(parser, args,
                                  QStringLiteral("Searches every local IPv4 network and lists the devices whose "
                                                 "model is in config.xml: host name, display name, address, kind."),
                                  QStringLiteral("[--passes N] [--json]"), 0, 0);
    if (iParsed >= 0)
        return iParsed;
    bool bOk = false;
    const int iSearches = parser.value(passes).toInt(&bOk);
    if (!bOk || iSearches < 1 || iSearches > 100) {
        PrintError(QStringLiteral("--passes takes a number from 1 to 100"));
        return EXIT_USAGE;
    }
    if (!LoadConfig())
        return EXIT_USAGE;

    const QList<T_BaseDevInfo> lstDevices = SearchDevices(iSearches);
    if (parser.isSet(json)) {
        QJsonArray arr;
        for (const T_BaseDevInfo &stDev : lstDevices)
            arr.append(QJsonObject{{QStringLiteral("hostName"), stDev.strHostName},
                                   {QStringLiteral("displayName"), stDev.strDispName},
                                   {QStringLiteral("address"), stDev.strAddr},
                                   {QStringLiteral("kind"), stDev.strKind}});
        PrintJson(arr);
        return EXIT_OK;
    }
    int iHostWidth = 0;
    int iNameWidth = 0;
    int iAddrWidth = 0;
    for (const T_BaseDevInfo &stDev : lstDevices) {
        iHostWidth = qMax(iHostWidth, stDev.strHostName.size());
        iNameWidth = qMax(iNameWidth, stDev.strDispName.size());
        iAddrWidth = qMax(iAddrWidth, stDev.strAddr.size());
    }
    QString strOut;
    for (const T_BaseDevInfo &stDev : lstDevices)
        strOut += QStringLiteral("%1  %2  %3  %4\n")
                      .arg(PrintableText(stDev.strHostName), -iHostWidth)
                      .arg(PrintableText(stDev.strDispName), -iNameWidth)
                      .arg(stDev.strAddr, -iAddrWidth)
                      .arg(stDev.strKind);
    PrintOut(strOut);
    return EXIT_OK;
}
