#include "windowtitle.h"

#include "cversioninfo.h"

#include <QSettings>

#ifndef VELMORA_BUILD_VERSION
#define VELMORA_BUILD_VERSION "V2.1.2"
#endif

QString BuildVersionText()
{
    return QStringLiteral(VELMORA_BUILD_VERSION);
}

QString BuildWindowTitle(const QString &strDefaultTitle, const QString &strExePath, const QString &strAppIniPath)
{
    QString strTitle = strDefaultTitle;
    CVersionInfo versionInfo;
    if (versionInfo.Load(strExePath))
        strTitle = versionInfo.Value(QStringLiteral("AppTitle"));

    const QSettings settings(strAppIniPath, QSettings::IniFormat);
    if (settings.value(QStringLiteral("appendver"), true).toBool())
        strTitle += QLatin1Char(' ') + BuildVersionText();
    return strTitle;
}
