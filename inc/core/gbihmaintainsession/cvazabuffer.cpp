#include "gbihmaintainsession/cvazabuffer.h"

#include <QDateTime>
#include <QtEndian>

#include <cstring>

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
    // Eight bytes at a time; folding the word at the end gives the same byte as a
    // byte-wise XOR because XOR is associative and commutative.
    quint64 u64Acc = 0;
    quint8 u8Tail = 0;
    const qint64 i64Words = i64Len / 8;
    for (qint64 i = 0; i < i64Words; ++i) {
        quint64 u64;
        std::memcpy(&u64, pData + i * 8, 8);
        u64Acc ^= u64;
    }
    for (qint64 i = i64Words * 8; i < i64Len; ++i)
        u8Tail ^= static_cast<quint8>(pData[i]);
    u64Acc ^= u64Acc >> 32;
    u64Acc ^= u64Acc >> 16;
    u64Acc ^= u64Acc >> 8;
    return static_cast<quint8>(u64Acc) ^ u8Tail;
}

quint8 XorChecksum(QIODevice *pDev)
{
    alignas(8) char block[8192];
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
