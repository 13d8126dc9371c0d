#include "ftp/ftpreply.h"

#include <limits>

namespace
{
bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
} // namespace

void CFtpReplyParser::Append(const char *pData, qint64 i64Size)
{
    if (i64Size <= 0)
        return;
    // Compact before growing, so a long-lived connection keeps only its unread tail.
    if (m_i32Pos > 0) {
        m_baPending.remove(0, m_i32Pos);
        m_i32Pos = 0;
    }
    m_baPending.append(pData, static_cast<int>(i64Size));
}

void CFtpReplyParser::Clear()
{
    m_baPending.clear();
    m_i32Pos = 0;
    m_bSkipToEol = false;
    m_i32MultiCode = 0;
    m_strMultiText.clear();
}

bool CFtpReplyParser::TakeLine(QByteArray &baLine)
{
    for (;;) {
        const int iEol = m_baPending.indexOf('\n', m_i32Pos);
        if (m_bSkipToEol) {
            if (iEol < 0) {
                m_baPending.clear();
                m_i32Pos = 0;
                return false;
            }
            m_i32Pos = iEol + 1;
            m_bSkipToEol = false;
            continue;
        }
        if (iEol < 0) {
            // A server that never ends its line must not grow the buffer without end:
            // the line is taken as it is at the limit and the rest of it is dropped.
            if (m_baPending.size() - m_i32Pos <= kMaxLine)
                return false;
            baLine = m_baPending.mid(m_i32Pos, kMaxLine);
            m_baPending.clear();
            m_i32Pos = 0;
            m_bSkipToEol = true;
            return true;
        }
        int iEnd = iEol;
        if (iEnd > m_i32Pos && m_baPending.at(iEnd - 1) == '\r')
            --iEnd;
        baLine = m_baPending.mid(m_i32Pos, qMin(iEnd - m_i32Pos, kMaxLine));
        m_i32Pos = iEol + 1;
        if (m_i32Pos >= m_baPending.size()) {
            m_baPending.clear();
            m_i32Pos = 0;
        }
        return true;
    }
}

bool CFtpReplyParser::ProcessLine(const QByteArray &baLine, T_FtpReply &stReply)
{
    const bool bHasCode = baLine.size() >= 3 && IsDigit(baLine.at(0)) && IsDigit(baLine.at(1)) && IsDigit(baLine.at(2));
    const int iCode = bHasCode ? (baLine.at(0) - '0') * 100 + (baLine.at(1) - '0') * 10 + (baLine.at(2) - '0') : 0;
    const char cSep = baLine.size() > 3 ? baLine.at(3) : ' ';

    if (m_i32MultiCode != 0) {
        // "211-Features:\r\n MDTM\r\n211 End": only "ddd " with the opening code ends it;
        // lines in between may start with anything, digits included.
        const bool bLast = bHasCode && iCode == m_i32MultiCode && cSep == ' ';
        const QString strPart = QString::fromUtf8(bLast ? baLine.mid(4) : baLine);
        if (m_strMultiText.size() + strPart.size() < kMaxText)
            m_strMultiText += QLatin1Char('\n') + strPart;
        if (!bLast)
            return false;
        stReply.i32Code = m_i32MultiCode;
        stReply.strText = m_strMultiText;
        stReply.bMalformed = false;
        m_i32MultiCode = 0;
        m_strMultiText.clear();
        return true;
    }

    if (baLine.isEmpty())
        return false; // a stray blank line between replies says nothing
    if (bHasCode && cSep == '-') {
        m_i32MultiCode = iCode;
        m_strMultiText = QString::fromUtf8(baLine.mid(4));
        return false;
    }
    stReply.bMalformed = !bHasCode || cSep != ' ';
    stReply.i32Code = stReply.bMalformed ? 0 : iCode;
    stReply.strText = QString::fromUtf8(stReply.bMalformed ? baLine : baLine.mid(4));
    return true;
}

bool CFtpReplyParser::Next(T_FtpReply &stReply)
{
    QByteArray baLine;
    while (TakeLine(baLine)) {
        if (ProcessLine(baLine, stReply))
            return true;
    }
    return false;
}

namespace
{
// Reads the decimal number starting at i; values above iMax saturate at iMax + 1 so
// that a run of a thousand digits cannot overflow.
qint64 ReadNumber(const QString &str, int &i, qint64 i64Max)
{
    qint64 i64 = 0;
    for (; i < str.size() && IsDigit(str.at(i)); ++i) {
        if (i64 <= i64Max)
            i64 = i64 * 10 + (str.at(i).unicode() - '0');
    }
    return qMin(i64, i64Max + 1);
}
} // namespace

bool ParsePasvReply(const QString &strText, QString &strHost, quint16 &u16Port)
{
    // The leftmost run of six numbers joined by single commas, in one linear pass.
    qint64 ai64[6] = {};
    int iCount = 0;
    int i = 0;
    while (i < strText.size()) {
        if (!IsDigit(strText.at(i))) {
            iCount = 0;
            ++i;
            continue;
        }
        ai64[iCount++] = ReadNumber(strText, i, 65535);
        if (iCount == 6)
            break;
        if (i < strText.size() && strText.at(i) == QLatin1Char(',') && i + 1 < strText.size() &&
            IsDigit(strText.at(i + 1)))
            ++i;
        else
            iCount = 0;
    }
    if (iCount != 6)
        return false;
    for (qint64 i64 : ai64)
        if (i64 > 255)
            return false;
    const qint64 i64Port = ai64[4] * 256 + ai64[5];
    if (i64Port == 0)
        return false;
    strHost = QStringLiteral("%1.%2.%3.%4").arg(ai64[0]).arg(ai64[1]).arg(ai64[2]).arg(ai64[3]);
    u16Port = static_cast<quint16>(i64Port);
    return true;
}

bool ParseEpsvReply(const QString &strText, quint16 &u16Port)
{
    // "(<d><d><d>port<d>)" where <d> is any printable delimiter, normally '|'.
    for (int iOpen = strText.indexOf(QLatin1Char('(')); iOpen >= 0;
         iOpen = strText.indexOf(QLatin1Char('('), iOpen + 1)) {
        int i = iOpen + 1;
        if (i + 3 >= strText.size())
            return false;
        const QChar cDelim = strText.at(i);
        if (IsDigit(cDelim) || strText.at(i + 1) != cDelim || strText.at(i + 2) != cDelim)
            continue;
        i += 3;
        const int iDigits = i;
        const qint64 i64Port = ReadNumber(strText, i, 65535);
        if (i == iDigits || i >= strText.size() || strText.at(i) != cDelim || i64Port < 1 || i64Port > 65535)
            continue;
        u16Port = static_cast<quint16>(i64Port);
        return true;
    }
    return false;
}

bool ParseSizeReply(const QString &strText, qint64 &i64Size)
{
    const QString str = strText.trimmed();
    int i = 0;
    const qint64 i64Max = std::numeric_limits<qint64>::max() / 10 - 1;
    const qint64 i64 = ReadNumber(str, i, i64Max);
    if (i == 0 || i != str.size() || i64 > i64Max)
        return false;
    i64Size = i64;
    return true;
}
