#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// One simulated device as the fleet file describes it. Protocol services read
// their own knobs from `knobs` (failures to inject, pacing) so a new service
// needs no change here.
struct T_SimDevice {
    QString strHostName; // "MODEL-suffix", as the device reports itself
    QString strAddr;     // the device's own IPv4 address; every service binds to it
    QString strModel;    // text before the first "-" unless given
    QString strKind;     // "tx" / "rx"
    QString strVersion;  // firmware version text
    QString strTelnetName;
    QString strChannel; // "vaza" or "http"
    QJsonArray modules; // [{"addr": "...", "port": n, "version": "..."}]
    QJsonObject knobs;  // per-service behaviour, see fleets/README.md
    QJsonObject raw;    // the whole entry, for services with needs of their own

    int Knob(const QString &strName, int iDefault) const { return knobs.value(strName).toInt(iDefault); }
    bool Flag(const QString &strName) const { return knobs.value(strName).toBool(false); }
    QString Text(const QString &strName, const QString &strDefault = QString()) const
    {
        return knobs.value(strName).toString(strDefault);
    }
    // A knob naming the steps a fault hits: true (every step), one step's name, or a list of them.
    bool AtStep(const QString &strName, const QString &strStep) const
    {
        const QJsonValue v = knobs.value(strName);
        if (v.isBool())
            return v.toBool();
        if (v.isString())
            return v.toString() == strStep;
        if (v.isArray())
            return v.toArray().contains(strStep);
        return false;
    }
};

struct T_SimFleet {
    QList<T_SimDevice> devices;
    QJsonObject options; // fleet-wide settings ("ports": overrides for loopback runs, ...)

    // A service's port: options.ports.<service> when the fleet overrides it, else the real one.
    int Port(const QString &strService, int iDefault) const
    {
        return options.value(QStringLiteral("ports")).toObject().value(strService).toInt(iDefault);
    }
};

// Reads a fleet file; on failure returns false and says why in strError.
bool LoadFleet(const QString &strPath, T_SimFleet &fleet, QString &strError);
