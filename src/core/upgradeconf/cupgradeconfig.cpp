#include "upgradeconf/cupgradeconfig.h"

#include "common/vlog.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>

namespace
{

// Entries are found by the first element of the expected name; from there every following
// sibling counts, whatever its name, so packaged files that rely on that keep working.
QList<T_ModuleRow> ReadModules(const QDomElement &device)
{
    QList<T_ModuleRow> lstModules;
    for (QDomElement module = device.firstChildElement(QStringLiteral("module")); !module.isNull();
         module = module.nextSiblingElement()) {
        const QString strId = module.attribute(QStringLiteral("id"));
        if (strId.isEmpty())
            continue;
        lstModules.append({strId, module.attribute(QStringLiteral("name"))});
    }
    return lstModules;
}

} // namespace

T_UpgradeConf ReadUpgradeConf(const QString &strPath, const QString &strModel)
{
    T_UpgradeConf stConf;
    stConf.strPath = strPath;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        VLOG(lcUi) << "cannot open" << strPath << file.errorString();
        stConf.eStatus = E_UpgradeConfStatus::NotExists;
        return stConf;
    }
    QDomDocument doc;
    QString strError;
    int iLine = 0;
    if (!doc.setContent(&file, false, &strError, &iLine)) {
        VLOG(lcUi) << "not well-formed" << strPath << strError << "line" << iLine;
        stConf.eStatus = E_UpgradeConfStatus::Invalid;
        return stConf;
    }
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QLatin1String("upgrade")) {
        VLOG(lcUi) << "unexpected root" << root.tagName();
        stConf.eStatus = E_UpgradeConfStatus::Invalid;
        return stConf;
    }
    stConf.eStatus = E_UpgradeConfStatus::Ok;
    for (QDomElement device = root.firstChildElement(QStringLiteral("device")); !device.isNull();
         device = device.nextSiblingElement()) {
        const QString strId = device.attribute(QStringLiteral("id"));
        // Equal, never a prefix: "ZR420" is no entry for a ZR420L, whatever the order.
        if (strId.isEmpty() || strId != strModel)
            continue;
        stConf.bDeviceFound = true;
        stConf.strDeviceId = strId;
        stConf.lstModules = ReadModules(device);
        break;
    }
    return stConf;
}

QString DefaultUpgradeConfPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/upgrade.conf");
}

QString UpgradeConfErrorText(const T_UpgradeConf &stConf)
{
    switch (stConf.eStatus) {
    case E_UpgradeConfStatus::NotExists:
        return QStringLiteral("Upgrade config file '%1' not exists!").arg(stConf.strPath);
    case E_UpgradeConfStatus::Invalid:
        return QStringLiteral("Upgrade config file '%1' is invalid!").arg(stConf.strPath);
    case E_UpgradeConfStatus::Ok:
        break;
    }
    return QString();
}
