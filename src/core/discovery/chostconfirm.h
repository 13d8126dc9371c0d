#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

// Asks the box at one address who it is before anything is done to it by name: a mistyped
// address, or a box that changed address, must not take another box's reboot or upgrade.
// The search request goes to that address alone (never to the group), and the host name in
// the answer from that address is compared with the one expected. finished() comes once per
// Start(), never from inside it; delete the object from its slot only with deleteLater().
class CHostConfirm : public QObject
{
    Q_OBJECT
public:
    enum E_Result {
        HOST_CONFIRMED, // the box at the address answered with the expected host name
        HOST_OTHER,     // another box answers there: AnsweredHostName() names it
        HOST_SILENT,    // nothing answered from the address
        HOST_NO_PORT    // the answer port could not be bound: nothing can be confirmed
    };
    Q_ENUM(E_Result)

    // Requests sent, this far apart, before the address counts as silent one interval after
    // the last (scaled in tests); a lost datagram does not make a box silent.
    static constexpr int kRequests = 2;
    static constexpr int kIntervalMs = 1000;

    explicit CHostConfirm(QObject *parent = nullptr);

    void Start(const QString &strHostName, const QString &strAddr);
    E_Result Result() const { return m_eResult; }
    QString AnsweredHostName() const { return m_strAnswered; }
    // Why the box was not confirmed, for the operator; empty when it was.
    QString RefusalText() const;

signals:
    void finished(CHostConfirm::E_Result eResult);

private slots:
    void slotOnTick();
    void slotOnAnswer();

private:
    void Finish(E_Result eResult);

    QString m_strHostName;
    QHostAddress m_addr;
    QUdpSocket m_recvSocket;
    QUdpSocket m_sendSocket;
    QTimer m_timer;
    int m_iSent = 0;
    bool m_bRunning = false;
    E_Result m_eResult = HOST_SILENT;
    QString m_strAnswered;
    QString m_strPortError;
};
