#include "devlist/cdevlist.h"

CDevList::CDevList(QObject *parent) : QObject(parent) {}

bool CDevList::Add(const QString &strHostName, const QString &strDispName, const QString &strAddr)
{
    if (m_hashRows.contains(strHostName))
        return false;
    T_DevListRow stRow;
    stRow.strHostName = strHostName;
    stRow.strDispName = strDispName;
    stRow.strAlias = strDispName;
    stRow.strAddr = strAddr;
    m_hashRows.insert(strHostName, stRow);
    emit signalRowAdded(strHostName);
    return true;
}

bool CDevList::Remove(const QString &strHostName)
{
    if (!m_hashRows.remove(strHostName))
        return false;
    emit signalRowRemoved(strHostName);
    return true;
}

const T_DevListRow *CDevList::Find(const QString &strHostName) const
{
    const auto it = m_hashRows.constFind(strHostName);
    return it == m_hashRows.constEnd() ? nullptr : &it.value();
}

void CDevList::SetAddress(const QString &strHostName, const QString &strAddr)
{
    const auto it = m_hashRows.find(strHostName);
    if (it == m_hashRows.end())
        return;
    it->strAddr = strAddr;
    it->strNameFailure.clear();
    emit signalRowChanged(strHostName);
}

void CDevList::SetAlias(const QString &strHostName, const QString &strName)
{
    const auto it = m_hashRows.find(strHostName);
    if (it == m_hashRows.end() || strName.trimmed().isEmpty())
        return;
    it->strAlias = strName;
    emit signalRowChanged(strHostName);
}

void CDevList::SetNameFailure(const QString &strHostName, const QString &strReason)
{
    const auto it = m_hashRows.find(strHostName);
    if (it == m_hashRows.end())
        return;
    it->strNameFailure = strReason;
    emit signalRowChanged(strHostName);
}

void CDevList::ApplyReading(const QString &strHostName, const T_DevInfoReading &stReading)
{
    const auto it = m_hashRows.find(strHostName);
    if (it == m_hashRows.end())
        return;
    if (stReading.optVersion)
        it->strVersion = *stReading.optVersion;
    if (stReading.optVideoInput)
        it->strVideoInput = *stReading.optVideoInput;
    if (stReading.optVideoTiming)
        it->strVideoTiming = *stReading.optVideoTiming;
    emit signalRowChanged(strHostName);
}

T_BaseDevInfo CDevList::DevInfo(const QString &strHostName, bool bWithVersion) const
{
    T_BaseDevInfo stDevInfo;
    const T_DevListRow *pRow = Find(strHostName);
    if (!pRow)
        return stDevInfo;
    stDevInfo.strHostName = pRow->strHostName;
    stDevInfo.strDispName = pRow->strDispName;
    stDevInfo.strAddr = pRow->strAddr;
    stDevInfo.u32Port = 0;
    if (bWithVersion)
        stDevInfo.strDevVersion = pRow->strVersion;
    return stDevInfo;
}
