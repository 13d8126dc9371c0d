#pragma once

#include "simdevice.h"
#include "simrecord.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <functional>

class QTcpServer;
class QTcpSocket;

// The data side of one FTP control connection: opens the passive listener or connects back
// for an active transfer, receives a STOR into the device's store, paces a RETR, and injects
// the transfer faults the device's knobs ask for. Every reply it owes goes out through the
// session's reply function, so it queues behind the session's own replies.
class CSimFtpTransfer : public QObject
{
    Q_OBJECT
public:
    using SimFtpReply = std::function<void(int iCode, const QString &strText)>;

    CSimFtpTransfer(const T_SimDevice &stDevice, CSimRecord *pRecord, SimFtpReply fnReply, QObject *parent = nullptr);

    // PASV / EPSV: listens beside the control connection and answers 227 / 229 (or 425).
    void OpenPassive(bool bExtended, const QHostAddress &localAddr);
    // PORT / EPRT: false when the argument is unusable or names anyone but the client.
    bool SetActive(const QString &strVerb, const QString &strArg, const QHostAddress &peerAddr);
    // ALLO: the size the next STOR must deliver, -1 for none.
    void SetAnnounced(qint64 i64Size) { m_i64Allo = i64Size; }
    // strPath is absolute; RETR expects the store to hold it.
    void BeginStore(const QString &strPath) { Begin(XferStore, strPath); }
    void BeginRetrieve(const QString &strPath) { Begin(XferRetrieve, strPath); }

    bool Busy() const { return m_eTransfer != XferNone; }
    QString Path() const { return m_strPath; }
    // Cuts a running transfer (the client sees a reset data connection); replies nothing.
    void Abort() { EndTransfer(true); }
    // The control connection is gone: cut the transfer and stop listening.
    void Close();

private slots:
    void slotPassiveConnection();
    void slotActiveConnected();
    void slotDataError();
    void slotDataReadyRead();
    void slotDataClosed();
    void slotSendMore();

private:
    enum E_Transfer { XferNone, XferStore, XferRetrieve };

    void Begin(E_Transfer eTransfer, const QString &strPath);
    void Reply(int iCode, const QString &strText) { m_fnReply(iCode, strText); }
    bool InjectFailure(const QString &strStep);
    void Event(const QString &strType, const QJsonObject &fields = QJsonObject());
    void AttachData(QTcpSocket *pSocket);
    void StartDataFlow();
    void ConsumeStore(QByteArray ba);
    void FinishStore();
    void EndTransfer(bool bResetData);
    void DropPassive();

    T_SimDevice m_stDevice;
    CSimRecord *m_pRecord;
    SimFtpReply m_fnReply;
    int m_iDelayMs;
    int m_iCutAfter;
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
