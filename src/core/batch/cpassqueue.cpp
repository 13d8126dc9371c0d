#include "cpassqueue.h"

#include "common/timescale.h"

#include <QRandomGenerator>

CPassQueue::CPassQueue(QObject *parent) : QObject(parent) {}

void CPassQueue::SetRetries(int i32Retries, int i32FirstDelayMs)
{
    m_i32Retries = qMax(0, i32Retries);
    m_i32FirstDelayMs = qMax(0, i32FirstDelayMs);
}

int CPassQueue::BackoffMs(int i32FirstDelayMs, int i32Attempt)
{
    // Capped so that a large retry count cannot overflow into a negative wait.
    const int i32Doublings = qBound(0, i32Attempt - 1, 16);
    return static_cast<int>(qMin<qint64>(qint64(i32FirstDelayMs) << i32Doublings, 3600000));
}

void CPassQueue::Begin(const QStringList &lstHosts)
{
    Clear();
    m_lstWaiting = lstHosts;
}

QStringList CPassQueue::TakeStartable(int i32Max)
{
    QStringList lstStart;
    while (lstStart.size() < i32Max && HasStartable()) {
        const QString strHost = m_lstWaiting.takeFirst();
        m_lstWorking << strHost;
        ++m_hashAttempts[strHost];
        lstStart << strHost;
    }
    return lstStart;
}

void CPassQueue::Ended(const QString &strHostName)
{
    m_lstWorking.removeAll(strHostName);
}

bool CPassQueue::Retry(const QString &strHostName, int *pi32DelayMs)
{
    const int i32Attempt = m_hashAttempts.value(strHostName, 0);
    if (i32Attempt < 1 || i32Attempt > m_i32Retries || m_hashBackoff.contains(strHostName))
        return false;
    m_lstWorking.removeAll(strHostName);
    // Jitter keeps devices that failed together (a switch rebooting) from all coming back in
    // the same instant.
    const double dJitter = 0.8 + 0.4 * QRandomGenerator::global()->generateDouble();
    const int i32Delay = static_cast<int>(BackoffMs(m_i32FirstDelayMs, i32Attempt) * dJitter);
    if (pi32DelayMs)
        *pi32DelayMs = i32Delay;
    auto *pTimer = new QTimer(this);
    pTimer->setSingleShot(true);
    connect(pTimer, &QTimer::timeout, this, [this, strHostName, pTimer] {
        m_hashBackoff.remove(strHostName);
        pTimer->deleteLater();
        m_lstWaiting << strHostName;
        emit signalReady();
    });
    m_hashBackoff.insert(strHostName, pTimer);
    pTimer->start(Velmora::ScaledMs(i32Delay));
    return true;
}

QStringList CPassQueue::TakeAllWaiting()
{
    QStringList lst = m_lstWaiting;
    for (auto it = m_hashBackoff.begin(); it != m_hashBackoff.end(); ++it) {
        lst << it.key();
        it.value()->stop();
        it.value()->deleteLater();
    }
    m_hashBackoff.clear();
    m_lstWaiting.clear();
    return lst;
}

void CPassQueue::Clear()
{
    TakeAllWaiting();
    m_lstWorking.clear();
    m_hashAttempts.clear();
}

bool CPassQueue::IsWaiting(const QString &strHostName) const
{
    return m_lstWaiting.contains(strHostName) || m_hashBackoff.contains(strHostName);
}
