#include "vaza/vazachecksum.h"

#include <QBuffer>

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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
