#pragma once

#include "devlist/devinforeadings.h"
#include "session/maintaintypes.h"

#include <QHash>
#include <QObject>
#include <QString>

// One listed device. Every field is the device's own text; a view decides how it is shown.
struct T_DevListRow {
    QString strHostName; // the key
    QString strDispName; // the product name with the host name's suffix
    QString strAlias;    // the name read over telnet; the display name until one is read
    QString strAddr;
    QString strVersion;
    QString strVideoInput;
    QString strVideoTiming;
    QString strNameFailure; // why the last name read failed, until the device reports again
};

// The devices of the network window, keyed by host name: a row is only ever found by the
// host name, so a reply for a device that is gone lands nowhere. Every change is announced
// with the row's host name, after the row has changed, so a view can follow.
class CDevList : public QObject
{
    Q_OBJECT
public:
    explicit CDevList(QObject *parent = nullptr);

    // A new row whose alias is its display name; false (and nothing changes) when the host
    // is listed already.
    bool Add(const QString &strHostName, const QString &strDispName, const QString &strAddr);
    bool Remove(const QString &strHostName);
    // Null when the host is not listed. Valid until the list next changes.
    const T_DevListRow *Find(const QString &strHostName) const;
    int Count() const { return m_hashRows.size(); }

    // The device reported again, from strAddr: an earlier name failure is forgotten.
    void SetAddress(const QString &strHostName, const QString &strAddr);
    // A blank name keeps the alias: a blank row would tell the operator nothing.
    void SetAlias(const QString &strHostName, const QString &strName);
    void SetNameFailure(const QString &strHostName, const QString &strReason);
    void ApplyReading(const QString &strHostName, const T_DevInfoReading &stReading);

    // The row as the sessions and forms know a device (port 0); the version only on request.
    T_BaseDevInfo DevInfo(const QString &strHostName, bool bWithVersion) const;

signals:
    void signalRowAdded(QString strHostName);
    void signalRowChanged(QString strHostName);
    void signalRowRemoved(QString strHostName);

private:
    QHash<QString, T_DevListRow> m_hashRows;
};
