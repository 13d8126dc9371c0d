#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <climits>

// Who of a module pass may work now: at most a given number of devices at once, the rest
// waiting in device order, and devices that failed before they took the image waiting out a
// growing delay before another attempt. It only counts and keeps time; the batch starts the
// devices it hands out and tells it when each ends.
class CPassQueue : public QObject
{
    Q_OBJECT
public:
    explicit CPassQueue(QObject *parent = nullptr);

    // 0 or less: every device at once.
    void SetLimit(int i32MaxParallel) { m_i32Limit = i32MaxParallel; }
    // Up to i32Retries more attempts per device and pass; the first waits about i32FirstDelayMs
    // (product time), each later one twice as long, each with up to a fifth of jitter.
    void SetRetries(int i32Retries, int i32FirstDelayMs);
    int Retries() const { return m_i32Retries; }

    // A new pass over lstHosts: all of them wait, no one is working, attempts start at one.
    void Begin(const QStringList &lstHosts);
    // The waiting devices that may start now, in order, at most i32Max of them; they count as
    // working from here on.
    QStringList TakeStartable(int i32Max = INT_MAX);
    // Someone waits and a place is free.
    bool HasStartable() const { return !m_lstWaiting.isEmpty() && FreeSlots() > 0; }
    // Places not taken; INT_MAX without a limit.
    int FreeSlots() const { return m_i32Limit <= 0 ? INT_MAX : qMax(0, m_i32Limit - m_lstWorking.size()); }
    // The device ended its attempt (success or failure): its place is free.
    void Ended(const QString &strHostName);
    // After a failed attempt: true when another is allowed. The device then leaves its place,
    // waits the delay (in *pi32DelayMs) and joins the waiting again; signalReady() follows.
    bool Retry(const QString &strHostName, int *pi32DelayMs);
    // Attempts the device has started in this pass (1 for the first).
    int Attempt(const QString &strHostName) const { return m_hashAttempts.value(strHostName, 0); }
    // Everyone waiting or waiting out a delay, in order; none of them will start any more.
    QStringList TakeAllWaiting();
    void Clear();
    bool IsWaiting(const QString &strHostName) const;

    // The delay before attempt i32Attempt + 1, before jitter and scaling.
    static int BackoffMs(int i32FirstDelayMs, int i32Attempt);

signals:
    // A delay ended: TakeStartable() may have someone to hand out.
    void signalReady();

private:
    int m_i32Limit = 0;
    int m_i32Retries = 0;
    int m_i32FirstDelayMs = 5000;
    QStringList m_lstWaiting;
    QStringList m_lstWorking;
    QHash<QString, QTimer *> m_hashBackoff;
    QHash<QString, int> m_hashAttempts;
};
