#include "telnet/ctelnetreboot.h"

#include "common/vlog.h"
#include "telnet/ctelnetcomm.h"
#include "telnet/ctelnetnamereader.h"

CTelnetReboot::CTelnetReboot(const QString &strHostName, const QString &strAddr, quint16 u16Port, QObject *parent)
    : QObject(parent), m_strHostName(strHostName), m_strAddr(strAddr),
      m_pComm(new CTelnetComm(QStringLiteral("gb"), QString(), strAddr, u16Port))
{
    connect(m_pComm, &CBaseComm::OnConnected, this, [this] { m_bConnected = true; });
    connect(m_pComm, &CBaseComm::OnRecvData, this, [this](const QByteArray &ba) { m_baLastText = ba.right(256); });
    connect(m_pComm, &CBaseComm::OnSendQueueReturn, this,
            [this](E_CommResult eResult) { Finish(TelnetFailureReason(eResult, m_bConnected, m_baLastText)); });
}

CTelnetReboot::~CTelnetReboot()
{
    if (m_pComm) {
        m_pComm->disconnect(this);
        m_pComm->deleteLater();
    }
}

bool CTelnetReboot::Start()
{
    if (!m_pComm || !m_pComm->Connect())
        return false;
    m_pComm->Reboot();
    return true;
}

void CTelnetReboot::Finish(const QString &strReason)
{
    if (m_bDone)
        return;
    m_bDone = true;
    VLOG(lcTelnet) << m_strHostName << m_strAddr << strReason;
    // The channel is inside its own signal: it goes on the next turn and says nothing more.
    m_pComm->disconnect(this);
    m_pComm->Close();
    m_pComm->deleteLater();
    m_pComm = nullptr;
    emit finished(m_strHostName, strReason);
}
