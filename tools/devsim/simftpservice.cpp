// The devices' FTP servers: image upload (STOR) and log download (RETR), one listener per
// device address on port 21, or on options.ports.ftp (0: a port the system picks).
#include "simftpsession.h"
#include "simftpstore.h"
#include "simservice.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

namespace
{

class CSimFtpService : public CSimService
{
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        const int iPort = m_fleet.Port(QStringLiteral("ftp"), 21);
        const QJsonObject ftp = m_fleet.options.value(QStringLiteral("ftp")).toObject();
        CSimFtpStore &store = CSimFtpStore::Instance();
        store.SetKeepContent(ftp.value(QStringLiteral("keep_files")).toBool(true));

        QTextStream out(stdout);
        for (int i = 0; i < m_fleet.devices.size(); ++i) {
            const T_SimDevice &dev = m_fleet.devices.at(i);
            // Files a device offers for download from the start (its log, typically).
            const QJsonObject files = dev.knobs.value(QStringLiteral("ftp_files")).toObject();
            for (auto it = files.begin(); it != files.end(); ++it)
                store.Put(dev.strHostName, it.key(), it.value().toString().toUtf8());

            auto *pServer = new QTcpServer(this);
            if (!pServer->listen(QHostAddress(dev.strAddr), static_cast<quint16>(iPort))) {
                strError = QStringLiteral("cannot listen on %1:%2: %3")
                               .arg(dev.strAddr)
                               .arg(iPort)
                               .arg(pServer->errorString());
                return false;
            }
            connect(pServer, &QTcpServer::newConnection, this, [this, pServer, i] {
                while (QTcpSocket *pSocket = pServer->nextPendingConnection())
                    new CSimFtpSession(m_fleet.devices.at(i), m_pRecord, pSocket, this);
            });
            // Tests and benchmarks with ephemeral ports learn each device's port here.
            out << "velmora-devsim: ftp " << dev.strHostName << ' ' << dev.strAddr << ':' << pServer->serverPort()
                << '\n';
        }
        out.flush();
        return true;
    }
};

} // namespace

SIM_REGISTER_SERVICE("ftp", CSimFtpService);
