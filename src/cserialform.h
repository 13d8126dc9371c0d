#pragma once

#include <QWidget>

// The whole interface of serial mode: upgrades one microcontroller over a serial port.
class CSerialForm : public QWidget
{
    Q_OBJECT
public:
    explicit CSerialForm(QWidget *parent = nullptr);
    ~CSerialForm() override;
};
