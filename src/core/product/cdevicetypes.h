#pragma once

#include <QHash>
#include <QString>

// The device types the network window has listed: a display type ("ZR410 Encoder") read back
// as its model ("ZR410"), which is what the upgrade configuration is keyed by. The window
// records every device it lists and hands the object to the batch form, which reads it.
// A device's display type and model are GetDisplayType and ModelOfHostName of its host name.
class CDeviceTypes
{
public:
    // Records the type of a listed device.
    void AddDevice(const QString &strHostName);
    // The model of a display type recorded here (the first recorded model wins); any other
    // text is a model already.
    QString ModelOf(const QString &strDispType) const;

private:
    QHash<QString, QString> m_hashModels; // by display type
};
