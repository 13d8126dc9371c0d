#pragma once

#include <QElapsedTimer>
#include <QTimer>

// The longest stall of the event loop it runs in: a 5 ms timer whose longest gap between two
// ticks, less the tick, is the longest time the loop did not get round to it.
class CStallMeter
{
public:
    CStallMeter();

    void Start();
    void Stop() { m_timer.stop(); }
    // Since Start(); 0 when the loop never stalled beyond a tick.
    qint64 MaxStallMs() const { return qMax<qint64>(0, m_i64MaxGap - TICK_MS); }

private:
    static constexpr int TICK_MS = 5;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_i64MaxGap = 0;
};
