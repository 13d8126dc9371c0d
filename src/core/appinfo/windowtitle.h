#pragma once

#include <QString>

// The build version text compiled into the program ("V" and the project version).
QString BuildVersionText();
// Main window title: the translated default "Velmora", or the executable's "AppTitle",
// followed by the build version unless "app.ini" turns "appendver" off.
// strDefaultTitle is the already translated default.
QString BuildWindowTitle(const QString &strDefaultTitle, const QString &strExePath, const QString &strAppIniPath);
