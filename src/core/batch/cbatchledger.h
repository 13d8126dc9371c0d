#pragma once

#include "session/maintaintypes.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

// The books of a batch: its devices, who is still in it, and where each one stands in the
// running pass. A device is counted once, when it ends the pass, so the pass is over exactly
// when every device still in the batch has succeeded, however late or often its reports come.
class CBatchLedger
{
public:
    enum E_DevState {
        DEV_WAITING,   // for a place or for its next attempt
        DEV_WORKING,   // the module is on its way
        DEV_VERIFYING, // completed, its version is being read back
        DEV_SUCCEEDED,
        DEV_FAILED, // also what a device outside the running pass reads as: nothing of it is acted on
    };

    void SetDevices(const QList<T_BaseDevInfo> &lstDevices) { m_lstDevices = lstDevices; }
    const QList<T_BaseDevInfo> &Devices() const { return m_lstDevices; }
    // The device's record; one with only the host name when it is no longer in the list.
    T_BaseDevInfo Device(const QString &strHostName) const;

    // A new batch: every device is in it and counts toward its total; nothing is counted yet.
    void BeginBatch();
    // A new pass: every device still in the batch waits, nothing of an earlier pass is kept.
    void BeginPass();
    // The pass's states are gone (the batch stopped): every device now reads as failed.
    void ClearStates() { m_hashState.clear(); }

    E_DevState State(const QString &strHostName) const { return m_hashState.value(strHostName, DEV_FAILED); }
    // Working or verifying: the device is still busy with the running module.
    bool IsActive(const QString &strHostName) const;
    // Waiting or verifying; DEV_WORKING goes through StartWorking().
    void SetState(const QString &strHostName, E_DevState eState) { m_hashState.insert(strHostName, eState); }
    // The module is on its way to the device: whatever an earlier attempt took is forgotten.
    void StartWorking(const QString &strHostName);
    // A report of the device on the running module: once past its upload it holds the image,
    // and a failure from here on is never tried again.
    void Reported(const QString &strHostName, const QString &strStep, bool bError, bool bFinished);
    bool HasImage(const QString &strHostName) const { return m_setTookImage.contains(strHostName); }
    // What the device's Vaza session answered when the running module was refused at its start.
    void SetRefusal(const QString &strHostName, E_CmdResult eResult) { m_hashRefusal.insert(strHostName, eResult); }
    E_CmdResult Refusal(const QString &strHostName) const { return m_hashRefusal.value(strHostName, CMD_OK); }

    void Succeeded(const QString &strHostName);
    // Counted as failed in this pass; the device leaves the batch.
    void Failed(const QString &strHostName);
    // The device leaves the batch before it started the running module, uncounted.
    void Dropped(const QString &strHostName);
    // Everyone still in the batch leaves it (stopped before the next module), in device order.
    QStringList TakeBatch();
    // The device is gone (removed by its owner): it leaves the list and the batch without being
    // counted; a failure stays counted. True when it was still in the batch.
    bool Remove(const QString &strHostName);

    bool IsPassOver() const { return m_i32Done - m_i32Failed == m_lstBatch.size(); }
    // Host names still taking part, in device order.
    const QStringList &Batch() const { return m_lstBatch; }
    int Done() const { return m_i32Done; }
    int Failed() const { return m_i32Failed; }
    // Devices the batch started with, less those removed before failing.
    int Total() const { return m_i32Total; }

private:
    QList<T_BaseDevInfo> m_lstDevices;
    QStringList m_lstBatch;
    QHash<QString, E_DevState> m_hashState; // devices of the running pass
    QHash<QString, E_CmdResult> m_hashRefusal;
    QSet<QString> m_setTookImage; // devices of this pass past their upload
    int m_i32Done = 0;
    int m_i32Failed = 0;
    int m_i32Total = 0;
};
