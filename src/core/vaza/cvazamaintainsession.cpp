#include "vaza/cvazamaintainsession.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "ftp/ftpurl.h"
#include "ftp/qftp.h"
#include "vaza/cvazabuffer.h"
#include "vaza/vazafields.h"
#include "vaza/vazamessages.h"

#include <limits>

namespace
{
constexpr int PROGRESS_TICK_MS = 2000;
constexpr int POLL_MS = 10000;
} // namespace

CVazaMaintainSession::CVazaMaintainSession(const T_BaseDevInfo &stDevInfo, QObject *parent)
    : CVazaLinkSession(stDevInfo, parent)
{
    connect(&m_timerCheckUpgrade, &QTimer::timeout, this, &CVazaMaintainSession::slotCheckUpgradeFinshed);
    connect(&m_timerProgress, &QTimer::timeout, this, &CVazaMaintainSession::slotGrogressBar);
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
    // The client dies with us as a child; nothing it emits on the way may reach us.
    if (m_pUpgradeFtp)
        m_pUpgradeFtp->disconnect(this);
}

int CVazaMaintainSession::AbortCmd()
{
    DropFtp(m_pUpgradeFtp);
    m_timerCheckUpgrade.stop();
    // Left running, it would report on a command that no longer exists.
    m_timerProgress.stop();
    m_fileImage.close();
    m_ePhase = PHASE_NONE;
    return CVazaLinkSession::AbortCmd();
}

void CVazaMaintainSession::UpgradeTimedOut()
{
    EmitUpgrade(tr("time out"), true, false, 0);
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
