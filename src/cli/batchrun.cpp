#include "batchrun.h"

#include "cinterruptwatch.h"
#include "clicommon.h"
#include "cprogressview.h"

#include <QEventLoop>
#include <QJsonObject>

namespace VelmoraCli
{
namespace
{

// Every module from i32Module on that the device has not done: it will not be sent.
void MarkNotStarted(QMap<QString, T_Result> *pmapResults, CProgressView *pView, const QString &strHost,
                    const QList<T_BatchModule> &lstModules, int i32Module, const QString &strReason)
{
    bool bShown = false;
    for (int i = qMax(0, i32Module); i < lstModules.size(); ++i) {
        const auto it = pmapResults->find(ResultKey(strHost, lstModules.at(i).strId));
        if (it == pmapResults->end() || it->bOk || lstModules.at(i).strFilePath.isEmpty())
            continue;
        it->strStep = QStringLiteral("not started");
        it->strReason = strReason;
        if (!bShown)
            pView->ShowFailed(strHost, it->strModule, it->strStep, strReason);
        bShown = true;
    }
}

} // namespace

void RunBatch(T_BatchRun *pRun, const T_RolloutOptions &stOptions, const QList<T_BaseDevInfo> &lstDevices,
              const QList<T_BatchModule> &lstModules)
{
    CProgressView *pView = pRun->pView;
    QMap<QString, T_Result> &mapResults = *pRun->pmapResults;
    pRun->i32Total += lstDevices.size();
    if (pRun->pInterrupt->IsStopRequested() || !pRun->strStoppedBy.isEmpty()) {
        const QString strReason =
            pRun->strStoppedBy.isEmpty() ? QStringLiteral("stopped before it started") : pRun->strStoppedBy;
        for (const T_BaseDevInfo &st : lstDevices)
            MarkNotStarted(&mapResults, pView, st.strHostName, lstModules, 0, strReason);
        return;
    }
    CRollout engine(pRun->pAgent, pRun->pHttp);
    T_RolloutOptions stThis = stOptions;
    if (!pRun->bFirst)
        stThis.i32Canary = 0;
    pRun->bFirst = false;
    engine.SetOptions(stThis);
    engine.SetDevices(lstDevices);
    engine.SetModules(lstModules);
    // "Completed" is never taken on trust: the version is read back before a module counts,
    // against the module's own version when the run wants one.
    engine.SetVersionCheck(true);
    // The run keeps no session after a device is done with it: memory and connections stay
    // bounded by the devices at work, not by the fleet.
    engine.SetReleaseFinished(true);
    QEventLoop loop;
    auto result = [&](const QString &strHost, int i) -> T_Result & {
        T_Result &stRes = mapResults[ResultKey(strHost, lstModules.at(i).strId)];
        stRes.i32Wave = engine.Wave(strHost);
        return stRes;
    };
    QObject::connect(&engine, &CRollout::signalDeviceProgress,
                     [&](T_BaseDevInfo st, int i, QString strStep, int iPct, bool bErr, bool) {
                         // Kept as the step an interruption would find the device in.
                         if (!bErr && !strStep.isEmpty())
                             result(st.strHostName, i).strStep = strStep;
                         pView->ShowStep(st.strHostName, lstModules.at(i).strId, strStep, iPct, bErr);
                     });
    QObject::connect(&engine, &CRollout::signalDeviceWaiting, [&](T_BaseDevInfo st, int i) {
        pView->ShowStep(st.strHostName, lstModules.at(i).strId, QStringLiteral("Waiting"), -1, false);
    });
    QObject::connect(&engine, &CRollout::signalDeviceRetry,
                     [&](T_BaseDevInfo st, int i, int iAttempt, QString strStep, QString strReason, int iDelayMs) {
                         result(st.strHostName, i)
                             .attempts.append(
                                 QJsonObject{{"attempt", iAttempt}, {"step", strStep}, {"reason", strReason}});
                         pView->ShowStep(st.strHostName, lstModules.at(i).strId,
                                         QStringLiteral("attempt %1 failed (%2), next in %3 s")
                                             .arg(iAttempt)
                                             .arg(strReason)
                                             .arg((iDelayMs + 999) / 1000),
                                         -1, false);
                     });
    QObject::connect(&engine, &CRollout::signalDeviceVersion,
                     [&](T_BaseDevInfo st, int i, QString strVer) { result(st.strHostName, i).strVersion = strVer; });
    QObject::connect(&engine, &CRollout::signalDeviceSucceeded, [&](T_BaseDevInfo st, int i) {
        T_Result &stRes = result(st.strHostName, i);
        stRes.bOk = true;
        stRes.strStep = QStringLiteral("Upgrade completed");
        stRes.strReason.clear();
        pView->ShowCompleted(st.strHostName, stRes.strModule, stRes.strVersion, lstModules.at(i).strVersion);
    });
    QObject::connect(
        &engine, &CRollout::signalDeviceFailed, [&](T_BaseDevInfo st, int i, QString strStep, QString strReason) {
            T_Result &stRes = result(st.strHostName, i);
            stRes.bOk = false;
            stRes.strStep = strStep;
            stRes.strReason = strReason;
            if (!stRes.attempts.isEmpty())
                stRes.attempts.append(
                    QJsonObject{{"attempt", stRes.attempts.size() + 1}, {"step", strStep}, {"reason", strReason}});
            pView->ShowFailed(st.strHostName, stRes.strModule, strStep, strReason);
        });
    QObject::connect(&engine, &CRollout::signalDeviceNotStarted, [&](T_BaseDevInfo st, int i, QString strReason) {
        for (int j = 0; j < lstModules.size(); ++j)
            if (mapResults.contains(ResultKey(st.strHostName, lstModules.at(j).strId)))
                result(st.strHostName, j);
        MarkNotStarted(&mapResults, pView, st.strHostName, lstModules, i, strReason);
    });
    QObject::connect(&engine, &CRollout::signalFinished,
                     [&](int iOk, int, QStringList, CRollout::E_End eEnd, QString strReason) {
                         pRun->i32Succeeded += iOk;
                         if (eEnd == CRollout::END_CANARY_FAILED || eEnd == CRollout::END_FAILURE_LIMIT) {
                             pRun->strStoppedBy = strReason;
                             PrintError(strReason);
                         } else if (eEnd == CRollout::END_NO_REPORT) {
                             PrintError(QStringLiteral("upgrade failed: no device reported within %1 s")
                                            .arg(CBatchUpgrade::REPLY_TIMEOUT_MS / 1000));
                         }
                         loop.quit();
                     });
    QObject::connect(pRun->pInterrupt, &CInterruptWatch::signalStopRequested, &loop, [&] {
        PrintError(QStringLiteral("stopping: no new device starts; the devices working finish their module "
                                  "(Ctrl-C again to stop them too)"));
        engine.RequestStop();
    });
    // Every device still working is stopped where it is; its result keeps that step.
    QObject::connect(pRun->pInterrupt, &CInterruptWatch::signalInterrupted, &loop, [&] {
        if (CBatchUpgrade *pBatch = engine.Batch()) {
            const QString strModule = lstModules.value(pBatch->CurrentModule()).strId;
            for (const QString &strHost : pBatch->BatchList()) {
                T_Result &stRes = mapResults[ResultKey(strHost, strModule)];
                if (stRes.bOk)
                    continue;
                stRes.strReason = QStringLiteral("interrupted");
                pView->ShowFailed(strHost, strModule, stRes.strStep, stRes.strReason);
            }
        }
        engine.Abort();
        loop.quit();
    });
    if (engine.Start() == CBatchUpgrade::START_OK)
        loop.exec();
}

} // namespace VelmoraCli
