#include "simwire.h"

#include <QtEndian>

void SimWire::PutU32(QByteArray &ba, quint32 u32)
{
    char buf[4];
    qToBigEndian(u32, buf);
    ba.append(buf, 4);
}

void SimWire::PutStr(QByteArray &ba, const QByteArray &baText)
{
    PutU32(ba, static_cast<quint32>(baText.size()) + 4);
    ba.append(baText);
}

quint32 SimWire::U32At(const QByteArray &ba, int i32Pos)
{
    if (i32Pos < 0 || i32Pos + 4 > ba.size())
        return 0;
    return qFromBigEndian<quint32>(ba.constData() + i32Pos);
}

QByteArray SimWire::StrAt(const QByteArray &ba, int *pPos)
{
    const quint32 u32Prefix = U32At(ba, *pPos);
    if (u32Prefix < 4 || static_cast<qint64>(*pPos) + u32Prefix > ba.size()) {
        *pPos += 4;
        return QByteArray();
    }
    const QByteArray baOut = ba.mid(*pPos + 4, static_cast<int>(u32Prefix - 4));
    *pPos += static_cast<int>(u32Prefix);
    return baOut;
}
