#include "quietwindow.h"

#include "common/timescale.h"

#include <QTest>

bool StaysAt(const std::function<int()> &count, int i32ProductMs, int *pi32Now)
{
    const int i32Before = count();
    int i32Now = i32Before;
    // qWaitFor keeps the event loop running, so whatever would arrive does arrive.
    const bool bMoved = QTest::qWaitFor(
        [&] {
            i32Now = count();
            return i32Now != i32Before;
        },
        Velmora::ScaledMs(i32ProductMs));
    if (pi32Now)
        *pi32Now = i32Now;
    return !bMoved;
}

bool StaysAt(const QSignalSpy &spy, int i32ProductMs, int *pi32Now)
{
    return StaysAt([&spy] { return spy.count(); }, i32ProductMs, pi32Now);
}
