#pragma once

#include <QList>
#include <QString>

#include <algorithm>

// What benchmarks (and the tests that bound memory) measure about their own process, and the
// images benchmarks send.
namespace BenchSupport
{
// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
qint64 ProcStatusKiB(const char *pszKey);
// Starts the peak resident set (VmHWM) afresh, so a phase's peak is its own; false where the
// system does not allow it.
bool ResetPeakRss();
// i64Size random bytes written in 64 KiB blocks, so an image of any size never sits in memory.
bool WriteRandomFile(const QString &strPath, qint64 i64Size);

// Lifts the limit of open descriptors to the hard limit, for us and the processes we start:
// every device takes a few sockets on each side.
void RaiseFileLimit();
// a / b, 0 when either is not positive (a figure that was not measured).
double Ratio(qint64 a, qint64 b);

template <typename T> T Median(QList<T> list)
{
    if (list.isEmpty())
        return T();
    std::sort(list.begin(), list.end());
    return list.at(list.size() / 2);
}
} // namespace BenchSupport
