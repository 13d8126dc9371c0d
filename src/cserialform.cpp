#include "cserialform.h"

CSerialForm::CSerialForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CSerialForm"));
    setWindowTitle(tr("Atmel MCU Upgrade"));
    resize(480, 260);
}

CSerialForm::~CSerialForm() = default;
