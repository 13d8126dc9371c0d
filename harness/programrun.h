#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of a program of ours (velmora-cli, the simulator) to its end: exit code and both
// output streams. iExit is -1 when it had to be killed after iTimeoutMs, -2 when it crashed.
struct T_ProgramRun {
    int iExit = -1;
    QByteArray baOut;
    QByteArray baErr;
};

// strTimeScale, when given, becomes the program's VELMORA_TIME_SCALE: its product timers run
// that much faster, as the test's own do.
inline T_ProgramRun RunProgram(const QString &strProgram, const QStringList &args, int iTimeoutMs,
                               const QString &strTimeScale = QString())
{
    QProcess process;
    if (!strTimeScale.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_TIME_SCALE"), strTimeScale);
        process.setProcessEnvironment(env);
    }
    process.start(strProgram, args);
    T_ProgramRun stRun;
    if (!process.waitForFinished(iTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return stRun;
    }
    stRun.iExit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    stRun.baOut = process.readAllStandardOutput();
    stRun.baErr = process.readAllStandardError();
    return stRun;
}
