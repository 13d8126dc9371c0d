#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so a long run can stop its
// devices and still write its result. The handlers are installed even where the signal was
// ignored (a script that started us in the background): an operator's kill -INT must stop
// the run. The first signal asks for a stop (no new device starts), the second for an
// interruption (the devices still working are stopped too). One instance at a time; the old
// handlers come back when it goes.
class CInterruptWatch : public QObject
{
    Q_OBJECT
public:
    explicit CInterruptWatch(QObject *parent = nullptr);
    ~CInterruptWatch() override;

    // A second signal came: cut everything short.
    bool IsInterrupted() const { return m_i32Count >= 2; }
    // At least one signal came: start nothing new.
    bool IsStopRequested() const { return m_i32Count >= 1; }
    // Where a stop means nothing short of an interruption (nothing was sent yet), the first
    // signal already counts as the second.
    void StopMeansInterrupt(bool bOn) { m_bStopMeansInterrupt = bOn; }

signals:
    void signalStopRequested();
    void signalInterrupted();

private slots:
    void slotReadSignal();

private:
    QSocketNotifier *m_pNotifier = nullptr;
    int m_i32Count = 0;
    bool m_bStopMeansInterrupt = true;
};
