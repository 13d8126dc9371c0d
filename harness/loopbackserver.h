#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A TCP server on 127.0.0.1 and a port the system picks, for tests that need a
// peer: it accepts, records every byte each connection sends, and lets the test
// answer, cut a connection or stop accepting. Never binds a fixed port.
class LoopbackServer : public QObject
{
    Q_OBJECT
public:
    explicit LoopbackServer(QObject *parent = nullptr);

    bool Listen();
    quint16 Port() const { return m_server.serverPort(); }
    void StopListening() { m_server.close(); }

    int ConnectionCount() const { return m_connections.size(); }
    QTcpSocket *Connection(int i) const { return m_connections.value(i); }
    QTcpSocket *LastConnection() const { return m_connections.isEmpty() ? nullptr : m_connections.last().data(); }
    // All bytes received on connection i so far.
    QByteArray Received(int i) const { return m_received.value(i); }
    QByteArray ReceivedOnLast() const { return m_received.isEmpty() ? QByteArray() : m_received.last(); }

    void Send(int i, const QByteArray &ba);
    // Resets the connection (RST), as a device that crashes would.
    void Abort(int i);

signals:
    void newConnection();
    void bytesReceived(int iConnection);

private:
    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_connections;
    QList<QByteArray> m_received;
};
