#pragma once

#include "common/timescale.h"

// Shortens every product timer for the lifetime of the object: 0.01 turns the
// 7000 ms response time-out into 70 ms. Restores the previous factor on exit.
class ScopedTimeScale
{
public:
    explicit ScopedTimeScale(double dScale) : m_dPrevious(Velmora::TimeScale()) { Velmora::SetTimeScale(dScale); }
    ~ScopedTimeScale() { Velmora::SetTimeScale(m_dPrevious); }
    ScopedTimeScale(const ScopedTimeScale &) = delete;
    ScopedTimeScale &operator=(const ScopedTimeScale &) = delete;

private:
    double m_dPrevious;
};
