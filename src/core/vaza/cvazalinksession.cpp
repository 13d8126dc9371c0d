#include "vaza/cvazalinksession.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "ftp/ftpurl.h"
#include "ftp/qftp.h"
#include "product/hostmodel.h"
#include "vaza/cvazabuffer.h"
#include "vaza/cvazasysinfo.h"
#include "vaza/vazafields.h"
#include "vaza/vazamessages.h"

#include <QDateTime>
#include <QTcpSocket>

namespace
{
constexpr int RESPONSE_MS = 7000;
constexpr int HEARTBEAT_TICK_MS = 3000;
constexpr int HEARTBEAT_IDLE_MS = 20000;
constexpr int LOG_CHUNK = 1024;
} // namespace

CVazaLinkSession::CVazaLinkSession(const T_BaseDevInfo &stDevInfo, QObject *parent)
    : CBaseMaintainSession(stDevInfo, parent)
{
    connect(&m_timerHeartbeat, &QTimer::timeout, this, &CVazaLinkSession::slotOnHeartbeat);
    connect(&m_timerResponse, &QTimer::timeout, this, &CVazaLinkSession::slotResTimeOut);
}

CVazaLinkSession::~CVazaLinkSession()
{
    // The client dies with us as a child; nothing it emits on the way may reach us.
    if (m_pLogFtp)
        m_pLogFtp->disconnect(this);
}

QByteArray CVazaLinkSession::CutAtZero(QByteArray ba)
{
    const int i32Zero = ba.indexOf('\0');
    if (i32Zero >= 0)
        ba.truncate(i32Zero);
    return ba;
}

void CVazaLinkSession::DropFtp(QFtp *&pFtp)
{
    if (!pFtp)
        return;
    // Disconnected first: a client scheduled for deletion may still report before it goes,
    // and a command that has been ended must not get a second ending.
    pFtp->disconnect(this);
    pFtp->deleteLater();
    pFtp = nullptr;
}

int CVazaLinkSession::AbortCmd()
{
    DropFtp(m_pLogFtp);
    // Left running, it would report on a command that no longer exists.
    m_timerResponse.stop();
    return CBaseMaintainSession::AbortCmd();
}

bool CVazaLinkSession::IsCmdSupported(int i32Op)
{
    // Nothing calls this; the numbers name no operation of ours, the answer is kept as is.
    constexpr int kFirstSupportedOp = 0;
    constexpr int kLastSupportedOp = 2;
    return i32Op >= kFirstSupportedOp && i32Op <= kLastSupportedOp;
}

QFtp *CVazaLinkSession::OpenFtp(const QString &strHost, const T_FtpUrl &stUrl)
{
    // Nothing goes out before the event loop runs, so the caller still connects its slots
    // and queues the transfer after this.
    auto *pFtp = new QFtp(this);
    pFtp->connectToHost(strHost, static_cast<quint16>(stUrl.i32Port));
    pFtp->login(stUrl.strUser, stUrl.strPassword);
    return pFtp;
}

void CVazaLinkSession::StartResponseTimer()
{
    m_timerResponse.start(Velmora::ScaledMs(RESPONSE_MS));
}

QByteArray CVazaLinkSession::PackMsg(quint32 u32MsgId, const QByteArray &baBody)
{
    return Vaza::BuildMsg(u32MsgId, m_u32SeqNo++, baBody);
}

E_CmdResult CVazaLinkSession::StartRequest(int eCmd, quint32 u32MsgId)
{
    if (IsBusy())
        return CMD_BUSY;
    m_strLastError.clear();
    // A request that waits for the connection is timed all the same.
    SendData(PackMsg(u32MsgId, QByteArray()));
    m_eCurCmd = eCmd;
    StartResponseTimer();
    return CMD_OK;
}

E_CmdResult CVazaLinkSession::GetSysInfo()
{
    const int i32Model = Vaza::ModelIndex(Velmora::ModelOfHostName(m_stDevInfo.strHostName), true);
    return StartRequest(CUR_SYSINFO, Vaza::ID_SysInfoReq + 0x10 * i32Model);
}

E_CmdResult CVazaLinkSession::DownloadLog()
{
    const int i32Model = Vaza::ModelIndex(Velmora::ModelOfHostName(m_stDevInfo.strHostName), false);
    return StartRequest(CUR_LOG, Vaza::ID_LogReq + 0x10 * i32Model);
}

