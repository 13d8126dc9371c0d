#pragma once

#include <QByteArray>
#include <QStringList>

class CVazaBuffer;
class QXmlStreamWriter;

// Turns a system-information reply body into the XML document the information views show:
// <info> with the groupings "Device Info" and "System Info" and one leaf "label" per field.
// A short body still yields every element, with empty values.
namespace VazaSysInfo
{
// Reads one length-prefixed field per label and writes <label name="...">value</label>.
void ConvertVazaData(CVazaBuffer &reader, const QStringList &labels, QXmlStreamWriter &writer);
// The document for reply identifier u32MsgId (0x2101, 0x2111, 0x2121; any other: the
// two fragments the device sent, wrapped in <info> as they are).
QByteArray ConvertSysInfo(quint32 u32MsgId, const QByteArray &baBody);
// One field's value as it is written: trimmed, trailing 0xFF padding removed, cut at the
// first zero byte, UTF-8, and without characters XML cannot carry.
QString CleanValue(const QByteArray &baRaw);

// The translated field labels.
QStringList DeviceHeadLabels();
QStringList EthernetLabels();
QStringList SystemLabels();
} // namespace VazaSysInfo
