#include "common/timescale.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace Velmora
{
namespace
{
double InitialScale()
{
    // Child processes started by tests (the simulator, headless drivers) inherit the factor.
    const QByteArray ba = qgetenv("VELMORA_TIME_SCALE");
    bool bOk = false;
    const double d = ba.toDouble(&bOk);
    return (bOk && d > 0.0 && d <= 1.0) ? d : 1.0;
}
std::atomic<double> g_dScale{InitialScale()};
} // namespace

double TimeScale()
{
    return g_dScale.load();
}

void SetTimeScale(double dScale)
{
    if (dScale > 0.0)
        g_dScale.store(dScale);
}

int ScaledMs(int i32Ms)
{
    const double d = g_dScale.load();
    if (d == 1.0)
        return i32Ms;
    const long l = std::lround(i32Ms * d);
    return l < 1 ? 1 : static_cast<int>(l);
}

} // namespace Velmora
