#include "cprogressview.h"

#include "clicommon.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace VelmoraCli;

CProgressView::CProgressView(const QStringList &lstHosts, bool bQuiet)
    : m_lstHosts(lstHosts), m_bQuiet(bQuiet), m_bTty(!bQuiet && isatty(fileno(stdout)) == 1)
{
    for (int i = 0; i < lstHosts.size(); ++i)
        m_lstLines << QString();
    if (m_bTty)
        for (const QString &strHost : m_lstHosts)
            PrintOut(strHost + QLatin1Char('\n'));
}

void CProgressView::Show(const QString &strHost, const QString &strText, bool bStepChanged)
{
    const int i = m_lstHosts.indexOf(strHost);
    if (m_bQuiet || i < 0)
        return;
    // Device texts may hold control characters; they never reach the terminal raw.
    QString strLine = strHost + QStringLiteral(": ") + strText;
    for (QChar &c : strLine)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    if (strLine == m_lstLines.at(i))
        return;
    m_lstLines[i] = strLine;
    if (!m_bTty) {
        if (bStepChanged)
            PrintOut(strLine + QLatin1Char('\n'));
        return;
    }
    // A line that wraps would throw every cursor movement off by one.
    struct winsize stSize = {};
    if (ioctl(fileno(stdout), TIOCGWINSZ, &stSize) == 0 && stSize.ws_col > 1)
        strLine.truncate(stSize.ws_col - 1);
    const int iUp = m_lstHosts.size() - i;
    PrintOut(QStringLiteral("\x1b[%1A\r\x1b[2K%2\x1b[%1B\r").arg(iUp).arg(strLine));
}

void CProgressView::ShowStep(const QString &strHost, const QString &strModule, const QString &strStep, int iPct,
                             bool bErr)
{
    const bool bChanged = m_hashStep.value(strHost) != strModule + strStep;
    m_hashStep.insert(strHost, strModule + strStep);
    Show(strHost,
         QStringLiteral("%1: %2%3")
             .arg(strModule, bErr ? QStringLiteral("failed at ") + strStep : strStep,
                  !bErr && iPct >= 0 ? QStringLiteral(" %1%").arg(iPct) : QString()),
         bChanged);
}

void CProgressView::ShowCompleted(const QString &strHost, const QString &strModule, const QString &strVersion,
                                  const QString &strExpected)
{
    Show(strHost,
         QStringLiteral("%1: completed, version %2%3")
             .arg(strModule, strVersion.isEmpty() ? QStringLiteral("unreadable") : strVersion,
                  strExpected.isEmpty() ? QString() : QStringLiteral(" (expected %1)").arg(strExpected)),
         true);
}

void CProgressView::ShowFailed(const QString &strHost, const QString &strModule, const QString &strStep,
                               const QString &strReason)
{
    Show(strHost, QStringLiteral("%1: failed: %2").arg(strModule, strReason), true);
    const QString strWhere = strStep.isEmpty() ? strModule : strModule + QStringLiteral(": ") + strStep;
    if (m_bTty)
        m_lstErrors << QStringList{strHost, strWhere, strReason};
    else
        PrintDeviceError(strHost, strWhere, strReason);
}

void CProgressView::FlushErrors()
{
    for (const QStringList &lst : qAsConst(m_lstErrors))
        PrintDeviceError(lst.at(0), lst.at(1), lst.at(2));
    m_lstErrors.clear();
}
