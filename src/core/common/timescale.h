#pragma once

// The one seam through which tests shorten the product's timers.
// Product code writes its intervals as they are meant (7000 ms, 15000 ms, ...)
// and passes them through ScaledMs(); only tests change the factor, so a
// 7-second time-out can be crossed in 70 ms without a different code path.
namespace Velmora
{

// Factor applied to every product timer; 1.0 unless a test changed it.
double TimeScale();
void SetTimeScale(double dScale);
// Interval in ms after scaling; never below 1 ms so a timer still yields to the event loop.
int ScaledMs(int i32Ms);

} // namespace Velmora
