#include "http/chttpupgrade.h"

#include "common/timescale.h"
#include "common/vlog.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

namespace
{
// The devices' CGI accepts exactly this boundary (a browser's, frozen in their firmware).
const char kBoundary[] = "---webkitFormBoundary8ESp7IbP7szByKvn";
const char kUploadContentType[] = "multipart/form-data; boundary=---webkitFormBoundary8ESp7IbP7szByKvn";
const int kPollMs = 1000;
// 0.3 % per poll: the device says nothing about its progress, so it is estimated from time.
const float kProgressPerPoll = 0.3f;
// A request with no byte moving either way for this long is given up. Without it a device
// that sends a broken chunked answer and closes leaves the reply open for good (Qt never
// finishes it), and the upgrader refuses every later version query. Generous on purpose:
// a simulator serving hundreds of uploads at once starves single connections for seconds.
const int kStallMs = 300000;
// Every answer the devices give is a few lines of text; a device that answers with more is
// not well, and its answer must not grow in memory without end.
const qint64 kMaxReplyBytes = 64 * 1024;

QNetworkRequest Request(const QString &strUrl)
{
    QNetworkRequest request{QUrl(strUrl)};
    request.setTransferTimeout(Velmora::ScaledMs(kStallMs));
    return request;
}

int StatusOf(QNetworkReply *reply)
{
    const QVariant v = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return v.isValid() ? v.toInt() : 0;
}

// Counts slots the network objects are calling, so the destructor knows whether one of
// them is mid-emission. The counter is not touched again if a receiver deleted the upgrader.
class CNetworkSlotScope
{
public:
    CNetworkSlotScope(QObject *pOwner, int &i32Depth) : m_pOwner(pOwner), m_i32Depth(i32Depth) { ++m_i32Depth; }
    ~CNetworkSlotScope()
    {
        if (m_pOwner)
            --m_i32Depth;
    }

private:
    QPointer<QObject> m_pOwner;
    int &m_i32Depth;
};
} // namespace

CHttpUpgrade::CHttpUpgrade(T_BaseDevInfo stDevInfo, QObject *parent)
    : QObject(parent), m_stDevInfo(std::move(stDevInfo)), m_strAddr(m_stDevInfo.strAddr)
{
    Velmora::RegisterMaintainMetaTypes();
    BuildUrls();
    m_pManager = new QNetworkAccessManager(this);
    // Devices sit on the local network: never send their images through a proxy that an
    // http_proxy variable or a system setting might name.
    m_pManager->setProxy(QNetworkProxy::NoProxy);
    connect(m_pManager, &QNetworkAccessManager::finished, this, &CHttpUpgrade::slotReplyFinished);
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, &CHttpUpgrade::slotOnGetTimeOut);
}

CHttpUpgrade::~CHttpUpgrade()
{
    m_pollTimer.stop();
    m_pManager->disconnect(this);
    if (m_pReply)
        m_pReply->disconnect(this);
    if (m_i32InNetworkSlot > 0) {
        // Deleted by a receiver of a notification that the manager (or a reply of it) is
        // still emitting: Qt touches both after our slot returns. Requests still in flight
        // die with the manager.
        m_pManager->setParent(nullptr);
        m_pManager->deleteLater();
    }
    // Otherwise the manager goes with us as our child, aborting whatever is in flight.
}

void CHttpUpgrade::BuildUrls()
{
    // The address may carry a port ("127.0.0.1:8080"); real devices listen on 80.
    const QString strBase = QStringLiteral("http://") + m_strAddr;
    m_strUpgradeUrl = strBase + QStringLiteral("/cgi-bin/astfwup.cgi");
    m_strVersionUrl = strBase + QStringLiteral("/version.html");
    m_strResultUrl = strBase + QStringLiteral("/update_fw_result.txt");
}

void CHttpUpgrade::SetAddress(const QString &strAddr)
{
    if (strAddr == m_strAddr)
        return;
    VLOG(lcHttp) << m_stDevInfo.strHostName << m_strAddr << "->" << strAddr;
    m_strAddr = strAddr;
    m_stDevInfo.strAddr = strAddr;
    BuildUrls();
}

