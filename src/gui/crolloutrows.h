#pragma once

#include "batch/crollout.h"

#include <QObject>
#include <QSet>

class CBatchDevRows;

// What the rollout reports beyond a device's progress, on the batch form's rows: a device
// waiting for a place or for its wave, an attempt that failed and when the next comes, a
// device never started and why. It keeps which devices the engine has ended (every module
// done, failed, not started), so that after an abort, which the engine does silently, the
// rows still say what was cut off.
class CRolloutRows : public QObject
{
    Q_OBJECT
public:
    // Neither is owned; both outlive this object.
    CRolloutRows(CRollout *pRollout, CBatchDevRows *pRows, QObject *parent = nullptr);

    // Before the rollout starts with these modules.
    void Reset(const QList<T_BatchModule> &lstModules);
    // It started: the rows of later waves wait for theirs.
    void ShowLaterWaves();
    // It was aborted: the devices it was working on failed, the rest were not started.
    void ShowAborted();

private:
    void ShowWaiting(const T_BaseDevInfo &stDevInfo);
    void ShowRetry(const T_BaseDevInfo &stDevInfo, int i32Attempt, const QString &strReason, int i32DelayMs);
    void ShowNotStarted(const T_BaseDevInfo &stDevInfo, const QString &strReason);

    CRollout *m_pRollout;
    CBatchDevRows *m_pRows;
    int m_i32Wave = -1;
    int m_i32LastModule = -1;
    QSet<QString> m_setEnded;
};
