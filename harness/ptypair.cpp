#include "ptypair.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    m_i32Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_i32Master < 0)
        return;
    if (grantpt(m_i32Master) != 0 || unlockpt(m_i32Master) != 0) {
        Hangup();
        return;
    }
    m_strSlave = QString::fromLocal8Bit(ptsname(m_i32Master));
    m_i32Slave = ::open(ptsname(m_i32Master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios stTio{};
    if (m_i32Slave >= 0 && tcgetattr(m_i32Slave, &stTio) == 0) {
        cfmakeraw(&stTio);
        tcsetattr(m_i32Slave, TCSANOW, &stTio);
    }
    m_pNotifier = new QSocketNotifier(m_i32Master, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

PtyPair::~PtyPair()
{
    Hangup();
}

void PtyPair::Hangup()
{
    delete m_pNotifier;
    m_pNotifier = nullptr;
    if (m_i32Slave >= 0)
        ::close(m_i32Slave);
    if (m_i32Master >= 0)
        ::close(m_i32Master);
    m_i32Slave = m_i32Master = -1;
}

void PtyPair::Write(const QByteArray &ba)
{
    qint64 i64Done = 0;
    while (m_i32Master >= 0 && i64Done < ba.size()) {
        const ssize_t n = ::write(m_i32Master, ba.constData() + i64Done, static_cast<size_t>(ba.size() - i64Done));
        if (n > 0)
            i64Done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

QByteArray PtyPair::Take()
{
    QByteArray ba = m_baRecv;
    m_baRecv.clear();
    return ba;
}

void PtyPair::OnReadable()
{
    char buf[4096];
    bool bGot = false;
    for (;;) {
        const ssize_t n = ::read(m_i32Master, buf, sizeof buf);
        if (n <= 0)
            break;
        m_baRecv.append(buf, static_cast<int>(n));
        bGot = true;
    }
    if (bGot)
        emit ReadyRead();
}