bool CHttpUpgrade::StartUpgrade(QString strHostName, T_UpgradeInfo stUpgradeInfo)
{
    Q_UNUSED(strHostName)
    // The running upload reads its file from the body we handed to the manager: replacing
    // (and releasing) it now would pull the file out from under that upload.
    if (m_eState == HTTP_UPLOAD && m_pReply) {
        m_strLastError = tr("refused: an upload to the device is still running");
        VLOG(lcHttp) << m_stDevInfo.strHostName << m_strLastError;
        return false;
    }
    const QString strPath = stUpgradeInfo.strFilePath;
    if (strPath.isEmpty()) {
        m_strLastError = tr("no upload file given");
        VLOG(lcHttp) << m_stDevInfo.strHostName << m_strLastError;
        return false;
    }
    auto *pFile = new QFile(strPath);
    if (!pFile->open(QIODevice::ReadOnly)) {
        m_strLastError = tr("upload file unreadable: %1 (%2)").arg(strPath, pFile->errorString());
        VLOG(lcHttp) << m_stDevInfo.strHostName << m_strLastError;
        delete pFile;
        return false;
    }

    // A poll or version request still out belongs to what came before; its reply is dropped.
    DropOutstanding();
    m_stUpgradeInfo = stUpgradeInfo;
    m_strFilePath = strPath;
    m_fProgress = 0.0f;
    m_i32Polls = 0;
    m_strLastError.clear();
    m_pFile = pFile;

    auto *pMultiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    pMultiPart->setBoundary(kBoundary);
    QHttpPart part;
    // The path goes out unchanged, as the device's CGI has always been sent it.
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QByteArray("form-data; name=\"fwfile\"; filename=\"") + strPath.toUtf8() + '"');
    part.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/octet-stream"));
    // Streamed: the body reads the file piece by piece as the socket drains, never all at once.
    part.setBodyDevice(pFile);
    pFile->setParent(pMultiPart);
    pMultiPart->append(part);

    QNetworkRequest request = Request(m_strUpgradeUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(kUploadContentType));
    m_pReply = m_pManager->post(request, pMultiPart);
    WatchReplySize();
    pMultiPart->setParent(m_pReply);
    connect(m_pReply, &QNetworkReply::uploadProgress, this, &CHttpUpgrade::slotOnUploadProgress);
    VLOG(lcHttp) << m_stDevInfo.strHostName << "POST" << m_strUpgradeUrl << strPath << pFile->size();

    // Before the notification: a receiver may query or delete us from inside it.
    m_eState = HTTP_UPLOAD;
    EmitUpgrade(QStringLiteral("Uploading"), false, false, 0);
    return true;
}

bool CHttpUpgrade::QueryVersion()
{
    if (m_eState != HTTP_IDLE)
        return false;
    m_pReply = m_pManager->get(Request(m_strVersionUrl));
    WatchReplySize();
    m_eState = HTTP_VERSION;
    VLOG(lcHttp) << m_stDevInfo.strHostName << "GET" << m_strVersionUrl;
    return true;
}

void CHttpUpgrade::Abort()
{
    VLOG(lcHttp) << m_stDevInfo.strHostName << "state" << m_eState;
    DropOutstanding();
    ReleaseFile();
    if (m_eState != HTTP_IDLE)
        m_strLastError = tr("aborted");
    m_eState = HTTP_IDLE;
}

void CHttpUpgrade::DropOutstanding()
{
    m_pollTimer.stop();
    QNetworkReply *pReply = m_pReply;
    if (!pReply)
        return;
    // Forgotten first: abort() finishes the reply at once, and slotReplyFinished drops a
    // reply that is not the outstanding one.
    m_pReply = nullptr;
    pReply->disconnect(this);
    pReply->abort();
    // An aborted upload's file goes with its body and reply (deleteLater), not before.
    m_pFile = nullptr;
}

void CHttpUpgrade::ReleaseFile()
{
    if (!m_pFile)
        return;
    // The file belongs to the multipart body, which belongs to the reply, and is deleted
    // with the reply; the upload has finished reading it, so it can be closed now.
    m_pFile->close();
    m_pFile = nullptr;
}

void CHttpUpgrade::slotOnUploadProgress(qint64 bytesSent, qint64 bytesTotal)
{
    if (sender() != m_pReply || m_eState != HTTP_UPLOAD)
        return;
    int i32Percent = 100;
    if (bytesTotal != 0)
        i32Percent = static_cast<int>(static_cast<double>(bytesSent) / static_cast<double>(bytesTotal) * 100.0);
    // Qt says -1 when it cannot tell the total: never a negative or oversized figure.
    i32Percent = qBound(0, i32Percent, 100);
    CNetworkSlotScope scope(this, m_i32InNetworkSlot);
    EmitUpgrade(tr("Uploading"), false, false, i32Percent);
}

void CHttpUpgrade::slotOnGetTimeOut()
{
    m_pollTimer.stop();
    if (m_pReply)
        return; // something else went out meanwhile; never two requests at once
    if (m_fProgress < 100.0f) {
        m_fProgress += kProgressPerPoll;
        if (m_fProgress > 99.0f)
            m_fProgress = 99.0f;
    }
    ++m_i32Polls;
    m_pReply = m_pManager->get(Request(m_strResultUrl));
    WatchReplySize();
    m_eState = HTTP_POLL;
}

void CHttpUpgrade::WatchReplySize()
{
    m_bReplyTooLarge = false;
    connect(m_pReply, &QNetworkReply::downloadProgress, this, &CHttpUpgrade::slotOnDownloadProgress);
}

void CHttpUpgrade::slotOnDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (sender() != m_pReply || (bytesReceived <= kMaxReplyBytes && bytesTotal <= kMaxReplyBytes))
        return;
    VLOG(lcHttp) << m_stDevInfo.strHostName << "answer too large" << bytesReceived << bytesTotal;
    m_bReplyTooLarge = true;
    // Finishes the reply at once, into slotReplyFinished, which reports the failure.
    m_pReply->abort();
}

