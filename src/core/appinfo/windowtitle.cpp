#include "appinfo/windowtitle.h"

#include "appinfo/cversioninfo.h"
#include "appinfo/velmoraversion.h"

#include <QSettings>

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
