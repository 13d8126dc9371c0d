#pragma once

#include <QBuffer>
#include <QByteArray>

// The message codec's buffer: messages are built by writing fields into an empty one and
// bodies are parsed by reading fields from one opened over the received bytes.
// Reads past the end never fail: integers read as 0 and strings as empty.
class CVazaBuffer : public QBuffer
{
    Q_OBJECT
public:
    using QBuffer::QBuffer;
};
