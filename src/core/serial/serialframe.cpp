#include "serial/serialframe.h"

#include "common/vlog.h"
#include "vaza/cvazabuffer.h"
#include "vaza/vazachecksum.h"
#include "vaza/vazafields.h"
#include "vaza/vazamessages.h"

namespace SerialFrame
{

QByteArray Wrap(const QByteArray &baMsg)
{
    if (baMsg.size() > MAX_MSG)
        return QByteArray();
    QByteArray baFrame;
    baFrame.reserve(baMsg.size() + OVERHEAD);
    baFrame.append(static_cast<char>(SYNC));
    baFrame.append(static_cast<char>((baMsg.size() >> 8) & 0xFF));
    baFrame.append(static_cast<char>(baMsg.size() & 0xFF));
    baFrame.append(baMsg);
    baFrame.append(static_cast<char>(XorChecksum(baMsg.constData(), baMsg.size())));
    return baFrame;
}

quint32 SignExtendedXor(quint8 u8Xor)
{
    return static_cast<quint32>(static_cast<qint32>(static_cast<qint8>(u8Xor)));
}

quint32 ImageChecksum(const char *pData, qint64 i64Len)
{
    return SignExtendedXor(XorChecksum(pData, i64Len));
}

} // namespace SerialFrame

int CSerialFrameParser::Feed(const QByteArray &baChunk, const Handler &fnHandler)
{
    if (baChunk.isEmpty())
        return 0;
    VLOG(lcSerial) << Velmora::Hex(baChunk);
    // Controllers send a 0xFF on their own when they wake up; it is no frame.
    if (baChunk.size() == 1 && static_cast<quint8>(baChunk.at(0)) == 0xFF && m_baRecv.isEmpty()) {
        VWARN(lcSerial) << "ignore 0xFF";
        ++m_i32IgnoredFF;
        return 0;
    }
    m_baRecv.append(baChunk);
    if (m_baRecv.size() < SerialFrame::MIN_PARSE)
        return 0;
    VLOG(lcSerial) << "due pack:" << Velmora::Hex(m_baRecv);

    int i32Handled = 0;
    int i32Start = 0;
    while (m_baRecv.size() - i32Start >= 3) {
        const auto *p = reinterpret_cast<const quint8 *>(m_baRecv.constData());
        // Stray bytes before a frame are stepped over up to the next sync byte. Taking the
        // byte after a single stray one as the sync would read noise as a length and wait
        // for a frame that never comes.
        if (p[i32Start] != SerialFrame::SYNC) {
            const int i32Sync = m_baRecv.indexOf(static_cast<char>(SerialFrame::SYNC), i32Start + 1);
            i32Start = i32Sync < 0 ? m_baRecv.size() : i32Sync;
            continue;
        }
        const int i32Remain = m_baRecv.size() - i32Start;
        if (i32Remain < 3)
            break;
        const int i32Len = (p[i32Start + 1] << 8) | p[i32Start + 2];
        const bool bPlausible = i32Len >= Vaza::HEAD_LEN && i32Len <= SerialFrame::MAX_RX_MSG;
        if (bPlausible && i32Remain < i32Len + SerialFrame::OVERHEAD)
            break; // the rest is on its way
        if (!bPlausible || XorChecksum(m_baRecv.constData() + i32Start + 3, i32Len) != p[i32Start + 3 + i32Len]) {
            VLOG(lcSerial) << "Check sum error"
                           << "length" << i32Len;
            ++m_i32ChecksumErrors;
            const int i32Next = m_baRecv.indexOf(static_cast<char>(SerialFrame::SYNC), i32Start + 1);
            i32Start = i32Next < 0 ? m_baRecv.size() : i32Next;
            continue;
        }
        const T_VAZAMsgHead stHead = Vaza::ParseHead(m_baRecv.constData() + i32Start + 3);
        QByteArray baBody = m_baRecv.mid(i32Start + 3 + Vaza::HEAD_LEN, i32Len - Vaza::HEAD_LEN);
        m_baRecv.remove(0, i32Start + i32Len + SerialFrame::OVERHEAD);
        i32Start = 0;
        ++i32Handled;
        if (!fnHandler(stHead, baBody))
            return i32Handled;
    }
    if (i32Start > 0)
        m_baRecv.remove(0, i32Start);
    return i32Handled;
}
