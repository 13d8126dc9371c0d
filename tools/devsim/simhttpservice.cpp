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
#include "simmultipart.h"
#include "simports.h"
#include "simservice.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <vector>

namespace
{

const QByteArray kBoundary = "---webkitFormBoundary8ESp7IbP7szByKvn";
const QByteArray kUploadContentType = "multipart/form-data; boundary=---webkitFormBoundary8ESp7IbP7szByKvn";
const int kMaxHeadBytes = 64 * 1024;

// What one device is doing between requests (shared by all its connections).
struct T_SimHttpDevice {
    const T_SimDevice *pDev = nullptr;
    bool bInstalling = false;
    int i32Polls = 0;
    QElapsedTimer installTimer;
};

QByteArray Reason(int i32Status)
{
    switch (i32Status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Text fitted into a fixed-width field of the version page: cut or padded with spaces.
QByteArray Field(const QString &str, int i32Width)
{
    QByteArray ba = str.toUtf8().left(i32Width);
    return ba + QByteArray(i32Width - ba.size(), ' ');
}

class CSimHttpConn : public QObject
{
public:
    CSimHttpConn(T_SimHttpDevice *pState, CSimRecord *pRecord, QTcpSocket *pSocket, QObject *parent)
        : QObject(parent), m_pState(pState), m_dev(*pState->pDev), m_pRecord(pRecord), m_pSocket(pSocket)
    {
        pSocket->setParent(this);
        // Bounded: a fast uploader waits in TCP flow control instead of in our memory, and
        // one connection cannot hog the loop while fifty others upload beside it.
        pSocket->setReadBufferSize(256 * 1024);
        connect(pSocket, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
        connect(pSocket, &QTcpSocket::disconnected, this, [this] { OnGone(); });
    }

private:
    enum E_Phase { HEAD, BODY, CHUNK_SIZE, CHUNK_DATA, CHUNK_END, TRAILER, ANSWERING };

    bool IsSet(const QString &strKnob, const QString &strStep) const
    {
        const QJsonValue v = m_dev.knobs.value(strKnob);
        if (v.isBool())
            return v.toBool();
        if (v.isString())
            return v.toString() == strStep;
        if (v.isArray())
            return v.toArray().contains(strStep);
        return false;
    }

    int DelayMs(const QString &strStep) const
    {
        const QJsonValue v = m_dev.knobs.value(QStringLiteral("http_delay_ms"));
        if (v.isObject())
            return v.toObject().value(strStep).toInt(0);
        return v.toInt(0);
    }

    void OnGone()
    {
        if (m_pUpload && m_ePhase != HEAD && m_ePhase != ANSWERING)
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_upload_abandoned"),
                             {{"bytes", static_cast<double>(m_i64BodyBytes)}});
        m_pUpload.reset();
        deleteLater();
    }

    void OnReadyRead()
    {
        m_baIn.append(m_pSocket->readAll());
        Process();
    }

    void Process()
    {
        while (m_ePhase != ANSWERING && m_pSocket) {
            if (m_ePhase == HEAD) {
                // Blank lines between requests are tolerated (RFC 7230 3.5).
                while (m_baIn.startsWith("\r\n"))
                    m_baIn.remove(0, 2);
                const int iEnd = m_baIn.indexOf("\r\n\r\n");
                if (iEnd < 0) {
                    if (m_baIn.size() > kMaxHeadBytes)
                        Fail(431);
                    return;
                }
                if (!ParseHead(m_baIn.left(iEnd)))
                    return;
                m_baIn.remove(0, iEnd + 4);
                continue;
            }
            if (m_ePhase == BODY) {
                const qint64 i64Take = qMin<qint64>(m_i64Remaining, m_baIn.size());
                Body(m_baIn.constData(), i64Take);
                m_baIn.remove(0, static_cast<int>(i64Take));
                m_i64Remaining -= i64Take;
                if (m_i64Remaining > 0)
                    return;
                RequestDone();
                continue;
            }
            if (m_ePhase == CHUNK_SIZE || m_ePhase == CHUNK_END || m_ePhase == TRAILER) {
                const int iEol = m_baIn.indexOf("\r\n");
                if (iEol < 0) {
                    if (m_baIn.size() > kMaxHeadBytes)
                        Fail(400);
                    return;
                }
                const QByteArray baLine = m_baIn.left(iEol);
                m_baIn.remove(0, iEol + 2);
                if (m_ePhase == CHUNK_END) {
                    if (!baLine.isEmpty())
                        return Fail(400);
                    m_ePhase = CHUNK_SIZE;
                } else if (m_ePhase == TRAILER) {
                    if (baLine.isEmpty())
                        RequestDone();
                } else {
                    bool bOk = false;
                    const qint64 i64Size = baLine.split(';').value(0).trimmed().toLongLong(&bOk, 16);
                    if (!bOk || i64Size < 0)
                        return Fail(400);
                    m_i64Remaining = i64Size;
                    m_ePhase = i64Size == 0 ? TRAILER : CHUNK_DATA;
                }
                continue;
            }
            if (m_ePhase == CHUNK_DATA) {
                const qint64 i64Take = qMin<qint64>(m_i64Remaining, m_baIn.size());
                Body(m_baIn.constData(), i64Take);
                m_baIn.remove(0, static_cast<int>(i64Take));
                m_i64Remaining -= i64Take;
                if (m_i64Remaining > 0)
                    return;
                m_ePhase = CHUNK_END;
                continue;
            }
        }
    }

    bool ParseHead(const QByteArray &baHead)
    {
        const QList<QByteArray> lines = baHead.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
            Fail(400);
            return false;
        }
        m_baMethod = requestLine.at(0);
        m_baPath = requestLine.at(1).split('?').value(0);
        m_baVersion = requestLine.at(2);
        m_headers.clear();
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray baLine = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
            const int iColon = baLine.indexOf(':');
            if (iColon <= 0)
                continue;
            // Values keep their bytes exactly (only the blanks after the colon go), so the
            // upload's Content-Type can be checked byte for byte.
            m_headers.append({baLine.left(iColon).trimmed().toLower(), baLine.mid(iColon + 1).trimmed()});
        }
        const QByteArray baConnection = Header("connection").toLower();
        m_bKeepAlive = m_baVersion == "HTTP/1.1" ? baConnection != "close" : baConnection == "keep-alive";
        m_i64BodyBytes = 0;
        m_pUpload.reset();
        if (m_baMethod == "POST" && m_baPath == "/cgi-bin/astfwup.cgi") {
            // The boundary the client announced; the check against the fixed one is recorded.
            QByteArray baBoundary = kBoundary;
            const QByteArray baType = Header("content-type");
            const int iB = baType.indexOf("boundary=");
            if (iB >= 0) {
                baBoundary = baType.mid(iB + 9).split(';').value(0).trimmed();
                if (baBoundary.size() >= 2 && baBoundary.startsWith('"') && baBoundary.endsWith('"'))
                    baBoundary = baBoundary.mid(1, baBoundary.size() - 2);
            }
            m_baBoundary = baBoundary;
            m_pUpload = std::make_unique<CSimMultipartParser>(baBoundary);
        }
        if (Header("transfer-encoding").toLower().contains("chunked")) {
            m_bChunked = true;
            m_ePhase = CHUNK_SIZE;
            return true;
        }
        m_bChunked = false;
        bool bOk = true;
        const QByteArray baLength = Header("content-length");
        m_i64Remaining = baLength.isEmpty() ? 0 : baLength.toLongLong(&bOk);
        if (!bOk || m_i64Remaining < 0) {
            Fail(400);
            return false;
        }
        m_ePhase = BODY;
        return true;
    }

    QByteArray Header(const char *pszName) const
    {
        for (const auto &h : m_headers)
            if (h.first == pszName)
                return h.second;
        return QByteArray();
    }

    void Body(const char *pData, qint64 i64Len)
    {
        m_i64BodyBytes += i64Len;
        if (m_pUpload)
            m_pUpload->Feed(pData, i64Len);
    }

    // A complete request: decide the answer, possibly after a delay.
    void RequestDone()
    {
        m_ePhase = ANSWERING;
        QString strStep;
        if (m_baPath == "/cgi-bin/astfwup.cgi")
            strStep = QStringLiteral("upload");
        else if (m_baPath == "/update_fw_result.txt")
            strStep = QStringLiteral("poll");
        else if (m_baPath == "/version.html")
            strStep = QStringLiteral("version");
        const int i32Delay = strStep.isEmpty() ? 0 : DelayMs(strStep);
        if (i32Delay <= 0)
            return Answer(strStep);
        QTimer::singleShot(i32Delay, this, [this, strStep] { Answer(strStep); });
    }

    void Answer(const QString &strStep)
    {
        // A client that gave up during a delay is not answered, nor is its poll counted.
        if (!m_pSocket || m_pSocket->state() != QAbstractSocket::ConnectedState)
            return;
        QJsonObject req{{"method", QString::fromLatin1(m_baMethod)},
                        {"path", QString::fromLatin1(m_baPath)},
                        {"chunked", m_bChunked}};
        if (!strStep.isEmpty() && IsSet(QStringLiteral("http_drop_at"), strStep)) {
            req.insert(QStringLiteral("fault"), QStringLiteral("drop"));
            Record(req, 0);
            m_pSocket->disconnectFromHost();
            return;
        }
        if (!strStep.isEmpty() && IsSet(QStringLiteral("http_garbage_at"), strStep)) {
            req.insert(QStringLiteral("fault"), QStringLiteral("garbage"));
            Record(req, 0);
            m_pSocket->write("SSH-2.0-OpenSSH_9.2\r\n\x01\x02\x03 not a web server\r\n\r\n");
            m_pSocket->disconnectFromHost();
            return;
        }

        int i32Status = 404;
        QByteArray baBody = "<html><body>404 Not Found</body></html>\n";
        QByteArray baType = "text/html";
        if (strStep == QLatin1String("upload")) {
            i32Status = Upload();
            baBody = i32Status == 200 ? "<html><body>upload ok</body></html>\n" : "<html><body>failed</body></html>\n";
        } else if (strStep == QLatin1String("poll")) {
            if (m_baMethod != "GET" && m_baMethod != "HEAD") {
                i32Status = 405;
            } else if (StillInstalling()) {
                i32Status = 200;
                baBody = "upgrading\n";
                baType = "text/plain";
            }
            req.insert(QStringLiteral("poll"), m_pState->i32Polls);
        } else if (strStep == QLatin1String("version")) {
            i32Status = m_dev.Knob(QStringLiteral("http_version_status"), 200);
            if (i32Status == 200)
                baBody = VersionPage();
        }
        if (!strStep.isEmpty() && i32Status == 200 && IsSet(QStringLiteral("http_huge_at"), strStep)) {
            req.insert(QStringLiteral("fault"), QStringLiteral("huge"));
            baBody = QByteArray(4 << 20, 'x');
        }
        Record(req, i32Status);
        if (!strStep.isEmpty() && i32Status == 200 && IsSet(QStringLiteral("http_cut_at"), strStep)) {
            // The whole length is announced, half of it arrives, and the connection ends.
            Send(i32Status, baType, baBody, baBody.size() / 2);
            m_pSocket->disconnectFromHost();
            return;
        }
        Send(i32Status, baType, m_baMethod == "HEAD" ? QByteArray() : baBody, -1);
        if (!m_bKeepAlive) {
            m_pSocket->disconnectFromHost();
            return;
        }
        m_ePhase = HEAD;
        // The next request may already be waiting in the buffer.
        QTimer::singleShot(0, this, [this] { Process(); });
    }

    void Record(QJsonObject req, int i32Status)
    {
        req.insert(QStringLiteral("status"), i32Status);
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_request"), req);
    }

    // Checks the upload against the exact form the device's CGI is sent, records what
    // arrived, and starts the installation when it is answered 200.
    int Upload()
    {
        if (!m_pUpload)
            return 405;
        m_pUpload->Finish();
        const QList<CSimMultipartParser::T_Part> &parts = m_pUpload->Parts();
        const CSimMultipartParser::T_Part part = parts.value(0);
        QByteArray baDisposition;
        QByteArray baPartType;
        for (const QByteArray &baLine : part.headerLines) {
            if (baLine.startsWith("Content-Disposition:"))
                baDisposition = baLine;
            else if (baLine.startsWith("Content-Type:"))
                baPartType = baLine;
        }
        const QByteArray baPrefix = "Content-Disposition: form-data; name=\"fwfile\"; filename=\"";
        const bool bDispositionOk =
            baDisposition.startsWith(baPrefix) && baDisposition.endsWith('"') && baDisposition.size() > baPrefix.size();
        QByteArray baFileName = baDisposition.mid(baPrefix.size());
        if (baFileName.endsWith('"'))
            baFileName.chop(1);
        const QString strFileName = bDispositionOk ? QString::fromUtf8(baFileName) : QString();
        const bool bPartTypeOk = baPartType == "Content-Type: application/octet-stream";
        const bool bBoundaryOk = m_baBoundary == kBoundary;
        const bool bTypeOk = Header("content-type") == kUploadContentType;
        const bool bFraming = m_pUpload->Preamble() == 0 && m_pUpload->ClosedWithLineEnd() &&
                              m_pUpload->Epilogue() == 0 && !m_pUpload->Broken();
        const bool bExact = bDispositionOk && bPartTypeOk && bBoundaryOk && bTypeOk && bFraming && parts.size() == 1 &&
                            part.bComplete && part.headerLines.size() == 2;
        const bool bUsable = !parts.isEmpty() && part.bComplete;
        int i32Status = bUsable ? m_dev.Knob(QStringLiteral("http_upload_status"), 200) : 400;

        QJsonArray headerLines;
        for (const QByteArray &ba : part.headerLines)
            headerLines.append(QString::fromUtf8(ba));
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_upload"),
                         {{"filename", strFileName},
                          {"size", static_cast<double>(part.i64Size)},
                          {"sha256", QString::fromLatin1(part.baSha256)},
                          {"body_bytes", static_cast<double>(m_i64BodyBytes)},
                          {"content_type", QString::fromLatin1(Header("content-type"))},
                          {"part_headers", headerLines},
                          {"parts", parts.size()},
                          {"boundary_ok", bBoundaryOk},
                          {"content_type_ok", bTypeOk},
                          {"disposition_ok", bDispositionOk},
                          {"part_type_ok", bPartTypeOk},
                          {"framing_ok", bFraming},
                          {"complete", bUsable},
                          {"exact", bExact},
                          {"status", i32Status}});
        m_pUpload.reset();
        if (i32Status == 200) {
            m_pState->bInstalling = true;
            m_pState->i32Polls = 0;
            m_pState->installTimer.start();
        }
        return i32Status;
    }

