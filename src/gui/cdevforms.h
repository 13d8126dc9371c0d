#pragma once

#include <QList>
#include <QObject>

class CFormMaintain;
class CMaintainAgent;
class QMdiArea;
class QMdiSubWindow;

// The single-device forms of the window's document area, at most one per device, found by
// the device's host name. A working form (IsBusy) keeps its device's row and session: the
// window asks here before it searches, removes or reboots.
class CDevForms : public QObject
{
    Q_OBJECT
public:
    CDevForms(QMdiArea *pArea, CMaintainAgent *pAgent, QObject *parent = nullptr);

    CFormMaintain *Find(const QString &strHostName) const;
    // Opens the form of a device the agent knows, titled with its display name, or brings
    // its open form forward.
    void Show(const QString &strHostName);
    bool IsBusy(const QString &strHostName) const;
    bool AnyBusy() const;
    // Taken out of the area and deleted: the form's session goes with it.
    void Close(const QString &strHostName);
    void CloseAll();

signals:
    // A form started or ended an operation, or is gone: what AnyBusy() says may have changed.
    void signalBusyChanged();

private:
    QList<QMdiSubWindow *> Windows() const;

    QMdiArea *m_pArea;
    CMaintainAgent *m_pAgent;
};
