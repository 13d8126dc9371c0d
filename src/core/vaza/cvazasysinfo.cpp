#include "vaza/cvazasysinfo.h"

#include "common/vlog.h"
#include "vaza/cvazabuffer.h"
#include "vaza/vazafields.h"
#include "vaza/vazaproto.h"

#include <QObject>
#include <QXmlStreamWriter>

namespace VazaSysInfo
{

namespace
{
void StartGroup(QXmlStreamWriter &writer, const QString &strName)
{
    writer.writeStartElement(QStringLiteral("label"));
    writer.writeAttribute(QStringLiteral("name"), strName);
}

// XML 1.0 has no way to carry most control characters; a device that sends one would
// otherwise make the whole document unreadable for the views.
QString XmlSafe(const QString &str)
{
    QString strOut;
    strOut.reserve(str.size());
    for (const QChar ch : str) {
        const ushort u = ch.unicode();
        if ((u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || u == 0xFFFE || u == 0xFFFF)
            continue;
        strOut.append(ch);
    }
    return strOut;
}
} // namespace

QStringList DeviceHeadLabels()
{
    return {QObject::tr("PID"), QObject::tr("Date"), QObject::tr("SN"), QObject::tr("IRoIP"), QObject::tr("SoIP")};
}

QStringList EthernetLabels()
{
    return {QObject::tr("Name"),    QObject::tr("IP Mode"), QObject::tr("IP Address"),   QObject::tr("Netmask"),
            QObject::tr("Gateway"), QObject::tr("Mac"),     QObject::tr("Network Mode"), QObject::tr("DHCP Server IP")};
}

QStringList SystemLabels()
{
    return {QObject::tr("OS Init"), QObject::tr("Memory"), QObject::tr("Storage")};
}

QString CleanValue(const QByteArray &baRaw)
{
    // Devices pad fixed-size fields with 0xFF, sometimes mixed with spaces.
    QByteArray ba = baRaw.trimmed();
    int i32End = ba.size();
    while (i32End > 0) {
        const uchar c = static_cast<uchar>(ba.at(i32End - 1));
        if (c != 0xFF && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f')
            break;
        --i32End;
    }
    ba.truncate(i32End);
    const int i32Zero = ba.indexOf('\0');
    if (i32Zero >= 0)
        ba.truncate(i32Zero);
    return XmlSafe(QString::fromUtf8(ba));
}

void ConvertVazaData(CVazaBuffer &reader, const QStringList &labels, QXmlStreamWriter &writer)
{
    for (const QString &strLabel : labels) {
        const QString strValue = CleanValue(ReadByteArray(&reader));
        VLOG(lcVaza) << "Read param:" << strLabel << "=" << strValue;
        writer.writeStartElement(QStringLiteral("label"));
        writer.writeAttribute(QStringLiteral("name"), strLabel);
        writer.writeCharacters(strValue);
        writer.writeEndElement();
    }
}

QByteArray ConvertSysInfo(quint32 u32MsgId, const QByteArray &baBody)
{
    CVazaBuffer reader;
    reader.setData(baBody);
    reader.open(QIODevice::ReadOnly);

    if (u32MsgId != Vaza::ID_SysInfoRsp410 && u32MsgId != Vaza::ID_SysInfoRsp420 &&
        u32MsgId != Vaza::ID_SysInfoRsp430) {
        // The device sends ready-made XML fragments here; they are passed on untouched.
        const QByteArray baFirst = ReadByteArray(&reader);
        const QByteArray baSecond = ReadByteArray(&reader);
        return QByteArrayLiteral("<info>") + baFirst + baSecond + QByteArrayLiteral("</info>");
    }

    QByteArray baDoc;
    QXmlStreamWriter writer(&baDoc);
    writer.setAutoFormatting(false);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("info"));

    StartGroup(writer, QStringLiteral("Device Info"));
    ConvertVazaData(reader, DeviceHeadLabels(), writer);
    if (u32MsgId == Vaza::ID_SysInfoRsp410) {
        ConvertVazaData(reader,
                        {QObject::tr("Vi"), QObject::tr("Ai"), QObject::tr("ViTiming"), QObject::tr("Vo Big"),
                         QObject::tr("Vo Small"), QObject::tr("loop EDID")},
                        writer);
    } else if (u32MsgId == Vaza::ID_SysInfoRsp420) {
        ConvertVazaData(reader, {QObject::tr("Stream Info"), QObject::tr("Vo Edid")}, writer);
    } else {
        const int i32Streams = ReadUInt8(&reader);
        QStringList streams;
        for (int i = 1; i <= i32Streams; ++i)
            streams << QObject::tr("Stream Info %1").arg(i);
        streams << QObject::tr("Vo Edid");
        ConvertVazaData(reader, streams, writer);
    }
    writer.writeEndElement();

    StartGroup(writer, QStringLiteral("System Info"));
    StartGroup(writer, QStringLiteral("Ethernet"));
    for (const char *pszPort : {"0", "1"}) {
        StartGroup(writer, QString::fromLatin1(pszPort));
        ConvertVazaData(reader, EthernetLabels(), writer);
        writer.writeEndElement();
    }
    writer.writeEndElement();
    ConvertVazaData(reader, SystemLabels(), writer);
    writer.writeEndElement();

    writer.writeEndElement();
    writer.writeEndDocument();
    return baDoc;
}

} // namespace VazaSysInfo
