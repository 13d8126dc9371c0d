#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reader of "upgrade.conf", the list of firmware modules per device type. It returns plain
// rows; the forms turn them into tree items and message boxes, the console program prints them.
// The file is read afresh on every call: it is installation data an operator may edit.

// One module a device type accepts. strId goes unchanged into strDevAddr of T_UpgradeInfo.
struct T_ModuleRow {
    QString strId;
    QString strName; // empty when the entry has no "name"
};

enum class E_UpgradeConfStatus {
    Ok,
    NotExists, // missing or unreadable
    Invalid    // not well-formed, or a root other than "upgrade"
};

struct T_UpgradeConf {
    E_UpgradeConfStatus eStatus = E_UpgradeConfStatus::NotExists;
    QString strPath;
    bool bDeviceFound = false; // a device entry matched, even one without modules
    QString strDeviceId;       // the matching entry's id
    QList<T_ModuleRow> lstModules;
};

// The modules of the first device entry whose "id" is strModel (a device's model is
// Velmora::ModelOfHostName of its host name), in file order.
T_UpgradeConf ReadUpgradeConf(const QString &strPath, const QString &strModel);

// Application directory + "/upgrade.conf".
QString DefaultUpgradeConfPath();

// The English text for a failed read, for the console program; empty when eStatus is Ok.
// The forms keep their own translatable texts.
QString UpgradeConfErrorText(const T_UpgradeConf &stConf);