    // Answers one poll: true while the result file is still there.
    bool StillInstalling()
    {
        T_SimHttpDevice &st = *m_pState;
        if (!st.bInstalling)
            return false;
        ++st.i32Polls;
        bool bGone = false;
        bool bFailed = false;
        if (m_dev.Flag(QStringLiteral("http_result_stuck"))) {
            bGone = false;
        } else if (m_dev.Flag(QStringLiteral("install_fail"))) {
            bGone = st.i32Polls >= 2;
            bFailed = true;
        } else if (m_dev.knobs.contains(QStringLiteral("http_result_polls"))) {
            bGone = st.i32Polls > m_dev.Knob(QStringLiteral("http_result_polls"), 0);
        } else {
            bGone = st.installTimer.elapsed() >= m_dev.Knob(QStringLiteral("install_ms"), 4000);
        }
        if (!bGone)
            return true;
        st.bInstalling = false;
        m_pRecord->Event(
            m_dev.strHostName, QStringLiteral("http_installed"),
            {{"polls", st.i32Polls}, {"failed", bFailed}, {"ms", static_cast<double>(st.installTimer.elapsed())}});
        return false;
    }

    QByteArray VersionPage() const
    {
        // Offsets fixed by what the operator's program reads: 6..30 build time, 38..60 version.
        const QString strBuild = m_dev.Text(QStringLiteral("http_build_time"), QStringLiteral("2026-01-15 10:20:30"));
        return "Build:" + Field(strBuild, 25) + "\nVer : " + Field(m_dev.strVersion, 23) + "\n";
    }

