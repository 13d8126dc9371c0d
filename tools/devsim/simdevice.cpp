#include "simdevice.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QSet>

bool LoadFleet(const QString &strPath, T_SimFleet &fleet, QString &strError)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        strError = QStringLiteral("cannot open %1: %2").arg(strPath, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (doc.isNull() || !doc.isObject()) {
        strError = QStringLiteral("%1 is not a JSON object: %2").arg(strPath, parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    fleet.options = root.value(QStringLiteral("options")).toObject();
    fleet.devices.clear();
    const QJsonArray devices = root.value(QStringLiteral("devices")).toArray();
    for (int i = 0; i < devices.size(); ++i) {
        const QJsonObject o = devices.at(i).toObject();
        T_SimDevice dev;
        dev.raw = o;
        dev.strHostName = o.value(QStringLiteral("hostname")).toString();
        dev.strAddr = o.value(QStringLiteral("addr")).toString();
        dev.strModel = o.value(QStringLiteral("model")).toString(dev.strHostName.section(QLatin1Char('-'), 0, 0));
        dev.strKind = o.value(QStringLiteral("kind")).toString();
        dev.strVersion = o.value(QStringLiteral("version")).toString(QStringLiteral("1.0.0"));
        dev.strTelnetName = o.value(QStringLiteral("telnet_name")).toString(dev.strHostName);
        dev.strChannel = o.value(QStringLiteral("channel")).toString(QStringLiteral("vaza"));
        dev.modules = o.value(QStringLiteral("modules")).toArray();
        dev.knobs = o.value(QStringLiteral("knobs")).toObject();
        if (QHostAddress(dev.strAddr).protocol() != QAbstractSocket::IPv4Protocol) {
            strError = QStringLiteral("device %1: \"addr\" must be an IPv4 address").arg(i);
            return false;
        }
        fleet.devices.append(dev);
    }
    return true;
}