E_CmdResult CVazaLinkSession::QueryVersion(QByteArray strDevAddr, quint32 u32DevPort)
{
    const bool bSent = SendData(PackMsg(m_u32QueryMsgId, Vaza::BuildQueryReqBody(strDevAddr, u32DevPort)));
    return bSent ? CMD_OK : CMD_CONNECT_FAIL;
}

void CVazaLinkSession::OnConneced()
{
    // A new connection starts a new stream: bytes left from a message the old one never
    // finished would swallow the first reply on this one.
    m_baRecv.Clear();
    m_bBindRefused = false;
    // Log in first; whatever waits goes out only once the device has accepted us.
    DoSendData(PackMsg(Vaza::ID_BindReq, Vaza::BuildBindReqBody(QDateTime::currentDateTime())));
}

void CVazaLinkSession::OnReadData(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    VLOG(lcVaza) << Velmora::Hex(data);
    m_baRecv.Feed(data, [this](const T_VAZAMsgHead &stHead, QByteArray &baBody) { ProcessMsg(stHead, baBody); });
}

void CVazaLinkSession::ProcessMsg(const T_VAZAMsgHead &stHead, QByteArray &baBody)
{
    const quint32 u32Id = stHead.u32MsgId;
    VLOG(lcVaza) << Qt::hex << Qt::showbase << u32Id << Velmora::Hex(baBody);
    CVazaBuffer reader;
    reader.setData(baBody);
    reader.open(QIODevice::ReadOnly);

    if (u32Id == Vaza::ID_BindRsp) {
        const quint32 u32Result = ReadUInt32(&reader);
        if (u32Result != 0) {
            VLOG(lcVaza) << "ID_BindRsp failed, result =" << u32Result;
            m_bBindRefused = true;
            return;
        }
        if (!m_baPending.isEmpty()) {
            // Cleared once written: a repeated bind reply must not send the request twice.
            const QByteArray baPending = m_baPending;
            m_baPending.clear();
            DoSendData(baPending);
        }
        m_timerHeartbeat.start(Velmora::ScaledMs(HEARTBEAT_TICK_MS));
    } else if (u32Id == Vaza::ID_UnBindReq || u32Id == Vaza::ID_UnBindRsp) {
        VLOG(lcVaza) << (u32Id == Vaza::ID_UnBindReq ? "ID_UnBindReq" : "ID_UnBindRsp");
        m_timerHeartbeat.stop();
    } else if (u32Id == Vaza::ID_HeartbeatRsp) {
        // Nothing to do: the write that carried the request already counted as traffic.
    } else if (Vaza::IsSysInfoRsp(u32Id)) {
        if (m_eCurCmd != CUR_SYSINFO) {
            VLOG(lcVaza) << "system information nobody waits for, dropped";
            return;
        }
        AbortCmd();
        emit OnSysInfoNotify(m_stDevInfo, false, INFO_XML, VazaSysInfo::ConvertSysInfo(u32Id, baBody));
    } else if (Vaza::IsLogRsp(u32Id)) {
        if (m_eCurCmd != CUR_LOG || m_pLogFtp) {
            VLOG(lcVaza) << "log reply nobody waits for, dropped";
            return;
        }
        m_timerResponse.stop();
        const QByteArray baUrl = CutAtZero(ReadByteArray(&reader));
        VLOG(lcVaza) << "=======" << baUrl;
        T_FtpUrl stUrl;
        if (!ParseFtpUrl(baUrl, stUrl)) {
            AbortCmd();
            m_strLastError = tr("bad log URL '%1'").arg(QString::fromUtf8(baUrl));
            emit OnDownloadLogNotify(m_stDevInfo, QByteArray(), true, false);
            return;
        }
        // The log lives on the device itself, whatever host the URL names.
        m_pLogFtp = OpenFtp(m_stDevInfo.strAddr, stUrl);
        connect(m_pLogFtp, &QFtp::readyRead, this, &CVazaLinkSession::slotOnLogDownload);
        connect(m_pLogFtp, &QFtp::done, this, &CVazaLinkSession::slotOnLogFinished);
        m_pLogFtp->get(stUrl.strPath);
    } else if (u32Id == Vaza::ID_VersionUpgradeRsp || u32Id == Vaza::ID_SerialUpgradeRsp) {
        if (m_eCurCmd != CUR_UPGRADE) {
            VLOG(lcVaza) << "upgrade reply without a running upgrade, dropped";
            return;
        }
        ProcessVersionUpgradeRsp(baBody);
    } else if (u32Id == Vaza::ID_VersionQueryRsp || u32Id == Vaza::ID_SerialQueryRsp) {
        const QByteArray baAddr = ReadByteArray(&reader);
        const quint32 u32Port = ReadUInt32(&reader);
        const quint32 u32Result = ReadUInt32(&reader);
        if (u32Result != 0) {
            VLOG(lcVaza) << "Version query failed, result =" << u32Result;
            emit OnVersionQueryNotify(m_stDevInfo, true, baAddr, u32Port, QByteArray());
            return;
        }
        ReadUInt32(&reader);
        const QByteArray baVersion = ReadByteArray(&reader);
        emit OnVersionQueryNotify(m_stDevInfo, false, baAddr, u32Port, baVersion);
    } else {
        VLOG(lcVaza) << "Invalid message:" << Qt::hex << Qt::showbase << u32Id;
    }
}

