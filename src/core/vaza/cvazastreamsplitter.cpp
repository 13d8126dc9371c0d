#include "vaza/cvazastreamsplitter.h"

#include "common/vlog.h"
#include "vaza/vazamessages.h"

#include <QtEndian>

int CVazaStreamSplitter::Feed(const QByteArray &baChunk, const Handler &fnHandler)
{
    if (baChunk.isEmpty())
        return 0;
    // Dropping the consumed front lazily keeps a burst of small messages linear.
    if (m_i32Pos > 0 && m_i32Pos == m_baRecv.size()) {
        m_baRecv.clear();
        m_i32Pos = 0;
    }
    m_baRecv.append(baChunk);

    int i32Handled = 0;
    // Members are re-read on every pass: a handler may have fed more bytes in between.
    while (m_baRecv.size() - m_i32Pos >= Vaza::HEAD_LEN) {
        const char *pHead = m_baRecv.constData() + m_i32Pos;
        const quint32 u32Len = qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(pHead));
        if (u32Len < static_cast<quint32>(Vaza::HEAD_LEN) || u32Len > Vaza::MAX_MSG_LEN) {
            const quint32 u32Id = qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(pHead + 4));
            VWARN(lcVaza) << "framing error, length" << u32Len << "id" << Qt::hex << Qt::showbase << u32Id << Qt::dec
                          << "- dropping" << (m_baRecv.size() - m_i32Pos) << "bytes";
            ++m_i32FramingErrors;
            Clear();
            break;
        }
        if (static_cast<quint32>(m_baRecv.size() - m_i32Pos) < u32Len)
            break;
        const T_VAZAMsgHead stHead = Vaza::ParseHead(pHead);
        QByteArray baBody = m_baRecv.mid(m_i32Pos + Vaza::HEAD_LEN, static_cast<int>(u32Len) - Vaza::HEAD_LEN);
        m_i32Pos += static_cast<int>(u32Len);
        ++i32Handled;
        fnHandler(stHead, baBody);
    }
    if (m_i32Pos > 0 && m_i32Pos == m_baRecv.size()) {
        m_baRecv.clear();
        m_i32Pos = 0;
    } else if (m_i32Pos > 0 && m_i32Pos >= m_baRecv.size() / 2) {
        m_baRecv.remove(0, m_i32Pos);
        m_i32Pos = 0;
    }
    return i32Handled;
}

void CVazaStreamSplitter::Clear()
{
    m_baRecv.clear();
    m_i32Pos = 0;
}
