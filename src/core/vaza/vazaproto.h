#pragma once

#include <QtGlobal>

class QString;

// The Vaza wire format: a 24-byte header of six big-endian u32 words, then the body.
// Every integer on the wire is a big-endian u32; single bytes appear only inside
// system-information bodies.
struct T_VAZAMsgHead {
    quint32 u32MsgLen = 0; // header included
    quint32 u32MsgId = 0;
    quint32 u32SeqNo = 0;     // the sender's own counter; replies are not matched by it
    quint32 u32Reserved1 = 1; // 1 in what we send, ignored on receipt
    quint32 u32Reserved2 = 0;
    quint32 u32Reserved3 = 0;
};

namespace Vaza
{

constexpr int HEAD_LEN = 24;
// Nothing a device sends comes near this; a larger announcement is a broken stream,
// and honouring it would let one bad header hold the receive buffer hostage.
constexpr quint32 MAX_MSG_LEN = 16u * 1024u * 1024u;

enum E_MsgId : quint32 {
    ID_BindReq = 0x1001,
    ID_BindRsp = 0x2001,
    ID_UnBindReq = 0x1002,
    ID_UnBindRsp = 0x2002,
    ID_HeartbeatReq = 0x1003,
    ID_HeartbeatRsp = 0x2003,
    // Model-specific: add 0x10 x model index (see ModelIndex).
    ID_SysInfoReq = 0x1101,
    ID_SysInfoRsp = 0x2101,
    ID_LogReq = 0x1102,
    ID_LogRsp = 0x2102,
    ID_VersionUpgradeReq = 0x1801,
    ID_VersionUpgradeRsp = 0x2801,
    ID_VersionQueryReq = 0x1803,
    ID_VersionQueryRsp = 0x2803,
    // The serial line's variants; the network session accepts their replies too.
    ID_SerialUpgradeReq = 0x1811,
    ID_SerialUpgradeRsp = 0x2811,
    ID_SerialQueryReq = 0x1813,
    ID_SerialQueryRsp = 0x2813,
};

// The four model-specific system-information replies.
constexpr quint32 ID_SysInfoRsp410 = ID_SysInfoRsp + 0x00;
constexpr quint32 ID_SysInfoRsp420 = ID_SysInfoRsp + 0x10;
constexpr quint32 ID_SysInfoRsp430 = ID_SysInfoRsp + 0x20;
constexpr quint32 ID_SysInfoRspOther = ID_SysInfoRsp + 0x30;

enum E_UpgradeStep : quint32 {
    STEP_START = 101,    // reply carries the FTP URL that takes the image
    STEP_UPLOADED = 102, // value: XOR checksum of the image
    STEP_PROGRESS = 103, // reply value: installation percentage, 100 = done
};

constexpr int MODEL_COUNT = 4;
inline bool IsSysInfoRsp(quint32 u32Id)
{
    return u32Id >= ID_SysInfoRsp && u32Id <= ID_SysInfoRspOther && (u32Id & 0xF) == 1;
}
inline bool IsLogRsp(quint32 u32Id)
{
    return u32Id >= ID_LogRsp && u32Id <= ID_LogRsp + 0x30 && (u32Id & 0xF) == 2;
}

// Of a model (Velmora::ModelOfHostName), in any letter case: 0 ZR410, 1 ZR420, 2 ZR430, 3
// anything else. ZR420L shares ZR420's system-information messages but not its log messages,
// so the caller says which one it is asking for.
int ModelIndex(const QString &strModel, bool bForSysInfo);

} // namespace Vaza
