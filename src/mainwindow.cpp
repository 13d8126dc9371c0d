#include "mainwindow.h"

#include "product/productconfig.h"
#include "appinfo/windowtitle.h"

#include <QCoreApplication>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(958, 700);
    setMinimumWidth(100);

    const QString strDir = QCoreApplication::applicationDirPath();
    setWindowTitle(BuildWindowTitle(tr("Velmora"), QCoreApplication::applicationFilePath(), strDir + "/app.ini"));
    LoadProductConfig(strDir + QStringLiteral("/config.xml"));
}

MainWindow::~MainWindow() = default;
