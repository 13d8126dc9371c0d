#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>

class QIODevice;
class QTcpSocket;

// Moves an upload from its device into an unbuffered data socket, one event-loop turn at a
// time: a piece is written only while nothing is queued on the socket and only as much as the
// system takes now, it passes through one block all uploads share, and in one turn an upload
// hands over no more than its share of what all uploads together may move.
class CUploadWriter
{
public:
    static constexpr int kBlockSize = 16384;
    // An upload reads the device and writes the socket in pieces of 16 blocks: every
    // system call and event-loop turn moves 256 KiB, as few as curl needs for the same file.
    static constexpr int kWriteSize = 16 * kBlockSize;
    // Most bytes all uploads together hand to their sockets in one event-loop turn: they
    // share it, each moving at least kMinTurn and at most kMaxTurn (so a lone upload still
    // reports its progress every MiB). A thousand uploads at once then move 16 MiB a turn,
    // not 64, and the loop stays under a tenth of a second per turn; a hundred move 40 KiB each.
    static constexpr qint64 kHighWater = 4 * 1024 * 1024;
    static constexpr qint64 kMinTurn = 16 * 1024;
    static constexpr qint64 kMaxTurn = 1024 * 1024;
    // What an upload writes when the system has no room: queued on the socket, it brings
    // bytesWritten once the system takes it.
    static constexpr qint64 kWakePiece = 4096;

    enum E_Turn {
        TURN_WAIT,    // the socket's queue, a dry device or the end: bytesWritten or readyRead go on
        TURN_YIELD,   // this turn's share is spent with nothing queued: go on at the next turn
        TURN_NO_FILE, // the device is gone
        TURN_FAILED,  // reading the device or writing the socket failed: strError says why
        TURN_GONE,    // a write dropped the socket, or deleted its owner, from inside: nothing to do
    };

    CUploadWriter() = default;
    ~CUploadWriter() { SetWriting(false); }
    CUploadWriter(const CUploadWriter &) = delete;
    CUploadWriter &operator=(const CUploadWriter &) = delete;

    // A new upload: nothing handed over, not at its end, not writing.
    void Reset();
    // Counts this upload among those that share the per-turn budget.
    void SetWriting(bool bWriting);
    // Whether every byte of the device has been handed to the socket.
    bool AtEnd() const { return m_bEof; }
    qint64 Handed() const { return m_i64Handed; }

    // Writes this turn's pieces from rpDevice into rpSocket (both the owner's own pointers,
    // read again after every write). pOwner may be deleted, or drop the socket, from inside a
    // write; the writer then returns TURN_GONE and is itself no longer touched.
    E_Turn WriteTurn(QObject *pOwner, QTcpSocket *const &rpSocket, const QPointer<QIODevice> &rpDevice,
                     QString &strError);

private:
    QByteArray m_baBlock; // a block of its own, only while the shared one is taken
    qint64 m_i64Handed = 0;
    bool m_bEof = false;
    bool m_bWriting = false;
};
