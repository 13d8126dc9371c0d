#pragma once

#include <QObject>
#include <QString>

class CPassQueue;

// Hands out the places a pass queue has free, at most a given number in one turn of the event
// loop and the rest on the following turns, so a thousand-device pass neither holds the loop
// nor nests one start inside another: a place freed inside a start goes to the running loop.
class CStartPacer : public QObject
{
    Q_OBJECT
public:
    // The queue is not owned and must outlive the pacer.
    CStartPacer(CPassQueue *pQueue, int i32PerTurn, QObject *parent = nullptr);

    // Closed (the default): nothing is handed out, also not by a turn already queued.
    void SetOpen(bool bOpen) { m_bOpen = bOpen; }
    // Starts what may start now (signalStart for each) and queues the next turn when more
    // could. Called from inside a start, it only tells the running loop to look again.
    void StartQueued();

signals:
    // Start this device now. The receiver may delete the pacer.
    void signalStart(QString strHostName);

private:
    CPassQueue *m_pQueue;
    int m_i32PerTurn;
    bool m_bOpen = false;
    bool m_bStarting = false;   // StartQueued() is handing out places
    bool m_bStartAgain = false; // a place came free meanwhile
    bool m_bTurnQueued = false; // StartQueued() waits for the next turn
};
