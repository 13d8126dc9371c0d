#include "cbatchchannel.h"

#include "http/chttpagent.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"

void CBatchChannel::Choose(bool bVazaOnly, const QString &strFirstHost)
{
    m_bHttp = !bVazaOnly && m_pHttpAgent && Velmora::IsHttpHostModel(strFirstHost);
}

int CBatchChannel::Start(const QString &strHostName, const T_UpgradeInfo &stInfo)
{
    if (!m_bHttp)
        return m_pAgent->StartUpgrade(strHostName, stInfo);
    return m_pHttpAgent ? m_pHttpAgent->StartUpgrade(strHostName, stInfo) : 1;
}

QString CBatchChannel::LastError(const QString &strHostName) const
{
    // One line: server replies come with their own line breaks.
    if (!m_bHttp)
        return m_pAgent->LastError(strHostName).simplified();
    return m_pHttpAgent ? m_pHttpAgent->LastError(strHostName).simplified() : QString();
}

void CBatchChannel::Abort(const QString &strHostName)
{
    if (!m_bHttp)
        m_pAgent->AbortCmd(strHostName);
    else if (m_pHttpAgent)
        m_pHttpAgent->Abort(strHostName);
}

void CBatchChannel::Release(const QString &strHostName, bool bWorking)
{
    if (bWorking && m_bHttp && m_pHttpAgent)
        m_pHttpAgent->Abort(strHostName);
    m_pAgent->AbortCmd(strHostName);
}
