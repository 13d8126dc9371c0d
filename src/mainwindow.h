#pragma once

#include <QMainWindow>

// The network-mode window. It owns the product table load and the window title;
// the device list, search and forms move in as they are built.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
};
