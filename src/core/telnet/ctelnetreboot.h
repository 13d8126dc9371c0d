#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class CTelnetComm;

// Reboots one device over its shell: logs in and types "reboot" (prefix "gb" for every
// model; the command itself carries none). The run ends with exactly one finished(), and its
// channel is disposed of on that final result, whatever it is: nothing is left per reboot.
// The object may be deleted from a slot of finished().
class CTelnetReboot : public QObject
{
    Q_OBJECT
public:
    CTelnetReboot(const QString &strHostName, const QString &strAddr, quint16 u16Port = 24, QObject *parent = nullptr);
    ~CTelnetReboot() override;

    // False when the channel cannot even start (the address is no IP address); nothing is
    // emitted then. True: "reboot" is queued and finished() follows.
    bool Start();
    QString HostName() const { return m_strHostName; }
    QString Address() const { return m_strAddr; }

signals:
    // An empty strReason: the device took the command and is going down.
    void finished(QString strHostName, QString strReason);

private:
    void Finish(const QString &strReason);

    QString m_strHostName;
    QString m_strAddr;
    CTelnetComm *m_pComm = nullptr;
    bool m_bConnected = false;
    bool m_bDone = false;
    QByteArray m_baLastText;
};
