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

// Where an answer about a listed device came from.
enum class E_DevInfoSource {
    MaintainAnswer, // a system-information answer of the maintenance protocol
    VersionPage,    // a web-server model's answer to the version-page request
};

// The reading that decides a listed device's columns: for the web-server models only the
// version field of their version page (Velmora::HttpPageVersion, whatever the answer's type;
// their maintenance answers are documents, whose bytes would make a version of junk), for
// the others the XML document of a maintenance answer. An answer in JSON decides nothing.
T_DevInfoReading ReadDevInfo(const QString &strHostName, E_DevInfoSource eSource, bool bXml, const QByteArray &baData);
