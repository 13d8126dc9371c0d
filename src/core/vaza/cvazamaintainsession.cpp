#include "vaza/cvazamaintainsession.h"

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

#include <limits>

namespace
{
constexpr int RESPONSE_MS = 7000;
constexpr int HEARTBEAT_TICK_MS = 3000;
constexpr int HEARTBEAT_IDLE_MS = 20000;
constexpr int PROGRESS_TICK_MS = 2000;
constexpr int POLL_MS = 10000;
constexpr int LOG_CHUNK = 1024;

// A received URL ends at its first zero byte (devices send C strings).
QByteArray CutAtZero(QByteArray ba)
{
    const int i32Zero = ba.indexOf('\0');
    if (i32Zero >= 0)
        ba.truncate(i32Zero);
    return ba;
}
} // namespace

CVazaMaintainSession::CVazaMaintainSession(const T_BaseDevInfo &stDevInfo, QObject *parent)
    : CBaseMaintainSession(stDevInfo, parent)
{
    connect(&m_timerHeartbeat, &QTimer::timeout, this, &CVazaMaintainSession::slotOnHeartbeat);
    connect(&m_timerCheckUpgrade, &QTimer::timeout, this, &CVazaMaintainSession::slotCheckUpgradeFinshed);
    connect(&m_timerProgress, &QTimer::timeout, this, &CVazaMaintainSession::slotGrogressBar);
    connect(&m_timerResponse, &QTimer::timeout, this, &CVazaMaintainSession::slotResTimeOut);
    // Every session hears every sum; only one waiting for that image acts on it.
    CImageChecksums *pSums = CImageChecksums::Instance();
    connect(pSums, &CImageChecksums::signalSummed, this, [this](const QString &strKey) {
        if (m_ePhase == PHASE_CHECKSUM && strKey == m_strImageKey)
            ResolveChecksum();
    });
    connect(pSums, &CImageChecksums::signalSumFailed, this, [this](const QString &strKey, const QString &strReason) {
        if (m_ePhase == PHASE_CHECKSUM && strKey == m_strImageKey)
            FailChecksum(strReason);
    });
}

CVazaMaintainSession::~CVazaMaintainSession()
{
    // The clients die with us as children; nothing they emit on the way may reach us.
    for (QFtp *pFtp : {m_pLogFtp, m_pUpgradeFtp})
        if (pFtp)
            pFtp->disconnect(this);
}

void CVazaMaintainSession::DropFtp(QFtp *&pFtp)
{
    if (!pFtp)
        return;
    // Disconnected first: a client scheduled for deletion may still report before it goes,
    // and a command that has been ended must not get a second ending.
    pFtp->disconnect(this);
    pFtp->deleteLater();
    pFtp = nullptr;
}

int CVazaMaintainSession::AbortCmd()
{
    DropFtp(m_pLogFtp);
    DropFtp(m_pUpgradeFtp);
    m_timerCheckUpgrade.stop();
    // Left running, these would report on a command that no longer exists.
    m_timerProgress.stop();
    m_timerResponse.stop();
    m_fileImage.close();
    m_ePhase = PHASE_NONE;
    return CBaseMaintainSession::AbortCmd();
}

bool CVazaMaintainSession::IsCmdSupported(int i32Op)
{
    // Nothing calls this; the numbers name no operation of ours, the answer is kept as is.
    constexpr int kFirstSupportedOp = 0;
    constexpr int kLastSupportedOp = 2;
    return i32Op >= kFirstSupportedOp && i32Op <= kLastSupportedOp;
}

QString CVazaMaintainSession::ImageFileName(const QString &strFilePath)
{
    // The device is told the bare file name; a path without a folder part names none.
    const int i32Slash = strFilePath.lastIndexOf(QLatin1Char('/'));
    return i32Slash < 0 ? QString() : strFilePath.mid(i32Slash + 1);
}

void CVazaMaintainSession::SendUpgradeStep(quint32 u32Step, quint32 u32Value, const QByteArray &baFileName)
{
    SendData(PackMsg(m_u32UpgradeMsgId,
                     Vaza::BuildUpgradeReqBody(m_stUpgradeInfo.strDevAddr.toUtf8(), m_stUpgradeInfo.u32DevPort, u32Step,
                                               u32Value, baFileName)));
}

QFtp *CVazaMaintainSession::OpenFtp(const QString &strHost, const T_FtpUrl &stUrl)
{
    // Nothing goes out before the event loop runs, so the caller still connects its slots
    // and queues the transfer after this.
    auto *pFtp = new QFtp(this);
    pFtp->connectToHost(strHost, static_cast<quint16>(stUrl.i32Port));
    pFtp->login(stUrl.strUser, stUrl.strPassword);
    return pFtp;
}

