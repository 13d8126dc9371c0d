#include "gbihmaintainsession/cvazabuffer.h"

#include <QDateTime>
#include <QtEndian>

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

void WriteUInt32(QIODevice *pDev, quint32 u32Value)
{
    uchar buf[4];
    qToBigEndian(u32Value, buf);
    pDev->write(reinterpret_cast<const char *>(buf), 4);
}

void WriteString(QIODevice *pDev, const char *pszText)
{
    const quint32 u32Len = pszText ? static_cast<quint32>(std::strlen(pszText)) : 0;
    WriteUInt32(pDev, u32Len + 4);
    if (u32Len)
        pDev->write(pszText, u32Len);
}

void WriteByteArray(QIODevice *pDev, const QByteArray &baData)
{
    WriteUInt32(pDev, static_cast<quint32>(baData.size()) + 4);
    if (!baData.isEmpty())
        pDev->write(baData);
}

quint32 ReadUInt32(QIODevice *pDev)
{
    if (pDev->bytesAvailable() < 4)
        return 0;
    uchar buf[4];
    if (pDev->read(reinterpret_cast<char *>(buf), 4) != 4)
        return 0;
    return qFromBigEndian<quint32>(buf);
}

quint8 ReadUInt8(QIODevice *pDev)
{
    char c = 0;
    if (pDev->bytesAvailable() < 1 || !pDev->getChar(&c))
        return 0;
    return static_cast<quint8>(c);
}

QByteArray ReadByteArray(QIODevice *pDev, quint32 *pu32Len)
{
    const quint32 u32Prefix = ReadUInt32(pDev);
    if (u32Prefix <= 3) {
        if (pu32Len)
            *pu32Len = u32Prefix;
        return QByteArray();
    }
    const quint32 u32Len = u32Prefix - 4;
    if (pu32Len)
        *pu32Len = u32Len;
    // Compared before reading, so a lying prefix never allocates what is not there.
    if (pDev->bytesAvailable() < static_cast<qint64>(u32Len))
        return QByteArray();
    return pDev->read(u32Len);
}

quint8 XorChecksum(const char *pData, qint64 i64Len)
{
    // XOR is associative and commutative, so the bytes may be folded in any grouping and
    // order: four independent accumulators keep the loop from waiting on the previous XOR
    // at every step, and folding them, then the word, gives the byte-wise result.
    qint64 i = 0;
    quint64 u64Acc = 0;
#if defined(__SSE2__) || defined(_M_X64)
    // 16-byte lanes, which every x86-64 processor has.
    __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
    for (; i + 64 <= i64Len; i += 64) {
        const auto *p = reinterpret_cast<const __m128i *>(pData + i);
        a0 = _mm_xor_si128(a0, _mm_loadu_si128(p));
        a1 = _mm_xor_si128(a1, _mm_loadu_si128(p + 1));
        a2 = _mm_xor_si128(a2, _mm_loadu_si128(p + 2));
        a3 = _mm_xor_si128(a3, _mm_loadu_si128(p + 3));
    }
    alignas(16) quint64 au64[2];
    _mm_store_si128(reinterpret_cast<__m128i *>(au64), _mm_xor_si128(_mm_xor_si128(a0, a1), _mm_xor_si128(a2, a3)));
    u64Acc = au64[0] ^ au64[1];
#else
    quint64 a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    for (; i + 32 <= i64Len; i += 32) {
        quint64 au64[4];
        std::memcpy(au64, pData + i, sizeof au64);
        a0 ^= au64[0];
        a1 ^= au64[1];
        a2 ^= au64[2];
        a3 ^= au64[3];
    }
    u64Acc = a0 ^ a1 ^ a2 ^ a3;
#endif
    for (; i + 8 <= i64Len; i += 8) {
        quint64 u64;
        std::memcpy(&u64, pData + i, 8);
        u64Acc ^= u64;
    }
    quint8 u8Tail = 0;
    for (; i < i64Len; ++i)
        u8Tail ^= static_cast<quint8>(pData[i]);
    u64Acc ^= u64Acc >> 32;
    u64Acc ^= u64Acc >> 16;
    u64Acc ^= u64Acc >> 8;
    return static_cast<quint8>(u64Acc) ^ u8Tail;
}

