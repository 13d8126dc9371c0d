#pragma once

#include <QByteArray>
#include <QString>

// The version page of a web-server model is fixed-layout text: the build time in bytes 6..30
// and the version in bytes 38..60 ("Build:<build time>\nVer : <version>\n"). A device pads a
// field with blanks or zero bytes, in front of its text or behind it; the text ends at the
// first zero byte after it, so stale bytes behind a terminator are never read as the version.
// Every reader of the page (the engine's read-back, --skip-current, the device list's version
// column, the information views, velmora-cli version) takes the fields from here.
namespace Velmora
{

// Bytes 38..60 without their padding; empty when the page is shorter or the field blank.
QString HttpPageVersion(const QByteArray &baPage);
// Bytes 6..30 without their padding.
QString HttpPageBuildTime(const QByteArray &baPage);

} // namespace Velmora
