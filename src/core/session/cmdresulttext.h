#pragma once

#include "session/maintaintypes.h"

#include <QString>

// What a refused command was asked to do, for the words of its refusal.
enum class E_CmdKind { Upgrade, SysInfo, Log, VersionQuery };

namespace Velmora
{

// Why a command was refused, in words a technician can act on; empty for CMD_OK. These are the
// words of every face: the batch engine's failure reasons, the forms' messages and rows, and
// velmora-cli. strChannelReason is the session's own account of its last failure (LastError):
// it names the cause of a CMD_ERROR (an unreadable image, a missing module address); a
// CMD_ERROR without one comes from the agent, which has no session for a device it does not
// list. Translated with the context "CmdResult": the window speaks its language, the console
// program, which loads no translation, English.
QString CmdResultText(E_CmdResult eResult, E_CmdKind eCmd, const QString &strChannelReason = QString());

} // namespace Velmora