void CVazaMaintainSession::StartResponseTimer()
{
    m_timerResponse.start(Velmora::ScaledMs(RESPONSE_MS));
}

QByteArray CVazaMaintainSession::PackMsg(quint32 u32MsgId, const QByteArray &baBody)
{
    return Vaza::BuildMsg(u32MsgId, m_u32SeqNo++, baBody);
}

E_CmdResult CVazaMaintainSession::StartUpgrade(const T_UpgradeInfo &stUpgradeInfo)
{
    if (IsBusy())
        return CMD_BUSY;
    const QString strFileName = ImageFileName(stUpgradeInfo.strFilePath);
    if (strFileName.isEmpty()) {
        m_strLastError = tr("no file name in image path '%1'").arg(stUpgradeInfo.strFilePath);
        return CMD_ERROR;
    }
    if (stUpgradeInfo.strDevAddr.isEmpty()) {
        m_strLastError = tr("empty module address");
        return CMD_ERROR;
    }
    m_fileImage.close();
    m_fileImage.setFileName(stUpgradeInfo.strFilePath);
    if (!m_fileImage.open(QIODevice::ReadOnly)) {
        VLOG(lcVaza) << "cannot open" << stUpgradeInfo.strFilePath << m_fileImage.errorString();
        m_strLastError = tr("cannot open '%1': %2").arg(stUpgradeInfo.strFilePath, m_fileImage.errorString());
        return CMD_ERROR;
    }
    m_stUpgradeInfo = stUpgradeInfo;
    m_strImageKey = CImageChecksums::Key(stUpgradeInfo.strFilePath);
    m_stImageIdentity = CImageChecksums::IdentityOf(m_strImageKey);
    CImageChecksums *pSums = CImageChecksums::Instance();
    CImageChecksums::T_Sum stSum;
    if (pSums->Find(m_strImageKey, &stSum) && stSum.bPrepared && stSum.stIdentity != m_stImageIdentity) {
        // Changed since its batch began: nothing is sent, so no box gets a file the others did not.
        m_fileImage.close();
        m_strLastError = ChangedReason();
        return CMD_ERROR;
    }
    // Summed while the upload runs, once for every session that sends this file.
    pSums->Request(m_strImageKey);
    m_strLastError.clear();
    SendUpgradeStep(Vaza::STEP_START, 0, strFileName.toUtf8());
    m_eCurCmd = CUR_UPGRADE;
    m_ePhase = PHASE_WAIT_START;
    m_i32InstallProgress = 0;
    StartResponseTimer();
    return CMD_OK;
}

E_CmdResult CVazaMaintainSession::StartRequest(int eCmd, quint32 u32MsgId)
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

E_CmdResult CVazaMaintainSession::GetSysInfo()
{
    const int i32Model = Vaza::ModelIndex(Velmora::ModelOfHostName(m_stDevInfo.strHostName), true);
    return StartRequest(CUR_SYSINFO, Vaza::ID_SysInfoReq + 0x10 * i32Model);
}

E_CmdResult CVazaMaintainSession::DownloadLog()
{
    const int i32Model = Vaza::ModelIndex(Velmora::ModelOfHostName(m_stDevInfo.strHostName), false);
    return StartRequest(CUR_LOG, Vaza::ID_LogReq + 0x10 * i32Model);
}

E_CmdResult CVazaMaintainSession::QueryVersion(QByteArray strDevAddr, quint32 u32DevPort)
{
    const bool bSent = SendData(PackMsg(m_u32QueryMsgId, Vaza::BuildQueryReqBody(strDevAddr, u32DevPort)));
    return bSent ? CMD_OK : CMD_CONNECT_FAIL;
}

void CVazaMaintainSession::OnConneced()
{
    // A new connection starts a new stream: bytes left from a message the old one never
    // finished would swallow the first reply on this one.
    m_baRecv.Clear();
    m_bBindRefused = false;
    // Log in first; whatever waits goes out only once the device has accepted us.
    DoSendData(PackMsg(Vaza::ID_BindReq, Vaza::BuildBindReqBody(QDateTime::currentDateTime())));
}

void CVazaMaintainSession::OnReadData(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    VLOG(lcVaza) << Velmora::Hex(data);
    m_baRecv.Feed(data, [this](const T_VAZAMsgHead &stHead, QByteArray &baBody) { ProcessMsg(stHead, baBody); });
}

void CVazaMaintainSession::ProcessMsg(const T_VAZAMsgHead &stHead, QByteArray &baBody)
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
        connect(m_pLogFtp, &QFtp::readyRead, this, &CVazaMaintainSession::slotOnLogDownload);
        connect(m_pLogFtp, &QFtp::done, this, &CVazaMaintainSession::slotOnLogFinished);
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

