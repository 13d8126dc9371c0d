#pragma once

#include "session/cbasemaintainsession.h"

#include <QObject>
#include <QTimer>

#include <memory>

class CHttpAgent;
class CLogView;
class CMaintainAgent;
class CRollout;
class QPlainTextEdit;
class QTreeWidget;
class QWidget;

// The batch form's System Info and Log tabs. They show one device, the information device:
// the one the main window last made current. One request at a time: from the device's
// acceptance of a request until its answer, for at most 5000 ms, the form is locked; answers
// are taken only from the information device; and ending a request, by its answer or the
// time-out, never aborts a device that the batch is upgrading.
class CBatchInfoTabs : public QObject
{
    Q_OBJECT
public:
    // Nothing is owned: the agents and the rollout outlive this object, the widgets are the
    // form's. pLocked is disabled while a request is out.
    CBatchInfoTabs(CMaintainAgent *pAgent, CHttpAgent *pHttpAgent, const CRollout *pRollout, QTreeWidget *pSysInfo,
                   QPlainTextEdit *pLog, QWidget *pLocked, QObject *parent = nullptr);
    ~CBatchInfoTabs() override;

    // Empties both views: what they show from now on is this device's.
    void SetDevice(const T_BaseDevInfo &stDevInfo);
    void ReadSysInfo();
    void ReadLog();

signals:
    // The information device's HTTP version page, passed on for the main window's list.
    void signalHttpVersion(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                           QByteArray strData);

private slots:
    void slotDevVersion(T_BaseDevInfo stDevInfo, bool bError, CBaseMaintainSession::E_InfoDataType e32DataType,
                        QByteArray strData);
    void slotOnDownloadLogNotify(T_BaseDevInfo stDevInfo, QByteArray strLogText, bool bError, bool bFinished);
    void slotResTimeOut();

private:
    bool IsInformationDevice(const T_BaseDevInfo &stDevInfo) const;
    bool InRunningRollout() const;
    void WaitForAnswer();
    // The information device may be mid-upgrade: ending a request must not cut its upload.
    void AbortInformationRequest();
    void EndInformationRequest();

    CMaintainAgent *m_pAgent;
    CHttpAgent *m_pHttpAgent;
    const CRollout *m_pRollout;
    QTreeWidget *m_pSysInfo;
    QWidget *m_pLocked;
    std::unique_ptr<CLogView> m_pLogView;
    T_BaseDevInfo m_stInfoDev;
    QTimer m_timerRes;
    bool m_bWaitingInfo = false;
};
