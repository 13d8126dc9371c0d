#pragma once

#include "vaza/vazaproto.h"

#include <QByteArray>

#include <functional>

// Cuts a received byte stream into Vaza messages and hands each complete one to the
// handler, in arrival order; an incomplete message waits, header and all, for the next chunk.
// A header announcing fewer than 24 or more than 16 MiB bytes is a framing error: the
// buffer is dropped (there is no marker to resynchronise on) and the stream goes on.
// Each message leaves the buffer before its handler runs, so a handler that re-enters
// Feed (a nested event loop, a modal box) sees a consistent buffer.
class CVazaStreamSplitter
{
public:
    using Handler = std::function<void(const T_VAZAMsgHead &stHead, QByteArray &baBody)>;

    // Returns the number of messages handed out.
    int Feed(const QByteArray &baChunk, const Handler &fnHandler);
    void Clear();
    // Bytes waiting for the rest of their message.
    int Pending() const { return m_baRecv.size() - m_i32Pos; }
    QByteArray PendingBytes() const { return m_baRecv.mid(m_i32Pos); }
    int FramingErrors() const { return m_i32FramingErrors; }

private:
    QByteArray m_baRecv;
    int m_i32Pos = 0; // start of the first unhandled byte in m_baRecv
    int m_i32FramingErrors = 0;
};
