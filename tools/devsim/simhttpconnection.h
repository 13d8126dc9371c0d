#pragma once

#include "simdevice.h"
#include "simmultipart.h"
#include "simrecord.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

#include <memory>

class CSimHttpDevice;
class QTcpSocket;

// One client's connection to a simulated device's web server: reads its requests (keep-alive,
// Content-Length or chunked bodies, an upload parsed as it streams), answers each from the
// device, and injects the per-step faults (delay, drop, garbage, huge or cut body).
// Deletes itself when the client is gone.
class CSimHttpConnection : public QObject
{
public:
    CSimHttpConnection(CSimHttpDevice *pDevice, CSimRecord *pRecord, QTcpSocket *pSocket, QObject *parent);

private:
    enum E_Phase { HEAD, BODY, CHUNK_SIZE, CHUNK_DATA, CHUNK_END, TRAILER, ANSWERING };

    void OnGone();
    void OnReadyRead();
    void Process();
    bool ParseHead(const QByteArray &baHead);
    QByteArray Header(const char *pszName) const;
    void Body(const char *pData, qint64 i64Len);
    // A complete request: decide the answer, possibly after a delay.
    void RequestDone();
    void Answer(const QString &strStep);
    void Record(QJsonObject req, int i32Status);
    void Send(int i32Status, const QByteArray &baType, const QByteArray &baBody, int i32Cut);
    // A request we cannot read: answer it and end the connection, since the framing is lost.
    void Fail(int i32Status);

    CSimHttpDevice *m_pDevice;
    const T_SimDevice &m_dev;
    CSimRecord *m_pRecord;
    QPointer<QTcpSocket> m_pSocket;
    QByteArray m_baIn;
    E_Phase m_ePhase = HEAD;
    QByteArray m_baMethod;
    QByteArray m_baPath;
    QByteArray m_baVersion;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    bool m_bKeepAlive = true;
    bool m_bChunked = false;
    qint64 m_i64Remaining = 0;
    qint64 m_i64BodyBytes = 0;
    QByteArray m_baBoundary;
    std::unique_ptr<CSimMultipartParser> m_pUpload;
};
