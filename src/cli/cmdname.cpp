// name HOST [--addr A]: the name a device keeps for itself, read over its telnet shell.
#include "clicommands.h"
#include "clicommon.h"

#include "sysinfo/csysinforows.h"
#include "telnet/ctelnetnamereader.h"

using namespace VelmoraCli;

int RunName(const QStringList &args)
{
    QCommandLineParser parser;
    AddAddrOption(parser);
    const int iParsed =
        ParseArgs(parser, args,
                  QStringLiteral("Reads the name a device keeps for itself (its \"name\" parameter, decoded) over "
                                 "telnet.") +
                      HostHelp(),
                  QStringLiteral("HOST [--addr A]"), 1, 1);
    if (iParsed >= 0)
        return iParsed;
    T_BaseDevInfo stDev;
    if (const int iResolved = ResolveHostArgument(parser, &stDev); iResolved >= 0)
        return iResolved;

    CRequestWatch watch;
    CTelnetNameReader reader(1);
    T_TelnetNameResult stResult;
    QObject::connect(&reader, &CTelnetNameReader::nameRead, [&](const T_TelnetNameResult &st) {
        stResult = st;
        watch.Finish();
    });
    reader.Add(stDev.strHostName, stDev.strAddr);
    reader.Start();
    if (!watch.Wait()) {
        PrintDeviceError(stDev.strHostName, QStringLiteral("name"), QStringLiteral("time out"));
        return EXIT_FAILED;
    }
    if (!stResult.bOk) {
        PrintDeviceError(stDev.strHostName, QStringLiteral("name"), stResult.strReason);
        return EXIT_FAILED;
    }
    PrintOut(PrintableText(stResult.strName) + QLatin1Char('\n'));
    return EXIT_OK;
}
