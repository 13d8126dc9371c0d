#include "loopbackserver.h"

#include <QHostAddress>

LoopbackServer::LoopbackServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *pSocket = m_server.nextPendingConnection()) {
            const int i = m_connections.size();
            m_connections.append(pSocket);
            m_received.append(QByteArray());
            connect(pSocket, &QTcpSocket::readyRead, this, [this, pSocket, i] {
                m_received[i] += pSocket->readAll();
                emit bytesReceived(i);
            });
            emit newConnection();
        }
    });
}

bool LoopbackServer::Listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void LoopbackServer::Send(int i, const QByteArray &ba)
{
    if (QTcpSocket *pSocket = m_connections.value(i))
        pSocket->write(ba);
}

void LoopbackServer::Abort(int i)
{
    if (QTcpSocket *pSocket = m_connections.value(i))
        pSocket->abort();
}
