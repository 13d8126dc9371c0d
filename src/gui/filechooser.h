#pragma once

#include <QString>

#include <functional>

class QWidget;

// The open-file dialog behind the "Open..." buttons of the module trees, and the save dialog
// of the device list's export, in one place so tests of every form answer them the same way.
namespace Velmora
{

// Tests only: answers the dialogs instead of showing them. An empty chooser restores them.
using FileChooser = std::function<QString()>;
void SetFileChooser(FileChooser chooser);

// The path the operator picked (empty caption, directory and filter); empty when cancelled.
QString ChooseOpenFile(QWidget *parent);
// The path to write to, starting at strName; empty when cancelled.
QString ChooseSaveFile(QWidget *parent, const QString &strCaption, const QString &strName, const QString &strFilter);

} // namespace Velmora