void CVazaMaintainSession::EmitUpgrade(const QString &strStep, bool bError, bool bFinished, int i32Progress)
{
    emit OnUpgradeNotify(m_stDevInfo, m_stUpgradeInfo, strStep, bError, bFinished, i32Progress);
}

void CVazaMaintainSession::ProcessVersionUpgradeRsp(QByteArray &baBody)
{
    CVazaBuffer reader;
    reader.setData(baBody);
    reader.open(QIODevice::ReadOnly);
    const QByteArray baAddr = ReadByteArray(&reader).trimmed();
    const quint32 u32Port = ReadUInt32(&reader);
    if (baAddr != m_stUpgradeInfo.strDevAddr.toUtf8() || u32Port != m_stUpgradeInfo.u32DevPort) {
        VLOG(lcVaza) << "!!!! DevAddr error:" << baAddr << u32Port << "expected" << m_stUpgradeInfo.strDevAddr
                     << m_stUpgradeInfo.u32DevPort;
        if (!m_stUpgradeInfo.strDevAddr.isEmpty()) {
            AbortCmd();
            m_strLastError = tr("device answered for module '%1' %2, expected '%3' %4")
                                 .arg(QString::fromUtf8(baAddr))
                                 .arg(u32Port)
                                 .arg(m_stUpgradeInfo.strDevAddr)
                                 .arg(m_stUpgradeInfo.u32DevPort);
            EmitUpgrade(tr("Uploading"), true, false, -1);
        }
        return;
    }
    const quint32 u32Step = ReadUInt32(&reader);
    const quint32 u32Value = ReadUInt32(&reader);

    if (u32Step == Vaza::STEP_START) {
        if (m_ePhase != PHASE_WAIT_START) {
            VLOG(lcVaza) << "repeated step 101 reply, dropped";
            return;
        }
        m_timerResponse.stop();
        const QByteArray baUrl = CutAtZero(ReadByteArray(&reader));
        VLOG(lcVaza) << "=======" << baUrl;
        T_FtpUrl stUrl;
        if (!ParseFtpUrl(baUrl, stUrl) || !m_fileImage.isOpen()) {
            AbortCmd();
            m_strLastError = tr("bad upload URL '%1'").arg(QString::fromUtf8(baUrl));
            EmitUpgrade(tr("Uploading"), true, false, -1);
            return;
        }
        m_pUpgradeFtp = OpenFtp(stUrl.strHost, stUrl);
        // The client reads through a handle of its own that dies with it: an aborted client
        // still waiting for deletion can never move the read position of the next upload.
        auto *pImage = new QFile(m_fileImage.fileName(), m_pUpgradeFtp);
        // Unbuffered: the upload reads in pieces of its own; a buffer would be one more copy
        // and 16 KiB per device at work.
        if (!pImage->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            AbortCmd();
            m_strLastError = tr("cannot open '%1': %2").arg(m_stUpgradeInfo.strFilePath, pImage->errorString());
            EmitUpgrade(tr("Uploading"), true, false, -1);
            return;
        }
        connect(m_pUpgradeFtp, &QFtp::dataTransferProgress, this, &CVazaMaintainSession::slotOnUploadTransferProgress);
        connect(m_pUpgradeFtp, &QFtp::done, this, &CVazaMaintainSession::slotOnUploadFinished);
        VLOG(lcVaza) << "put file:" << m_stUpgradeInfo.strFilePath;
        m_pUpgradeFtp->put(pImage, stUrl.strPath, QFtp::Binary);
        m_ePhase = PHASE_UPLOADING;
    } else if (u32Step == Vaza::STEP_UPLOADED) {
        if (m_ePhase != PHASE_WAIT_INSTALL) {
            VLOG(lcVaza) << "step 102 reply out of order, dropped";
            return;
        }
        m_timerProgress.stop();
        m_ePhase = PHASE_POLLING;
        m_timerCheckUpgrade.start(Velmora::ScaledMs(POLL_MS));
        slotCheckUpgradeFinshed();
        EmitUpgrade(tr("Installing..."), false, false, 1);
    } else if (u32Step == Vaza::STEP_PROGRESS) {
        if (m_ePhase != PHASE_POLLING) {
            VLOG(lcVaza) << "step 103 reply out of order, dropped";
            return;
        }
        if (u32Value == 100) {
            AbortCmd();
            EmitUpgrade(tr("Upgrade completed"), false, true, 100);
        } else {
            // Any other value is progress, whatever it is: the device has no answer that means
            // "failed" here. An installation that stops moving is ended by the module's
            // silence limit. Kept non-negative, as a negative figure means "no percentage".
            EmitUpgrade(tr("Installing..."), false, false,
                        static_cast<int>(qMin<quint32>(u32Value, std::numeric_limits<int>::max())));
        }
    } else {
        VLOG(lcVaza) << "unknown upgrade step" << u32Step;
    }
}

