#pragma once

#include <QByteArray>

// The telnet option negotiation a device's server opens with, answered on bytes alone: the
// channel (CBaseComm) keeps the receive buffer, writes the answers and reads on.
namespace TelnetNegotiation
{

// The answer to a buffer that is exactly one of the devices' known opening bursts, sent whole
// (an empty answer: the burst needs none); false when the buffer is none of them.
bool TableReply(const QByteArray &baBurst, QByteArray &baReply);

struct T_OptionAnswer {
    QByteArray baReply;   // the answers, in the order the options came
    int iConsumed = 0;    // bytes of telnet commands read from the start of the buffer
    bool bCutOff = false; // the buffer ends inside a command: its rest comes with the next read
};
// Reads the telnet commands at the start of baBuffer, up to the first data byte (an escaped
// 0xff is data), and answers each option as the table answers its own: WONT to every DO, DO
// to WILL echo and WILL suppress-go-ahead, DONT to any other WILL; WONT and DONT need none. A
// subnegotiation waits for its end, but one that has not ended within iMaxSubnegotiation
// bytes is dropped with the rest of the buffer.
T_OptionAnswer AnswerOptions(const QByteArray &baBuffer, int iMaxSubnegotiation);

// Where readable text starts in a buffer from which no command could be read: at its first
// letter or digit, so that a login prompt behind a broken burst still gets through.
int TextStart(const QByteArray &baBuffer);

struct T_Opening {
    QByteArray baReply;     // the answers to send, empty when none is due
    QByteArray baRest;      // what stays in the buffer for the next read or for the text
    bool bByOption = false; // answered option by option: the burst is none of the table's
    bool bReadOn = false;   // text follows the commands: read on once the answers are out
};
// The answer to the commands at the start of a receive buffer: a burst the table knows is
// answered whole and leaves nothing, anything else option by option (AnswerOptions); when
// no command could be read at all, the rest starts at its text (TextStart).
T_Opening AnswerOpening(const QByteArray &baBuffer, int iMaxSubnegotiation);

} // namespace TelnetNegotiation