QString CHttpUpgrade::FailureText(QNetworkReply *reply, int i32Status, const QString &strRequest) const
{
    if (m_bReplyTooLarge)
        return tr("answer to %1 larger than %2 KiB: the device is not answering as it should")
            .arg(strRequest)
            .arg(kMaxReplyBytes / 1024);
    if (i32Status != 0 && i32Status != 200)
        return tr("HTTP %1 on %2").arg(i32Status).arg(strRequest);
    const QString strQt = reply->errorString();
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
        return tr("connection refused on %1: %2").arg(strRequest, strQt);
    case QNetworkReply::RemoteHostClosedError:
        return tr("connection closed by the device on %1: %2").arg(strRequest, strQt);
    case QNetworkReply::TimeoutError:
        return tr("time out on %1: %2").arg(strRequest, strQt);
    case QNetworkReply::OperationCanceledError:
        // Only the stall limit cancels the outstanding request; our own aborts are dropped.
        return tr("device stalled on %1: nothing moved for %2 s").arg(strRequest).arg(kStallMs / 1000);
    case QNetworkReply::HostNotFoundError:
        return tr("device address not found on %1: %2").arg(strRequest, strQt);
    default:
        break;
    }
    if (i32Status == 200)
        return tr("%1 cut short: %2").arg(strRequest, strQt);
    return tr("%1 failed: %2").arg(strRequest, strQt);
}

void CHttpUpgrade::slotReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_pReply) {
        // Answer to a request that was replaced or aborted: nobody waits for it any more.
        VLOG(lcHttp) << m_stDevInfo.strHostName << "dropped a late reply" << reply->url().toString();
        return;
    }
    m_pReply = nullptr;
    const int eState = m_eState;
    const int i32Status = StatusOf(reply);
    // An answer cut off at the size cap is a failure whatever its status said: a 404 after
    // the fourth poll must not count as a completed installation.
    const bool b200 = i32Status == 200 || m_bReplyTooLarge;
    const bool bReplyError = reply->error() != QNetworkReply::NoError || m_bReplyTooLarge;
    VLOG(lcHttp) << m_stDevInfo.strHostName << "state" << eState << "status" << i32Status << "error" << reply->error()
                 << reply->errorString();
    if (eState == HTTP_UPLOAD)
        ReleaseFile(); // the upload has finished with the file, whatever the outcome

    CNetworkSlotScope scope(this, m_i32InNetworkSlot);
    if (eState == HTTP_VERSION) {
        m_eState = HTTP_IDLE;
        if (b200 && !bReplyError) {
            m_strLastError.clear();
            EmitVersion(false, reply->readAll());
            return;
        }
        m_strLastError = FailureText(reply, i32Status, tr("version page"));
        EmitVersion(true, b200 ? QByteArray("error") : tr("error").toUtf8());
        return;
    }
    if (eState != HTTP_UPLOAD && eState != HTTP_POLL)
        return;

    const QString strRequest = eState == HTTP_UPLOAD ? tr("upload") : tr("result poll");
    if (!b200) {
        m_eState = HTTP_IDLE;
        if (eState == HTTP_POLL && m_fProgress > 1.0f) {
            // The result file is gone after at least four polls: installation has ended.
            m_strLastError.clear();
            EmitUpgrade(tr("Upgrade completed"), false, true, 100);
            return;
        }
        m_strLastError = FailureText(reply, i32Status, strRequest);
        if (eState == HTTP_POLL)
            m_strLastError = tr("installation failed at poll %1: %2").arg(m_i32Polls).arg(m_strLastError);
        EmitUpgrade(tr("error"), true, false, 0);
        return;
    }
    if (bReplyError) {
        m_eState = HTTP_IDLE;
        m_strLastError = FailureText(reply, i32Status, strRequest);
        EmitUpgrade(QString(), true, false, 0);
        return;
    }
    // Still installing (or just uploaded): the next poll is due in a second.
    m_pollTimer.start(Velmora::ScaledMs(kPollMs));
    EmitUpgrade(tr("Installing..."), false, false, static_cast<int>(m_fProgress));
}

void CHttpUpgrade::EmitUpgrade(const QString &strStep, bool bError, bool bFinished, int i32Progress)
{
    // Copies: a receiver may delete us while later receivers still read the arguments.
    const T_BaseDevInfo stDevInfo = m_stDevInfo;
    const T_UpgradeInfo stUpgradeInfo = m_stUpgradeInfo;
    emit signalHttpUpgradeNotify(stDevInfo, stUpgradeInfo, strStep, bError, bFinished, i32Progress);
}

void CHttpUpgrade::EmitVersion(bool bError, const QByteArray &baData)
{
    const T_BaseDevInfo stDevInfo = m_stDevInfo;
    emit signalHttpVersionNotify(stDevInfo, bError, CBaseMaintainSession::INFO_XML, baData);
}
