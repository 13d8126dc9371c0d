#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>

// Reads a multipart body (RFC 2046) as it arrives, piece by piece: part headers are kept,
// part bodies are only counted and hashed, so a 512 MiB image never sits in memory.
// Anything that does not follow the framing is noted, never trusted.
class CSimMultipartParser
{
public:
    struct T_Part {
        QList<QByteArray> headerLines; // raw, without CRLF, in the order sent
        qint64 i64Size = 0;
        QByteArray baSha256; // hex, once the part's closing delimiter was seen
        bool bComplete = false;
    };

    explicit CSimMultipartParser(const QByteArray &baBoundary);
    void Feed(const char *pData, qint64 i64Len);
    // The body ended: a part still open stays incomplete.
    void Finish();

    const QList<T_Part> &Parts() const { return m_parts; }
    // The "--boundary--" delimiter was seen, followed by its CRLF.
    bool Closed() const { return m_bClosed; }
    bool ClosedWithLineEnd() const { return m_bClosed && m_baCloseLineEnd == "\r\n"; }
    qint64 Preamble() const { return m_i64Preamble; } // bytes before the first delimiter
    qint64 Epilogue() const { return m_i64Epilogue; } // bytes after "--boundary--" and its CRLF
    bool Broken() const { return m_eState == BROKEN; }

private:
    enum E_State { PREAMBLE, AFTER_DELIMITER, HEADERS, BODY, EPILOGUE, BROKEN };
    void Run();
    void Tail(const char *pData, qint64 i64Len);

    QByteArray m_baDelimiter;     // "--" + boundary
    QByteArray m_baBodyDelimiter; // "\r\n--" + boundary
    QByteArray m_baBuffer;        // bytes not yet decided on; small except for part headers
    E_State m_eState = PREAMBLE;
    QList<T_Part> m_parts;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    bool m_bClosed = false;
    QByteArray m_baCloseLineEnd;
    qint64 m_i64Preamble = 0;
    qint64 m_i64Epilogue = 0;
};
