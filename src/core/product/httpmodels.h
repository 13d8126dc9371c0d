#pragma once

#include <QString>

// Four models run a web server instead of the Vaza maintenance service and take their
// firmware through an upload CGI.
namespace Velmora
{

// The model of strHostName (ModelOfHostName) is one of "NXT800", "NXR800", "ZR110", "ZR120".
bool IsHttpHostModel(const QString &strHostName);

} // namespace Velmora
