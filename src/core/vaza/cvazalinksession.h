#pragma once

#include "session/cbasemaintainsession.h"
#include "vaza/cvazastreamsplitter.h"
#include "vaza/vazaproto.h"

#include <QTimer>

class QFtp;

// The Vaza link of a maintenance session and its one-request commands: binds on connect, keeps
// the link alive, splits the stream into messages and dispatches them, asks for system
// information, the log (fetched by FTP from the address the device hands out) and versions,
// and ends a command the device leaves unanswered with the reason. The upgrade is the
// subclass's (CVazaMaintainSession): its replies go to ProcessVersionUpgradeRsp.
class CVazaLinkSession : public CBaseMaintainSession
{
    Q_OBJECT
public:
    explicit CVazaLinkSession(const T_BaseDevInfo &stDevInfo, QObject *parent = nullptr);
    ~CVazaLinkSession() override;

public slots:
    int AbortCmd() override;
    bool IsCmdSupported(int i32Op) override;
    E_CmdResult GetSysInfo() override;
    E_CmdResult DownloadLog() override;
    E_CmdResult QueryVersion(QByteArray strDevAddr, quint32 u32DevPort) override;

protected slots:
    void OnReadData(const QByteArray &data) override;
    void OnConneced() override;
    virtual void ProcessMsg(const T_VAZAMsgHead &stHead, QByteArray &baBody);
    // An upgrade reply while an upgrade runs.
    virtual void ProcessVersionUpgradeRsp(QByteArray &baBody) = 0;
    virtual QByteArray PackMsg(quint32 u32MsgId, const QByteArray &baBody);

protected slots:
    void slotOnHeartbeat();
    void slotOnLogDownload();
    void slotOnLogFinished(bool error);
    void slotResTimeOut();

protected:
    void StartResponseTimer();
    // The shared start of the two one-request commands: busy check, request, time-out.
    E_CmdResult StartRequest(int eCmd, quint32 u32MsgId);
    // The running upgrade got no answer in time: the command is already aborted.
    virtual void UpgradeTimedOut() = 0;
    void DropFtp(QFtp *&pFtp);
    // A client connecting to strHost on the URL's port and logging in as the URL says.
    QFtp *OpenFtp(const QString &strHost, const struct T_FtpUrl &stUrl);
    // A received URL ends at its first zero byte (devices send C strings).
    static QByteArray CutAtZero(QByteArray ba);
    QString TimeOutReason() const;

    quint32 m_u32QueryMsgId = Vaza::ID_VersionQueryReq;
    quint32 m_u32SeqNo = 1;
    CVazaStreamSplitter m_baRecv;
    QTimer m_timerHeartbeat;
    QFtp *m_pLogFtp = nullptr;
    QTimer m_timerResponse;
    // The device turned our log-in down: what follows on this connection can only time out.
    bool m_bBindRefused = false;
};
