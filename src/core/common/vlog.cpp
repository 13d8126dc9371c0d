#include "common/vlog.h"

Q_LOGGING_CATEGORY(lcDiscovery, "velmora.discovery")
Q_LOGGING_CATEGORY(lcVaza, "velmora.vaza")
Q_LOGGING_CATEGORY(lcFtp, "velmora.ftp")
Q_LOGGING_CATEGORY(lcTelnet, "velmora.telnet")
Q_LOGGING_CATEGORY(lcHttp, "velmora.http")
Q_LOGGING_CATEGORY(lcSerial, "velmora.serial")
Q_LOGGING_CATEGORY(lcUi, "velmora.ui")
Q_LOGGING_CATEGORY(lcSession, "velmora.session")

namespace Velmora
{

QString QualifiedFunctionName(const char *pszSignature)
{
    QString str = QString::fromLatin1(pszSignature);
    // Cut the parameter list at the first '(' that is not part of "operator()".
    int iParen = str.indexOf(QLatin1Char('('));
    if (iParen > 0)
        str.truncate(iParen);
    // The name is the last blank-separated word: drops the return type and qualifiers.
    const int iBlank = str.lastIndexOf(QLatin1Char(' '));
    if (iBlank >= 0)
        str = str.mid(iBlank + 1);
    while (str.startsWith(QLatin1Char('*')) || str.startsWith(QLatin1Char('&')))
        str.remove(0, 1);
    return str;
}

} // namespace Velmora
