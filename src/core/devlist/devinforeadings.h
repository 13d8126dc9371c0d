#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What one system-information answer says about a listed device's version and video
// columns. A field the answer does not carry is absent and leaves its column as it was.
struct T_DevInfoReading {
    std::optional<QString> optVersion;
    std::optional<QString> optVideoInput;
    std::optional<QString> optVideoTiming;
};

// A Vaza device's XML document: the fields are the children of the root's first child, named
// after the device's own labels ("IRoIP V3.1.4", "Vi", "ViTiming") as the interface language
// translates them, or, from older firmware, "Version", "VISelect" and "VITiming". The version
// is the second word of its field. Nothing when the document does not parse.
T_DevInfoReading ReadVazaInfoDocument(const QByteArray &baXml);

// The reading that decides a listed device's columns: the version field of the version page
// for the web-server models (Velmora::HttpPageVersion, whatever the answer's type), the XML
// document for the others. An answer in JSON decides nothing.
T_DevInfoReading ReadDevInfo(const QString &strHostName, bool bXml, const QByteArray &baData);
