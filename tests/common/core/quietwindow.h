#pragma once

#include <QSignalSpy>

#include <functional>

// The one bounded wait a test may take: proving that nothing more happens. Everything else
// waits for what it expects (QSignalSpy::wait, QTRY_*). The window is given in product
// milliseconds (a poll period, a response time-out) and shortened by the test's
// ScopedTimeScale like every product timer, so it always covers the timer it is about.
// Returns false as soon as the count moves, with the new count in *pi32Now.
bool StaysAt(const std::function<int()> &count, int i32ProductMs, int *pi32Now = nullptr);
bool StaysAt(const QSignalSpy &spy, int i32ProductMs, int *pi32Now = nullptr);

// QVERIFY2 with the count it moved to: QVERIFY_QUIET(spy, 10000) or
// QVERIFY_QUIET([&] { return Heartbeats(); }, 6000).
#define QVERIFY_QUIET(counter, productMs)                                                                              \
    do {                                                                                                               \
        int i32QuietNow_ = 0;                                                                                          \
        QVERIFY2(StaysAt((counter), (productMs), &i32QuietNow_),                                                       \
                 qPrintable(QStringLiteral("'%1' moved to %2 within %3 ms (product time)")                             \
                                .arg(QLatin1String(#counter))                                                          \
                                .arg(i32QuietNow_)                                                                     \
                                .arg(productMs)));                                                                     \
    } while (false)
