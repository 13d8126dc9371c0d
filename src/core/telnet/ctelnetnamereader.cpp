#include "telnet/ctelnetnamereader.h"

#include "common/vlog.h"
#include "product/httpmodels.h"
#include "telnet/ctelnetcomm.h"

#include <QCoreApplication>

namespace
{
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

QString DecodeDeviceName(const QByteArray &baValue)
{
    // Every escape is undone, not only those a URL would show decoded: read as a URL, a name
    // such as "Room 1 / floor 2" kept its slash as %2F, and '#', '?', ':' and '%' likewise.
    // A '%' that starts no escape is the name's own character; Qt's decoder made a byte of
    // whatever two characters followed it.
    QByteArray baBytes;
    baBytes.reserve(baValue.size());
    const int iSize = baValue.size();
    for (int i = 0; i < iSize; ++i) {
        const char c = baValue.at(i);
        const int iHigh = c == '%' && i + 2 < iSize ? HexDigit(baValue.at(i + 1)) : -1;
        const int iLow = iHigh >= 0 ? HexDigit(baValue.at(i + 2)) : -1;
        if (iLow < 0) {
            baBytes += c;
            continue;
        }
        baBytes += static_cast<char>(iHigh * 16 + iLow);
        i += 2;
    }
    return QString::fromUtf8(baBytes);
}

QString TelnetPrefixFor(const QString &strHostName)
{
    return Velmora::IsHttpHostModel(strHostName) ? QStringLiteral("ast") : QStringLiteral("gb");
}

QString TelnetFailureReason(E_CommResult eResult, bool bConnected, const QByteArray &baLastText)
{
    switch (eResult) {
    case COMM_OK:
        return QString();
    case COMM_TIMEOUT_CONNECTING:
        return QCoreApplication::translate("CTelnetNameReader", "time out connecting");
    case COMM_TIMEOUT:
        return bConnected ? QCoreApplication::translate("CTelnetNameReader", "time out: the shell stopped answering")
                          : QCoreApplication::translate("CTelnetNameReader", "time out connecting");
    case COMM_FAILED:
        break;
    }
    if (!bConnected)
        return QCoreApplication::translate("CTelnetNameReader", "cannot connect to the telnet service");
    if (baLastText.contains("incorrect password"))
        return QCoreApplication::translate("CTelnetNameReader", "login refused: incorrect password");
    return QCoreApplication::translate("CTelnetNameReader", "connection closed by the device");
}

CTelnetNameReader::CTelnetNameReader(int iMaxOpen, quint16 u16Port, QObject *parent)
    : QObject(parent), m_iMaxOpen(qMax(1, iMaxOpen)), m_u16Port(u16Port)
{
    qRegisterMetaType<T_TelnetNameResult>("T_TelnetNameResult");
}

CTelnetNameReader::~CTelnetNameReader()
{
    for (T_Job *pJob : qAsConst(m_running)) {
        if (pJob->pComm) {
            pJob->pComm->disconnect(this);
            pJob->pComm->deleteLater();
        }
        delete pJob;
    }
    qDeleteAll(m_pending);
}

void CTelnetNameReader::Add(const QString &strHostName, const QString &strAddr)
{
    for (T_Job *pJob : qAsConst(m_pending)) {
        if (pJob->st.strHostName == strHostName) {
            pJob->st.strAddr = strAddr;
            return;
        }
    }
    auto *pJob = new T_Job;
    pJob->st.strHostName = strHostName;
    pJob->st.strAddr = strAddr;
    m_pending.append(pJob);
    if (m_bStarted && m_iOpen < m_iMaxOpen)
        OpenNext();
}

void CTelnetNameReader::Start()
{
    m_bStarted = true;
    if (m_pending.isEmpty()) {
        // Never from inside the call that starts the work.
        QMetaObject::invokeMethod(this, &CTelnetNameReader::finished, Qt::QueuedConnection);
        return;
    }
    while (m_iOpen < m_iMaxOpen && !m_pending.isEmpty())
        OpenNext();
}

void CTelnetNameReader::OpenNext()
{
    T_Job *pJob = m_pending.takeFirst();
    m_running.append(pJob);
    auto *pComm = new CTelnetComm(TelnetPrefixFor(pJob->st.strHostName), QString(), pJob->st.strAddr, m_u16Port);
    pJob->pComm = pComm;
    ++m_iOpen;
    m_iPeakOpen = qMax(m_iPeakOpen, m_iOpen);
    connect(pComm, &CBaseComm::OnConnected, this, [pJob] { pJob->bConnected = true; });
    connect(pComm, &CBaseComm::OnRecvData, this, [pJob](const QByteArray &ba) { pJob->baLastText = ba.right(256); });
    connect(pComm, &CBaseComm::OnReadParam, this,
            [this, pJob](const QByteArray &baName, const QByteArray &baValue, E_CommResult eResult) {
                if (baName != "name")
                    return;
                pJob->st.bOk = eResult == COMM_OK;
                if (pJob->st.bOk)
                    pJob->st.strName = DecodeDeviceName(baValue);
                else
                    pJob->st.strReason = tr("the device has no name parameter");
                Finish(pJob);
            });
    connect(pComm, &CBaseComm::OnSendQueueReturn, this, [this, pJob](E_CommResult eResult) {
        if (eResult == COMM_OK)
            pJob->st.strReason = tr("the shell gave no name");
        else
            pJob->st.strReason = TelnetFailureReason(eResult, pJob->bConnected, pJob->baLastText);
        Finish(pJob);
    });
    // The read is queued first: a channel that cannot even start reports it below.
    pComm->ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ);
    if (!pComm->Connect()) {
        pJob->st.strReason = tr("not an IP address");
        // Reported on the next turn, like every other ending.
        QMetaObject::invokeMethod(
            this, [this, pJob] { Finish(pJob); }, Qt::QueuedConnection);
    }
}

void CTelnetNameReader::Finish(T_Job *pJob)
{
    if (pJob->bDone)
        return;
    pJob->bDone = true;
    // The channel may be inside its own signal: it goes on the next turn, and says nothing more.
    // Its connection is closed now, so the bound on open channels holds for sockets too.
    pJob->pComm->disconnect(this);
    pJob->pComm->Close();
    pJob->pComm->deleteLater();
    pJob->pComm = nullptr;
    m_running.removeOne(pJob);
    --m_iOpen;
    const T_TelnetNameResult st = pJob->st;
    delete pJob;
    VLOG(lcTelnet) << st.strHostName << st.bOk << st.strReason;
    if (!m_pending.isEmpty())
        OpenNext();
    emit nameRead(st);
    if (m_iOpen == 0 && m_pending.isEmpty())
        emit finished();
}
