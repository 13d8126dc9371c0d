#include "simhttpconnection.h"

#include "simhttpdevice.h"

#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

namespace
{

const int kMaxHeadBytes = 64 * 1024;

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

} // namespace

CSimHttpConnection::CSimHttpConnection(CSimHttpDevice *pDevice, CSimRecord *pRecord, QTcpSocket *pSocket,
                                       QObject *parent)
    : QObject(parent), m_pDevice(pDevice), m_dev(pDevice->Device()), m_pRecord(pRecord), m_pSocket(pSocket)
{
    pSocket->setParent(this);
    // Bounded: a fast uploader waits in TCP flow control instead of in our memory, and
    // one connection cannot hog the loop while fifty others upload beside it.
    pSocket->setReadBufferSize(256 * 1024);
    connect(pSocket, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
    connect(pSocket, &QTcpSocket::disconnected, this, [this] { OnGone(); });
}

void CSimHttpConnection::OnGone()
{
    if (m_pUpload && m_ePhase != HEAD && m_ePhase != ANSWERING)
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_upload_abandoned"),
                         {{"bytes", static_cast<double>(m_i64BodyBytes)}});
    m_pUpload.reset();
    deleteLater();
}

void CSimHttpConnection::OnReadyRead()
{
    m_baIn.append(m_pSocket->readAll());
    Process();
}

void CSimHttpConnection::Process()
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

bool CSimHttpConnection::ParseHead(const QByteArray &baHead)
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
        m_baBoundary = CSimHttpDevice::UploadBoundary(Header("content-type"));
        m_pUpload = std::make_unique<CSimMultipartParser>(m_baBoundary);
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

QByteArray CSimHttpConnection::Header(const char *pszName) const
{
    for (const auto &h : m_headers)
        if (h.first == pszName)
            return h.second;
    return QByteArray();
}

void CSimHttpConnection::Body(const char *pData, qint64 i64Len)
{
    m_i64BodyBytes += i64Len;
    if (m_pUpload)
        m_pUpload->Feed(pData, i64Len);
}

void CSimHttpConnection::RequestDone()
{
    m_ePhase = ANSWERING;
    QString strStep;
    if (m_baPath == "/cgi-bin/astfwup.cgi")
        strStep = QStringLiteral("upload");
    else if (m_baPath == "/update_fw_result.txt")
        strStep = QStringLiteral("poll");
    else if (m_baPath == "/version.html")
        strStep = QStringLiteral("version");
    const int i32Delay = strStep.isEmpty() ? 0 : m_pDevice->DelayMs(strStep);
    if (i32Delay <= 0)
        return Answer(strStep);
    QTimer::singleShot(i32Delay, this, [this, strStep] { Answer(strStep); });
}

void CSimHttpConnection::Answer(const QString &strStep)
{
    // A client that gave up during a delay is not answered, nor is its poll counted.
    if (!m_pSocket || m_pSocket->state() != QAbstractSocket::ConnectedState)
        return;
    QJsonObject req{
        {"method", QString::fromLatin1(m_baMethod)}, {"path", QString::fromLatin1(m_baPath)}, {"chunked", m_bChunked}};
    if (!strStep.isEmpty() && m_pDevice->IsSet(QStringLiteral("http_drop_at"), strStep)) {
        req.insert(QStringLiteral("fault"), QStringLiteral("drop"));
        Record(req, 0);
        m_pSocket->disconnectFromHost();
        return;
    }
    if (!strStep.isEmpty() && m_pDevice->IsSet(QStringLiteral("http_garbage_at"), strStep)) {
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
        i32Status =
            m_pUpload ? m_pDevice->Upload(*m_pUpload, m_baBoundary, Header("content-type"), m_i64BodyBytes) : 405;
        m_pUpload.reset();
        baBody = i32Status == 200 ? "<html><body>upload ok</body></html>\n" : "<html><body>failed</body></html>\n";
    } else if (strStep == QLatin1String("poll")) {
        if (m_baMethod != "GET" && m_baMethod != "HEAD") {
            i32Status = 405;
        } else if (m_pDevice->StillInstalling()) {
            i32Status = 200;
            baBody = "upgrading\n";
            baType = "text/plain";
        }
        req.insert(QStringLiteral("poll"), m_pDevice->Polls());
    } else if (strStep == QLatin1String("version")) {
        i32Status = m_dev.Knob(QStringLiteral("http_version_status"), 200);
        if (i32Status == 200)
            baBody = m_pDevice->VersionPage();
    }
    if (!strStep.isEmpty() && i32Status == 200 && m_pDevice->IsSet(QStringLiteral("http_huge_at"), strStep)) {
        req.insert(QStringLiteral("fault"), QStringLiteral("huge"));
        baBody = QByteArray(4 << 20, 'x');
    }
    Record(req, i32Status);
    if (!strStep.isEmpty() && i32Status == 200 && m_pDevice->IsSet(QStringLiteral("http_cut_at"), strStep)) {
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

void CSimHttpConnection::Record(QJsonObject req, int i32Status)
{
    req.insert(QStringLiteral("status"), i32Status);
    m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_request"), req);
}

void CSimHttpConnection::Send(int i32Status, const QByteArray &baType, const QByteArray &baBody, int i32Cut)
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

void CSimHttpConnection::Fail(int i32Status)
{
    m_ePhase = ANSWERING;
    m_bKeepAlive = false;
    m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_bad_request"), {{"status", i32Status}});
    Send(i32Status, "text/plain", Reason(i32Status) + '\n', -1);
    m_pSocket->disconnectFromHost();
}
