#include "filechooser.h"

#include <QFileDialog>

namespace
{
Velmora::FileChooser &Chooser()
{
    static Velmora::FileChooser s_chooser;
    return s_chooser;
}
} // namespace

void Velmora::SetFileChooser(FileChooser chooser)
{
    Chooser() = std::move(chooser);
}

QString Velmora::ChooseOpenFile(QWidget *parent)
{
    if (Chooser())
        return Chooser()();
    return QFileDialog::getOpenFileName(parent, QString(), QString(), QString());
}
