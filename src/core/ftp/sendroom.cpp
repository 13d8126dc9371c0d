#include "ftp/sendroom.h"

#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

qint64 SendRoom(qintptr hSocket)
{
#ifdef Q_OS_LINUX
    if (hSocket < 0)
        return -1;
    int i32Buffer = 0;
    socklen_t len = sizeof(i32Buffer);
    if (::getsockopt(static_cast<int>(hSocket), SOL_SOCKET, SO_SNDBUF, &i32Buffer, &len) != 0)
        return -1;
    // SIOCOUTQ counts bytes not yet acknowledged by the peer, sent or not.
    int i32Queued = 0;
    if (::ioctl(static_cast<int>(hSocket), SIOCOUTQ, &i32Queued) != 0)
        return -1;
    // The system counts its own bookkeeping against the buffer too (a few per cent for the
    // large segments of a bulk upload): leave it an eighth.
    const qint64 i64Usable = static_cast<qint64>(i32Buffer) - i32Buffer / 8;
    return qMax<qint64>(0, i64Usable - i32Queued);
#else
    Q_UNUSED(hSocket);
    return -1;
#endif
}
