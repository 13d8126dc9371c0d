#pragma once

#include <QByteArray>
#include <QList>

// What a device shell prints, read a line at a time. Functions of bytes alone: the channel
// (CBaseComm) keeps which read is waiting and the line before, and hands both in.
namespace TelnetReply
{

constexpr char kPromptEnd[] = "# ";    // the end of any shell prompt
constexpr char kRootPrompt[] = "/ # "; // the device's root shell: it completes a parameter read
constexpr char kListBegin[] = ">>>>>";
constexpr char kListEnd[] = "<<<<<";
// How a display identification (EDID) line of the monitor-info command starts.
constexpr char kDisplayIdMarker[] = "00 ff ff ff | ff ff ff 00 |";

// Case-insensitive ends-with, true only when the text is at least as long as the suffix.
bool EndsWithNoCase(const QByteArray &baText, const QByteArray &baSuffix);

// The lines of baText that CR LF ends, blank ones left out: a blank line carries nothing, and
// the line before it stays the one a value is read from. A lone CR or LF ends no line.
// baTail gets the unterminated rest.
QList<QByteArray> SplitLines(const QByteArray &baText, QByteArray &baTail);

// "00 ff ff ff | ff ff ff 00 | 4c 2d 0d 05 | 00": false for a line without the marker; else
// baCode is the display's manufacturer code ("SAM"), empty when no identification is readable.
bool ParseDisplayLine(const QByteArray &baLine, QByteArray &baCode);
// Three-letter manufacturer code of a display identification from the two bytes that hold
// it (the other two of the four are the product code); empty unless exactly 4 bytes.
QByteArray DisplayManufacturerCode(const QByteArray &baFourBytes);

// After "cmd; echo $?" was sent and its echo read, the next line is the command's exit status.
bool IsExitStatusLine(const QByteArray &baLastSend, const QByteArray &baLastLine);

// The shell echoes a read's command line ("/ # gbparam g  name"). baEcho is the command up to
// the name, which starts iSkip bytes after it. False for any other line; the name, trimmed,
// goes to baName only when the line goes on past the point where it starts.
bool TakeEchoedName(const QByteArray &baLine, const QByteArray &baEcho, int iSkip, QByteArray &baName);

// The value of a read that the prompt ending baLine completes: printed before the prompt on
// its own line, else on the line before (baLastLine), unless that line is the read's echo:
// then the device printed an empty value. False, with an empty value, when the device has no
// such parameter ("\"name\" not defined").
bool ParamValue(const QByteArray &baLine, const QByteArray &baLastLine, const QByteArray &baEcho,
                const QByteArray &baName, QByteArray &baValue);
// The same for an option or a configuration: "... not defined", or "sh: gbget: not found"
// from a shell without the command, is a failure.
bool OptionValue(const QByteArray &baLine, const QByteArray &baLastLine, const QByteArray &baEcho, QByteArray &baValue);

// The device list: a ">>>>>" line, one "ip<TAB>host name<TAB>status" line per device, "<<<<<".
enum E_ListLine { LIST_NONE, LIST_BEGIN, LIST_END, LIST_DEVICE };
struct T_ListedDevice {
    QByteArray baIpAddr;
    QByteArray baHostName;
    QByteArray baStatus;
};
// What baLine is, with the list open (bListing) or not; a device line also fills stDevice.
// Inside the list a line of 8 bytes or fewer, or without exactly three fields, is no device.
E_ListLine ParseListLine(const QByteArray &baLine, bool bListing, T_ListedDevice &stDevice);

} // namespace TelnetReply
