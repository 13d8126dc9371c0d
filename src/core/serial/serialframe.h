#pragma once

#include "vaza/vazaproto.h"

#include <QByteArray>

#include <functional>

// The serial line's wrapping of a Vaza message:
//   0xFD | N (u16, big-endian) | N message bytes | XOR of the N message bytes
namespace SerialFrame
{

constexpr quint8 SYNC = 0xFD;
constexpr int OVERHEAD = 4;
// No frame is looked at before this many bytes wait (the smallest frame is 28).
constexpr int MIN_PARSE = 26;
// The image travels in pieces of this size, each acknowledged before the next.
constexpr int CHUNK = 960;
// The largest message a controller sends is a version answer with its text; a length above
// this is noise taken for a length, and waiting for it would stall the line for good.
constexpr int MAX_RX_MSG = 4096;
// The length field has 16 bits.
constexpr int MAX_MSG = 0xFFFF;

// The frame around a complete Vaza message; empty when the message cannot be framed.
QByteArray Wrap(const QByteArray &baMsg);

// The step-102 checksum: each image byte taken as a signed 8-bit value, widened to 32 bits
// and XORed. The low byte is the plain XOR; the upper three are all ones exactly when an odd
// number of bytes have the top bit set, which is the top bit of the plain XOR. So the plain
// XOR, sign-extended, is the same value at memory speed.
quint32 SignExtendedXor(quint8 u8Xor);
quint32 ImageChecksum(const char *pData, qint64 i64Len);

} // namespace SerialFrame

// Finds the frames in the bytes a serial line delivers and hands each message to the handler.
// A lone 0xFF on an idle line is dropped; stray bytes before a frame are skipped up to the
// next 0xFD. A frame
// whose checksum fails, or whose length cannot be a controller's message (below a header or
// above MAX_RX_MSG), is dropped and the search goes on at the next 0xFD, so noise never leaves
// the line waiting for bytes that will not come. Each message leaves the buffer before its
// handler runs; a handler returning false (its owner is gone) ends Feed at once.
class CSerialFrameParser
{
public:
    using Handler = std::function<bool(const T_VAZAMsgHead &stHead, QByteArray &baBody)>;

    // Returns the number of messages handed out.
    int Feed(const QByteArray &baChunk, const Handler &fnHandler);
    void Clear() { m_baRecv.clear(); }
    int Pending() const { return m_baRecv.size(); }
    int ChecksumErrors() const { return m_i32ChecksumErrors; }
    int IgnoredFF() const { return m_i32IgnoredFF; }

private:
    QByteArray m_baRecv;
    int m_i32ChecksumErrors = 0;
    int m_i32IgnoredFF = 0;
};
