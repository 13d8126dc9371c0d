#include "batch/cprogresswatch.h"

#include "common/timescale.h"

#include <QPointer>

#include <limits>

CProgressWatch::CProgressWatch(int i32LimitMs, QObject *parent) : QObject(parent), m_i32LimitMs(i32LimitMs)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CProgressWatch::slotCheck);
}

void CProgressWatch::Watch(const QString &strHostName)
{
    T_Motion stMotion;
    stMotion.i64MovedMs = m_clock.elapsed();
    m_hashMotion.insert(strHostName, stMotion);
    if (!m_timer.isActive())
        Arm();
}

bool CProgressWatch::Report(const QString &strHostName, const QString &strStep, int i32Progress)
{
    const auto it = m_hashMotion.find(strHostName);
    if (it == m_hashMotion.end())
        return false;
    if (it->bReported && it->strStep == strStep && it->i32Progress == i32Progress)
        return false;
    it->bReported = true;
    it->strStep = strStep;
    it->i32Progress = i32Progress;
    it->i64MovedMs = m_clock.elapsed();
    // The timer stays armed for the earliest deadline; a later one is found when it fires.
    return true;
}

void CProgressWatch::Forget(const QString &strHostName)
{
    m_hashMotion.remove(strHostName);
    if (m_hashMotion.isEmpty())
        m_timer.stop();
}

void CProgressWatch::Clear()
{
    m_hashMotion.clear();
    m_timer.stop();
}

void CProgressWatch::Arm()
{
    if (m_hashMotion.isEmpty()) {
        m_timer.stop();
        return;
    }
    const qint64 i64Limit = Velmora::ScaledMs(m_i32LimitMs);
    qint64 i64Earliest = -1;
    for (const T_Motion &st : qAsConst(m_hashMotion))
        if (i64Earliest < 0 || st.i64MovedMs < i64Earliest)
            i64Earliest = st.i64MovedMs;
    const qint64 i64Wait = qMax<qint64>(0, i64Earliest + i64Limit - m_clock.elapsed());
    m_timer.start(static_cast<int>(qMin<qint64>(i64Wait, std::numeric_limits<int>::max())));
}

void CProgressWatch::slotCheck()
{
    const qint64 i64Now = m_clock.elapsed();
    const qint64 i64Limit = Velmora::ScaledMs(m_i32LimitMs);
    QStringList lstStalled;
    for (auto it = m_hashMotion.begin(); it != m_hashMotion.end();) {
        if (i64Now - it->i64MovedMs >= i64Limit) {
            lstStalled << it.key();
            it = m_hashMotion.erase(it);
        } else {
            ++it;
        }
    }
    Arm();
    if (!lstStalled.isEmpty())
        emit signalStalled(lstStalled);
}
