#pragma once

#include <QMetaType>
#include <QString>

typedef quint32 UInt32;

// Identity of one device, copied into every session and every notification.
// strHostName ("MODEL-suffix") is the key of a device throughout network mode.
struct T_BaseDevInfo {
    QString strHostName;
    QString strDispName;
    QString strAddr;     // IPv4 address, or the serial port name
    quint32 u32Port = 0; // TCP maintenance port, or the baud rate
    QString strDevVersion;
    QString strKind; // "tx" or "rx"
};

// One firmware module to upgrade inside a device.
struct T_UpgradeInfo {
    QString strDevAddr;
    quint32 u32DevPort = 0;
    QString strFilePath;
};

enum E_CmdResult {
    CMD_OK = 0,
    CMD_ERROR = 1,
    CMD_NOT_SUPPORT = 2,
    CMD_CONNECT_FAIL = 3,
    CMD_BUSY = 4,
};

// The command a session is running; kept as a plain int on the session.
enum E_CurCmd {
    CUR_NONE = 0,
    CUR_UPGRADE = 1,
    CUR_SYSINFO = 2,
    CUR_LOG = 3,
};

Q_DECLARE_METATYPE(T_BaseDevInfo)
Q_DECLARE_METATYPE(T_UpgradeInfo)
Q_DECLARE_METATYPE(E_CmdResult)

namespace Velmora
{
// Registers the records (and the "UInt32" spelling used in signal signatures)
// so queued connections and QSignalSpy can carry them. Safe to call often.
void RegisterMaintainMetaTypes();
} // namespace Velmora
