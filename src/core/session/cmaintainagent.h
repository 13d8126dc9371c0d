#pragma once

#include "session/cbasemaintainsession.h"

#include <QList>
#include <QMap>
#include <QObject>

// Owns the known network devices (keyed by exact host name) and one Vaza session per
// device, made on the first command for it. Forms connect once to the agent, which relays
// the sessions' upgrade, system-information and log signals unchanged. Sessions are only
// ever deleted with deleteLater(); a session taken out of the agent is silenced at once.
class CMaintainAgent : public QObject
{
    Q_OBJECT
public:
    explicit CMaintainAgent(QObject *parent = nullptr);
    ~CMaintainAgent() override;

    // -1 when appended; otherwise the index of the listed device that was overwritten.
    int AddDevice(const T_BaseDevInfo &stDevInfo);
    int IndexOf(const QString &strHostName) const;
    int DeviceCount() const { return m_lstDevices.size(); }
    T_BaseDevInfo &DeviceAt(int i32Index) { return *m_lstDevices[i32Index]; }
    int CountTx() const;
    int CountRx() const;
    bool RemoveDevice(const QString &strHostName);
    void Clear();

    CBaseMaintainSession *GetSession(const QString &strHostName);
    bool RemoveSession(const QString &strHostName);
    void ClearSessions();

    E_CmdResult StartUpgrade(const QString &strHostName, const T_UpgradeInfo &stUpgradeInfo);
    E_CmdResult GetSysInfo(const QString &strHostName);
    E_CmdResult DownloadLog(const QString &strHostName);
    int AbortCmd(const QString &strHostName);
    // The session's reason for its last failure; empty when the device has no session.
    QString LastError(const QString &strHostName) const;

signals:
    void OnUpgradeNotify(T_BaseDevInfo stDevInfo, T_UpgradeInfo stUpgradeInfo, QString strCurStep, bool bError,
                         bool bFinished, int i32CurProgress);
    void OnSysInfoNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType eDataType,
                         QByteArray strData);
    void OnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError, bool bFinished);

private:
    void DisposeSession(CBaseMaintainSession *pSession);

    QList<T_BaseDevInfo *> m_lstDevices;
    QMap<QString, CBaseMaintainSession *> m_mapSessions;
};
