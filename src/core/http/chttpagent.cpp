#include "http/chttpagent.h"

#include "common/vlog.h"

CHttpAgent::CHttpAgent(QObject *parent) : QObject(parent) {}

CHttpAgent::~CHttpAgent()
{
    // Upgraders have no parent: they go with the agent. Each copes with being deleted from
    // inside its own notification.
    qDeleteAll(m_lstUpgrade);
    qDeleteAll(m_lstDropped);
}

int CHttpAgent::AddDevice(T_BaseDevInfo stDevInfo)
{
    const int i32Index = IndexOf(stDevInfo.strHostName);
    if (i32Index >= 0) {
        // A new search found the device at another address: never talk to the stale one.
        m_lstUpgrade.at(i32Index)->SetAddress(stDevInfo.strAddr);
        return -1;
    }
    auto *pUpgrade = new CHttpUpgrade(stDevInfo, nullptr);
    connect(pUpgrade, &CHttpUpgrade::signalHttpUpgradeNotify, this, &CHttpAgent::signalHttpUpgradeNotify);
    connect(pUpgrade, &CHttpUpgrade::signalHttpVersionNotify, this, &CHttpAgent::signalHttpVersionNotify);
    // After the relays, so the forms hear the ending before a dropped upgrader is disposed of.
    connect(pUpgrade, &CHttpUpgrade::signalHttpUpgradeNotify, this, [this, pUpgrade] { DisposeIfDropped(pUpgrade); });
    connect(pUpgrade, &CHttpUpgrade::signalHttpVersionNotify, this, [this, pUpgrade] { DisposeIfDropped(pUpgrade); });
    m_lstUpgrade.append(pUpgrade);
    return ++m_i32Count;
}

int CHttpAgent::IndexOf(const T_BaseDevInfo &stDevInfo) const
{
    return IndexOf(stDevInfo.strHostName);
}

int CHttpAgent::IndexOf(const QString &strHostName) const
{
    for (int i = 0; i < m_lstUpgrade.size(); ++i)
        if (m_lstUpgrade.at(i)->DevInfo().strHostName == strHostName)
            return i;
    return -1;
}

int CHttpAgent::StartUpgrade(QString strHostName, T_UpgradeInfo stUpgradeInfo)
{
    const int i32Index = IndexOf(strHostName);
    if (i32Index < 0)
        return 1;
    // A refusal is reported, so the caller counts the device as failed instead of waiting
    // for a notification that never comes.
    return m_lstUpgrade.at(i32Index)->StartUpgrade(strHostName, stUpgradeInfo) ? 0 : 2;
}

int CHttpAgent::QueryVersion(T_BaseDevInfo stDevInfo)
{
    AddDevice(stDevInfo);
    const int i32Index = IndexOf(stDevInfo.strHostName);
    if (i32Index < 0)
        return -1;
    m_lstUpgrade.at(i32Index)->QueryVersion();
    return 0;
}

bool CHttpAgent::RemoveAt(int i32Index)
{
    if (i32Index < 0 || i32Index >= m_lstUpgrade.size())
        return false;
    Drop(m_lstUpgrade.takeAt(i32Index));
    return true;
}

void CHttpAgent::Clear()
{
    const QList<CHttpUpgrade *> lst = m_lstUpgrade;
    m_lstUpgrade.clear();
    m_i32Count = 0;
    for (CHttpUpgrade *pUpgrade : lst)
        Drop(pUpgrade);
}

bool CHttpAgent::Abort(const QString &strHostName)
{
    const int i32Index = IndexOf(strHostName);
    if (i32Index < 0)
        return false;
    m_lstUpgrade.at(i32Index)->Abort();
    return true;
}

QString CHttpAgent::LastError(const QString &strHostName) const
{
    const int i32Index = IndexOf(strHostName);
    return i32Index < 0 ? QString() : m_lstUpgrade.at(i32Index)->LastError();
}

void CHttpAgent::Drop(CHttpUpgrade *pUpgrade)
{
    if (pUpgrade->IsIdle()) {
        // deleteLater: the caller may be inside this upgrader's notification.
        pUpgrade->deleteLater();
        return;
    }
    VLOG(lcHttp) << pUpgrade->DevInfo().strHostName << "busy; deleted when its run ends";
    m_lstDropped.append(pUpgrade);
}

void CHttpAgent::DisposeIfDropped(CHttpUpgrade *pUpgrade)
{
    if (!pUpgrade->IsIdle() || !m_lstDropped.removeOne(pUpgrade))
        return;
    pUpgrade->deleteLater();
}
