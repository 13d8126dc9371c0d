#include "windowlayout.h"

#include "common/vlog.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>

namespace
{
const char *const kGeometry = "window/geometry";
const char *const kSplitter = "window/splitter";
const char *const kColumns = "window/columns";
} // namespace

QString Velmora::WindowLayoutPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velmora/window.ini");
}

bool Velmora::RestoreWindowLayout(QMainWindow *pWindow, QSplitter *pSplitter, QHeaderView *pHeader)
{
    const QSettings settings(WindowLayoutPath(), QSettings::IniFormat);
    if (!settings.contains(kGeometry))
        return false;
    // Each part on its own: a damaged entry leaves that part as the window starts it.
    pWindow->restoreGeometry(settings.value(kGeometry).toByteArray());
    pSplitter->restoreState(settings.value(kSplitter).toByteArray());
    pHeader->restoreState(settings.value(kColumns).toByteArray());
    return true;
}

void Velmora::SaveWindowLayout(const QMainWindow *pWindow, const QSplitter *pSplitter, const QHeaderView *pHeader)
{
    QSettings settings(WindowLayoutPath(), QSettings::IniFormat);
    settings.setValue(kGeometry, pWindow->saveGeometry());
    settings.setValue(kSplitter, pSplitter->saveState());
    settings.setValue(kColumns, pHeader->saveState());
    settings.sync();
    if (settings.status() != QSettings::NoError)
        VWARN(lcUi) << "window layout not stored in" << WindowLayoutPath();
}
