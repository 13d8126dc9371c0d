#include "telnet/telnetreply.h"

namespace TelnetReply
{

namespace
{
// Before a prompt on its own line, or on the line before it; the echo is not a value.
QByteArray PromptValue(const QByteArray &baLine, const QByteArray &baLastLine, const QByteArray &baEcho)
{
    constexpr int kPromptSize = sizeof(kRootPrompt) - 1;
    if (baLine.size() > kPromptSize)
        return baLine.left(baLine.size() - kPromptSize);
    if (baLastLine.contains(baEcho))
        return QByteArray();
    return baLastLine;
}
} // namespace

bool EndsWithNoCase(const QByteArray &baText, const QByteArray &baSuffix)
{
    if (baText.size() < baSuffix.size())
        return false;
    return baText.right(baSuffix.size()).toLower() == baSuffix.toLower();
}

QList<QByteArray> SplitLines(const QByteArray &baText, QByteArray &baTail)
{
    QList<QByteArray> lines;
    int iStart = 0;
    for (int iEnd = baText.indexOf("\r\n"); iEnd >= 0; iEnd = baText.indexOf("\r\n", iStart)) {
        if (iEnd > iStart)
            lines.append(baText.mid(iStart, iEnd - iStart));
        iStart = iEnd + 2;
    }
    baTail = baText.mid(iStart);
    return lines;
}

bool ParseDisplayLine(const QByteArray &baLine, QByteArray &baCode)
{
    if (!baLine.contains(kDisplayIdMarker))
        return false;
    const QList<QByteArray> fields = baLine.split('|');
    baCode = fields.size() >= 4 ? DisplayManufacturerCode(QByteArray::fromHex(fields.at(2))) : QByteArray();
    return true;
}

QByteArray DisplayManufacturerCode(const QByteArray &baFourBytes)
{
    if (baFourBytes.size() != 4)
        return QByteArray();
    const auto b0 = static_cast<unsigned char>(baFourBytes.at(0));
    const auto b1 = static_cast<unsigned char>(baFourBytes.at(1));
    QByteArray code;
    code += static_cast<char>((b0 >> 2) + 0x40);
    code += static_cast<char>((((b0 & 3) << 3) + (b1 >> 5)) + 0x40);
    code += static_cast<char>((b1 & 0x1f) + 0x40);
    return code;
}

bool IsExitStatusLine(const QByteArray &baLastSend, const QByteArray &baLastLine)
{
    return EndsWithNoCase(baLastSend.trimmed(), "echo $?") && EndsWithNoCase(baLastLine.trimmed(), "echo $?");
}

bool TakeEchoedName(const QByteArray &baLine, const QByteArray &baEcho, int iSkip, QByteArray &baName)
{
    const int i = baLine.indexOf(baEcho);
    if (i < 0)
        return false;
    const int j = i + baEcho.size() + iSkip;
    if (j < baLine.size())
        baName = baLine.mid(j).trimmed();
    return true;
}

bool ParamValue(const QByteArray &baLine, const QByteArray &baLastLine, const QByteArray &baEcho,
                const QByteArray &baName, QByteArray &baValue)
{
    baValue = PromptValue(baLine, baLastLine, baEcho);
    if (!baValue.startsWith('"' + baName + "\" not defined"))
        return true;
    baValue.clear();
    return false;
}

bool OptionValue(const QByteArray &baLine, const QByteArray &baLastLine, const QByteArray &baEcho, QByteArray &baValue)
{
    baValue = PromptValue(baLine, baLastLine, baEcho);
    if (!EndsWithNoCase(baValue, "not defined") && !EndsWithNoCase(baValue, ": not found"))
        return true;
    baValue.clear();
    return false;
}

E_ListLine ParseListLine(const QByteArray &baLine, bool bListing, T_ListedDevice &stDevice)
{
    if (baLine.startsWith(kListBegin))
        return LIST_BEGIN;
    if (!bListing)
        return LIST_NONE;
    if (baLine.startsWith(kListEnd))
        return LIST_END;
    if (baLine.size() <= 8)
        return LIST_NONE;
    const QList<QByteArray> fields = baLine.split('\t');
    if (fields.size() != 3)
        return LIST_NONE;
    stDevice = {fields.at(0), fields.at(1), fields.at(2)};
    return LIST_DEVICE;
}

} // namespace TelnetReply
