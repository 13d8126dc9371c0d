#pragma once

#include "telnet/cbasecomm.h"

#include <QAbstractSocket>
#include <QTimer>

class QTcpSocket;

// The shell channel over telnet: a TCP connection to a device address (no name lookup),
// port 24 on every device. Writes never block the event loop: a write still waiting to leave
// the socket after the write limit fails the run as a blocking write would have.
class CTelnetComm : public CBaseComm
{
    Q_OBJECT
public:
    CTelnetComm(const QString &strCmdPrefix, const QString &strTarget, const QString &strHost, quint16 port,
                QObject *parent = nullptr);
    ~CTelnetComm() override;

    // False when already connected or connecting, or when the host is not an IP address.
    // The silence checker runs from here, so a server that never reaches a prompt (or a
    // connection that never completes) ends the run in a time-out.
    bool Connect() override;
    bool Close() override;
    bool IsConnecting() override;
    void AbortConnect() override;
    bool IsConnected() override;
    bool WriteData(const QByteArray &data, bool bNewLine) override;

protected slots:
    void slotOnConnected();
    void slotOnDisconnected();
    void slotOnReadData();
    void slotOnError(QAbstractSocket::SocketError err);

private:
    void slotOnBytesWritten();
    void slotOnWriteTimeOut();
    // The one ending of a lost connection, reported once: a failure while commands wait, and
    // the success of a reboot the device closed on after reading it.
    void EndConnection(bool bPeerClosed);
    QString Peer() const;

    QTcpSocket *m_socket = nullptr;
    QString m_strHost;
    quint16 m_port;
    // A write that has not yet left the socket; the checker starts once it has.
    QTimer m_writeTimer;
    QByteArray m_pendingWrite;
    // Our own abort reports a close and errors: they are not the peer's doing.
    bool m_bAborting = false;
};
