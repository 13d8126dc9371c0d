#include "session/cmaintainagent.h"

#include "common/vlog.h"
#include "vaza/cvazamaintainsession.h"

CMaintainAgent::CMaintainAgent(QObject *parent) : QObject(parent)
{
    Velmora::RegisterMaintainMetaTypes();
}

CMaintainAgent::~CMaintainAgent()
{
    Clear();
}

int CMaintainAgent::AddDevice(const T_BaseDevInfo &stDevInfo)
{
    const int i32Index = IndexOf(stDevInfo.strHostName);
    if (i32Index < 0) {
        m_lstDevices.append(new T_BaseDevInfo(stDevInfo));
        return -1;
    }
    // A running session keeps the record it copied; it sees the change once it is remade.
    *m_lstDevices[i32Index] = stDevInfo;
    return i32Index;
}

int CMaintainAgent::IndexOf(const QString &strHostName) const
{
    for (int i = 0; i < m_lstDevices.size(); ++i)
        if (m_lstDevices.at(i)->strHostName == strHostName)
            return i;
    return -1;
}

int CMaintainAgent::CountTx() const
{
    int i32Count = 0;
    for (const T_BaseDevInfo *p : m_lstDevices)
        i32Count += p->strKind == QLatin1String("tx") ? 1 : 0;
    return i32Count;
}

int CMaintainAgent::CountRx() const
{
    int i32Count = 0;
    for (const T_BaseDevInfo *p : m_lstDevices)
        i32Count += p->strKind == QLatin1String("rx") ? 1 : 0;
    return i32Count;
}

bool CMaintainAgent::RemoveDevice(const QString &strHostName)
{
    const int i32Index = IndexOf(strHostName);
    if (i32Index < 0)
        return false;
    RemoveSession(strHostName);
    delete m_lstDevices.takeAt(i32Index);
    return true;
}

void CMaintainAgent::Clear()
{
    qDeleteAll(m_lstDevices);
    m_lstDevices.clear();
    ClearSessions();
}

void CMaintainAgent::DisposeSession(CBaseMaintainSession *pSession)
{
    // The session may be inside its own emission; it goes later, but from now on nothing
    // it says reaches the forms.
    disconnect(pSession, nullptr, this, nullptr);
    pSession->deleteLater();
}

CBaseMaintainSession *CMaintainAgent::GetSession(const QString &strHostName)
{
    auto it = m_mapSessions.constFind(strHostName);
    if (it != m_mapSessions.constEnd())
        return it.value();
    const int i32Index = IndexOf(strHostName);
    if (i32Index < 0)
        return nullptr;
    auto *pSession = new CVazaMaintainSession(*m_lstDevices.at(i32Index));
    connect(pSession, &CBaseMaintainSession::OnUpgradeNotify, this, &CMaintainAgent::OnUpgradeNotify);
    connect(pSession, &CBaseMaintainSession::OnDownloadLogNotify, this, &CMaintainAgent::OnDownloadLogNotify);
    connect(pSession, &CBaseMaintainSession::OnSysInfoNotify, this, &CMaintainAgent::OnSysInfoNotify);
    m_mapSessions.insert(strHostName, pSession);
    return pSession;
}

bool CMaintainAgent::RemoveSession(const QString &strHostName)
{
    auto it = m_mapSessions.find(strHostName);
    if (it == m_mapSessions.end())
        return false;
    CBaseMaintainSession *pSession = it.value();
    m_mapSessions.erase(it);
    DisposeSession(pSession);
    return true;
}

void CMaintainAgent::ClearSessions()
{
    // Taken out first: a session's last words must not find itself still listed.
    const QMap<QString, CBaseMaintainSession *> mapOld = m_mapSessions;
    m_mapSessions.clear();
    for (CBaseMaintainSession *pSession : mapOld)
        DisposeSession(pSession);
}

E_CmdResult CMaintainAgent::StartUpgrade(const QString &strHostName, const T_UpgradeInfo &stUpgradeInfo)
{
    CBaseMaintainSession *pSession = GetSession(strHostName);
    return pSession ? pSession->StartUpgrade(stUpgradeInfo) : CMD_ERROR;
}

E_CmdResult CMaintainAgent::GetSysInfo(const QString &strHostName)
{
    CBaseMaintainSession *pSession = GetSession(strHostName);
    return pSession ? pSession->GetSysInfo() : CMD_ERROR;
}

E_CmdResult CMaintainAgent::DownloadLog(const QString &strHostName)
{
    CBaseMaintainSession *pSession = GetSession(strHostName);
    return pSession ? pSession->DownloadLog() : CMD_ERROR;
}

int CMaintainAgent::AbortCmd(const QString &strHostName)
{
    CBaseMaintainSession *pSession = m_mapSessions.value(strHostName, nullptr);
    return pSession ? pSession->AbortCmd() : CUR_NONE;
}

QString CMaintainAgent::LastError(const QString &strHostName) const
{
    const CBaseMaintainSession *pSession = m_mapSessions.value(strHostName, nullptr);
    return pSession ? pSession->LastError() : QString();
}
