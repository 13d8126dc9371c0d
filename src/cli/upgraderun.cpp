#include "upgraderun.h"

#include "cinterruptwatch.h"
#include "clicommon.h"
#include "cprogressview.h"

#include "batch/cbatchupgrade.h"
#include "batch/cskipcurrent.h"
#include "batchrun.h"
#include "http/chttpagent.h"
#include "product/hostmodel.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace VelmoraCli
{
namespace
{

// Module id -> version, for the modules that want one: what a retry reads back as its own.
QJsonObject VersionsJson(const T_Request &req)
{
    QJsonObject o;
    for (const T_ModuleRow &stRow : req.lstModules)
        if (req.hashFiles.contains(stRow.strId) && !req.Version(stRow.strId).isEmpty())
            o.insert(stRow.strId, req.Version(stRow.strId));
    return o;
}

QJsonObject ResultJson(const T_Result &st)
{
    QJsonObject o{{"host", st.strHost}, {"address", st.strAddr}, {"module", st.strModule}, {"file", st.strFile},
                  {"ok", st.bOk},       {"step", st.strStep},    {"reason", st.strReason}, {"version", st.strVersion}};
    if (st.i32Wave >= 0)
        o.insert("wave", st.i32Wave);
    if (!st.attempts.isEmpty())
        o.insert("attempts", st.attempts);
    return o;
}

QJsonObject OptionsJson(const T_RolloutOptions &st)
{
    QJsonObject o{{"max_parallel", st.i32MaxParallel},
                  {"canary", st.i32Canary},
                  {"wave", st.i32Wave},
                  {"retries", st.i32Retries},
                  {"retry_delay", st.i32RetryDelayMs / 1000.0}};
    if (st.i32MaxFailures >= 0)
        o.insert("max_failures", st.i32MaxFailures);
    else if (st.i32MaxFailPercent >= 0)
        o.insert("max_failures", QStringLiteral("%1%").arg(st.i32MaxFailPercent));
    return o;
}

// An interruption before anything was sent: the document says so, and a retry has nothing
// to take from it.
int Interrupted(const T_Request &req, bool bJson)
{
    PrintError(QStringLiteral("interrupted"));
    if (bJson)
        PrintJson(QJsonObject{{"type", req.strModel},
                              {"version", req.strVersion},
                              {"versions", VersionsJson(req)},
                              {"succeeded", 0},
                              {"total", 0},
                              {"results", QJsonArray()},
                              {"interrupted", true}});
    return EXIT_INTERRUPTED;
}

} // namespace

QString ResultKey(const QString &strHost, const QString &strModule)
{
    return strHost + QLatin1Char('\n') + strModule;
}

// A run that sent nothing still leaves its document, so "result.json || --retry-failed" and
// other scripts find one; strError says why nothing was sent (empty: nothing was to be sent).
void PrintEmptyResult(const T_Request &req, const QString &strError)
{
    QJsonObject doc{
        {"type", req.strModel}, {"version", req.strVersion}, {"versions", VersionsJson(req)}, {"succeeded", 0},
        {"total", 0},           {"results", QJsonArray()}};
    if (!strError.isEmpty())
        doc.insert("error", strError);
    PrintJson(doc);
}

int RunUpgradeRequest(const T_Request &req, bool bJson, bool bSkipCurrent)
{
    CInterruptWatch interrupt;
    // One search; nothing is sent before every named device has been found.
    const QList<T_BaseDevInfo> lstFound = SearchDevices(1);
    if (interrupt.IsInterrupted())
        return Interrupted(req, bJson);
    QList<T_BaseDevInfo> lstOfType;
    for (const T_BaseDevInfo &st : lstFound)
        if (Velmora::ModelOfHostName(st.strHostName) == req.strModel)
            lstOfType << st;
    QList<T_BaseDevInfo> lstDevices;
    QStringList lstMissing;
    // Host names that several boxes answer to: the engine knows a device by its host name, and
    // the first box found may be the wrong one. The operator names one by its address.
    QStringList lstShared;
    const auto shared = [&](const QString &strHost) {
        if (lstShared.contains(strHost))
            return;
        lstShared << strHost;
        PrintDeviceError(strHost, QStringLiteral("search"),
                         SharedHostNameText(lstFound, strHost, QStringLiteral("--hosts ADDRESS")));
    };
    for (const QString &strName : req.lstHosts) {
        const int i = FindOneDevice(lstFound, strName);
        if (i == -2) {
            shared(lstFound.at(FindDevice(lstFound, strName)).strHostName);
        } else if (i < 0) {
            PrintDeviceError(strName, QStringLiteral("search"), QStringLiteral("not found"));
            lstMissing << strName;
        } else if (Velmora::ModelOfHostName(lstFound.at(i).strHostName) != req.strModel) {
            return Usage(QStringLiteral("%1 is a %2, not a %3")
                             .arg(strName, Velmora::ModelOfHostName(lstFound.at(i).strHostName), req.strModel));
        } else if (FindDevice(lstDevices, lstFound.at(i).strHostName) < 0) {
            lstDevices << lstFound.at(i);
        } else if (lstDevices.at(FindDevice(lstDevices, lstFound.at(i).strHostName)).strAddr !=
                   lstFound.at(i).strAddr) {
            // Both boxes of a shared host name picked by address: one run takes one of them.
            shared(lstFound.at(i).strHostName);
        }
    }
    if (req.lstHosts.isEmpty()) {
        lstDevices = lstOfType;
        if (!req.bRetry)
            for (const T_BaseDevInfo &st : lstOfType)
                if (AddressesOf(lstOfType, st.strHostName).size() > 1)
                    shared(st.strHostName);
    }
    if (req.bRetry) {
        QList<T_BaseDevInfo> lstRetry;
        for (auto it = req.mapRetry.constBegin(); it != req.mapRetry.constEnd(); ++it) {
            const int i = FindOneDevice(lstOfType, it.key());
            if (i == -2 && req.lstHosts.isEmpty()) {
                shared(it.key());
            } else if (i == -2) {
                // --hosts picked the box by its address already.
                if (FindDevice(lstDevices, it.key()) >= 0)
                    lstRetry << lstDevices.at(FindDevice(lstDevices, it.key()));
            } else if (i < 0) {
                PrintDeviceError(it.key(), QStringLiteral("search"), QStringLiteral("not found"));
                lstMissing << it.key();
            } else if (req.lstHosts.isEmpty() || FindDevice(lstDevices, it.key()) >= 0) {
                lstRetry << lstOfType.at(i);
            }
        }
        lstDevices = lstRetry;
    }
    if (!lstMissing.isEmpty() || !lstShared.isEmpty()) {
        QStringList lstWhy;
        if (!lstMissing.isEmpty())
            lstWhy << QStringLiteral("not found: %1").arg(lstMissing.join(QStringLiteral(", ")));
        if (!lstShared.isEmpty())
            lstWhy << QStringLiteral("host name of several devices: %1").arg(lstShared.join(QStringLiteral(", ")));
        if (bJson)
            PrintEmptyResult(req, lstWhy.join(QStringLiteral("; ")));
        return EXIT_FAILED;
    }
    if (lstDevices.isEmpty()) {
        const QString strError = QStringLiteral("no device of type %1 found").arg(req.strModel);
        PrintError(strError);
        if (bJson)
            PrintEmptyResult(req, strError);
        return EXIT_FAILED;
    }

    CMaintainAgent agent;
    CHttpAgent http;
    QMap<QString, QStringList> mapModules; // host -> module ids to upgrade, in upgrade.conf order
    QMap<QString, T_Result> mapResults;
    for (const T_BaseDevInfo &st : lstDevices) {
        agent.AddDevice(st);
        if (Velmora::IsHttpHostModel(st.strHostName))
            http.AddDevice(st);
        for (const T_ModuleRow &stRow : req.lstModules) {
            if (!req.hashFiles.contains(stRow.strId) ||
                (req.bRetry && !req.mapRetry.value(st.strHostName).contains(stRow.strId)))
                continue;
            mapModules[st.strHostName] << stRow.strId;
            T_Result &stRes = mapResults[ResultKey(st.strHostName, stRow.strId)];
            stRes = T_Result{st.strHostName,
                             st.strAddr,
                             stRow.strId,
                             req.hashFiles.value(stRow.strId),
                             false,
                             QString(),
                             QStringLiteral("not upgraded: an earlier module failed"),
                             QString()};
        }
    }
    if (bSkipCurrent) {
        CSkipCurrent skip(&agent, &http);
        QEventLoop loop;
        QObject::connect(&skip, &CSkipCurrent::signalFinished, &loop, &QEventLoop::quit);
        QObject::connect(&interrupt, &CInterruptWatch::signalInterrupted, &loop, &QEventLoop::quit);
        QHash<QString, QString> hashWanted;
        for (const T_ModuleRow &stRow : req.lstModules)
            hashWanted.insert(stRow.strId, req.Version(stRow.strId));
        skip.Start(lstDevices, mapModules, hashWanted);
        loop.exec();
        if (interrupt.IsInterrupted())
            return Interrupted(req, bJson);
        // Per module: a device sends only the modules that are behind.
        const QMap<QString, QStringList> mapSkipped = skip.Skipped();
        for (auto it = mapSkipped.constBegin(); it != mapSkipped.constEnd(); ++it) {
            const bool bWhole = it.value().size() == mapModules.value(it.key()).size();
            for (const QString &strModule : it.value()) {
                T_Result &stRes = mapResults[ResultKey(it.key(), strModule)];
                stRes.bOk = true;
                stRes.strStep = QStringLiteral("skipped");
                stRes.strReason = QStringLiteral("already at %1").arg(req.Version(strModule));
                stRes.strVersion = req.Version(strModule);
                mapModules[it.key()].removeAll(strModule);
                if (!bJson && !bWhole)
                    PrintOut(QStringLiteral("%1: %2 skipped, already at %3\n")
                                 .arg(it.key(), strModule, req.Version(strModule)));
            }
            QStringList lstAt;
            for (const QString &strModule : it.value())
                if (!lstAt.contains(req.Version(strModule)))
                    lstAt << req.Version(strModule);
            if (!bJson && bWhole)
                PrintOut(
                    QStringLiteral("%1: skipped, already at %2\n").arg(it.key(), lstAt.join(QStringLiteral(", "))));
            if (mapModules.value(it.key()).isEmpty())
                mapModules.remove(it.key());
        }
    }

    // Devices that need the same modules go in one batch; a retry may need several.
    QMap<QStringList, QList<T_BaseDevInfo>> mapGroups;
    QStringList lstShown;
    for (const T_BaseDevInfo &st : lstDevices)
        if (mapModules.contains(st.strHostName)) {
            mapGroups[mapModules.value(st.strHostName)] << st;
            lstShown << st.strHostName;
        }
    CProgressView view(lstShown, bJson);
    // From here a first Ctrl-C only stops new devices from starting.
    interrupt.StopMeansInterrupt(false);
    T_BatchRun run;
    run.pAgent = &agent;
    run.pHttp = &http;
    run.pView = &view;
    run.pInterrupt = &interrupt;
    run.pmapResults = &mapResults;
    for (auto it = mapGroups.constBegin(); it != mapGroups.constEnd(); ++it) {
        QList<T_BatchModule> lstBatchModules;
        for (const T_ModuleRow &stRow : req.lstModules)
            lstBatchModules << T_BatchModule{stRow.strId, stRow.strName,
                                             it.key().contains(stRow.strId) ? req.hashFiles.value(stRow.strId)
                                                                            : QString(),
                                             req.Version(stRow.strId)};
        RunBatch(&run, req.stRollout, it.value(), lstBatchModules);
    }
    view.FlushErrors();
    int iSucceeded = run.i32Succeeded;
    int iTotal = run.i32Total;
    const bool bInterrupted = interrupt.IsStopRequested();
    if (interrupt.IsInterrupted()) {
        // Modules the run never reached, on devices that had not failed, stayed behind for no
        // fault of the device: a retry sends them.
        QSet<QString> setFailed;
        for (const T_Result &stRes : qAsConst(mapResults))
            if (!stRes.bOk && !stRes.strStep.isEmpty() && stRes.strReason != QLatin1String("interrupted"))
                setFailed << stRes.strHost;
        for (T_Result &stRes : mapResults)
            if (!stRes.bOk && stRes.strStep.isEmpty() && !setFailed.contains(stRes.strHost))
                stRes.strReason = QStringLiteral("not upgraded: interrupted");
        // The cut-off batch ended no count of its own: count the run from its results.
        iSucceeded = 0;
        iTotal = lstShown.size();
        for (const QString &strHost : qAsConst(lstShown)) {
            bool bAll = true;
            for (const QString &strModule : mapModules.value(strHost))
                bAll = bAll && mapResults.value(ResultKey(strHost, strModule)).bOk;
            iSucceeded += bAll ? 1 : 0;
        }
    }
    if (bInterrupted)
        PrintError(QStringLiteral("interrupted"));

    bool bAllOk = true;
    QJsonArray results;
    for (const T_BaseDevInfo &st : lstDevices)
        for (const T_ModuleRow &stRow : req.lstModules) {
            const auto it = mapResults.constFind(ResultKey(st.strHostName, stRow.strId));
            if (it == mapResults.constEnd())
                continue;
            bAllOk = bAllOk && it->bOk;
            results.append(ResultJson(*it));
        }
    if (bJson) {
        QJsonObject doc{{"type", req.strModel},    {"version", req.strVersion}, {"versions", VersionsJson(req)},
                        {"succeeded", iSucceeded}, {"total", iTotal},           {"results", results}};
        doc.insert("options", OptionsJson(req.stRollout));
        if (bInterrupted)
            doc.insert("interrupted", true);
        if (!run.strStoppedBy.isEmpty())
            doc.insert("stopped", run.strStoppedBy);
        PrintJson(doc);
    } else {
        PrintOut(QStringLiteral("succeeded: %1, total: %2.\n").arg(iSucceeded).arg(iTotal));
    }
    if (bInterrupted)
        return EXIT_INTERRUPTED;
    return bAllOk ? EXIT_OK : EXIT_FAILED;
}

} // namespace VelmoraCli
