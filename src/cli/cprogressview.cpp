#include "cprogressview.h"

#include "clicommon.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace VelmoraCli;

namespace
{
// Written from the SIGWINCH handler, which may do nothing but write(2).
int s_aiResizePipe[2] = {-1, -1};
struct sigaction s_oldWinch;

void OnResize(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(s_aiResizePipe[1], &c, 1);
}
} // namespace

CProgressView::CProgressView(const QStringList &lstHosts, bool bQuiet, FILE *pOut)
    : m_pOut(pOut), m_lstHosts(lstHosts), m_bQuiet(bQuiet), m_bTty(!bQuiet && isatty(fileno(pOut)) == 1)
{
    for (int i = 0; i < lstHosts.size(); ++i)
        m_lstLines << QString();
    if (!m_bTty)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, s_aiResizePipe) == 0) {
        m_pResize = new QSocketNotifier(s_aiResizePipe[0], QSocketNotifier::Read, this);
        connect(m_pResize, &QSocketNotifier::activated, this, &CProgressView::slotOnResize);
        struct sigaction stAction = {};
        stAction.sa_handler = OnResize;
        sigemptyset(&stAction.sa_mask);
        stAction.sa_flags = SA_RESTART;
        sigaction(SIGWINCH, &stAction, &s_oldWinch);
    }
    DrawTable();
}

CProgressView::~CProgressView()
{
    if (!m_pResize)
        return;
    sigaction(SIGWINCH, &s_oldWinch, nullptr);
    delete m_pResize;
    ::close(s_aiResizePipe[0]);
    ::close(s_aiResizePipe[1]);
    s_aiResizePipe[0] = s_aiResizePipe[1] = -1;
}

void CProgressView::DrawTable()
{
    struct winsize stSize = {};
    const bool bKnown = ioctl(fileno(m_pOut), TIOCGWINSZ, &stSize) == 0;
    m_iRows = bKnown ? stSize.ws_row : 0;
    m_iColumns = bKnown ? stSize.ws_col : 0;
    // The cursor cannot go up past the top row: with more devices than rows every update
    // would land on another device's line.
    m_bTable = m_iRows == 0 || m_iRows > m_lstHosts.size();
    if (!m_bTable)
        return;
    QString strTable;
    for (int i = 0; i < m_lstHosts.size(); ++i)
        strTable += Fitted(m_lstLines.at(i).isEmpty() ? m_lstHosts.at(i) : m_lstLines.at(i)) + QLatin1Char('\n');
    Print(strTable);
}

void CProgressView::slotOnResize()
{
    char ac[16];
    while (::read(s_aiResizePipe[0], ac, sizeof(ac)) > 0) {
    }
    // A table that still fits is drawn anew below the old one: the terminal may have rewrapped
    // the old lines, and the cursor's distance to them is no longer known.
    DrawTable();
}

QString CProgressView::Fitted(const QString &strLine) const
{
    // A line that wraps would throw every cursor movement off by one.
    return m_iColumns > 1 ? strLine.left(m_iColumns - 1) : strLine;
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
    if (!m_bTable) {
        if (bStepChanged)
            Print(strLine + QLatin1Char('\n'));
        return;
    }
    const int iUp = m_lstHosts.size() - i;
    Print(QStringLiteral("\x1b[%1A\r\x1b[2K%2\x1b[%1B\r").arg(iUp).arg(Fitted(strLine)));
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

void CProgressView::Print(const QString &strText)
{
    const QByteArray ba = strText.toUtf8();
    std::fwrite(ba.constData(), 1, static_cast<size_t>(ba.size()), m_pOut);
    std::fflush(m_pOut);
}
