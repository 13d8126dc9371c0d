#include "runtimefiles.h"

#include <QCoreApplication>
#include <QFile>

void StageRuntimeFiles()
{
    for (const char *pszName : {"config.xml", "upgrade.conf", "app.ini"}) {
        const QString strTarget = QCoreApplication::applicationDirPath() + "/" + pszName;
        QFile::remove(strTarget);
        QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/resources/") + pszName, strTarget);
    }
}
