#pragma once

#include "gbihmaintainsession/vazaproto.h"

#include <QBuffer>
#include <QByteArray>

class QDateTime;

// The message codec's buffer: messages are built by writing fields into an empty one and
// bodies are parsed by reading fields from one opened over the received bytes.
// Reads past the end never fail: integers read as 0 and strings as empty.
class CVazaBuffer : public QBuffer
{
    Q_OBJECT
public:
    using QBuffer::QBuffer;
};

// Field primitives on any device, at its current position.
void WriteUInt32(QIODevice *pDev, quint32 u32Value);
// u32 (text length + 4), then the text without terminator.
void WriteString(QIODevice *pDev, const char *pszText);
void WriteByteArray(QIODevice *pDev, const QByteArray &baData);
// 0 (and nothing consumed) when fewer than 4 bytes remain.
quint32 ReadUInt32(QIODevice *pDev);
quint8 ReadUInt8(QIODevice *pDev);
// Empty when the prefix is 3 or less, or when the announced bytes are not all there
// (they are then left unread). pu32Len receives the text length (or the short prefix).
QByteArray ReadByteArray(QIODevice *pDev, quint32 *pu32Len = nullptr);
// XOR of every byte from the current position to the end; leaves the device at its end.
quint8 XorChecksum(QIODevice *pDev);
// XOR of n bytes; images too large to check in one go are folded piece by piece.
quint8 XorChecksum(const char *pData, qint64 i64Len);

namespace Vaza
{
// Header plus body, ready for one socket write.
QByteArray BuildMsg(quint32 u32MsgId, quint32 u32SeqNo, const QByteArray &baBody);
// Decodes the first HEAD_LEN bytes at pData (the caller guarantees they exist).
T_VAZAMsgHead ParseHead(const char *pData);
// "yyyyMMddHHmmss" in UTC followed by "GMT": 17 bytes.
QByteArray BindTimeStamp(const QDateTime &dtNow);
// User "root", password, time stamp and token; the last two without prefix.
QByteArray BuildBindReqBody(const QDateTime &dtNow);
// Upgrade request: module, step, step value, two empty strings, file name.
QByteArray BuildUpgradeReqBody(const QByteArray &baDevAddr, quint32 u32DevPort, quint32 u32Step, quint32 u32Value,
                               const QByteArray &baFileName);
QByteArray BuildQueryReqBody(const QByteArray &baDevAddr, quint32 u32DevPort);
} // namespace Vaza
