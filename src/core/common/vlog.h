#pragma once

#include <QByteArray>
#include <QDebug>
#include <QLoggingCategory>
#include <QString>

// One category per subsystem, so an operator can switch one on with
// QT_LOGGING_RULES="velmora.vaza.debug=true" without drowning in the others.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcVaza)
Q_DECLARE_LOGGING_CATEGORY(lcFtp)
Q_DECLARE_LOGGING_CATEGORY(lcTelnet)
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcSession)

namespace Velmora
{
// Turns a compiler signature ("bool CFoo::Bar(const QByteArray&)") into the
// class-qualified name ("CFoo::Bar") that starts every diagnostic line.
QString QualifiedFunctionName(const char *pszSignature);
// Byte strings from devices go to the log in hexadecimal, never raw.
inline QString Hex(const QByteArray &ba)
{
    return QString::fromLatin1(ba.toHex(' '));
}
} // namespace Velmora

// Spelled out rather than through qCDebug, whose empty variadic use trips -Wpedantic in clang.
#define VLOG_AT(category, check, level)                                                                                \
    for (bool bVlogOn = category().check(); bVlogOn; bVlogOn = false)                                                  \
    QMessageLogger(QT_MESSAGELOG_FILE, QT_MESSAGELOG_LINE, QT_MESSAGELOG_FUNC, category().categoryName())              \
            .level()                                                                                                   \
            .noquote()                                                                                                 \
        << Velmora::QualifiedFunctionName(Q_FUNC_INFO)
#define VLOG(category) VLOG_AT(category, isDebugEnabled, debug)
#define VWARN(category) VLOG_AT(category, isWarningEnabled, warning)
