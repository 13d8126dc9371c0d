#include "simserialline.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

CSimSerialLine::CSimSerialLine(QObject *parent) : QObject(parent)
{
    m_i32TimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_i32TimerFd >= 0) {
        m_pTimerNotifier = new QSocketNotifier(m_i32TimerFd, QSocketNotifier::Read, this);
        connect(m_pTimerNotifier, &QSocketNotifier::activated, this, [this] {
            quint64 u64Expired = 0;
            if (::read(m_i32TimerFd, &u64Expired, sizeof u64Expired) < 0 && errno != EAGAIN)
                return;
            m_i64ArmedNs = -1;
            RunDue();
        });
    }
}

qint64 CSimSerialLine::NowNs()
{
    timespec st{};
    clock_gettime(CLOCK_MONOTONIC, &st);
    return st.tv_sec * 1000000000LL + st.tv_nsec;
}

CSimSerialLine::~CSimSerialLine()
{
    delete m_pTimerNotifier;
    if (m_i32TimerFd >= 0)
        ::close(m_i32TimerFd);
    delete m_pNotifier;
    if (m_i32Slave >= 0)
        ::close(m_i32Slave);
    if (m_i32Master >= 0)
        ::close(m_i32Master);
}

bool CSimSerialLine::Open(int i32Baud, QString &strError)
{
    m_i32Baud = i32Baud;
    if (m_i32TimerFd < 0) {
        strError = QStringLiteral("cannot create a timer: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_i32Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_i32Master < 0 || grantpt(m_i32Master) != 0 || unlockpt(m_i32Master) != 0) {
        strError = QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const char *pszSlave = ptsname(m_i32Master);
    m_strSlave = QString::fromLocal8Bit(pszSlave);
    m_i32Slave = ::open(pszSlave, O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios stTio{};
    if (m_i32Slave < 0 || tcgetattr(m_i32Slave, &stTio) != 0) {
        strError = QStringLiteral("cannot open %1: %2").arg(m_strSlave, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    cfmakeraw(&stTio);
    tcsetattr(m_i32Slave, TCSANOW, &stTio);
    m_pNotifier = new QSocketNotifier(m_i32Master, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { OnReadable(); });
    return true;
}

qint64 CSimSerialLine::LineNs(qint64 i64Bytes) const
{
    return m_i32Baud > 0 ? i64Bytes * 10 * 1000000000LL / m_i32Baud : 0;
}

void CSimSerialLine::OnReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_i32Master, buf, sizeof buf);
        if (n <= 0)
            break;
        const QByteArray ba(buf, static_cast<int>(n));
        m_i64In += n;
        if (m_i32Baud <= 0) {
            emit Received(ba);
            continue;
        }
        // The bytes were on the wire one after another: the last one is in when the line
        // has carried all of them since it was last free.
        m_i64RxFreeNs = qMax(m_i64RxFreeNs, NowNs()) + LineNs(n);
        Schedule(m_i64RxFreeNs, [this, ba] { emit Received(ba); });
    }
}

void CSimSerialLine::Send(const QByteArray &ba)
{
    m_i64TxFreeNs = qMax(m_i64TxFreeNs, NowNs()) + LineNs(ba.size());
    Schedule(m_i64TxFreeNs, [this, ba] { WriteNow(ba); });
}

void CSimSerialLine::SendAlone(const QByteArray &ba, int i32GapMs)
{
    const qint64 i64Gap = i32GapMs * 1000000LL;
    m_i64TxFreeNs = qMax(m_i64TxFreeNs, NowNs()) + i64Gap;
    const qint64 i64Due = m_i64TxFreeNs + LineNs(ba.size());
    m_i64TxFreeNs = i64Due + i64Gap;
    Schedule(i64Due, [this, ba] { WriteNow(ba); });
}

void CSimSerialLine::Schedule(qint64 i64DueNs, std::function<void()> fn)
{
    m_due.emplace(i64DueNs, std::move(fn));
    RunDue();
}

void CSimSerialLine::RunDue()
{
    while (!m_due.empty() && m_due.begin()->first <= NowNs()) {
        auto fn = std::move(m_due.begin()->second);
        m_due.erase(m_due.begin());
        fn();
    }
    if (m_due.empty() || m_due.begin()->first == m_i64ArmedNs)
        return;
    m_i64ArmedNs = m_due.begin()->first;
    itimerspec stAt{};
    stAt.it_value.tv_sec = static_cast<time_t>(m_i64ArmedNs / 1000000000LL);
    stAt.it_value.tv_nsec = static_cast<long>(m_i64ArmedNs % 1000000000LL);
    timerfd_settime(m_i32TimerFd, TFD_TIMER_ABSTIME, &stAt, nullptr);
}

void CSimSerialLine::WriteNow(const QByteArray &ba)
{
    qint64 i64Done = 0;
    while (m_i32Master >= 0 && i64Done < ba.size()) {
        const ssize_t n = ::write(m_i32Master, ba.constData() + i64Done, static_cast<size_t>(ba.size() - i64Done));
        if (n > 0)
            i64Done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // nobody reads the line and its buffer is full: the rest is lost, as on a UART
    }
    m_i64Out += i64Done;
}
