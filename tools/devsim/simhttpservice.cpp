// The web server of the HTTP-upgraded models, on TCP 80 (options.ports.http overrides it),
// one listener per device with "channel": "http". A minimal HTTP/1.1 server written from the
// exchange itself, not through any HTTP library the product uses:
//   POST /cgi-bin/astfwup.cgi     multipart upload of the image (field "fwfile"); answered
//                                 once the whole body is in, then the device "installs"
//   GET  /update_fw_result.txt    200 while installing, 404 once done (or when idle)
//   GET  /version.html            build time at bytes 6..30, version at bytes 38..60
// Keep-alive and "Connection: close", Content-Length and chunked request bodies. The upload
// is parsed as it streams and only hashed, so many large uploads at once stay cheap.
//
// Knobs (per device; fleets/README.md has the table):
//   install_ms           installation time after the upload was answered (default 4000;
//                        0: the result file is gone at the first poll)
//   install_fail         true: the result file is gone at the second poll (the device failed)
//   http_result_polls    the result file is served to exactly this many polls, then gone
//   http_result_stuck    true: the result file never disappears
//   http_upload_status   status answered to a complete upload (default 200)
//   http_version_status  status answered to the version page (default 200)
//   http_build_time      build time text on the version page
//   http_drop_at         step(s) whose request is met by closing the connection, no answer
//   http_cut_at          step(s) answered 200 with the full length announced but half the body
//   http_garbage_at      step(s) answered with bytes that are not HTTP
//   http_huge_at         step(s) answered 200 with a body of 4 MiB (a device gone wrong)
//   http_delay_ms        ms before answering: a number (every step) or {"step": ms}
// Steps: "upload", "poll", "version".
#include "simhttpconnection.h"
#include "simhttpdevice.h"
#include "simports.h"
#include "simservice.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace
{

class CSimHttpService : public CSimService
{
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        for (const T_SimDevice &dev : m_fleet.devices) {
            if (dev.strChannel != QLatin1String("http"))
                continue;
            m_devices.push_back(std::make_unique<CSimHttpDevice>(dev, m_pRecord));
            CSimHttpDevice *pDevice = m_devices.back().get();
            auto *pServer = new QTcpServer(this);
            if (!SimPorts::Listen(pServer, m_fleet, QStringLiteral("http"), 80, dev, strError))
                return false;
            connect(pServer, &QTcpServer::newConnection, this, [this, pServer, pDevice] {
                while (QTcpSocket *pSocket = pServer->nextPendingConnection()) {
                    m_pRecord->Event(pDevice->Device().strHostName, QStringLiteral("http_connect"));
                    new CSimHttpConnection(pDevice, m_pRecord, pSocket, this);
                }
            });
        }
        return true;
    }

private:
    std::vector<std::unique_ptr<CSimHttpDevice>> m_devices; // one per HTTP device, shared by its connections
};

} // namespace

SIM_REGISTER_SERVICE("http", CSimHttpService);
