#pragma once

#include "session/cbasemaintainsession.h"

#include <QHash>
#include <QObject>

class CMaintainAgent;
class CHttpAgent;

// Reads back the version of the module a device just reported installed: a Vaza device is
// asked for that module, a web-server model for its version page. Each read ends in exactly
// one signalRead(), with the answer or after VERSION_TIMEOUT_MS; answers nobody waits for
// (another user of the shared agents, a cancelled read) are ignored.
class CVersionReadBack : public QObject
{
    Q_OBJECT
public:
    // Neither agent is owned; both must outlive the reader. pHttpAgent may be null.
    CVersionReadBack(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent = nullptr);

    // Asked on the next turn of the event loop, not from inside the channel's own "completed"
    // emission (it may not be idle yet). A read already running for the host is replaced.
    void Read(const T_BaseDevInfo &stDevInfo, const QString &strModule, bool bHttp);
    void Cancel(const QString &strHostName) { m_hashPending.remove(strHostName); }
    void Clear() { m_hashPending.clear(); }

    static constexpr int VERSION_TIMEOUT_MS = 30000;

signals:
    // bReadable: a version came (strVersion, trimmed); bTimedOut: nothing came in time.
    void signalRead(QString strHostName, bool bReadable, QString strVersion, bool bTimedOut);

private slots:
    void slotOnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr, UInt32 u32DevPort,
                                  QByteArray strVersion);
    void slotOnHttpVersionNotify(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType eDataType,
                                 QByteArray strData);

private:
    struct T_Pending {
        T_BaseDevInfo stDevInfo;
        QString strModule;
        bool bHttp = false;
        quint64 u64Serial = 0; // tells a read from an earlier one of the same host
    };
    void Ask(const QString &strHostName, quint64 u64Serial);
    void Done(const QString &strHostName, bool bReadable, const QString &strVersion, bool bTimedOut);

    CMaintainAgent *m_pAgent;
    CHttpAgent *m_pHttpAgent;
    QHash<QString, T_Pending> m_hashPending;
    quint64 m_u64Serial = 0;
};
