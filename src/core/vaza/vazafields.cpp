#include "vaza/vazafields.h"

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
