#pragma once

#include <QString>

#include <functional>

class QWidget;

// The open-file dialog behind the "Open..." buttons of the module trees, in one place so
// tests of every form that has such buttons answer it the same way.
namespace Velmora
{

// Tests only: answers the dialog instead of showing it. An empty chooser restores the dialog.
using FileChooser = std::function<QString()>;
void SetFileChooser(FileChooser chooser);

// The path the operator picked (empty caption, directory and filter); empty when cancelled.
QString ChooseOpenFile(QWidget *parent);

} // namespace Velmora
