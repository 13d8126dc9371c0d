#include "crolloutrows.h"

#include "cbatchdevrows.h"

#include <QTreeWidgetItem>

CRolloutRows::CRolloutRows(CRollout *pRollout, CBatchDevRows *pRows, QObject *parent)
    : QObject(parent), m_pRollout(pRollout), m_pRows(pRows)
{
    connect(m_pRollout, &CRollout::signalWaveStarted, this, [this](int i32Wave) { m_i32Wave = i32Wave; });
    connect(m_pRollout, &CRollout::signalDeviceWaiting, this,
            [this](T_BaseDevInfo stDevInfo) { ShowWaiting(stDevInfo); });
    connect(m_pRollout, &CRollout::signalDeviceRetry, this,
            [this](T_BaseDevInfo stDevInfo, int, int i32Attempt, QString, QString strReason, int i32DelayMs) {
                ShowRetry(stDevInfo, i32Attempt, strReason, i32DelayMs);
            });
    connect(m_pRollout, &CRollout::signalDeviceNotStarted, this,
            [this](T_BaseDevInfo stDevInfo, int, QString strReason) { ShowNotStarted(stDevInfo, strReason); });
    connect(m_pRollout, &CRollout::signalDeviceFailed, this,
            [this](T_BaseDevInfo stDevInfo) { m_setEnded.insert(stDevInfo.strHostName); });
    connect(m_pRollout, &CRollout::signalDeviceSucceeded, this, [this](T_BaseDevInfo stDevInfo, int i32Module) {
        if (i32Module >= m_i32LastModule)
            m_setEnded.insert(stDevInfo.strHostName);
    });
}

void CRolloutRows::Reset(const QList<T_BatchModule> &lstModules)
{
    m_i32Wave = -1;
    m_setEnded.clear();
    m_i32LastModule = -1;
    for (int i = 0; i < lstModules.size(); ++i)
        if (!lstModules.at(i).strFilePath.isEmpty())
            m_i32LastModule = i;
}

void CRolloutRows::ShowLaterWaves()
{
    for (int i = 0; i < m_pRows->Count(); ++i)
        if (m_pRollout->Wave(CBatchDevRows::HostOf(m_pRows->At(i))) > m_i32Wave)
            m_pRows->ShowState(m_pRows->At(i), tr("Waiting"));
}

void CRolloutRows::ShowAborted()
{
    for (int i = 0; i < m_pRows->Count(); ++i) {
        QTreeWidgetItem *pItem = m_pRows->At(i);
        const QString strHost = CBatchDevRows::HostOf(pItem);
        if (m_setEnded.contains(strHost))
            continue;
        const bool bStarted = m_pRollout->Wave(strHost) <= m_i32Wave;
        m_pRows->ShowState(pItem, bStarted ? tr("Upgrade failed") : tr("Not started"));
        m_pRows->ShowReason(pItem, bStarted ? tr("aborted") : tr("stopped before it started"));
    }
}

void CRolloutRows::ShowWaiting(const T_BaseDevInfo &stDevInfo)
{
    if (QTreeWidgetItem *pItem = m_pRows->Find(stDevInfo.strDispName))
        m_pRows->ShowState(pItem, tr("Waiting"));
}

void CRolloutRows::ShowRetry(const T_BaseDevInfo &stDevInfo, int i32Attempt, const QString &strReason, int i32DelayMs)
{
    QTreeWidgetItem *pItem = m_pRows->Find(stDevInfo.strDispName);
    if (!pItem)
        return;
    // When the next comes first: a narrow column cuts the end off.
    m_pRows->ShowState(pItem, tr("Retry in %1 s, attempt %2 failed").arg((i32DelayMs + 999) / 1000).arg(i32Attempt));
    // Kept after a later attempt succeeds: the history of the device's upgrade.
    m_pRows->ShowReason(pItem, tr("Attempt %1 failed: %2").arg(i32Attempt).arg(strReason));
}

void CRolloutRows::ShowNotStarted(const T_BaseDevInfo &stDevInfo, const QString &strReason)
{
    m_setEnded.insert(stDevInfo.strHostName);
    if (QTreeWidgetItem *pItem = m_pRows->Find(stDevInfo.strDispName)) {
        m_pRows->ShowState(pItem, tr("Not started"));
        m_pRows->ShowReason(pItem, strReason);
    }
}
