#pragma once

#include "session/cbasemaintainsession.h"
#include "vaza/cimagechecksums.h"
#include "vaza/cvazastreamsplitter.h"
#include "vaza/vazaproto.h"

#include <QFile>
#include <QTimer>

class QFtp;

// Maintenance session for a device that speaks Vaza over TCP: binds on connect, keeps the
// link alive, runs one command at a time and moves files by FTP to and from the addresses
// the device hands out. Every command ends in at most one final notification; a reply
// that belongs to no running command (late, repeated or out of order) is logged and dropped.
class CVazaMaintainSession : public CBaseMaintainSession
{
    Q_OBJECT
public:
    explicit CVazaMaintainSession(const T_BaseDevInfo &stDevInfo, QObject *parent = nullptr);
    ~CVazaMaintainSession() override;

public slots:
    int AbortCmd() override;
    bool IsCmdSupported(int i32Op) override;
    E_CmdResult StartUpgrade(const T_UpgradeInfo &stUpgradeInfo) override;
    E_CmdResult GetSysInfo() override;
    E_CmdResult DownloadLog() override;
    E_CmdResult QueryVersion(QByteArray strDevAddr, quint32 u32DevPort) override;

protected slots:
    void OnReadData(const QByteArray &data) override;
    void OnConneced() override;
    virtual void ProcessMsg(const T_VAZAMsgHead &stHead, QByteArray &baBody);
    virtual void ProcessVersionUpgradeRsp(QByteArray &baBody);
    virtual QByteArray PackMsg(quint32 u32MsgId, const QByteArray &baBody);

protected slots:
    void slotOnHeartbeat();
    void slotOnLogDownload();
    void slotOnLogFinished(bool error);
    void slotOnUploadTransferProgress(qint64 done, qint64 total);
    void slotOnUploadFinished(bool error);
    void slotCheckUpgradeFinshed();
    void slotGrogressBar();
    void slotResTimeOut();

protected:
    // Where an upgrade stands, so each reply is taken only in the phase that expects it.
    enum E_UpgradePhase {
        PHASE_NONE,
        PHASE_WAIT_START,   // step 101 sent
        PHASE_UPLOADING,    // FTP put running
        PHASE_CHECKSUM,     // upload done, waiting for the image's checksum
        PHASE_WAIT_INSTALL, // step 102 sent, simulated progress running
        PHASE_POLLING,      // step 103 polls
    };

    void StartResponseTimer();
    // The shared start of the two one-request commands: busy check, request, time-out.
    E_CmdResult StartRequest(int eCmd, quint32 u32MsgId);
    void EmitUpgrade(const QString &strStep, bool bError, bool bFinished, int i32Progress);
    void DropFtp(QFtp *&pFtp);
    // A client connecting to strHost on the URL's port and logging in as the URL says.
    QFtp *OpenFtp(const QString &strHost, const struct T_FtpUrl &stUrl);
    // One upgrade request for the module being upgraded: step, its value, the image's name.
    void SendUpgradeStep(quint32 u32Step, quint32 u32Value, const QByteArray &baFileName);
    static QString ImageFileName(const QString &strFilePath);
    // After the upload: step 102 with the image's checksum, once the file is known to be the
    // one that was sent and summed.
    void ResolveChecksum();
    void FailChecksum(const QString &strReason);
    QString ChangedReason() const;
    QString TimeOutReason() const;

    quint32 m_u32QueryMsgId = Vaza::ID_VersionQueryReq;
    quint32 m_u32UpgradeMsgId = Vaza::ID_VersionUpgradeReq;
    QFile m_fileImage;
    quint32 m_u32SeqNo = 1;
    CVazaStreamSplitter m_baRecv;
    QTimer m_timerHeartbeat;
    QTimer m_timerCheckUpgrade;
    QFtp *m_pLogFtp = nullptr;
    QFtp *m_pUpgradeFtp = nullptr;
    T_UpgradeInfo m_stUpgradeInfo;
    QTimer m_timerProgress;
    int m_i32InstallProgress = 0;
    QTimer m_timerResponse;
    E_UpgradePhase m_ePhase = PHASE_NONE;
    // The image as it was when the upgrade started: a file that differs after the upload may
    // not be what the device received, and is never given a checksum.
    QString m_strImageKey;
    T_ImageIdentity m_stImageIdentity;
    // The device turned our log-in down: what follows on this connection can only time out.
    bool m_bBindRefused = false;
};
