#pragma once

#include "vaza/vazaproto.h"

#include <QByteArray>

class QDateTime;

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
