#include "ftp/cdataserver.h"

#include <QTcpSocket>

void CDataServer::incomingConnection(qintptr socketDescriptor)
{
    auto *pSocket = new QTcpSocket(this);
    const QIODevice::OpenMode mode =
        m_bUnbuffered ? QIODevice::ReadWrite | QIODevice::Unbuffered : QIODevice::ReadWrite;
    if (!pSocket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState, mode)) {
        delete pSocket;
        return;
    }
    addPendingConnection(pSocket);
}
