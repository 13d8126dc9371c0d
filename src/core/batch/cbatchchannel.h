#pragma once

#include "session/maintaintypes.h"

#include <QString>

class CMaintainAgent;
class CHttpAgent;

// Where a batch sends its modules: the Vaza agent, or the HTTP agent when the batch's devices
// are web-server models. The first device decides for the whole batch, as a batch holds one
// model. Neither agent is owned; pHttpAgent may be null (every batch then goes over Vaza).
class CBatchChannel
{
public:
    CBatchChannel(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent) : m_pAgent(pAgent), m_pHttpAgent(pHttpAgent) {}

    // bVazaOnly: every module through the Vaza agent whatever the model.
    void Choose(bool bVazaOnly, const QString &strFirstHost);
    bool IsHttp() const { return m_bHttp; }

    // 0 when the module is on its way. Otherwise the refusal: over Vaza an E_CmdResult, over
    // HTTP the agent's code (1: the device is not registered with it).
    int Start(const QString &strHostName, const T_UpgradeInfo &stInfo);
    // The channel's last failure text for the device, on one line.
    QString LastError(const QString &strHostName) const;
    // Stops what the device is doing on the batch's channel.
    void Abort(const QString &strHostName);
    // At the end of a batch: nothing may go on behind the operator's back, nor keep a session
    // busy. bWorking: the device was still working on a module.
    void Release(const QString &strHostName, bool bWorking);

private:
    CMaintainAgent *m_pAgent;
    CHttpAgent *m_pHttpAgent;
    bool m_bHttp = false;
};
