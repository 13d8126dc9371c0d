#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// Child processes of a benchmark that waits for them without an event loop: started with
// their output in files (a pipe nobody reads while the benchmark waits could fill and stop
// the child), reaped with their own peak resident set.
namespace ChildRun
{
// A child run to its end: exit code (-1 when it could not start or died of a signal), wall
// time and its own peak resident set.
struct T_Child {
    int i32Exit = -1;
    qint64 i64Ms = 0;
    qint64 i64PeakKiB = 0;
};

// stdout to strOutput, stderr to strErrors (or to strOutput too when empty), both appended;
// -1 when it could not start.
pid_t Spawn(const QStringList &args, const QString &strOutput, const QString &strErrors = QString());
T_Child Reap(pid_t pid);
// Runs the commands at once and waits for all of them: the worst exit, the wall time of the
// whole group and the sum of their peaks.
T_Child RunAll(const QList<QStringList> &commands, const QString &strOutput, const QString &strErrors = QString());
// Waits until the file strOutput holds baText; false when the child ended first (*pPid
// becomes -1) or iTimeoutMs passed.
bool WaitForOutput(pid_t *pPid, const QString &strOutput, const QByteArray &baText, int iTimeoutMs);
// SIGTERM, then SIGKILL after 10 s; *pPid becomes -1.
void Stop(pid_t *pPid);
bool Running(pid_t pid);
} // namespace ChildRun
