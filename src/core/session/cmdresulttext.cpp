#include "session/cmdresulttext.h"

#include <QCoreApplication>

namespace Velmora
{
namespace
{
QString NotSupported(E_CmdKind eCmd)
{
    switch (eCmd) {
    case E_CmdKind::Upgrade:
        return QCoreApplication::translate("CmdResult", "upgrade not supported by the device");
    case E_CmdKind::SysInfo:
        return QCoreApplication::translate("CmdResult", "system information not supported by the device");
    case E_CmdKind::Log:
        return QCoreApplication::translate("CmdResult", "log download not supported by the device");
    case E_CmdKind::VersionQuery:
        break;
    }
    return QCoreApplication::translate("CmdResult", "version query not supported by the device");
}
} // namespace

QString CmdResultText(E_CmdResult eResult, E_CmdKind eCmd, const QString &strChannelReason)
{
    switch (eResult) {
    case CMD_OK:
        break;
    case CMD_ERROR:
        // One line: a reason may carry a server's reply with its own line breaks.
        if (!strChannelReason.trimmed().isEmpty())
            return strChannelReason.simplified();
        return QCoreApplication::translate("CmdResult", "device not found");
    case CMD_NOT_SUPPORT:
        return NotSupported(eCmd);
    case CMD_CONNECT_FAIL:
        return QCoreApplication::translate("CmdResult", "could not connect to the device: request not sent");
    case CMD_BUSY:
        return QCoreApplication::translate("CmdResult", "device is busy with another command");
    }
    return QString();
}

} // namespace Velmora
