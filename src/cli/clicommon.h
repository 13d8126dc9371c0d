#pragma once

#include "session/maintaintypes.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

// What every velmora-cli subcommand shares: exit codes, the files beside the executable,
// finding devices, the watchdog around each request, and the output conventions
// (results on stdout, "<host>: <step>: <reason>" on stderr).
namespace VelmoraCli
{

enum E_Exit {
    EXIT_OK = 0,           // every device did what was asked
    EXIT_FAILED = 1,       // a device failed, did not answer, or was not found by the search
    EXIT_USAGE = 2,        // bad arguments, or a missing or broken file beside the executable
    EXIT_INTERRUPTED = 130 // SIGINT or SIGTERM: the run stopped its devices and wrote its result
};

// Every request to a device is bounded by this (scaled in tests), so the program never hangs.
constexpr int kRequestTimeoutMs = 30000;
// Every discovered device is maintained on this port.
constexpr quint32 kMaintainPort = 60000;

// One subcommand: its name, a one-line help for the overview and the function that runs it.
// args[0] is the subcommand's name, the rest its own arguments. Returns an E_Exit.
struct T_CliCommand {
    const char *pszName;
    const char *pszHelp;
    int (*pfnRun)(const QStringList &args);
};

// Parses a subcommand's arguments with --help added. strSyntax is the usage after the
// subcommand's name ("HOST [-o FILE]"). Returns -1 to go on; otherwise the exit code to
// return at once: EXIT_OK after printing the help, EXIT_USAGE after printing what is wrong
// (an unknown option, or fewer than iMinArgs / more than iMaxArgs positional arguments).
// Positional arguments are then parser.positionalArguments().mid(1).
int ParseArgs(QCommandLineParser &parser, const QStringList &args, const QString &strDescription,
              const QString &strSyntax, int iMinArgs, int iMaxArgs);

// The executable's directory; "config.xml" and "upgrade.conf" are read from there.
QString ExeDir();
// Loads the product table from "config.xml" beside the executable. Without it no device
// model is known: false, after saying so on stderr (the caller exits with EXIT_USAGE).
bool LoadConfig();

// The known devices of iSearches searches run one after the other, merged by host name in
// the order first found (a host name found again takes the addresses of the newer search).
// Boxes that share a host name are all listed, each with its address. Known means its model
// is in the product table: the record has a display name.
QList<T_BaseDevInfo> SearchDevices(int iSearches = 1);
// Index of the device named strName: by host name, else display name, else address; -1.
int FindDevice(const QList<T_BaseDevInfo> &lstDevices, const QString &strName);
// The addresses of the listed devices with this host name, in list order.
QStringList AddressesOf(const QList<T_BaseDevInfo> &lstDevices, const QString &strHostName);
// FindDevice, except that a host name or display name two boxes answer to names neither: -2.
// Only the address tells them apart, and acting on the first one found may hit the wrong box.
int FindOneDevice(const QList<T_BaseDevInfo> &lstDevices, const QString &strName);
// Why a shared host name names no device: the addresses, and strPick, how to name one.
QString SharedHostNameText(const QList<T_BaseDevInfo> &lstDevices, const QString &strHostName, const QString &strPick);
// The record for a known host name at a given address, without a search. False (and
// *pstrError says why) when the model is not in the product table or the address is no IPv4.
bool DeviceAt(const QString &strHostName, const QString &strAddr, T_BaseDevInfo *pstDev, QString *pstrError);
// Asks the box at stDev's address for its host name: -1 when it is stDev's; otherwise
// EXIT_FAILED after printing "<host>: search: <why>", naming the box that answers instead.
int ConfirmHostAt(const T_BaseDevInfo &stDev);
// HOST of a subcommand: with strAddr, DeviceAt and ConfirmHostAt; otherwise one search. Returns -1 with
// *pstDev filled; otherwise the exit code, after printing the reason.
int ResolveDevice(const QString &strName, const QString &strAddr, T_BaseDevInfo *pstDev);
// Adds the "--addr A" option that ResolveDevice takes.
void AddAddrOption(QCommandLineParser &parser);
// The sentence every single-device subcommand's help ends with.
QString HostHelp();
// The HOST argument of a single-device subcommand parsed with AddAddrOption: loads the
// product table and finds the device. Returns -1 with *pstDev filled; otherwise the exit code.
int ResolveHostArgument(const QCommandLineParser &parser, T_BaseDevInfo *pstDev);
// Reads a web-server model's version page. False after printing "<host>: <step>: <reason>"
// (refused, time out, or the device's error).
bool ReadHttpVersionPage(const T_BaseDevInfo &stDev, const QString &strStep, QByteArray *pbaPage);

// Device bytes made safe for a terminal, the way cat -v shows them: control characters other
// than line feed and tab become visible ("^[" for ESC, "^?" for DEL, "M-^[" for the UTF-8 form of
// U+009B), a carriage return only before a line feed stays; everything else, UTF-8 text included,
// is kept. Bytes that could begin such a sequence at the end of ba wait in *pbaCarry for the next
// chunk (give the last chunk with bLast).
QByteArray VisibleControls(const QByteArray &ba, QByteArray *pbaCarry, bool bLast = false);
// "<host>: <step>: <reason>" on stderr.
void PrintDeviceError(const QString &strHost, const QString &strStep, const QString &strReason);
// "velmora-cli: <text>" on stderr.
void PrintError(const QString &strText);
// PrintError, then EXIT_USAGE: a mistake in the arguments or the files given.
int Usage(const QString &strText);
// Plain UTF-8 text on stdout, as it is.
void PrintOut(const QString &strText);
// An indented JSON document on stdout.
void PrintJson(const QJsonValue &value);

// Runs the event loop until Finish() or until the watchdog fires. Restart() rearms the
// watchdog (a log that keeps arriving is not stalled). One wait per object.
class CRequestWatch
{
public:
    explicit CRequestWatch(int iTimeoutMs = kRequestTimeoutMs);
    void Finish();
    void Restart();
    // True when Finish() came first (also when it came before Wait()), false on time-out.
    bool Wait();

private:
    QEventLoop m_loop;
    QTimer m_watchdog;
    int m_iTimeoutMs;
    bool m_bFinished = false;
};

} // namespace VelmoraCli
