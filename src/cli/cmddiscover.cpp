// discover [--passes N] [--json] [--names]: the known devices of one or more searches.
#include "clicommands.h"
#include "clicommon.h"

#include "sysinfo/csysinforows.h"
#include "telnet/ctelnetnamereader.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

using namespace VelmoraCli;

namespace
{

// Telnet channels open at once while names are read: a site of hundreds of devices must not
// take hundreds of descriptors and logins at the same moment.
constexpr int kMaxNameChannels = 32;

// Each device's own name, by address (boxes may share a host name); a device whose read
// failed is left out after its reason went to stderr. False when any read failed.
bool ReadNames(QList<T_BaseDevInfo> lstDevices, QHash<QString, QString> *pNames)
{
    bool bAllRead = true;
    // A reader keeps one job per host name: boxes sharing one are read in a pass of their own.
    while (!lstDevices.isEmpty()) {
        // Every channel ends by itself (its silence checker); the watch is the last resort.
        CRequestWatch watch(kRequestTimeoutMs + CBaseComm::kCheckerMs);
        CTelnetNameReader reader(kMaxNameChannels);
        QObject::connect(&reader, &CTelnetNameReader::nameRead, [&](const T_TelnetNameResult &st) {
            if (st.bOk) {
                pNames->insert(st.strAddr, st.strName);
            } else {
                PrintDeviceError(st.strHostName, QStringLiteral("name"), st.strReason);
                bAllRead = false;
            }
            // Names take as long as the slowest device: one that answers is no stall.
            watch.Restart();
        });
        QObject::connect(&reader, &CTelnetNameReader::finished, [&] { watch.Finish(); });
        QList<T_BaseDevInfo> lstThisPass;
        QList<T_BaseDevInfo> lstLater;
        QSet<QString> setHosts;
        for (const T_BaseDevInfo &stDev : qAsConst(lstDevices)) {
            (setHosts.contains(stDev.strHostName) ? lstLater : lstThisPass) << stDev;
            setHosts.insert(stDev.strHostName);
        }
        for (const T_BaseDevInfo &stDev : qAsConst(lstThisPass))
            reader.Add(stDev.strHostName, stDev.strAddr);
        reader.Start();
        if (!watch.Wait()) {
            for (const T_BaseDevInfo &stDev : lstThisPass)
                if (!pNames->contains(stDev.strAddr))
                    PrintDeviceError(stDev.strHostName, QStringLiteral("name"), QStringLiteral("time out"));
            bAllRead = false;
        }
        lstDevices = lstLater;
    }
    return bAllRead;
}

} // namespace

int RunDiscover(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption passes(QStringLiteral("passes"),
                                    QStringLiteral("Run N searches and merge what they find (default 1)."),
                                    QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON array."));
    const QCommandLineOption names(QStringLiteral("names"),
                                   QStringLiteral("Also read each device's own name over telnet, in parallel."));
    parser.addOption(passes);
    parser.addOption(json);
    parser.addOption(names);
    const int iParsed = ParseArgs(parser, args,
                                  QStringLiteral("Searches every local IPv4 network and lists the devices whose "
                                                 "model is in config.xml: host name, display name, address, kind."),
                                  QStringLiteral("[--passes N] [--json] [--names]"), 0, 0);
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
    const bool bNames = parser.isSet(names);
    QHash<QString, QString> hashNames;
    const int iExit = !bNames || ReadNames(lstDevices, &hashNames) ? EXIT_OK : EXIT_FAILED;
    if (parser.isSet(json)) {
        QJsonArray arr;
        for (const T_BaseDevInfo &stDev : lstDevices) {
            QJsonObject obj{{QStringLiteral("hostName"), stDev.strHostName},
                            {QStringLiteral("displayName"), stDev.strDispName},
                            {QStringLiteral("address"), stDev.strAddr},
                            {QStringLiteral("kind"), stDev.strKind}};
            if (bNames)
                obj.insert(QStringLiteral("name"), hashNames.contains(stDev.strAddr)
                                                       ? QJsonValue(hashNames.value(stDev.strAddr))
                                                       : QJsonValue());
            arr.append(obj);
        }
        PrintJson(arr);
        return iExit;
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
    for (const T_BaseDevInfo &stDev : lstDevices) {
        strOut += QStringLiteral("%1  %2  %3  %4")
                      .arg(PrintableText(stDev.strHostName), -iHostWidth)
                      .arg(PrintableText(stDev.strDispName), -iNameWidth)
                      .arg(stDev.strAddr, -iAddrWidth)
                      .arg(stDev.strKind, bNames ? -2 : 0);
        // The device's own name last: it is free text and may hold blanks.
        if (bNames)
            strOut += QStringLiteral("  ") + PrintableText(hashNames.value(stDev.strAddr, QStringLiteral("-")));
        strOut += QLatin1Char('\n');
    }
    PrintOut(strOut);
    return iExit;
}
