#include "cdevforms.h"

#include "formmaintain.h"
#include "product/productconfig.h"
#include "session/cmaintainagent.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

CDevForms::CDevForms(QMdiArea *pArea, CMaintainAgent *pAgent, QObject *parent)
    : QObject(parent), m_pArea(pArea), m_pAgent(pAgent)
{
}

QList<QMdiSubWindow *> CDevForms::Windows() const
{
    // Found through the forms, not the area's window list: this runs while the batch form's
    // window is being destroyed, and that list still holds it half gone.
    QList<QMdiSubWindow *> lstWindows;
    for (CFormMaintain *pForm : m_pArea->findChildren<CFormMaintain *>())
        if (auto *pWindow = qobject_cast<QMdiSubWindow *>(pForm->parentWidget()))
            lstWindows.append(pWindow);
    return lstWindows;
}

CFormMaintain *CDevForms::Find(const QString &strHostName) const
{
    for (QMdiSubWindow *pWindow : Windows()) {
        auto *pForm = qobject_cast<CFormMaintain *>(pWindow->widget());
        if (pForm && pForm->HostName() == strHostName)
            return pForm;
    }
    return nullptr;
}

bool CDevForms::IsBusy(const QString &strHostName) const
{
    const CFormMaintain *pForm = strHostName.isEmpty() ? nullptr : Find(strHostName);
    return pForm && pForm->IsBusy();
}

bool CDevForms::AnyBusy() const
{
    for (QMdiSubWindow *pWindow : Windows())
        if (qobject_cast<CFormMaintain *>(pWindow->widget())->IsBusy())
            return true;
    return false;
}

void CDevForms::Close(const QString &strHostName)
{
    if (CFormMaintain *pForm = Find(strHostName)) {
        auto *pWindow = qobject_cast<QMdiSubWindow *>(pForm->parentWidget());
        m_pArea->removeSubWindow(pWindow);
        delete pWindow;
    }
}

void CDevForms::CloseAll()
{
    for (QMdiSubWindow *pWindow : Windows()) {
        m_pArea->removeSubWindow(pWindow);
        delete pWindow;
    }
}

void CDevForms::Show(const QString &strHostName)
{
    if (CFormMaintain *pForm = Find(strHostName)) {
        m_pArea->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(pForm->parentWidget()));
        return;
    }
    const int i32Index = m_pAgent->IndexOf(strHostName);
    if (i32Index < 0)
        return;
    auto *pForm = new CFormMaintain(m_pAgent->DeviceAt(i32Index), m_pAgent);
    // The window would shrink the form to its smallest size: it gets the form's own size back.
    const QSize formSize = pForm->size();
    QMdiSubWindow *pWindow = m_pArea->addSubWindow(pForm);
    pWindow->setWindowTitle(GetProductName(strHostName));
    pWindow->setWindowIcon(QIcon(QStringLiteral(":/app.ico")));
    pWindow->setAttribute(Qt::WA_DeleteOnClose);
    connect(pForm, &CFormMaintain::signalRunningChanged, this, &CDevForms::signalBusyChanged);
    // Queued: the list of forms is asked again only once the closed one is gone from it.
    connect(pForm, &QObject::destroyed, this, &CDevForms::signalBusyChanged, Qt::QueuedConnection);
    pWindow->show();
    // Bounded by the area: a larger window would hide the form's last columns behind the
    // border. The frame is known only once the window is laid out.
    QTimer::singleShot(0, pWindow, [this, pWindow, pForm, formSize] {
        const QSize frame = pWindow->size() - pForm->size();
        pWindow->resize((formSize + frame).boundedTo(m_pArea->viewport()->size()));
    });
}
