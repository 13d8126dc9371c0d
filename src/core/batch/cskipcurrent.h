#pragma once

#include "session/maintaintypes.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QTimer>

class CMaintainAgent;
class CHttpAgent;

// Chooses what an upgrade may leave out because the devices already run the wanted version:
// it reads the version of every planned module from every device at once (one module at a
// time per device), then applies the rule in Choose(). A plan is host name -> module ids, in
// upgrade order; what is chosen comes in the same shape. Modules of one device may carry
// different versions, so the wanted version is given per module id.
class CSkipCurrent : public QObject
{
    Q_OBJECT
public:
    // Neither agent is owned; both must outlive the reader. The Vaza devices must already be
    // in pAgent. pHttpAgent may be null when no web-server model takes part.
    CSkipCurrent(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, QObject *parent = nullptr);

    // Asks each device in lstDevices for the version of every module mapPlan holds for it (a
    // web-server model answers for its first module with its version page). signalFinished()
    // follows once every answer is in or VERSION_TIMEOUT_MS has passed, never from inside this
    // call; answers after that are ignored. A Vaza device without a session is not asked.
    void Start(const QList<T_BaseDevInfo> &lstDevices, const QMap<QString, QStringList> &mapPlan,
               const QHash<QString, QString> &hashExpected);
    bool IsRunning() const { return m_bRunning; }

    // Host name -> module id -> the version read (empty: the device answered with an error).
    // A module that gave no answer is absent.
    QMap<QString, QMap<QString, QString>> Versions() const { return m_mapVersions; }
    // Choose() over the plan, the versions read and the versions given to Start().
    QMap<QString, QStringList> Skipped() const { return Choose(m_mapPlan, m_mapVersions, m_hashExpected); }

    // The rule alone, per device and module: a planned module is left out when it read the
    // version hashExpected wants for it (module id -> version). A device all of whose planned
    // modules are current is left out as a whole; otherwise only the modules behind are sent.
    // A module without an answer, or with no version wanted, is never current.
    static QMap<QString, QStringList> Choose(const QMap<QString, QStringList> &mapPlan,
                                             const QMap<QString, QMap<QString, QString>> &mapVersions,
                                             const QHash<QString, QString> &hashExpected);

    static constexpr int VERSION_TIMEOUT_MS = 30000;

signals:
    void signalFinished();

private:
    void Answer(const QString &strHostName, const QString &strModule, const QString &strVersion);
    void Finish();
    void AskNext(const QString &strHostName);

    CMaintainAgent *m_pAgent;
    CHttpAgent *m_pHttpAgent;
    QMap<QString, QStringList> m_mapPlan;
    QHash<QString, QString> m_hashExpected;
    QMap<QString, QMap<QString, QString>> m_mapVersions;
    QSet<QPair<QString, QString>> m_setAsked; // (host name, module id) still unanswered
    QHash<QString, QStringList> m_hashToAsk;  // Vaza modules not asked yet, per host name
    // Taken down at the end: a late answer finds nobody listening.
    QList<QMetaObject::Connection> m_lstConnections;
    QTimer m_timer;
    bool m_bRunning = false;
};
