#pragma once

#include <QTcpServer>

// Listens for the server's data connection in active mode and accepts it the way a passive
// transfer opens its own: unbuffered for an upload, so the upload writes straight to the system.
class CDataServer : public QTcpServer
{
public:
    CDataServer(bool bUnbuffered, QObject *parent) : QTcpServer(parent), m_bUnbuffered(bUnbuffered) {}

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    bool m_bUnbuffered;
};