quint8 XorChecksum(QIODevice *pDev)
{
    // Bytes already in memory are folded where they are: copying them out first would cost
    // as much as the checksum itself.
    if (auto *pBuffer = qobject_cast<QBuffer *>(pDev); pBuffer && pBuffer->isReadable()) {
        const QByteArray &ba = pBuffer->data();
        const qint64 i64Pos = qBound<qint64>(0, pBuffer->pos(), ba.size());
        const quint8 u8Sum = XorChecksum(ba.constData() + i64Pos, ba.size() - i64Pos);
        pBuffer->seek(ba.size());
        return u8Sum;
    }
    // Blocks small enough that the bytes just read are still in the first-level cache.
    alignas(64) char block[16 * 1024];
    quint8 u8Sum = 0;
    for (;;) {
        const qint64 i64Read = pDev->read(block, sizeof block);
        if (i64Read <= 0)
            break;
        u8Sum ^= XorChecksum(block, i64Read);
    }
    return u8Sum;
}

namespace Vaza
{

QByteArray BuildMsg(quint32 u32MsgId, quint32 u32SeqNo, const QByteArray &baBody)
{
    QByteArray ba(HEAD_LEN + baBody.size(), Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(ba.data());
    qToBigEndian<quint32>(static_cast<quint32>(baBody.size()) + HEAD_LEN, p);
    qToBigEndian<quint32>(u32MsgId, p + 4);
    qToBigEndian<quint32>(u32SeqNo, p + 8);
    qToBigEndian<quint32>(1, p + 12);
    qToBigEndian<quint32>(0, p + 16);
    qToBigEndian<quint32>(0, p + 20);
    if (!baBody.isEmpty())
        std::memcpy(p + HEAD_LEN, baBody.constData(), static_cast<size_t>(baBody.size()));
    return ba;
}

T_VAZAMsgHead ParseHead(const char *pData)
{
    const uchar *p = reinterpret_cast<const uchar *>(pData);
    T_VAZAMsgHead st;
    st.u32MsgLen = qFromBigEndian<quint32>(p);
    st.u32MsgId = qFromBigEndian<quint32>(p + 4);
    st.u32SeqNo = qFromBigEndian<quint32>(p + 8);
    st.u32Reserved1 = qFromBigEndian<quint32>(p + 12);
    st.u32Reserved2 = qFromBigEndian<quint32>(p + 16);
    st.u32Reserved3 = qFromBigEndian<quint32>(p + 20);
    return st;
}

QByteArray BindTimeStamp(const QDateTime &dtNow)
{
    return dtNow.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "GMT";
}

QByteArray BuildBindReqBody(const QDateTime &dtNow)
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    WriteString(&buf, "root");
    WriteString(&buf, "admk742");
    buf.write(BindTimeStamp(dtNow));
    buf.write("5039182746CADBFE", 16);
    return buf.data();
}

QByteArray BuildUpgradeReqBody(const QByteArray &baDevAddr, quint32 u32DevPort, quint32 u32Step, quint32 u32Value,
                               const QByteArray &baFileName)
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    WriteByteArray(&buf, baDevAddr);
    WriteUInt32(&buf, u32DevPort);
    WriteUInt32(&buf, u32Step);
    WriteUInt32(&buf, u32Value);
    WriteByteArray(&buf, QByteArray());
    WriteByteArray(&buf, QByteArray());
    WriteByteArray(&buf, baFileName);
    return buf.data();
}

QByteArray BuildQueryReqBody(const QByteArray &baDevAddr, quint32 u32DevPort)
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    WriteByteArray(&buf, baDevAddr);
    WriteUInt32(&buf, u32DevPort);
    WriteUInt32(&buf, STEP_START);
    WriteByteArray(&buf, QByteArray());
    WriteByteArray(&buf, QByteArray());
    return buf.data();
}

} // namespace Vaza
