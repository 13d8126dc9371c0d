#include "cinterruptwatch.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// Written from the signal handler, which may do nothing but write(2).
int s_aiPipe[2] = {-1, -1};
struct sigaction s_oldInt;
struct sigaction s_oldTerm;

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(s_aiPipe[1], &c, 1);
}
} // namespace

CInterruptWatch::CInterruptWatch(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_aiPipe) != 0)
        return;
    m_pNotifier = new QSocketNotifier(s_aiPipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CInterruptWatch::slotReadSignal);
    struct sigaction stAction = {};
    stAction.sa_handler = OnSignal;
    sigemptyset(&stAction.sa_mask);
    stAction.sa_flags = SA_RESTART;
    sigaction(SIGINT, &stAction, &s_oldInt);
    sigaction(SIGTERM, &stAction, &s_oldTerm);
}

CInterruptWatch::~CInterruptWatch()
{
    if (!m_pNotifier)
        return;
    sigaction(SIGINT, &s_oldInt, nullptr);
    sigaction(SIGTERM, &s_oldTerm, nullptr);
    delete m_pNotifier;
    ::close(s_aiPipe[0]);
    ::close(s_aiPipe[1]);
    s_aiPipe[0] = s_aiPipe[1] = -1;
}

void CInterruptWatch::slotReadSignal()
{
    char c = 0;
    [[maybe_unused]] const ssize_t n = ::read(s_aiPipe[0], &c, 1);
    if (m_i32Count >= 2)
        return;
    m_i32Count += (m_i32Count == 0 && m_bStopMeansInterrupt) ? 2 : 1;
    if (m_i32Count == 1)
        emit signalStopRequested();
    else
        emit signalInterrupted();
}
