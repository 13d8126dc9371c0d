#pragma once

#include "ftp/cuploadwriter.h"

#include <QByteArray>
#include <QHostAddress>
#include <QIODevice>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;

// The data connection of one transfer: a socket it connects itself (passive mode) or the
// one connection a listening server accepts (active mode). An upload streams from the
// device in blocks, keeping only a bounded amount queued on the socket; a download is
// either written to the device or left for the reader (readyRead / read).
class QFtpDTP : public QObject
{
    Q_OBJECT
public:
    enum E_ConnectState { CsConnected, CsClosed, CsConnectionRefused };

    explicit QFtpDTP(QObject *parent = nullptr);
    ~QFtpDTP() override;

    // Prepares a new transfer and drops whatever the previous one left.
    void Prepare(bool bUpload, QIODevice *pDevice, qint64 i64Total);
    void SetBytesTotal(qint64 i64Total) { m_i64Total = i64Total; }
    qint64 BytesTotal() const { return m_i64Total; }
    qint64 BytesDone() const { return m_i64Done; }

    // Passive mode: connects to the port the server opened.
    void ConnectToHost(const QString &strHost, quint16 u16Port);
    // Active mode: listens on the control connection's local address; 0 on failure.
    quint16 SetupListener(const QHostAddress &address);
    // Accepts a connection the server has already made but the event loop has not
    // delivered yet, so a "226" read first does not end a download before its data.
    void PollPendingConnection();

    // The server has accepted the transfer command ("150 Ok to send data."): an upload
    // may now write once connected. Data sent before could reach a server that has not
    // read STOR yet and would take it for a stray connection.
    void TransferAccepted();

    // Whether a data connection was ever made for this transfer, and whether it is still open.
    bool HasConnected() const { return m_bHasConnected; }
    bool IsOpen() const;
    // Whether an upload has handed every byte of its device to the socket.
    bool UploadComplete() const { return m_bUpload && m_writer.AtEnd(); }

    qint64 BytesAvailable() const;
    QByteArray Read(qint64 i64MaxLen);

    // Drops the data connection at once; an upload's peer gets a reset, never an orderly
    // end, so a cut file cannot pass for a whole one.
    void AbortConnection();

signals:
    void connectState(int iState);
    void readyRead();
    void dataTransferProgress(qint64 i64Done, qint64 i64Total);
    // The transfer broke on our side (data socket error, unreadable device); text for the operator.
    void transferFailed(const QString &strReason);

private slots:
    void slotConnected();
    void slotNewConnection();
    void slotReadyRead();
    void slotBytesWritten(qint64 i64Bytes);
    void slotReadChannelFinished();
    void slotDisconnected();
    void slotError();
    void slotDeviceReadyRead();
    void slotContinueUpload();

private:
    void AttachSocket(QTcpSocket *pSocket);
    void DropSocket(bool bReset);
    void DisposeServer();
    void MaybeStartUpload();
    void WriteMore();
    void ReportUploadProgress();
    void DrainSocket();
    void DeliverToDevice(const QByteArray &ba);

    QTcpSocket *m_pSocket = nullptr;
    QTcpServer *m_pServer = nullptr;
    QPointer<QIODevice> m_pDevice;
    QByteArray m_baBuffer;  // download bytes kept after the socket closed
    int m_i32BufferPos = 0; // start of the unread part of m_baBuffer
    qint64 m_i64Done = 0;
    qint64 m_i64Total = 0;
    bool m_bUpload = false;
    bool m_bAccepted = false;
    bool m_bUploadStarted = false;
    bool m_bHasConnected = false;
    bool m_bConnected = false;
    bool m_bContinueQueued = false;
    CUploadWriter m_writer;
};
