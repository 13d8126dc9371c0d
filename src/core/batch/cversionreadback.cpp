#include "cversionreadback.h"

#include "common/timescale.h"
#include "http/chttpagent.h"
#include "http/httpversionpage.h"
#include "session/cmaintainagent.h"

#include <QTimer>

CVersionReadBack::CVersionReadBack(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent)
    : QObject(parent), m_pAgent(pAgent), m_pHttpAgent(pHttpAgent)
{
    Velmora::RegisterMaintainMetaTypes();
    if (m_pHttpAgent)
        connect(m_pHttpAgent, &CHttpAgent::signalHttpVersionNotify, this, &CVersionReadBack::slotOnHttpVersionNotify);
}

void CVersionReadBack::Read(const T_BaseDevInfo &stDevInfo, const QString &strModule, bool bHttp)
{
    const quint64 u64Serial = ++m_u64Serial;
    m_hashPending.insert(stDevInfo.strHostName, T_Pending{stDevInfo, strModule, bHttp, u64Serial});
    const QString strHost = stDevInfo.strHostName;
    QTimer::singleShot(0, this, [this, strHost, u64Serial] { Ask(strHost, u64Serial); });
    QTimer::singleShot(Velmora::ScaledMs(VERSION_TIMEOUT_MS), this, [this, strHost, u64Serial] {
        if (m_hashPending.value(strHost).u64Serial == u64Serial)
            Done(strHost, false, QString(), true);
    });
}

void CVersionReadBack::Ask(const QString &strHostName, quint64 u64Serial)
{
    const auto it = m_hashPending.constFind(strHostName);
    if (it == m_hashPending.constEnd() || it->u64Serial != u64Serial)
        return;
    if (it->bHttp) {
        if (!m_pHttpAgent || m_pHttpAgent->QueryVersion(it->stDevInfo) < 0)
            Done(strHostName, false, QString(), false);
        return;
    }
    CBaseMaintainSession *pSession = m_pAgent->GetSession(strHostName);
    if (!pSession) {
        Done(strHostName, false, QString(), false);
        return;
    }
    connect(pSession, &CBaseMaintainSession::OnVersionQueryNotify, this, &CVersionReadBack::slotOnVersionQueryNotify,
            Qt::UniqueConnection);
    // Not written at once only when the link is down: it goes out after the reconnect and
    // the time-out still guards it.
    pSession->QueryVersion(it->strModule.toUtf8(), 0);
}

void CVersionReadBack::slotOnVersionQueryNotify(T_BaseDevInfo stDevInfo, bool bError, QByteArray strDevAddr, UInt32,
                                                QByteArray strVersion)
{
    const auto it = m_hashPending.constFind(stDevInfo.strHostName);
    if (it == m_hashPending.constEnd() || it->bHttp || strDevAddr.trimmed() != it->strModule.toUtf8())
        return;
    Done(stDevInfo.strHostName, !bError, QString::fromUtf8(strVersion).trimmed(), false);
}

void CVersionReadBack::slotOnHttpVersionNotify(T_BaseDevInfo stDevInfo, bool bError,
                                               CBaseMaintainSession::E_InfoDataType, QByteArray strData)
{
    const auto it = m_hashPending.constFind(stDevInfo.strHostName);
    if (it == m_hashPending.constEnd() || !it->bHttp)
        return;
    const QString strVersion = bError ? QString() : Velmora::HttpPageVersion(strData);
    Done(stDevInfo.strHostName, !bError && !strVersion.isEmpty(), strVersion, false);
}

void CVersionReadBack::Done(const QString &strHostName, bool bReadable, const QString &strVersion, bool bTimedOut)
{
    m_hashPending.remove(strHostName);
    emit signalRead(strHostName, bReadable, strVersion, bTimedOut);
}
