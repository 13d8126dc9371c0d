// Control-connection bytes from an FTP server: split into replies at arbitrary chunk
// boundaries, then the passive-mode, extended-passive and size answers read from each.
#include "ftp/ftpreply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the chunk size, so replies are cut at every kind of place.
    const size_t chunk = 1 + pData[0] % 64;
    const char *p = reinterpret_cast<const char *>(pData + 1);
    size_t left = size - 1;
    CFtpReplyParser parser;
    T_FtpReply st;
    while (left > 0) {
        const size_t n = left < chunk ? left : chunk;
        parser.Append(p, static_cast<qint64>(n));
        p += n;
        left -= n;
        while (parser.Next(st)) {
            if (!st.bMalformed && (st.i32Code < 0 || st.i32Code > 999))
                std::abort();
            if (st.strText.size() > CFtpReplyParser::kMaxText + CFtpReplyParser::kMaxLine)
                std::abort();
            QString strHost;
            quint16 u16Port = 0;
            if (ParsePasvReply(st.strText, strHost, u16Port) && u16Port == 0)
                std::abort();
            if (ParseEpsvReply(st.strText, u16Port) && u16Port == 0)
                std::abort();
            qint64 i64Size = 0;
            if (ParseSizeReply(st.strText, i64Size) && i64Size < 0)
                std::abort();
        }
    }
    return 0;
}
