#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

// A silence limit per device: a device whose reports stop moving (the same step and the same
// percentage over and over, or nothing at all) for the limit is reported stalled, once. Any
// report that moves restarts its limit, so a large image on a slow link or a long installation
// is never cut off while it is visibly getting on, and an endless "still installing" is still
// caught. One timer serves every device, armed at the earliest deadline.
class CProgressWatch : public QObject
{
    Q_OBJECT
public:
    // i32LimitMs is product time; the test time scale applies.
    explicit CProgressWatch(int i32LimitMs, QObject *parent = nullptr);

    // Starts (or starts again) the device's limit now, as if it had just moved.
    void Watch(const QString &strHostName);
    // A report of the device: restarts its limit when the step or the percentage differ from
    // its last report. Returns whether it moved. A device not watched is ignored.
    bool Report(const QString &strHostName, const QString &strStep, int i32Progress);
    void Forget(const QString &strHostName);
    void Clear();
    bool IsWatching(const QString &strHostName) const { return m_hashMotion.contains(strHostName); }
    int LimitMs() const { return m_i32LimitMs; }

signals:
    // These devices stood still for the limit; they are no longer watched. The receiver may
    // delete the watch.
    void signalStalled(QStringList lstHostNames);

private slots:
    void slotCheck();

private:
    struct T_Motion {
        qint64 i64MovedMs = 0;
        QString strStep;
        int i32Progress = -1;
        bool bReported = false;
    };
    void Arm();

    int m_i32LimitMs;
    QElapsedTimer m_clock;
    QHash<QString, T_Motion> m_hashMotion;
    QTimer m_timer;
};
