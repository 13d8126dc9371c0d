#include "simmultipart.h"

namespace
{
// Part headers larger than this are not a firmware upload.
const int kMaxHeaderBytes = 64 * 1024;
} // namespace

CSimMultipartParser::CSimMultipartParser(const QByteArray &baBoundary)
    : m_baDelimiter("--" + baBoundary), m_baBodyDelimiter("\r\n--" + baBoundary)
{
}

void CSimMultipartParser::Feed(const char *pData, qint64 i64Len)
{
    if (i64Len <= 0)
        return;
    if (m_eState == EPILOGUE) {
        Tail(pData, i64Len);
        return;
    }
    if (m_eState == BROKEN) {
        m_i64Epilogue += i64Len;
        return;
    }
    m_baBuffer.append(pData, static_cast<int>(i64Len));
    Run();
}

void CSimMultipartParser::Run()
{
    for (;;) {
        switch (m_eState) {
        case PREAMBLE: {
            const int i = m_baBuffer.indexOf(m_baDelimiter);
            if (i < 0) {
                // Keep what could still be the start of the delimiter.
                const int iKeep = qMin(m_baBuffer.size(), m_baDelimiter.size() - 1);
                m_i64Preamble += m_baBuffer.size() - iKeep;
                m_baBuffer.remove(0, m_baBuffer.size() - iKeep);
                return;
            }
            m_i64Preamble += i;
            m_baBuffer.remove(0, i + m_baDelimiter.size());
            m_eState = AFTER_DELIMITER;
            break;
        }
        case AFTER_DELIMITER:
            if (m_baBuffer.size() < 2)
                return;
            if (m_baBuffer.startsWith("--")) {
                m_bClosed = true;
                m_baBuffer.remove(0, 2);
                m_eState = EPILOGUE;
            } else if (m_baBuffer.startsWith("\r\n")) {
                m_baBuffer.remove(0, 2);
                m_parts.append(T_Part());
                m_eState = HEADERS;
            } else {
                m_eState = BROKEN;
                m_i64Epilogue += m_baBuffer.size();
                m_baBuffer.clear();
                return;
            }
            break;
        case HEADERS: {
            // An empty line ends the headers; a part may have none at all.
            int iEnd = -1;
            int iSkip = 0;
            if (m_baBuffer.startsWith("\r\n")) {
                iEnd = 0;
                iSkip = 2;
            } else {
                iEnd = m_baBuffer.indexOf("\r\n\r\n");
                iSkip = 4;
            }
            if (iEnd < 0) {
                if (m_baBuffer.size() > kMaxHeaderBytes) {
                    m_eState = BROKEN;
                    m_baBuffer.clear();
                }
                return;
            }
            // Lines end in CRLF only: a lone LF (a file name may hold one) stays in its line.
            for (int iPos = 0; iPos < iEnd;) {
                int iEol = m_baBuffer.indexOf("\r\n", iPos);
                if (iEol < 0 || iEol > iEnd)
                    iEol = iEnd;
                m_parts.last().headerLines.append(m_baBuffer.mid(iPos, iEol - iPos));
                iPos = iEol + 2;
            }
            m_baBuffer.remove(0, iEnd + iSkip);
            m_hash.reset();
            m_eState = BODY;
            break;
        }
        case BODY: {
            T_Part &part = m_parts.last();
            const int i = m_baBuffer.indexOf(m_baBodyDelimiter);
            if (i < 0) {
                const int iDone = m_baBuffer.size() - qMin(m_baBuffer.size(), m_baBodyDelimiter.size() - 1);
                m_hash.addData(m_baBuffer.constData(), iDone);
                part.i64Size += iDone;
                m_baBuffer.remove(0, iDone);
                return;
            }
            m_hash.addData(m_baBuffer.constData(), i);
            part.i64Size += i;
            part.baSha256 = m_hash.result().toHex();
            part.bComplete = true;
            m_baBuffer.remove(0, i + m_baBodyDelimiter.size());
            m_eState = AFTER_DELIMITER;
            break;
        }
        case EPILOGUE:
            Tail(m_baBuffer.constData(), m_baBuffer.size());
            m_baBuffer.clear();
            return;
        case BROKEN:
            m_i64Epilogue += m_baBuffer.size();
            m_baBuffer.clear();
            return;
        }
    }
}

void CSimMultipartParser::Tail(const char *pData, qint64 i64Len)
{
    // The first two bytes after "--boundary--" are its line end; the rest is epilogue.
    while (i64Len > 0 && m_baCloseLineEnd.size() < 2) {
        m_baCloseLineEnd.append(*pData++);
        --i64Len;
    }
    m_i64Epilogue += i64Len;
}

void CSimMultipartParser::Finish()
{
    if (m_eState == BODY && !m_parts.isEmpty())
        m_parts.last().i64Size += m_baBuffer.size();
    m_baBuffer.clear();
}
