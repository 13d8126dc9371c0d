#include "telnet/cshellreads.h"

#include "telnet/telnetreply.h"

#include <utility>

namespace
{
// Every prompt counts, whether or not a read waits for it.
bool AtPrompt(const QByteArray &baLine, const char *pszPrompt, int &iPrompts)
{
    if (!TelnetReply::EndsWithNoCase(baLine, pszPrompt))
        return false;
    ++iPrompts;
    return true;
}
} // namespace

CShellReads::CShellReads(const QString &strCmdPrefix, const QString &strTarget)
    : m_baEchoParam(QStringLiteral(" # %1param g %2").arg(strCmdPrefix, strTarget).toUtf8()),
      m_baEchoParamRo(QStringLiteral(" # %1param r %2").arg(strCmdPrefix, strTarget).toUtf8()),
      m_baEchoGet(QStringLiteral(" # %1get ").arg(strCmdPrefix).toUtf8()),
      m_baEchoConfig(QStringLiteral(" # %1config --show ").arg(strCmdPrefix).toUtf8())
{
}

bool CShellReads::TakeLine(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone)
{
    return TakeParam(baLine, baLastLine, iPrompts, stDone) || TakeOption(baLine, baLastLine, iPrompts, stDone) ||
           TakeConfig(baLine, baLastLine, iPrompts, stDone);
}

bool CShellReads::TakeParam(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone)
{
    // Either store's read: the echo tells which one the prompt completes.
    for (const QByteArray *pEcho : {&m_baEchoParam, &m_baEchoParamRo}) {
        if (TelnetReply::TakeEchoedName(baLine, *pEcho, 1, m_baParamName)) {
            m_baParamEcho = *pEcho;
            return true; // one separator before the name
        }
    }
    if (!AtPrompt(baLine, TelnetReply::kRootPrompt, iPrompts) || m_baParamName.isEmpty())
        return false;
    stDone.eRead = READ_PARAM;
    stDone.bOk = TelnetReply::ParamValue(baLine, baLastLine, m_baParamEcho, m_baParamName, stDone.baValue);
    stDone.baName = std::exchange(m_baParamName, QByteArray());
    return true;
}

bool CShellReads::TakeOption(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone)
{
    if (TelnetReply::TakeEchoedName(baLine, m_baEchoGet, 0, m_baOptionName))
        return true;
    if (!AtPrompt(baLine, TelnetReply::kPromptEnd, iPrompts) || m_baOptionName.isEmpty())
        return false;
    stDone.eRead = READ_OPTION;
    stDone.bOk = TelnetReply::OptionValue(baLine, baLastLine, m_baEchoGet, stDone.baValue);
    stDone.baName = std::exchange(m_baOptionName, QByteArray());
    return true;
}

bool CShellReads::TakeConfig(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone)
{
    QByteArray baName; // an echo without a name forgets the one before
    if (TelnetReply::TakeEchoedName(baLine, m_baEchoConfig, 0, baName)) {
        m_baConfigName = baName;
        return true;
    }
    if (!AtPrompt(baLine, TelnetReply::kPromptEnd, iPrompts) || m_baConfigName.isEmpty())
        return false;
    stDone.eRead = READ_CONFIG;
    stDone.bOk = TelnetReply::OptionValue(baLine, baLastLine, m_baEchoConfig, stDone.baValue);
    stDone.baName = std::exchange(m_baConfigName, QByteArray());
    return true;
}
