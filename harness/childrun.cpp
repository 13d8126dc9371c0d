#include "childrun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

extern char **environ;

pid_t ChildRun::Spawn(const QStringList &args, const QString &strOutput, const QString &strErrors)
{
    std::vector<QByteArray> storage;
    for (const QString &s : args)
        storage.push_back(s.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &ba : storage)
        argv.push_back(ba.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray baOut = strOutput.toLocal8Bit();
    const QByteArray baErr = strErrors.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 1, baOut.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (baErr.isEmpty())
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, baErr.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

ChildRun::T_Child ChildRun::Reap(pid_t pid)
{
    T_Child child;
    int iStatus = 0;
    rusage stUsage{};
    if (pid > 0 && wait4(pid, &iStatus, 0, &stUsage) == pid) {
        child.i32Exit = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
        child.i64PeakKiB = stUsage.ru_maxrss;
    }
    return child;
}

ChildRun::T_Child ChildRun::RunAll(const QList<QStringList> &commands, const QString &strOutput,
                                   const QString &strErrors)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<pid_t> pids;
    for (const QStringList &args : commands)
        pids.push_back(Spawn(args, strOutput, strErrors));
    T_Child all;
    all.i32Exit = 0;
    for (pid_t pid : pids) {
        const T_Child one = Reap(pid);
        if (one.i32Exit != 0)
            all.i32Exit = one.i32Exit;
        all.i64PeakKiB += one.i64PeakKiB;
    }
    all.i64Ms = clock.elapsed();
    return all;
}

bool ChildRun::WaitForOutput(pid_t *pPid, const QString &strOutput, const QByteArray &baText, int iTimeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (*pPid > 0 && clock.elapsed() < iTimeoutMs) {
        QFile file(strOutput);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(baText))
            return true;
        int iStatus = 0;
        if (waitpid(*pPid, &iStatus, WNOHANG) == *pPid) {
            *pPid = -1;
            break;
        }
        QThread::msleep(20);
    }
    return false;
}

void ChildRun::Stop(pid_t *pPid)
{
    if (*pPid <= 0)
        return;
    kill(*pPid, SIGTERM);
    QElapsedTimer clock;
    clock.start();
    int iStatus = 0;
    while (waitpid(*pPid, &iStatus, WNOHANG) == 0) {
        if (clock.elapsed() > 10000) {
            kill(*pPid, SIGKILL);
            waitpid(*pPid, &iStatus, 0);
            break;
        }
        QThread::msleep(20);
    }
    *pPid = -1;
}

bool ChildRun::Running(pid_t pid)
{
    return pid > 0 && kill(pid, 0) == 0;
}
