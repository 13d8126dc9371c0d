#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so a long run can stop its
// devices and still write its result. The handlers are installed even where the signal was
// ignored (a script that started us in the background): an operator's kill -INT must stop
// the run. One instance at a time; the old handlers come back when it goes.
class CInterruptWatch : public QObject
{
    Q_OBJECT
public:
    explicit CInterruptWatch(QObject *parent = nullptr);
    ~CInterruptWatch() override;

    bool IsInterrupted() const { return m_bInterrupted; }

signals:
    void signalInterrupted();

private slots:
    void slotReadSignal();

private:
    QSocketNotifier *m_pNotifier = nullptr;
    bool m_bInterrupted = false;
};
