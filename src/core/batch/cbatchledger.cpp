#include "cbatchledger.h"

#include <QCoreApplication>

namespace
{
// Steps are shown to the operator in the channel's translation, so they are compared the same way.
bool IsUploadStep(const QString &strStep)
{
    return strStep == QLatin1String("Uploading") ||
           strStep == QCoreApplication::translate("CVazaMaintainSession", "Uploading") ||
           strStep == QCoreApplication::translate("CHttpUpgrade", "Uploading");
}

} // namespace

T_BaseDevInfo CBatchLedger::Device(const QString &strHostName) const
{
    for (const T_BaseDevInfo &st : m_lstDevices)
        if (st.strHostName == strHostName)
            return st;
    T_BaseDevInfo st;
    st.strHostName = strHostName;
    return st;
}

void CBatchLedger::BeginBatch()
{
    m_lstBatch.clear();
    for (const T_BaseDevInfo &st : qAsConst(m_lstDevices))
        m_lstBatch.append(st.strHostName);
    m_i32Done = 0;
    m_i32Failed = 0;
    m_i32Total = m_lstDevices.size();
}

void CBatchLedger::BeginPass()
{
    m_i32Done = 0;
    m_i32Failed = 0;
    m_hashRefusal.clear();
    m_hashState.clear();
    m_setTookImage.clear();
    for (const QString &strHost : qAsConst(m_lstBatch))
        m_hashState.insert(strHost, DEV_WAITING);
}

bool CBatchLedger::IsActive(const QString &strHostName) const
{
    const auto it = m_hashState.constFind(strHostName);
    return it != m_hashState.constEnd() && (it.value() == DEV_WORKING || it.value() == DEV_VERIFYING);
}

void CBatchLedger::StartWorking(const QString &strHostName)
{
    m_hashState.insert(strHostName, DEV_WORKING);
    m_setTookImage.remove(strHostName);
}

void CBatchLedger::Reported(const QString &strHostName, const QString &strStep, bool bError, bool bFinished)
{
    if (!bError && (bFinished || (!strStep.isEmpty() && !IsUploadStep(strStep))))
        m_setTookImage.insert(strHostName);
}

void CBatchLedger::Succeeded(const QString &strHostName)
{
    m_hashState.insert(strHostName, DEV_SUCCEEDED);
    ++m_i32Done;
}

void CBatchLedger::Failed(const QString &strHostName)
{
    m_hashState.insert(strHostName, DEV_FAILED);
    ++m_i32Done;
    ++m_i32Failed;
    m_lstBatch.removeAll(strHostName);
}

void CBatchLedger::Dropped(const QString &strHostName)
{
    m_hashState.insert(strHostName, DEV_FAILED);
    m_lstBatch.removeAll(strHostName);
}

QStringList CBatchLedger::TakeBatch()
{
    const QStringList lstHosts = m_lstBatch;
    m_lstBatch.clear();
    return lstHosts;
}

bool CBatchLedger::Remove(const QString &strHostName)
{
    for (int i = m_lstDevices.size() - 1; i >= 0; --i)
        if (m_lstDevices.at(i).strHostName == strHostName)
            m_lstDevices.removeAt(i);
    const bool bInBatch = m_lstBatch.removeAll(strHostName) > 0;
    // Gone before it could fail: no longer one of the batch's devices. One that failed
    // earlier stays counted as a failure.
    if (bInBatch)
        --m_i32Total;
    // A failure stays counted; a success leaves the count with the device, so the pass
    // still compares like with like. Anything it reports from now on finds no state.
    const auto it = m_hashState.find(strHostName);
    if (it != m_hashState.end()) {
        if (it.value() == DEV_SUCCEEDED)
            --m_i32Done;
        if (it.value() != DEV_FAILED)
            m_hashState.erase(it);
    }
    return bInBatch;
}
