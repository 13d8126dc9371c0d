#pragma once

#include <QHash>
#include <QString>

// The device types the network window has listed: a display type ("ZR410 Encoder") read back
// as its model ("ZR410"), which is what the upgrade configuration is keyed by. The window
// records every device it lists and hands the object to the batch form, which reads it.
class CDeviceTypes
{
public:
    // A device name's type: the text up to its last "-" (the whole name without one).
    static QString TypeOf(const QString &strName);

    // Records the type of a listed device, from its host name and display name.
    void AddDevice(const QString &strHostName, const QString &strDispName);
    // The model of a display type recorded here (the first recorded model wins); any other
    // text is a model already.
    QString ModelOf(const QString &strDispType) const;

private:
    QHash<QString, QString> m_hashModels; // by display type
};
