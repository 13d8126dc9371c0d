#include "cstartpacer.h"

#include "batch/cpassqueue.h"

#include <QPointer>
#include <QTimer>

CStartPacer::CStartPacer(CPassQueue *pQueue, int i32PerTurn, QObject *parent)
    : QObject(parent), m_pQueue(pQueue), m_i32PerTurn(i32PerTurn)
{
    // A device back from its wait before another ends: nobody else would hand out its place.
    connect(m_pQueue, &CPassQueue::signalReady, this, &CStartPacer::StartQueued);
}

void CStartPacer::StartQueued()
{
    // A refusal inside a start frees a place at once: handled by this loop, not by a call
    // nested in it, so a thousand refusals do not nest a thousand deep.
    if (m_bStarting) {
        m_bStartAgain = true;
        return;
    }
    QPointer<CStartPacer> self(this);
    m_bStarting = true;
    int i32Budget = m_i32PerTurn;
    do {
        m_bStartAgain = false;
        const QStringList lstStart = m_bOpen ? m_pQueue->TakeStartable(i32Budget) : QStringList();
        i32Budget -= lstStart.size();
        for (const QString &strHost : lstStart) {
            emit signalStart(strHost);
            if (!self)
                return; // the owner is gone
        }
    } while (m_bStartAgain && m_bOpen && i32Budget > 0);
    m_bStarting = false;
    // The rest go on the next turns: a thousand starts in one go would hold the event loop,
    // and the devices already started, for a good part of a second.
    if (m_bOpen && m_pQueue->HasStartable() && !m_bTurnQueued) {
        m_bTurnQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_bTurnQueued = false;
            StartQueued();
        });
    }
}
