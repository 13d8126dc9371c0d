#pragma once

#include <QString>

// Four models run a web server instead of the Vaza maintenance service and take their
// firmware through an upload CGI. Two tests exist on purpose: the batch start, device
// list and removal compare the model (host name up to its last "-") for equality, while
// notifications and the single-device form test the host name's beginning.
namespace Velmora
{

// The model part of a host name: the text up to its last "-" (the whole name without one).
QString ModelOfHostName(const QString &strHostName);
// strModel equals one of "NXT800", "NXR800", "ZR110", "ZR120".
bool IsHttpModel(const QString &strModel);
// The model of strHostName (up to its last "-") is an HTTP model.
bool IsHttpHostModel(const QString &strHostName);
// strHostName begins with one of the HTTP models.
bool HostNameStartsWithHttpModel(const QString &strHostName);

} // namespace Velmora
