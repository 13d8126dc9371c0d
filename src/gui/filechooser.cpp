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

QString Velmora::ChooseSaveFile(QWidget *parent, const QString &strCaption, const QString &strName,
                                const QString &strFilter)
{
    if (Chooser())
        return Chooser()();
    return QFileDialog::getSaveFileName(parent, strCaption, strName, strFilter);
}
