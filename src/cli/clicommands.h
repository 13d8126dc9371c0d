#pragma once

#include <QStringList>

// One function per subcommand, each in a file of its own (cmd<name>.cpp); main.cpp lists
// them in its table. args[0] is the subcommand's name. Each returns a VelmoraCli::E_Exit.
int RunDiscover(const QStringList &args);
int RunInfo(const QStringList &args);
int RunLog(const QStringList &args);
int RunVersion(const QStringList &args);
int RunUpgrade(const QStringList &args);
int RunName(const QStringList &args);
int RunReboot(const QStringList &args);
int RunSerial(const QStringList &args);
