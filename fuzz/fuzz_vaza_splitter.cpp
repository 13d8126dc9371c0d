// Any byte stream from a device, cut into any chunks, ends in handled messages, a framing
// error or a wait for more bytes: never an over-read, an endless loop or unbounded growth.
#include "vaza/cvazabuffer.h"
#include "vaza/cvazastreamsplitter.h"
#include "vaza/vazafields.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t uSize)
{
    if (uSize < 1)
        return 0;
    // The first byte picks the chunk size, so split points inside headers get explored.
    const size_t uChunk = 1 + pData[0] % 64;
    const QByteArray baStream(reinterpret_cast<const char *>(pData + 1), static_cast<int>(uSize - 1));

    CVazaStreamSplitter splitter;
    qint64 i64Handled = 0;
    auto fn = [&](const T_VAZAMsgHead &st, QByteArray &baBody) {
        if (st.u32MsgLen < 24 || st.u32MsgLen > Vaza::MAX_MSG_LEN || baBody.size() != int(st.u32MsgLen) - 24)
            std::abort();
        i64Handled += st.u32MsgLen;
        // Walk the body the way the session reads replies.
        CVazaBuffer reader;
        reader.setData(baBody);
        reader.open(QIODevice::ReadOnly);
        while (!reader.atEnd()) {
            const qint64 i64Before = reader.pos();
            quint32 u32Len = 0;
            ReadByteArray(&reader, &u32Len);
            ReadUInt32(&reader);
            ReadUInt8(&reader);
            if (reader.pos() == i64Before)
                break;
        }
    };
    for (int i = 0; i < baStream.size(); i += static_cast<int>(uChunk))
        splitter.Feed(baStream.mid(i, static_cast<int>(uChunk)), fn);
    if (i64Handled + splitter.Pending() > baStream.size())
        std::abort();
    return 0;
}
