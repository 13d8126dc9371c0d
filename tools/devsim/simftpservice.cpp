// The devices' FTP servers: image upload (STOR) and log download (RETR), one listener per
// device address on port 21, or on options.ports.ftp (0: any, see simports.h).
#include "simftpsession.h"
#include "simftpstore.h"
#include "simports.h"
#include "simservice.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace
{

class CSimFtpService : public CSimService
{
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        const QJsonObject ftp = m_fleet.options.value(QStringLiteral("ftp")).toObject();
        CSimFtpStore &store = CSimFtpStore::Instance();
        store.SetKeepContent(ftp.value(QStringLiteral("keep_files")).toBool(true));
        store.SetHashContent(ftp.value(QStringLiteral("sha256")).toBool(true));
        for (int i = 0; i < m_fleet.devices.size(); ++i) {
            const T_SimDevice &dev = m_fleet.devices.at(i);
            // Files a device offers for download from the start (its log, typically).
            const QJsonObject files = dev.knobs.value(QStringLiteral("ftp_files")).toObject();
            for (auto it = files.begin(); it != files.end(); ++it)
                store.Put(dev.strHostName, it.key(), it.value().toString().toUtf8());

            auto *pServer = new QTcpServer(this);
            if (!SimPorts::Listen(pServer, m_fleet, QStringLiteral("ftp"), 21, dev, strError))
                return false;
            connect(pServer, &QTcpServer::newConnection, this, [this, pServer, i] {
                while (QTcpSocket *pSocket = pServer->nextPendingConnection())
                    new CSimFtpSession(m_fleet.devices.at(i), m_pRecord, pSocket, this);
            });
        }
        return true;
    }
};

} // namespace

SIM_REGISTER_SERVICE("ftp", CSimFtpService);
