#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A pseudo-terminal pair for serial tests: the product opens SlavePath() as its serial
// port, the test plays the other end through the master. The slave is held open and raw
// here too, so the line neither echoes nor hangs up between the product's sessions.
class PtyPair : public QObject
{
    Q_OBJECT
public:
    PtyPair();
    ~PtyPair() override;
    bool IsOpen() const { return m_i32Master >= 0; }
    QString SlavePath() const { return m_strSlave; }
    void Write(const QByteArray &ba);
    // Everything received since the last Take().
    QByteArray Take();
    QByteArray Received() const { return m_baRecv; }
    // Closes the master: the product's port sees the line hang up.
    void Hangup();

signals:
    void ReadyRead();

private:
    void OnReadable();
    int m_i32Master = -1;
    int m_i32Slave = -1;
    QString m_strSlave;
    QSocketNotifier *m_pNotifier = nullptr;
    QByteArray m_baRecv;
};
