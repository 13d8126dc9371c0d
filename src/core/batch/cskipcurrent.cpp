#include "cskipcurrent.h"

#include "common/timescale.h"
#include "http/chttpagent.h"
#include "http/httpversionpage.h"
#include "product/httpmodels.h"
#include "session/cmaintainagent.h"

CSkipCurrent::CSkipCurrent(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent)
    : QObject(parent), m_pAgent(pAgent), m_pHttpAgent(pHttpAgent)
{
    Velmora::RegisterMaintainMetaTypes();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CSkipCurrent::Finish);
}

void CSkipCurrent::Start(const QList<T_BaseDevInfo> &lstDevices, const QMap<QString, QStringList> &mapPlan,
                         const QHash<QString, QString> &hashExpected)
{
    for (const QMetaObject::Connection &con : qAsConst(m_lstConnections))
        disconnect(con);
    m_lstConnections.clear();
    m_mapPlan = mapPlan;
    m_hashExpected = hashExpected;
    m_mapVersions.clear();
    m_setAsked.clear();
    m_hashToAsk.clear();
    m_bRunning = true;
    if (m_pHttpAgent)
        m_lstConnections << connect(
            m_pHttpAgent, &CHttpAgent::signalHttpVersionNotify, this,
            [this](T_BaseDevInfo st, bool bErr, CBaseMaintainSession::E_InfoDataType, QByteArray baPage) {
                Answer(st.strHostName, m_mapPlan.value(st.strHostName).value(0),
                       bErr ? QString() : Velmora::HttpPageVersion(baPage));
            });
    for (const T_BaseDevInfo &st : lstDevices) {
        const QStringList lstModules = mapPlan.value(st.strHostName);
        if (Velmora::IsHttpHostModel(st.strHostName)) {
            if (!m_pHttpAgent)
                continue;
            m_setAsked.insert(qMakePair(st.strHostName, lstModules.value(0)));
            m_pHttpAgent->QueryVersion(st);
            continue;
        }
        CBaseMaintainSession *pSession = m_pAgent->GetSession(st.strHostName);
        if (!pSession)
            continue;
        // The session names the module in its answer; the host is the one it was asked for.
        m_lstConnections << connect(
            pSession, &CBaseMaintainSession::OnVersionQueryNotify, this,
            [this, strHost = st.strHostName](T_BaseDevInfo, bool bErr, QByteArray baAddr, UInt32, QByteArray baVer) {
                Answer(strHost, QString::fromUtf8(baAddr.trimmed()),
                       bErr ? QString() : QString::fromUtf8(baVer).trimmed());
            });
        for (const QString &strModule : lstModules)
            m_setAsked.insert(qMakePair(st.strHostName, strModule));
        // One module at a time: a session still connecting keeps only its newest request, so
        // asking for all at once would leave every module but the last unanswered.
        m_hashToAsk.insert(st.strHostName, lstModules);
        AskNext(st.strHostName);
    }
    // With nothing asked the end still comes on a later turn of the event loop.
    m_timer.start(m_setAsked.isEmpty() ? 0 : Velmora::ScaledMs(VERSION_TIMEOUT_MS));
}

void CSkipCurrent::Answer(const QString &strHostName, const QString &strModule, const QString &strVersion)
{
    if (!m_bRunning || !m_setAsked.remove(qMakePair(strHostName, strModule)))
        return;
    m_mapVersions[strHostName].insert(strModule, strVersion);
    if (m_setAsked.isEmpty())
        Finish();
    else
        AskNext(strHostName);
}

void CSkipCurrent::AskNext(const QString &strHostName)
{
    const auto it = m_hashToAsk.find(strHostName);
    if (it == m_hashToAsk.end())
        return;
    if (it->isEmpty()) {
        m_hashToAsk.erase(it);
        return;
    }
    const QString strModule = it->takeFirst();
    if (CBaseMaintainSession *pSession = m_pAgent->GetSession(strHostName))
        pSession->QueryVersion(strModule.toUtf8(), 0);
}

void CSkipCurrent::Finish()
{
    m_timer.stop();
    for (const QMetaObject::Connection &con : qAsConst(m_lstConnections))
        disconnect(con);
    m_lstConnections.clear();
    m_setAsked.clear();
    m_hashToAsk.clear();
    m_bRunning = false;
    emit signalFinished();
}

QMap<QString, QStringList> CSkipCurrent::Choose(const QMap<QString, QStringList> &mapPlan,
                                                const QMap<QString, QMap<QString, QString>> &mapVersions,
                                                const QHash<QString, QString> &hashExpected)
{
    QMap<QString, QStringList> mapSkipped;
    for (auto it = mapPlan.constBegin(); it != mapPlan.constEnd(); ++it) {
        const QMap<QString, QString> mapRead = mapVersions.value(it.key());
        QStringList lstCurrent;
        for (const QString &strModule : it.value()) {
            const QString strWanted = hashExpected.value(strModule);
            if (!strWanted.isEmpty() && mapRead.contains(strModule) && mapRead.value(strModule) == strWanted)
                lstCurrent << strModule;
        }
        if (!lstCurrent.isEmpty())
            mapSkipped.insert(it.key(), lstCurrent);
    }
    return mapSkipped;
}
