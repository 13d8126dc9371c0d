#include "testimage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

QByteArray RandomBytes(int i32Size, quint32 u32Seed)
{
    QByteArray ba(i32Size, '\0');
    QRandomGenerator gen(u32Seed);
    gen.fillRange(reinterpret_cast<quint32 *>(ba.data()), i32Size / 4);
    for (int i = i32Size / 4 * 4; i < i32Size; ++i)
        ba[i] = static_cast<char>(gen.generate());
    return ba;
}

QByteArray WriteImage(const QString &strPath, const QByteArray &ba)
{
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(ba) != ba.size())
        return QByteArray();
    return QCryptographicHash::hash(ba, QCryptographicHash::Sha256).toHex();
}
