#pragma once

#include "vaza/cimagechecksums.h"
#include "vaza/cvazalinksession.h"

#include <QFile>
#include <QTimer>

class QFtp;

// Maintenance session for a device that speaks Vaza over TCP: the link and the one-request
// commands of CVazaLinkSession, and the upgrade of a module: the image goes by FTP to the
// address the device hands out, the device is told its checksum once the file is known to be
// the one summed, and its installation is followed to the end. Every command ends in at most
// one final notification; a reply that belongs to no running command (late, repeated or out
// of order) is logged and dropped.
class CVazaMaintainSession : public CVazaLinkSession
{
    Q_OBJECT
public:
    explicit CVazaMaintainSession(const T_BaseDevInfo &stDevInfo, QObject *parent = nullptr);
    ~CVazaMaintainSession() override;

public slots:
    int AbortCmd() override;
    E_CmdResult StartUpgrade(const T_UpgradeInfo &stUpgradeInfo) override;

protected slots:
    void ProcessVersionUpgradeRsp(QByteArray &baBody) override;
    void slotOnUploadTransferProgress(qint64 done, qint64 total);
    void slotOnUploadFinished(bool error);
    void slotCheckUpgradeFinshed();
    void slotGrogressBar();

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

    void UpgradeTimedOut() override;
    void EmitUpgrade(const QString &strStep, bool bError, bool bFinished, int i32Progress);
    // One upgrade request for the module being upgraded: step, its value, the image's name.
    void SendUpgradeStep(quint32 u32Step, quint32 u32Value, const QByteArray &baFileName);
    static QString ImageFileName(const QString &strFilePath);
    // After the upload: step 102 with the image's checksum, once the file is known to be the
    // one that was sent and summed.
    void ResolveChecksum();
    void FailChecksum(const QString &strReason);
    QString ChangedReason() const;

    quint32 m_u32UpgradeMsgId = Vaza::ID_VersionUpgradeReq;
    QFile m_fileImage;
    QTimer m_timerCheckUpgrade;
    QFtp *m_pUpgradeFtp = nullptr;
    T_UpgradeInfo m_stUpgradeInfo;
    QTimer m_timerProgress;
    int m_i32InstallProgress = 0;
    E_UpgradePhase m_ePhase = PHASE_NONE;
    // The image as it was when the upgrade started: a file that differs after the upload may
    // not be what the device received, and is never given a checksum.
    QString m_strImageKey;
    T_ImageIdentity m_stImageIdentity;
};
