#pragma once

#include "session/cbasemaintainsession.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

// Upgrades one web-server device: posts the image to its upgrade CGI, then polls the
// result file once a second until the device stops serving it. Also reads the version page.
// Answers are capped at 64 KiB. Every request ends in exactly one notification; a reply to a request that is no longer
// the outstanding one is dropped. The upgrader may be deleted from a slot connected to its
// own signals.
class CHttpUpgrade : public QObject
{
    Q_OBJECT
public:
    enum E_HttpState {
        HTTP_VERSION = 0,
        HTTP_UPLOAD = 1,
        HTTP_POLL = 2,
        HTTP_IDLE = 3,
    };

    explicit CHttpUpgrade(T_BaseDevInfo stDevInfo, QObject *parent = nullptr);
    ~CHttpUpgrade() override;

    // True when the upload has been issued. Refused (false, nothing emitted, the running work
    // untouched) for an empty path, an unreadable file, or while an upload is outstanding:
    // that upload is still reading its file.
    bool StartUpgrade(QString strHostName, T_UpgradeInfo stUpgradeInfo);
    // True when the version request has been issued; false while anything else is going on.
    bool QueryVersion();

    // Cuts off whatever is outstanding and stops polling; no further signal for that run.
    void Abort();
    // The device answered from another address: later requests go there.
    void SetAddress(const QString &strAddr);
    // Why the last request or start failed, in words for the operator; empty after a success.
    QString LastError() const { return m_strLastError; }
    int State() const { return m_eState; }
    bool IsIdle() const { return m_eState == HTTP_IDLE; }
    T_BaseDevInfo DevInfo() const { return m_stDevInfo; }

signals:
    void signalHttpUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                                 bool bFinished, int i32CurProgress);
    void signalHttpVersionNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                                 QByteArray strData);

private slots:
    void slotReplyFinished(QNetworkReply *reply);
    void slotOnUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void slotOnGetTimeOut();
    void slotOnDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);

private:
    void BuildUrls();
    // Gives up the outstanding request once its answer passes the size cap.
    void WatchReplySize();
    void DropOutstanding();
    void ReleaseFile();
    void EmitUpgrade(const QString &strStep, bool bError, bool bFinished, int i32Progress);
    void EmitVersion(bool bError, const QByteArray &baData);
    QString FailureText(QNetworkReply *reply, int i32Status, const QString &strRequest) const;

    T_BaseDevInfo m_stDevInfo;
    T_UpgradeInfo m_stUpgradeInfo;
    QString m_strUpgradeUrl;
    QString m_strVersionUrl;
    QString m_strResultUrl;
    QString m_strAddr;
    QString m_strFilePath;
    QNetworkAccessManager *m_pManager = nullptr;
    QNetworkReply *m_pReply = nullptr;
    QFile *m_pFile = nullptr;
    QTimer m_pollTimer;
    float m_fProgress = 0.0f;
    int m_eState = HTTP_IDLE;

    QString m_strLastError;
    int m_i32Polls = 0;
    bool m_bReplyTooLarge = false;
    // Inside a slot the manager or a reply is calling: if a receiver of our signal deletes us
    // there, the emitting manager must outlive us until its emission has returned.
    int m_i32InNetworkSlot = 0;
};
