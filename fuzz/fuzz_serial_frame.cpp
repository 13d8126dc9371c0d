// Any byte sequence on the serial line, cut into any chunks, ends in parsed frames, dropped
// bytes or a wait for the rest of a plausible frame: never an over-read, an endless loop or
// a buffer that grows past one frame.
#include "serial/serialframe.h"
#include "vaza/cvazabuffer.h"
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
    // The first byte picks the chunk size; 1-byte chunks exercise the lone-0xFF rule.
    const size_t uChunk = 1 + pData[0] % 48;
    const QByteArray baStream(reinterpret_cast<const char *>(pData + 1), static_cast<int>(uSize - 1));

    CSerialFrameParser parser;
    qint64 i64Handled = 0;
    auto fn = [&](const T_VAZAMsgHead &, QByteArray &baBody) {
        if (baBody.size() > SerialFrame::MAX_RX_MSG - Vaza::HEAD_LEN)
            std::abort();
        i64Handled += baBody.size() + Vaza::HEAD_LEN + SerialFrame::OVERHEAD;
        // Walk the body the way the session reads replies.
        CVazaBuffer reader;
        reader.setData(baBody);
        reader.open(QIODevice::ReadOnly);
        while (!reader.atEnd()) {
            const qint64 i64Before = reader.pos();
            ReadByteArray(&reader);
            ReadUInt32(&reader);
            if (reader.pos() == i64Before)
                break;
        }
        return true;
    };
    for (int i = 0; i < baStream.size(); i += static_cast<int>(uChunk)) {
        parser.Feed(baStream.mid(i, static_cast<int>(uChunk)), fn);
        // Whatever waits is at most one frame still arriving (and the stray byte before it).
        if (parser.Pending() > SerialFrame::MAX_RX_MSG + SerialFrame::OVERHEAD + 1)
            std::abort();
    }
    if (i64Handled + parser.Pending() > baStream.size())
        std::abort();
    return 0;
}
