#pragma once

#include <QMap>
#include <QString>

// One handled product: the model as the device names itself, its kind and its shown name.
struct T_ProductInfo {
    QString strId;
    QString strType; // "tx" or "rx"
    QString strName;
};

// The process-wide product table, keyed by model identifier in sorted order.
QMap<QString, T_ProductInfo> &ProductTable();

// (Re)loads the table from "config.xml". False when the file cannot be opened or has
// another root; a malformed document keeps what was read before the error.
// Fills the product table from config.xml. False, with the reason in *pstrError, when the file
// cannot be read (the table stays as it was), has another root (the table is empty) or breaks
// off (the products before the break stay).
bool LoadProductConfig(const QString &strPath, QString *pstrError = nullptr);
// "M1-00AB" with M1 named "Decoder" gives "Decoder-00AB"; empty when the device is not handled.
QString GetProductName(const QString &strHostName);
// The device type a host name is listed under: its product's name ("ZR410 Encoder" for
// "ZR410-A-1"), the display name without the host name's suffix; empty when not handled.
QString GetDisplayType(const QString &strHostName);
// "tx", "rx", or empty when the device is not handled.
QString GetProductType(const QString &strHostName);
