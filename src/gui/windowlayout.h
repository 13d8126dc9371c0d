#pragma once

#include <QString>

class QHeaderView;
class QMainWindow;
class QSplitter;

// The network window's layout as the operator left it: the window's geometry, the splitter
// between the device list and the forms, and the list's column widths. Kept between starts in
// "velmora/window.ini" in the user's configuration directory, beside the language choice, so
// an installed copy under a read-only prefix remembers it too. Until something is stored the
// window keeps the size and widths it starts with.
namespace Velmora
{
QString WindowLayoutPath();
// False (and nothing changes) when no layout is stored.
bool RestoreWindowLayout(QMainWindow *pWindow, QSplitter *pSplitter, QHeaderView *pHeader);
void SaveWindowLayout(const QMainWindow *pWindow, const QSplitter *pSplitter, const QHeaderView *pHeader);
} // namespace Velmora
