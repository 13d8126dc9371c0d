#pragma once

#include "upgraderun.h"

#include <QMap>

class CMaintainAgent;
class CHttpAgent;
class CInterruptWatch;
class CProgressView;

namespace VelmoraCli
{

// One rollout of the devices that need the same modules, through the engine, into the results.
struct T_BatchRun {
    CMaintainAgent *pAgent = nullptr;
    CHttpAgent *pHttp = nullptr;
    CProgressView *pView = nullptr;
    CInterruptWatch *pInterrupt = nullptr;
    QMap<QString, T_Result> *pmapResults = nullptr;
    int i32Succeeded = 0;
    int i32Total = 0;
    // Set when a rollout stopped itself (canary or failure limit): the reason later groups'
    // devices are given, as they are not started either.
    QString strStoppedBy;
    bool bFirst = true; // the canary goes only with the first rollout of a run
};

// Runs lstDevices through lstModules to the end of the rollout (or of an interruption).
void RunBatch(T_BatchRun *pRun, const T_RolloutOptions &stOptions, const QList<T_BaseDevInfo> &lstDevices,
              const QList<T_BatchModule> &lstModules);

} // namespace VelmoraCli
