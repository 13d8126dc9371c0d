// Device-supplied FTP URLs: any text ends in parts within their limits or a clean failure.
#include "ftp/ftpurl.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t size)
{
    const QByteArray ba(reinterpret_cast<const char *>(pData), static_cast<int>(size));
    T_FtpUrl st;
    if (ParseFtpUrl(ba, st)) {
        // The limits are what the session and the command lines rely on.
        if (st.strHost.size() > T_FtpUrl::kMaxHost || st.strUser.size() > T_FtpUrl::kMaxUser ||
            st.strPassword.size() > T_FtpUrl::kMaxPassword || st.strPath.isEmpty() || st.i32Port < 1 ||
            st.i32Port > 65535 || st.strHost.isEmpty() || st.strUser.contains(QLatin1Char('\n')) ||
            st.strPassword.contains(QLatin1Char('\r')))
            std::abort();
    }
    // The zero-terminated entry point must agree with the byte-array one.
    const QByteArray baZ = ba + '\0';
    T_FtpUrl stZ;
    if (ParseFtpUrl(baZ.constData(), stZ) != ParseFtpUrl(QByteArray(baZ.constData()), st))
        std::abort();
    return 0;
}
