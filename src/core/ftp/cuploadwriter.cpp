#include "ftp/cuploadwriter.h"

#include "ftp/sendroom.h"

#include <QTcpSocket>

namespace
{
// Uploads currently writing, in this (the GUI) thread.
int s_i32Writing = 0;

// The upload block all uploads share (see WriteTurn) and whether a piece is in it now.
QByteArray s_baSharedBlock;
bool s_bSharedBlockBusy = false;
struct T_SharedHold {
    explicit T_SharedHold(bool bShared) : m_bShared(bShared)
    {
        if (m_bShared)
            s_bSharedBlockBusy = true;
    }
    ~T_SharedHold()
    {
        if (m_bShared)
            s_bSharedBlockBusy = false;
    }
    T_SharedHold(const T_SharedHold &) = delete;
    T_SharedHold &operator=(const T_SharedHold &) = delete;
    bool m_bShared;
};
} // namespace

void CUploadWriter::Reset()
{
    m_i64Handed = 0;
    m_bEof = false;
    SetWriting(false);
}

void CUploadWriter::SetWriting(bool bWriting)
{
    if (bWriting == m_bWriting)
        return;
    m_bWriting = bWriting;
    s_i32Writing += bWriting ? 1 : -1;
}

CUploadWriter::E_Turn CUploadWriter::WriteTurn(QObject *pOwner, QTcpSocket *const &rpSocket,
                                               const QPointer<QIODevice> &rpDevice, QString &strError)
{
    // The upload socket is unbuffered: a write goes to the system at once and only what
    // the system does not take yet is queued (and reported by bytesWritten later). So the
    // next piece is written only once nothing is queued: anything written on top of a
    // queue would be copied into it first. With a fast receiver every write may be taken
    // whole, so each turn hands over at most its share of kHighWater and then yields.
    qint64 i64Budget = qBound(kMinTurn, kHighWater / qMax(1, s_i32Writing), kMaxTurn);
    while (!m_bEof && rpSocket->bytesToWrite() == 0) {
        if (i64Budget <= 0)
            return TURN_YIELD;
        if (!rpDevice)
            return TURN_NO_FILE;
        // One read per write: from the page cache, a 16 KiB read costs about as much
        // in system-call overhead as it moves, which alone would cost 5% against curl.
        bool bDry = false; // a sequential device has nothing more for now
        // Every upload shares one block: a piece lives in it only from its read to its write,
        // all on one thread, so a thousand uploads do not each hold 256 KiB. A write that
        // reports into another upload from inside itself finds it taken and that upload uses
        // a block of its own for the piece.
        QTcpSocket *pSocket = rpSocket;
        const bool bShared = !s_bSharedBlockBusy;
        QByteArray &baBlock = bShared ? s_baSharedBlock : m_baBlock;
        if (baBlock.size() != kWriteSize)
            baBlock.resize(kWriteSize);
        const T_SharedHold hold(bShared);
        qint64 i64Want = qBound<qint64>(kBlockSize, i64Budget, baBlock.size());
        // Only what the system takes now, so nothing refused is copied into the socket's
        // own queue; when it takes nothing, a small piece queued there wakes us (through
        // bytesWritten) once it has room again.
        const qint64 i64Room = SendRoom(pSocket->socketDescriptor());
        if (i64Room >= 0)
            i64Want = qMin(i64Want, qMax<qint64>(i64Room, kWakePiece));
        const qint64 i64Filled = rpDevice->read(baBlock.data(), i64Want);
        if (i64Filled < 0) {
            strError = rpDevice->errorString();
            return TURN_FAILED;
        }
        if (i64Filled == 0) {
            if (rpDevice->isSequential() && !rpDevice->atEnd())
                bDry = true; // more comes with the device's readyRead
            else {
                m_bEof = true;
                SetWriting(false);
            }
        }
        if (i64Filled > 0) {
            // A reset found while writing may be reported from inside write(); whoever
            // handled it has dropped the socket and reported the failure already.
            QPointer<QObject> guard(pOwner);
            const qint64 i64Written = pSocket->write(baBlock.constData(), i64Filled);
            if (!guard || rpSocket != pSocket)
                return TURN_GONE;
            if (i64Written != i64Filled) {
                strError = pSocket->errorString();
                return TURN_FAILED;
            }
            m_i64Handed += i64Filled;
            i64Budget -= i64Filled;
        }
        if (bDry)
            break;
    }
    return TURN_WAIT;
}
