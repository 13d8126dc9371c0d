#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QSocketNotifier;

// The controller's end of a serial line: a pseudo-terminal whose slave the program opens as
// its serial port. With a baud rate the line is paced like a real one at 10 bits per byte in
// each direction: received bytes reach the controller only when the line could have carried
// them, and a reply leaves once the line is free and arrives after its last byte's time.
// The slave is also held open (raw) here, so the line neither echoes nor hangs up between
// the program's sessions.
class CSimSerialLine : public QObject
{
    Q_OBJECT
public:
    explicit CSimSerialLine(QObject *parent = nullptr);
    ~CSimSerialLine() override;

    bool Open(int i32Baud, QString &strError);
    QString SlavePath() const { return m_strSlave; }
    // Queued behind whatever is still on its way out.
    void Send(const QByteArray &ba);
    // Sent after the line has been quiet for i32GapMs, so it arrives as a chunk of its own.
    void SendAlone(const QByteArray &ba, int i32GapMs);
    qint64 BytesIn() const { return m_i64In; }
    qint64 BytesOut() const { return m_i64Out; }

signals:
    // Bytes as the controller's UART delivers them.
    void Received(const QByteArray &ba);

private:
    void OnReadable();
    void Schedule(qint64 i64DueNs, std::function<void()> fn);
    void RunDue();
    void WriteNow(const QByteArray &ba);
    qint64 LineNs(qint64 i64Bytes) const;
    static qint64 NowNs();

    int m_i32Master = -1;
    int m_i32Slave = -1;
    int m_i32Baud = 0;
    QString m_strSlave;
    QSocketNotifier *m_pNotifier = nullptr;
    // A line at 921600 baud carries a byte every 11 us: millisecond timers would cost more
    // than the line itself, so the next due time is armed on a timerfd to the nanosecond.
    int m_i32TimerFd = -1;
    QSocketNotifier *m_pTimerNotifier = nullptr;
    qint64 m_i64ArmedNs = -1;
    qint64 m_i64RxFreeNs = 0;
    qint64 m_i64TxFreeNs = 0;
    qint64 m_i64In = 0;
    qint64 m_i64Out = 0;
    std::multimap<qint64, std::function<void()>> m_due;
};
