#include "session/cbasemaintainsession.h"

#include "common/vlog.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpSocket>

namespace Velmora
{
void RegisterMaintainMetaTypes()
{
    qRegisterMetaType<T_BaseDevInfo>("T_BaseDevInfo");
    qRegisterMetaType<T_UpgradeInfo>("T_UpgradeInfo");
    qRegisterMetaType<E_CmdResult>("E_CmdResult");
    qRegisterMetaType<CBaseMaintainSession::E_InfoDataType>("CBaseMaintainSession::E_InfoDataType");
    qRegisterMetaType<quint32>("UInt32");
}
} // namespace Velmora

namespace
{
void RegisterAtStartup()
{
    Velmora::RegisterMaintainMetaTypes();
}
} // namespace
Q_COREAPP_STARTUP_FUNCTION(RegisterAtStartup)

CBaseMaintainSession::CBaseMaintainSession(const T_BaseDevInfo &stDevInfo, QObject *parent)
    : QObject(parent), m_stDevInfo(stDevInfo)
{
    Velmora::RegisterMaintainMetaTypes();
}

CBaseMaintainSession::~CBaseMaintainSession()
{
    if (m_pSocket)
        ReleaseSocket(m_pSocket, false);
}

void CBaseMaintainSession::ReleaseSocket(QTcpSocket *pSocket, bool bAbort)
{
    // A session may be deleted from a slot of its own notification, which runs inside the
    // socket's readyRead; Qt goes on using the socket after that slot returns. So the
    // socket never dies with the session: it is detached and deleted by the event loop.
    pSocket->disconnect(this);
    pSocket->setParent(nullptr);
    if (bAbort)
        pSocket->abort();
    else
        pSocket->disconnectFromHost();
    pSocket->deleteLater();
}

int CBaseMaintainSession::AbortCmd()
{
    const int eWas = m_eCurCmd;
    m_eCurCmd = CUR_NONE;
    return eWas;
}

void CBaseMaintainSession::StartConnect()
{
    m_pSocket->abort();
    m_pSocket->connectToHost(QHostAddress(m_stDevInfo.strAddr), static_cast<quint16>(m_stDevInfo.u32Port & 0xFFFF),
                             QIODevice::ReadWrite);
}

bool CBaseMaintainSession::SendData(const QByteArray &data)
{
    bool bJustStarted = false;
    if (!m_pSocket) {
        bJustStarted = true;
        m_pSocket = new QTcpSocket(this);
        connect(m_pSocket, &QTcpSocket::connected, this, &CBaseMaintainSession::slotOnConneced);
        connect(m_pSocket, &QTcpSocket::readyRead, this, &CBaseMaintainSession::slotOnReadyRead);
        connect(m_pSocket, &QAbstractSocket::errorOccurred, this, &CBaseMaintainSession::slotOnDisconnect);
        StartConnect();
    }
    if (DoSendData(data))
        return true;

    // Only the last request waits: a newer one replaces an older one that never went out.
    m_baPending = data;
    VLOG(lcSession) << "connectToHost" << m_stDevInfo.strAddr << ":" << (m_stDevInfo.u32Port & 0xFFFF);
    // A request while a connection attempt is under way restarts it; one that has just
    // been started is left alone, or every first request would cost the device a
    // half-open connection that is reset at once.
    if (!bJustStarted)
        StartConnect();
    return false;
}

bool CBaseMaintainSession::DoSendData(const QByteArray &data)
{
    if (!m_pSocket || m_pSocket->state() != QAbstractSocket::ConnectedState)
        return false;
    VLOG(lcSession) << Velmora::Hex(data);
    m_pSocket->write(data);
    m_dtLastSend = QDateTime::currentDateTime();
    return true;
}

void CBaseMaintainSession::OnConneced()
{
    auto *pSocket = qobject_cast<QTcpSocket *>(sender());
    if (!pSocket)
        pSocket = m_pSocket;
    if (pSocket && !m_baPending.isEmpty()) {
        pSocket->write(m_baPending);
        m_dtLastSend = QDateTime::currentDateTime();
    }
}

void CBaseMaintainSession::slotOnConneced()
{
    m_strSocketError.clear();
    m_eSocketError = QAbstractSocket::UnknownSocketError;
    OnConneced();
}

void CBaseMaintainSession::slotOnReadyRead()
{
    auto *pDev = qobject_cast<QIODevice *>(sender());
    if (!pDev || pDev->bytesAvailable() <= 0)
        return;
    OnReadData(pDev->readAll());
}

void CBaseMaintainSession::slotOnDisconnect(QAbstractSocket::SocketError eError)
{
    auto *pSocket = qobject_cast<QTcpSocket *>(sender());
    VLOG(lcSession) << m_stDevInfo.strAddr << eError << (pSocket ? pSocket->errorString() : QString());
    if (!pSocket)
        pSocket = m_pSocket;
    if (!pSocket)
        return;
    m_strSocketError = pSocket->errorString();
    m_eSocketError = eError;
    // Deferred: we may be inside the socket's own signal emission.
    ReleaseSocket(pSocket, false);
    if (pSocket == m_pSocket)
        m_pSocket = nullptr;
}
