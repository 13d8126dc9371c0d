#pragma once

#include "session/maintaintypes.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
#include <QObject>

class QTcpSocket;

// A session talks to one device: commands return at once with an E_CmdResult,
// and every later outcome arrives only through the four On... signals.
// The base owns the TCP transport: it connects on the first send and keeps
// the last request that could not be written until the connection is up.
class CBaseMaintainSession : public QObject
{
    Q_OBJECT
public:
    enum E_InfoDataType {
        INFO_XML = 0,
        INFO_JSON = 1,
    };
    Q_ENUM(E_InfoDataType)

    explicit CBaseMaintainSession(const T_BaseDevInfo &stDevInfo, QObject *parent = nullptr);
    ~CBaseMaintainSession() override;

    bool IsBusy() const { return m_eCurCmd != CUR_NONE; }
    const T_BaseDevInfo &DevInfo() const { return m_stDevInfo; }
    // Why the last command failed, in words an operator can act on ("time out", "the device
    // refused the maintenance log-in", the FTP server's reply); empty while a command runs or
    // after success.
    QString LastError() const { return m_strLastError; }

public slots:
    // Cuts off the running command; returns the E_CurCmd that was running.
    virtual int AbortCmd();
    virtual bool IsCmdSupported(int i32Op) = 0;
    virtual E_CmdResult StartUpgrade(const T_UpgradeInfo &stUpgradeInfo) = 0;
    virtual E_CmdResult GetSysInfo() = 0;
    virtual E_CmdResult DownloadLog() = 0;
    virtual E_CmdResult QueryVersion(QByteArray strDevAddr, quint32 u32DevPort) = 0;

protected slots:
    // True when written now; false when kept for after connect.
    virtual bool SendData(const QByteArray &data);
    virtual bool DoSendData(const QByteArray &data);
    virtual void OnReadData(const QByteArray &data) = 0;
    virtual void OnConneced();

signals:
    void OnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                         bool bFinished, int i32CurProgress);
    void OnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType eDataType,
                         QByteArray strData);
    void OnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError, bool bFinished);
    void OnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr, UInt32 u32DevPort,
                              QByteArray strVersion);

protected slots:
    void slotOnConneced();
    void slotOnReadyRead();
    void slotOnDisconnect(QAbstractSocket::SocketError eError);

protected:
    void StartConnect();
    void ReleaseSocket(QTcpSocket *pSocket, bool bAbort);

    int m_eCurCmd = CUR_NONE;
    QTcpSocket *m_pSocket = nullptr;
    T_BaseDevInfo m_stDevInfo;
    QByteArray m_baPending;
    QDateTime m_dtLastSend;
    QString m_strLastError;
    // The transport's last error, so a time-out can say the device was never reached or that
    // it closed the connection.
    QString m_strSocketError;
    QAbstractSocket::SocketError m_eSocketError = QAbstractSocket::UnknownSocketError;
};

Q_DECLARE_METATYPE(CBaseMaintainSession::E_InfoDataType)
