#include "vaza/vazamessages.h"

#include "vaza/cvazabuffer.h"
#include "vaza/vazafields.h"

#include <QDateTime>
#include <QtEndian>

#include <cstring>

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
