#pragma once

// The controller's side of the serial line, written out by hand for scripted peers: frames
// are built and cut here without the product's codec, so one misunderstanding cannot make
// both sides agree.
#include <QByteArray>
#include <QDebug>
#include <QList>
#include <QtEndian>

namespace SerialWire
{

inline QByteArray U32(quint32 v)
{
    QByteArray ba(4, '\0');
    qToBigEndian(v, ba.data());
    return ba;
}
inline QByteArray Str(const QByteArray &ba)
{
    return U32(ba.size() + 4) + ba;
}
inline quint32 Be32(const QByteArray &ba, int i)
{
    return qFromBigEndian<quint32>(ba.constData() + i);
}
inline QByteArray Msg(quint32 id, const QByteArray &body, quint32 seq = 7)
{
    return U32(24 + body.size()) + U32(id) + U32(seq) + U32(1) + U32(0) + U32(0) + body;
}
inline QByteArray Frame(const QByteArray &msg)
{
    char x = 0;
    for (char c : msg)
        x ^= c;
    QByteArray ba;
    ba.append(char(0xFD)).append(char(msg.size() >> 8)).append(char(msg.size() & 0xFF)).append(msg).append(x);
    return ba;
}
inline QByteArray UpgradeRsp(quint32 step, quint32 value, const QByteArray &module = "Atmel_MCU")
{
    return Frame(Msg(0x2811, Str(module) + U32(0) + U32(step) + U32(value)));
}
inline QByteArray Ack(quint32 status)
{
    return Frame(Msg(0x2815, U32(status)));
}
inline QByteArray VersionRsp(const QByteArray &version)
{
    return Frame(Msg(0x2813, Str("Atmel_MCU") + U32(0) + U32(0) + U32(0) + Str(version)));
}
inline QByteArray VersionRefused()
{
    return Frame(Msg(0x2813, Str("Atmel_MCU") + U32(0) + U32(1)));
}

struct T_Seen {
    quint32 id;
    QByteArray body;
    QByteArray raw;
};

// Cuts what the session wrote into frames, strictly: anything else yields nothing (with a
// warning). *piUsed, when given, receives the bytes of the whole frames found; an incomplete
// frame at the end is left out.
inline QList<T_Seen> Frames(const QByteArray &ba, int *piUsed = nullptr)
{
    QList<T_Seen> out;
    int i = 0;
    if (piUsed)
        *piUsed = 0;
    while (i < ba.size()) {
        if (uchar(ba[i]) != 0xFD) {
            qWarning() << "not a frame at" << i << ba.mid(i, 8).toHex();
            return {};
        }
        if (i + 3 > ba.size())
            break;
        const int n = (uchar(ba[i + 1]) << 8) | uchar(ba[i + 2]);
        if (i + n + 4 > ba.size())
            break;
        char x = 0;
        for (int k = 0; k < n; ++k)
            x ^= ba[i + 3 + k];
        if (x != ba[i + 3 + n] || Be32(ba, i + 3) != quint32(n)) {
            qWarning() << "bad frame at" << i;
            return {};
        }
        out.append({Be32(ba, i + 7), ba.mid(i + 3 + 24, n - 24), ba.mid(i, n + 4)});
        i += n + 4;
        if (piUsed)
            *piUsed = i;
    }
    return out;
}

} // namespace SerialWire
