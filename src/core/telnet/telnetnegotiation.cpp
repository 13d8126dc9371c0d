#include "telnet/telnetnegotiation.h"

namespace TelnetNegotiation
{

namespace
{

constexpr char kIac = '\xff';
constexpr unsigned char kWill = 0xfb;
constexpr unsigned char kWont = 0xfc;
constexpr unsigned char kDo = 0xfd;
constexpr unsigned char kDont = 0xfe;
constexpr unsigned char kSb = 0xfa;
constexpr unsigned char kOptEcho = 0x01;
constexpr unsigned char kOptSuppressGoAhead = 0x03;

// The opening bursts of the devices' telnet servers and the answers they expect, matched on
// the whole buffer. The answers are sent whole, including a final zero option byte.
struct T_NegotiationRow {
    const char *pszReceived;
    const char *pszReply;
};
const T_NegotiationRow s_negotiation[] = {
    // DO terminal-type, terminal-speed, X-display-location, new-environ: WONT each
    {"fffd18fffd20fffd23fffd27", "FFFC18FFFC20FFFC23FFFC27"},
    // WILL suppress-go-ahead, DO echo, DO window-size, WILL status, DO remote-flow-control
    {"fffb03fffd01fffd1ffffb05fffd21", "FFFD03FFFD01FFFC1FFFFE05FFFC21"},
    {"fffd18fffd20fffd23fffd27fffd24", "FFFC18FFFC20FFFC23FFFC27FFFC24"},
    {"fffb03fffd01fffd22fffd1ffffb05fffd21", "fffd03fffd01fffc22fffc1ffffe05fffc21"},
    // WILL echo alone needs no answer
    {"fffb01", ""},
    {"fffb01fffd06fffd00", "FFFD01FFFC06FFFC00"},
};

bool IsAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

bool TableReply(const QByteArray &baBurst, QByteArray &baReply)
{
    for (const T_NegotiationRow &row : s_negotiation) {
        if (baBurst != QByteArray::fromHex(row.pszReceived))
            continue;
        baReply = QByteArray::fromHex(row.pszReply);
        return true;
    }
    return false;
}

T_OptionAnswer AnswerOptions(const QByteArray &baBuffer, int iMaxSubnegotiation)
{
    T_OptionAnswer st;
    int i = 0;
    const int iSize = baBuffer.size();
    while (i < iSize && baBuffer.at(i) == kIac) {
        if (i + 1 >= iSize) {
            st.bCutOff = true;
            break;
        }
        const auto verb = static_cast<unsigned char>(baBuffer.at(i + 1));
        if (verb == 0xff)
            break; // an escaped 0xff is a data byte
        if (verb >= kWill) {
            if (i + 2 >= iSize) {
                st.bCutOff = true;
                break;
            }
            const char option = baBuffer.at(i + 2);
            if (verb == kDo) {
                st.baReply += kIac;
                st.baReply += static_cast<char>(kWont);
                st.baReply += option;
            } else if (verb == kWill) {
                const bool bAccept = option == kOptEcho || option == kOptSuppressGoAhead;
                st.baReply += kIac;
                st.baReply += static_cast<char>(bAccept ? kDo : kDont);
                st.baReply += option;
            } // WONT and DONT confirm nothing we agreed to: no answer
            i += 3;
        } else if (verb == kSb) {
            const int iEnd = baBuffer.indexOf(QByteArray("\xff\xf0", 2), i + 2);
            if (iEnd < 0) {
                // Wait for its end, but a subnegotiation that never ends is dropped, not hoarded.
                if (iSize - i >= iMaxSubnegotiation)
                    i = iSize;
                else
                    st.bCutOff = true;
                break;
            }
            i = iEnd + 2;
        } else {
            i += 2; // a two-byte command (NOP, GA, ...)
        }
    }
    st.iConsumed = i;
    return st;
}

int TextStart(const QByteArray &baBuffer)
{
    int i = 0;
    while (i < baBuffer.size() && !IsAlnum(baBuffer.at(i)))
        ++i;
    return i;
}

T_Opening AnswerOpening(const QByteArray &baBuffer, int iMaxSubnegotiation)
{
    T_Opening st;
    if (TableReply(baBuffer, st.baReply))
        return st;
    // A server whose opening matches no row still waits for answers before it asks for the
    // login (a Debian telnetd asks for terminal type and speed first).
    const T_OptionAnswer stOptions = AnswerOptions(baBuffer, iMaxSubnegotiation);
    st.baReply = stOptions.baReply;
    st.bByOption = true;
    st.baRest = baBuffer.mid(stOptions.iConsumed);
    if (stOptions.bCutOff)
        return st; // the rest of the option comes with the next read
    if (stOptions.iConsumed == 0)
        st.baRest.remove(0, TextStart(st.baRest));
    st.bReadOn = !st.baRest.isEmpty();
    return st;
}

} // namespace TelnetNegotiation