QString CVazaMaintainSession::TimeOutReason() const
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

void CVazaMaintainSession::slotOnHeartbeat()
{
    if (m_dtLastSend.isValid() &&
        m_dtLastSend.msecsTo(QDateTime::currentDateTime()) < Velmora::ScaledMs(HEARTBEAT_IDLE_MS))
        return;
    if (!DoSendData(PackMsg(Vaza::ID_HeartbeatReq, QByteArray())))
        m_timerHeartbeat.stop();
}

void CVazaMaintainSession::slotOnLogDownload()
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

void CVazaMaintainSession::slotOnLogFinished(bool error)
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

void CVazaMaintainSession::slotOnUploadTransferProgress(qint64 done, qint64 total)
{
    if (!m_pUpgradeFtp || sender() != m_pUpgradeFtp)
        return;
    VLOG(lcVaza) << done << total;
    // An empty image has nothing to divide by: it is 0 % until the upload ends.
    const int i32Percent = total > 0 ? static_cast<int>(qBound<qint64>(0, done * 100 / total, 100)) : 0;
    EmitUpgrade(tr("Uploading"), false, false, i32Percent);
}

void CVazaMaintainSession::slotOnUploadFinished(bool error)
{
    VLOG(lcVaza) << error;
    if (!m_pUpgradeFtp || sender() != m_pUpgradeFtp)
        return;
    // Read before the client goes: its text is the FTP server's own reply ("Login failed: 530 ...").
    const QString strFtpError = m_pUpgradeFtp->errorString();
    DropFtp(m_pUpgradeFtp);
    m_fileImage.close();
    if (error) {
        m_strLastError = strFtpError.isEmpty() ? tr("upload failed") : strFtpError;
        // Idle before anyone hears of it, so the next command is taken at once.
        AbortCmd();
        EmitUpgrade(tr("Installing..."), true, false, 1);
        return;
    }
    EmitUpgrade(tr("Installing..."), false, false, 1);
    if (m_eCurCmd != CUR_UPGRADE)
        return; // the receiver aborted us
    m_ePhase = PHASE_CHECKSUM;
    ResolveChecksum();
}

QString CVazaMaintainSession::ChangedReason() const
{
    return tr("the image '%1' changed during the upgrade").arg(m_stUpgradeInfo.strFilePath);
}

void CVazaMaintainSession::FailChecksum(const QString &strReason)
{
    // The device would be told a checksum for bytes it may never have received.
    VLOG(lcVaza) << strReason;
    m_strLastError = strReason;
    AbortCmd();
    EmitUpgrade(tr("Upload Completed"), true, false, 100);
}

void CVazaMaintainSession::ResolveChecksum()
{
    if (m_ePhase != PHASE_CHECKSUM)
        return;
    const T_ImageIdentity stNow = CImageChecksums::IdentityOf(m_strImageKey);
    if (stNow != m_stImageIdentity) {
        FailChecksum(ChangedReason());
        return;
    }
    CImageChecksums *pSums = CImageChecksums::Instance();
    CImageChecksums::T_Sum stSum;
    if (pSums->Find(m_strImageKey, &stSum)) {
        if (stSum.stIdentity == stNow) {
            m_ePhase = PHASE_WAIT_INSTALL;
            m_i32InstallProgress = 1;
            m_timerProgress.start(Velmora::ScaledMs(PROGRESS_TICK_MS));
            SendUpgradeStep(Vaza::STEP_UPLOADED, stSum.u8Sum, ImageFileName(m_stUpgradeInfo.strFilePath).toUtf8());
            return;
        }
        if (stSum.bPrepared) {
            FailChecksum(ChangedReason());
            return;
        }
    }
    // No sum of the file as it is: one is taken (or already being taken) and announced.
    pSums->Request(m_strImageKey);
}

void CVazaMaintainSession::slotCheckUpgradeFinshed()
{
    VLOG(lcVaza) << m_stUpgradeInfo.strDevAddr << m_stUpgradeInfo.u32DevPort;
    SendUpgradeStep(Vaza::STEP_PROGRESS, 0, QByteArray());
}

void CVazaMaintainSession::slotGrogressBar()
{
    if (m_ePhase != PHASE_WAIT_INSTALL || m_i32InstallProgress >= 99) {
        m_timerProgress.stop();
        return;
    }
    ++m_i32InstallProgress;
    if (m_i32InstallProgress >= 99)
        m_timerProgress.stop();
    EmitUpgrade(tr("Installing..."), false, false, m_i32InstallProgress);
}

void CVazaMaintainSession::slotResTimeOut()
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
        EmitUpgrade(tr("time out"), true, false, 0);
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
