#pragma once

#include "http/chttpupgrade.h"

#include <QList>
#include <QObject>
#include <QString>

// Keeps one CHttpUpgrade per web-server device (keyed by host name) for the batch form and
// relays their notifications unchanged. An upgrader dropped from the list is deleted as
// soon as nothing is in flight on it; the agent deletes whatever it still holds when it goes.
class CHttpAgent : public QObject
{
    Q_OBJECT
public:
    explicit CHttpAgent(QObject *parent = nullptr);
    ~CHttpAgent() override;

    // The new count of devices added; -1 when the host name is already listed (its
    // address is then taken over, so a device that moved is reached where it is now).
    int AddDevice(T_BaseDevInfo stDevInfo);
    int IndexOf(const T_BaseDevInfo &stDevInfo) const;
    int IndexOf(const QString &strHostName) const;
    // 0: upload started; 1: no such device; 2: the upgrader refused to start (no file,
    // unreadable file, an upload still running): no notification will follow.
    int StartUpgrade(QString strHostName, T_UpgradeInfo stUpgradeInfo);
    // Registers the device first; -1 when it cannot be found, otherwise 0 (also when busy).
    int QueryVersion(T_BaseDevInfo stDevInfo);
    bool RemoveAt(int i32Index);
    void Clear();

    // Cuts off whatever runs for that device, silently; false when it is not listed.
    bool Abort(const QString &strHostName);
    // The device's reason for its last failure; empty when none or not listed.
    QString LastError(const QString &strHostName) const;
    int Count() const { return m_lstUpgrade.size(); }
    // The upgrader at a list index (null outside the list); the agent keeps owning it.
    CHttpUpgrade *At(int i32Index) const { return m_lstUpgrade.value(i32Index); }

signals:
    void signalHttpVersionNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                                 QByteArray strData);
    void signalHttpUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                                 bool bFinished, int i32CurProgress);

private:
    void Drop(CHttpUpgrade *pUpgrade);
    void DisposeIfDropped(CHttpUpgrade *pUpgrade);

    QList<CHttpUpgrade *> m_lstUpgrade;
    int m_i32Count = 0;
    // Dropped while busy: deleted when their run ends.
    QList<CHttpUpgrade *> m_lstDropped;
};
