#include "cstallmeter.h"

CStallMeter::CStallMeter()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_i64MaxGap = qMax(m_i64MaxGap, m_sinceTick.restart()); });
}

void CStallMeter::Start()
{
    m_i64MaxGap = 0;
    m_sinceTick.start();
    m_timer.start(TICK_MS);
}
