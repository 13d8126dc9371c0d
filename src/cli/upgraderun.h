#pragma once

#include "batch/crollout.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QJsonArray>

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The run behind "velmora-cli upgrade" once its arguments are checked: one search, the
// --skip-current read, one batch per set of modules, the terminal view, the result and its
// JSON document, and what an interruption leaves. cmdupgrade.cpp checks the arguments.
namespace VelmoraCli
{

// One device and one module: a line of the result, and of RESULT.json.
struct T_Result {
    QString strHost;
    QString strAddr;
    QString strModule;
    QString strFile;
    bool bOk = false;
    QString strStep;
    QString strReason;
    QString strVersion;
    int i32Wave = -1;                   // the rollout wave the device was in; -1: none reached it
    QJsonArray attempts = QJsonArray(); // every failed attempt: its step and reason
};

// What the arguments, upgrade.conf and the earlier result ask for.
struct T_Request {
    QString strModel;
    QString strVersion;                   // --version V: every module without its own
    QHash<QString, QString> hashVersions; // --version ID=V: module id -> version
    QList<T_ModuleRow> lstModules;        // upgrade.conf order
    QHash<QString, QString> hashFiles;    // module id -> absolute path
    QStringList lstHosts;                 // --hosts, as given
    // --retry-failed: host -> the module ids that did not succeed; empty otherwise.
    QMap<QString, QStringList> mapRetry;
    bool bRetry = false;
    T_RolloutOptions stRollout;

    // The version module strId must read back; empty: any readable version.
    QString Version(const QString &strId) const { return hashVersions.value(strId, strVersion); }
};

QString ResultKey(const QString &strHost, const QString &strModule);

// The document of a run that sent nothing; strError says why (empty: nothing was to be sent).
void PrintEmptyResult(const T_Request &req, const QString &strError);

// Runs the request to its end and returns the exit code.
int RunUpgradeRequest(const T_Request &req, bool bJson, bool bSkipCurrent);

} // namespace VelmoraCli
