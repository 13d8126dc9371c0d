// velmora-cli: the maintenance operations of Velmora for scripts and terminals, over the
// same core as the window. "velmora-cli COMMAND --help" tells each command's arguments.
#include "appinfo/velmoraversion.h"
#include "clicommands.h"
#include "clicommon.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstring>

#include <sys/resource.h>

using namespace VelmoraCli;

namespace
{

// To add a subcommand: write int RunName(const QStringList &) in src/cli/cmdname.cpp, declare it
// in clicommands.h and give it a row here.
const T_CliCommand s_commands[] = {
    {"discover", "List the known devices one search finds.", RunDiscover},
    {"info", "Show a device's system information.", RunInfo},
    {"log", "Download a device's log.", RunLog},
    {"version", "Show the version of one of a device's modules.", RunVersion},
    {"upgrade", "Upgrade every device of one type, module after module.", RunUpgrade},
    {"name", "Read a device's own name over telnet.", RunName},
    {"reboot", "Reboot devices over telnet.", RunReboot},
    {"serial", "Read the version of, or upgrade, the microcontroller on a serial line.", RunSerial},
};

// bError: printed to stderr after strError (if any) for a usage error; otherwise to stdout.
int Overview(bool bError, const QString &strError = QString())
{
    QString strText = QStringLiteral("usage: velmora-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const T_CliCommand &stCmd : s_commands)
        strText +=
            QStringLiteral("  %1  %2\n").arg(QLatin1String(stCmd.pszName), -10).arg(QLatin1String(stCmd.pszHelp));
    strText += QStringLiteral("\n\"velmora-cli COMMAND --help\" describes a command.\n"
                              "exit codes: 0 all succeeded, 1 a device failed, 2 usage or configuration error\n");
    if (bError) {
        PrintError(strError.isEmpty() ? strText : strError + QLatin1Char('\n') + strText);
        return EXIT_USAGE;
    }
    PrintOut(strText);
    return EXIT_OK;
}

// An upgrade holds a maintenance connection and an FTP control and data connection per
// device: a batch of a thousand is past the usual soft limit of 1024 descriptors.
void RaiseDescriptorLimit()
{
    rlimit stLimit{};
    if (getrlimit(RLIMIT_NOFILE, &stLimit) == 0 && stLimit.rlim_cur < stLimit.rlim_max) {
        stLimit.rlim_cur = stLimit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &stLimit);
    }
}

int Run(const QStringList &args)
{
    if (args.isEmpty())
        return Overview(true);
    const QString &strCommand = args.first();
    if (strCommand == QLatin1String("--help") || strCommand == QLatin1String("-h") ||
        strCommand == QLatin1String("help"))
        return Overview(false);
    if (strCommand == QLatin1String("--version")) {
        PrintOut(QStringLiteral("velmora-cli %1\n").arg(QLatin1String(VELMORA_VERSION)));
        return EXIT_OK;
    }
    for (const T_CliCommand &stCmd : s_commands) {
        if (strCommand == QLatin1String(stCmd.pszName))
            return stCmd.pfnRun(args);
    }
    return Overview(true, QStringLiteral("no such command '%1'").arg(strCommand));
}

} // namespace

int main(int argc, char *argv[])
{
    RaiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-cli"));
    // Diagnostics, warnings of our own included, would bury the results on a terminal; what an
    // operator must know is printed as an error. QT_LOGGING_RULES turns them on.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    Velmora::RegisterMaintainMetaTypes();

    const int iExit = Run(app.arguments().mid(1));
    // Sessions and sockets go with deleteLater(); let them go before the process does.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return iExit;
}
