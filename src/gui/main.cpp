#include "cdlgselect.h"
#include "cserialform.h"
#include "mainwindow.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));

    QIcon icon = QFileIconProvider().icon(QFileInfo(QCoreApplication::applicationFilePath()));
    // Where the desktop has no icon for the executable, fall back to the program's own.
    if (icon.isNull() || icon.availableSizes().isEmpty())
        icon = QIcon(QStringLiteral(":/app.ico"));
    QApplication::setWindowIcon(icon);

    int iMode = 0;
    {
        CDlgSelect dlg;
        iMode = dlg.RunModal();
    }

    if (iMode == CDlgSelect::MODE_NETWORK) {
        auto *pWindow = new MainWindow(nullptr);
        pWindow->show();
        const int iRet = app.exec();
        delete pWindow;
        return iRet;
    }
    if (iMode == CDlgSelect::MODE_SERIAL) {
        auto *pForm = new CSerialForm(nullptr);
        pForm->show();
        const int iRet = app.exec();
        delete pForm;
        return iRet;
    }
    return 0;
}