QString CVazaLinkSession::TimeOutReason() const
{
    if (m_bBindRefused)
        return tr("the device refused the maintenance log-in");
    const bool bConnected = m_pSocket && m_pSocket->state() == QAbstractSocket::ConnectedState;
    // Said as it happened: a device that hung up is no device that stayed silent, and one never
    // reached is neither.
    if (!bConnected && m_eSocketError == QAbstractSocket::RemoteHostClosedError)
        return tr("the device closed the connection");
    if (!bConnected && !m_strSocketError.isEmpty())
        return tr("no connection to the device (%1)").arg(m_strSocketError);
    return tr("time out");
}

void CVazaLinkSession::slotOnHeartbeat()
{
    if (m_dtLastSend.isValid() &&
        m_dtLastSend.msecsTo(QDateTime::currentDateTime()) < Velmora::ScaledMs(HEARTBEAT_IDLE_MS))
        return;
    if (!DoSendData(PackMsg(Vaza::ID_HeartbeatReq, QByteArray())))
        m_timerHeartbeat.stop();
}

void CVazaLinkSession::slotOnLogDownload()
{
    VLOG(lcVaza);
    QFtp *pFtp = m_pLogFtp;
    if (!pFtp || sender() != pFtp || pFtp->bytesAvailable() <= 0)
        return;
    VLOG(lcVaza) << "available" << pFtp->bytesAvailable();
    int i32Chunks = 0;
    QByteArray baChunk = pFtp->read(LOG_CHUNK);
    // A receiver may abort us while we hand out chunks; stop as soon as it does.
    while (!baChunk.isEmpty() && pFtp == m_pLogFtp) {
        ++i32Chunks;
        emit OnDownloadLogNotify(m_stDevInfo, baChunk, false, false);
        if (pFtp != m_pLogFtp)
            break;
        baChunk = pFtp->read(LOG_CHUNK);
    }
    VLOG(lcVaza) << "read 1024 num:" << i32Chunks;
}

void CVazaLinkSession::slotOnLogFinished(bool error)
{
    VLOG(lcVaza) << error;
    if (!m_pLogFtp || sender() != m_pLogFtp)
        return;
    const QString strFtpError = m_pLogFtp->errorString();
    AbortCmd();
    if (error)
        m_strLastError = strFtpError.isEmpty() ? tr("log download failed") : strFtpError;
    emit OnDownloadLogNotify(m_stDevInfo, QByteArray(), error, true);
}

void CVazaLinkSession::slotResTimeOut()
{
    const int eCmd = AbortCmd();
    VLOG(lcVaza) << "command" << eCmd << "got no reply";
    if (eCmd != CUR_NONE)
        m_strLastError = TimeOutReason();
    // A connection the device refused to log in stays useless: the next command connects
    // afresh and logs in again, so a device that was away can be tried again.
    if (m_bBindRefused && m_pSocket)
        m_pSocket->abort();
    switch (eCmd) {
    case CUR_UPGRADE:
        UpgradeTimedOut();
        break;
    case CUR_SYSINFO:
        emit OnSysInfoNotify(m_stDevInfo, true, INFO_XML, QByteArrayLiteral("time out"));
        break;
    case CUR_LOG:
        emit OnDownloadLogNotify(m_stDevInfo, QByteArrayLiteral("time out"), true, false);
        break;
    default:
        break;
    }
}
