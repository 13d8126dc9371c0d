// Any datagram is either a device report or dropped; never an over-read or a crash.
#include "discovery/qdevicesearcher.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t size)
{
    T_DiscoveryAnswer st;
    const bool bReported =
        QDeviceSearcher::ParseAnswer(reinterpret_cast<const char *>(pData), static_cast<qint64>(size), st);
    // The texts are exact copies of bytes inside their fields and contain no zero byte.
    if (st.strStatus.size() > 32 || st.strHostName.size() > 256 || bReported == st.strHostName.isEmpty())
        std::abort();
    if (!st.strStatus.isEmpty() && std::memcmp(st.strStatus.constData(), pData + 8, st.strStatus.size()) != 0)
        std::abort();
    if (!st.strHostName.isEmpty() && std::memcmp(st.strHostName.constData(), pData + 40, st.strHostName.size()) != 0)
        std::abort();
    if (st.strStatus.contains('\0') || st.strHostName.contains('\0'))
        std::abort();
    return 0;
}
