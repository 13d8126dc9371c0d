#include "ftp/ftpurl.h"

#include <limits>

namespace
{

// The URL comes from a device. It is scanned as bytes with explicit limits, the way a
// scanf pattern with field widths would, but without fixed buffers: nothing is copied
// until a field is known to fit.
class CUrlScanner
{
public:
    CUrlScanner(const char *pBegin, const char *pEnd) : m_p(pBegin), m_pEnd(pEnd) {}

    // One or more bytes other than cStop, at most iLimit of them.
    bool Field(char cStop, int iLimit, QByteArray &baOut)
    {
        const char *pStart = m_p;
        while (m_p != m_pEnd && *m_p != cStop)
            ++m_p;
        return Take(pStart, iLimit, baOut);
    }

    bool Literal(char c)
    {
        if (m_p == m_pEnd || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    // A decimal number after optional blanks and sign. One too large for an int still
    // matches (as scanf's would) but comes out as 0, which no port may be.
    bool Number(int &iOut)
    {
        SkipBlanks();
        bool bNegative = false;
        if (m_p != m_pEnd && (*m_p == '+' || *m_p == '-')) {
            bNegative = *m_p == '-';
            ++m_p;
        }
        const char *pDigits = m_p;
        qint64 i64 = 0;
        bool bOverflow = false;
        for (; m_p != m_pEnd && *m_p >= '0' && *m_p <= '9'; ++m_p) {
            if (!bOverflow)
                i64 = i64 * 10 + (*m_p - '0');
            bOverflow = bOverflow || i64 > std::numeric_limits<int>::max();
        }
        if (m_p == pDigits)
            return false;
        iOut = bOverflow ? 0 : static_cast<int>(bNegative ? -i64 : i64);
        return true;
    }

    // The path, after optional blanks: the rest of the text, blanks at its end left out.
    // Devices put the image's name into the URL as it is, so "fw image.bin" arrives with its
    // blank; cutting at the blank stored the image under another name.
    bool Path(int iLimit, QByteArray &baOut)
    {
        SkipBlanks();
        const char *pStart = m_p;
        const char *pEnd = m_pEnd;
        while (pEnd != pStart && IsBlank(*(pEnd - 1)))
            --pEnd;
        m_p = pEnd;
        return Take(pStart, iLimit, baOut);
    }

private:
    // The bytes scanned since pStart, when there are some and no more than iLimit.
    bool Take(const char *pStart, int iLimit, QByteArray &baOut) const
    {
        const auto n = m_p - pStart;
        if (n == 0 || n > iLimit)
            return false;
        baOut = QByteArray(pStart, static_cast<int>(n));
        return true;
    }
    static bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    void SkipBlanks()
    {
        while (m_p != m_pEnd && IsBlank(*m_p))
            ++m_p;
    }

    const char *m_p;
    const char *m_pEnd;
};

struct T_RawUrl {
    QByteArray baUser, baPassword, baHost, baPath;
    int iPort = T_FtpUrl::kDefaultPort;
};

// user:password@host:port path
bool MatchFull(CUrlScanner s, T_RawUrl &raw)
{
    return s.Field(':', T_FtpUrl::kMaxUser, raw.baUser) && s.Literal(':') &&
           s.Field('@', T_FtpUrl::kMaxPassword, raw.baPassword) && s.Literal('@') &&
           s.Field(':', T_FtpUrl::kMaxHost, raw.baHost) && s.Literal(':') && s.Number(raw.iPort) &&
           s.Path(T_FtpUrl::kMaxPath, raw.baPath);
}

// host:port path
bool MatchHostPort(CUrlScanner s, T_RawUrl &raw)
{
    return s.Field(':', T_FtpUrl::kMaxHost, raw.baHost) && s.Literal(':') && s.Number(raw.iPort) &&
           s.Path(T_FtpUrl::kMaxPath, raw.baPath);
}

// user:password@host/path
bool MatchUserHost(CUrlScanner s, T_RawUrl &raw)
{
    return s.Field(':', T_FtpUrl::kMaxUser, raw.baUser) && s.Literal(':') &&
           s.Field('@', T_FtpUrl::kMaxPassword, raw.baPassword) && s.Literal('@') &&
           s.Field('/', T_FtpUrl::kMaxHost, raw.baHost) && s.Path(T_FtpUrl::kMaxPath, raw.baPath);
}

// host/path
bool MatchHost(CUrlScanner s, T_RawUrl &raw)
{
    return s.Field('/', T_FtpUrl::kMaxHost, raw.baHost) && s.Path(T_FtpUrl::kMaxPath, raw.baPath);
}

// Every field ends up in a command line on the control connection; a line break in
// one would let the URL's author append commands of his own.
bool IsSafe(const T_RawUrl &raw)
{
    for (const QByteArray *pba : {&raw.baUser, &raw.baPassword, &raw.baHost, &raw.baPath})
        if (pba->contains('\r') || pba->contains('\n'))
            return false;
    // A port outside the TCP range would be truncated to some other port.
    return raw.iPort >= 1 && raw.iPort <= 65535;
}

} // namespace

bool ParseFtpUrl(const QByteArray &baUrl, T_FtpUrl &stUrl)
{
    stUrl = T_FtpUrl();
    const int iNul = baUrl.indexOf('\0');
    const int iLength = iNul < 0 ? baUrl.size() : iNul;
    static const char s_szScheme[] = "ftp://";
    const int iSchemeLength = static_cast<int>(sizeof(s_szScheme) - 1);
    if (iLength < iSchemeLength || qstrnicmp(baUrl.constData(), s_szScheme, iSchemeLength) != 0)
        return false;

    using Matcher = bool (*)(CUrlScanner, T_RawUrl &);
    for (Matcher match : {MatchFull, MatchHostPort, MatchUserHost, MatchHost}) {
        T_RawUrl raw;
        if (!match(CUrlScanner(baUrl.constData() + iSchemeLength, baUrl.constData() + iLength), raw))
            continue;
        // The first pattern that matches decides; a later one would only read the
        // offending field differently (a bad port as part of the host name).
        if (!IsSafe(raw))
            return false;
        stUrl.strUser = QString::fromUtf8(raw.baUser);
        stUrl.strPassword = QString::fromUtf8(raw.baPassword);
        stUrl.strHost = QString::fromUtf8(raw.baHost);
        stUrl.strPath = QString::fromUtf8(raw.baPath);
        stUrl.i32Port = raw.iPort;
        return true;
    }
    return false;
}

bool ParseFtpUrl(const char *pszUrl, T_FtpUrl &stUrl)
{
    if (!pszUrl) {
        stUrl = T_FtpUrl();
        return false;
    }
    return ParseFtpUrl(QByteArray(pszUrl), stUrl);
}