    void Send(int i32Status, const QByteArray &baType, const QByteArray &baBody, int i32Cut)
    {
        QByteArray baOut = "HTTP/1.1 " + QByteArray::number(i32Status) + ' ' + Reason(i32Status) + "\r\n";
        baOut += "Server: velmora-devsim\r\n";
        baOut += "Content-Type: " + baType + "\r\n";
        baOut += "Content-Length: " + QByteArray::number(baBody.size()) + "\r\n";
        baOut += m_bKeepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
        baOut += "\r\n";
        baOut += i32Cut >= 0 ? baBody.left(i32Cut) : baBody;
        m_pSocket->write(baOut);
    }

    // A request we cannot read: answer it and end the connection, since the framing is lost.
    void Fail(int i32Status)
    {
        m_ePhase = ANSWERING;
        m_bKeepAlive = false;
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_bad_request"), {{"status", i32Status}});
        Send(i32Status, "text/plain", Reason(i32Status) + '\n', -1);
        m_pSocket->disconnectFromHost();
    }

    T_SimHttpDevice *m_pState;
    const T_SimDevice &m_dev;
    CSimRecord *m_pRecord;
    QPointer<QTcpSocket> m_pSocket;
    QByteArray m_baIn;
    E_Phase m_ePhase = HEAD;
    QByteArray m_baMethod;
    QByteArray m_baPath;
    QByteArray m_baVersion;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    bool m_bKeepAlive = true;
    bool m_bChunked = false;
    qint64 m_i64Remaining = 0;
    qint64 m_i64BodyBytes = 0;
    QByteArray m_baBoundary;
    std::unique_ptr<CSimMultipartParser> m_pUpload;
};

class CSimHttpService : public CSimService
{
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        m_states.resize(static_cast<size_t>(m_fleet.devices.size()));
        for (int i = 0; i < m_fleet.devices.size(); ++i) {
            const T_SimDevice &dev = m_fleet.devices.at(i);
            if (dev.strChannel != QLatin1String("http"))
                continue;
            T_SimHttpDevice *pState = &m_states[static_cast<size_t>(i)];
            pState->pDev = &dev;
            auto *pServer = new QTcpServer(this);
            if (!SimPorts::Listen(pServer, m_fleet, QStringLiteral("http"), 80, dev, strError))
                return false;
            connect(pServer, &QTcpServer::newConnection, this, [this, pServer, pState] {
                while (QTcpSocket *pSocket = pServer->nextPendingConnection()) {
                    m_pRecord->Event(pState->pDev->strHostName, QStringLiteral("http_connect"));
                    new CSimHttpConn(pState, m_pRecord, pSocket, this);
                }
            });
        }
        return true;
    }

private:
    std::vector<T_SimHttpDevice> m_states;
};

} // namespace

SIM_REGISTER_SERVICE("http", CSimHttpService);
