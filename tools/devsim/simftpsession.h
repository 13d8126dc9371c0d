#pragma once

#include "simdevice.h"
#include "simrecord.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

// One client's control connection to a simulated device's FTP server, with its data
// connection. Plays the device's side of an image upload (STOR) and a log download (RETR)
// and injects the faults the device's knobs ask for (see fleets/README.md, "FTP service").
class CSimFtpSession : public QObject
{
    Q_OBJECT
public:
    CSimFtpSession(const T_SimDevice &stDevice, CSimRecord *pRecord, QTcpSocket *pControl, QObject *parent);

private slots:
    void slotControlReadyRead();
    void slotControlClosed();
    void slotFlushReply();
    void slotPassiveConnection();
    void slotActiveConnected();
    void slotDataError();
    void slotDataReadyRead();
    void slotDataClosed();
    void slotSendMore();

private:
    enum E_Transfer { XferNone, XferStore, XferRetrieve };

    void Handle(const QString &strVerb, const QString &strArg);
    void Reply(int iCode, const QString &strText);
    void SendRaw(const QByteArray &baLines);
    void CloseAfterReplies();
    // The code injected for this step, 0 when none.
    int FailCode(const QString &strStep) const;
    bool InjectFailure(const QString &strStep);
    void Event(const QString &strType, const QJsonObject &fields = QJsonObject());

    void OpenPassive(bool bExtended);
    bool ParseActive(const QString &strVerb, const QString &strArg);
    void BeginTransfer(E_Transfer eTransfer, const QString &strPath);
    void AttachData(QTcpSocket *pSocket);
    void StartDataFlow();
    void ConsumeStore(QByteArray ba);
    void FinishStore();
    void EndTransfer(bool bResetData);
    void DropPassive();
    // The absolute path a name in a command stands for.
    QString Resolve(const QString &strName) const;

    T_SimDevice m_stDevice;
    CSimRecord *m_pRecord;
    QTcpSocket *m_pControl;
    QByteArray m_baLine;
    QList<QByteArray> m_lstReplies; // waiting for the slow-server delay; an empty entry closes
    QTimer m_timerReply;
    int m_iDelayMs;
    int m_iCutAfter;

    bool m_bLoggedIn = false;
    QString m_strUser;
    QString m_strCwd = QStringLiteral("/");
    qint64 m_i64Allo = -1;

    QTcpServer *m_pPassive = nullptr;
    bool m_bActive = false;
    QHostAddress m_activeAddr;
    quint16 m_u16ActivePort = 0;

    QTcpSocket *m_pData = nullptr;
    bool m_bDataUp = false;
    QByteArray m_baEarly; // STOR bytes that arrived, with the end, before the command
    bool m_bDataEof = false;
    E_Transfer m_eTransfer = XferNone;
    bool m_bFlowing = false;
    QString m_strPath;
    // STOR: what has arrived so far
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    QByteArray m_baReceived;
    qint64 m_i64Received = 0;
    quint8 m_u8Xor = 0;
    // RETR: what is being sent
    QByteArray m_baSend;
    qint64 m_i64Sent = 0;
    QTimer m_timerPace;
};
