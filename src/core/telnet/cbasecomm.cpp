#include "telnet/cbasecomm.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "telnet/telnetnegotiation.h"
#include "telnet/telnetreply.h"

#include <QDateTime>

namespace
{

constexpr char kIac = '\xff';

// GUI thread only, like every channel.
int s_iLiveCount = 0;

// Device bytes go to the log in hexadecimal, but a flood is not copied into it whole.
QString LogHex(const QByteArray &ba)
{
    constexpr int kMaxLogged = 512;
    if (ba.size() <= kMaxLogged)
        return Velmora::Hex(ba);
    return Velmora::Hex(ba.left(kMaxLogged)) + QStringLiteral(" ... (%1 bytes)").arg(ba.size());
}

} // namespace

const QByteArray CBaseComm::s_promptEnd(TelnetReply::kPromptEnd);
const QByteArray CBaseComm::s_rootPrompt(TelnetReply::kRootPrompt);
const QByteArray CBaseComm::s_loginPrompt("login: ");
const QByteArray CBaseComm::s_monitorInfoCmd("cat /sys/devices/platform/display/monitor_info");

CBaseComm::CBaseComm(const QString &strCmdPrefix, const QString &strTarget, QObject *parent)
    : QObject(parent), m_target(strTarget), m_cmdPrefix(strCmdPrefix),
      m_showConfigCmd(QStringLiteral("%1config --show").arg(strCmdPrefix)), m_user(QStringLiteral("root")),
      m_reads(strCmdPrefix, strTarget)
{
    qRegisterMetaType<E_CommResult>("E_CommResult");
    ++s_iLiveCount;
    connect(&m_checker, &QTimer::timeout, this, &CBaseComm::slotOnCheckerTimeOut);
}

CBaseComm::~CBaseComm()
{
    Reset();
    --s_iLiveCount;
}

int CBaseComm::LiveCount()
{
    return s_iLiveCount;
}

void CBaseComm::Reset()
{
    ++m_u64Generation;
    m_promptCount = 0;
    m_listing = false;
    m_reads.ForgetParam();
    m_lastSend.clear();
    m_lastLine.clear();
    m_recvBuffer.clear();
    m_checker.stop();
}

bool CBaseComm::TakeLive()
{
    const bool bWas = m_bLive;
    m_bLive = false;
    return bWas;
}

bool CBaseComm::TakeSentReboot()
{
    if (m_lastSend.trimmed() != "reboot" || m_sendQueue.isEmpty() || m_sendQueue.first() != m_lastSend)
        return false;
    m_sendQueue.removeFirst();
    return true;
}

bool CBaseComm::Close()
{
    m_bLive = false;
    Reset();
    return true;
}

// ---- queue ---------------------------------------------------------------------------

bool CBaseComm::PushSendData(const char *cmd, bool bNewLine)
{
    QByteArray entry;
    if (!cmd) {
        if (!bNewLine)
            return false;
        entry = "\r\n";
    } else {
        entry = QByteArray(cmd);
        if (bNewLine)
            entry += "\r\n";
    }
    return Queue(entry);
}

bool CBaseComm::Queue(const QByteArray &entry)
{
    m_sendQueue.append(entry);
    if (IsConnected() && m_promptCount > 0 && !m_checker.isActive())
        CheckSendNext();
    VLOG(lcTelnet) << "m_sendQueue=" << m_sendQueue.size();
    return true;
}

void CBaseComm::CheckSendNext()
{
    VLOG(lcTelnet) << "m_sendQueue=" << m_sendQueue.size();
    if (m_sendQueue.isEmpty()) {
        VLOG(lcTelnet) << "SendQueueReturn";
        emit OnSendQueueReturn(COMM_OK);
        return;
    }
    m_lastSend = m_sendQueue.first();
    SendData(m_lastSend, false);
}

void CBaseComm::QueueAdvance()
{
    if (!m_sendQueue.isEmpty() && m_sendQueue.first() == m_lastSend)
        m_sendQueue.removeFirst();
    CheckSendNext();
}

void CBaseComm::ClearSendQueue()
{
    VLOG(lcTelnet) << "cleared" << m_sendQueue.size();
    m_sendQueue.clear();
}

bool CBaseComm::SendData(const QByteArray &data, bool bNewLine)
{
    VLOG(lcTelnet) << ">>>> SendData:" << LogHex(data);
    const bool bOk = WriteData(data, bNewLine);
    emit OnSendData(data, bOk);
    if (!bOk)
        slotOnSendFailed();
    return bOk;
}

void CBaseComm::StartTimeOutChecker(int msec)
{
    if (m_checker.isActive())
        m_checker.stop();
    VLOG(lcTelnet) << "StartChecker:" << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << msec;
    m_checker.start(Velmora::ScaledMs(msec));
}

void CBaseComm::RestartChecker()
{
    m_checker.stop();
    m_checker.start();
}

void CBaseComm::slotOnCheckerTimeOut()
{
    VLOG(lcTelnet) << QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    m_checker.stop();
    // Asked before closing: the close aborts the socket, after which nothing is connecting.
    const bool bConnecting = IsConnecting();
    Close();
    emit OnSendQueueReturn(bConnecting ? COMM_TIMEOUT_CONNECTING : COMM_TIMEOUT);
}

void CBaseComm::slotOnSendFailed()
{
    VLOG(lcTelnet) << "Send failed";
    m_checker.stop();
    Close();
    emit OnSendQueueReturn(COMM_FAILED);
}

// ---- command set ----------------------------------------------------------------------

bool CBaseComm::ReadParam(const QString &strName, int mode)
{
    QString strMode;
    if (mode == PARAM_READ_RO)
        strMode = QStringLiteral("r");
    else if (mode == PARAM_READ)
        strMode = QStringLiteral("g");
    else {
        m_reads.ForgetParam();
        return false;
    }
    return Queue(QStringLiteral("%1param %2 %3 %4").arg(m_cmdPrefix, strMode, m_target, strName).toUtf8() + "\r\n");
}

bool CBaseComm::WriteParam(const QString &strName, const QString &strValue)
{
    return Queue(QStringLiteral("%1param s %2 %3 %4").arg(m_cmdPrefix, m_target, strName, strValue).toUtf8() + "\r\n");
}

bool CBaseComm::SaveParam()
{
    return Queue(QStringLiteral("%1param save %2").arg(m_cmdPrefix, m_target).toLatin1() + "\r\n");
}

bool CBaseComm::SendECommand(const QString &strArg)
{
    return Queue(QStringLiteral("e %1 %2").arg(m_target, strArg).toLatin1() + "\r\n");
}

bool CBaseComm::SetOsd(bool bOn)
{
    const QString strLine =
        bOn ? QStringLiteral("osd_on.sh %1 123456").arg(m_target) : QStringLiteral("osd_off.sh %1 0").arg(m_target);
    return Queue(strLine.toLatin1() + "\r\n");
}

bool CBaseComm::ReadOption(const QString &strName)
{
    return Queue(QStringLiteral("%1get %2").arg(m_cmdPrefix, strName).toLatin1() + "\r\n");
}

bool CBaseComm::WriteOption(const QString &strName, const QString &strValue)
{
    return Queue(QStringLiteral("%1set -%2 %3").arg(m_cmdPrefix, strName, strValue).toLatin1() + "\r\n");
}

bool CBaseComm::ReadConfig(const QString &strName)
{
    return Queue(QStringLiteral("%1 %2").arg(m_showConfigCmd, strName).toLatin1() + "\r\n");
}

bool CBaseComm::WriteConfig(const QString &strArgs)
{
    return Queue(QStringLiteral("%1config %2").arg(m_cmdPrefix, strArgs).toLatin1() + "\r\n");
}

bool CBaseComm::WriteViOption(const QString &strArg)
{
    return Queue(QStringLiteral("%1set -vi %2 %3").arg(m_cmdPrefix, m_target, strArg).toLatin1() + "\r\n");
}

bool CBaseComm::ReadMonitorInfo()
{
    return Queue(s_monitorInfoCmd + "\r\n");
}

bool CBaseComm::Reboot()
{
    return PushSendData("reboot", true);
}

// ---- receive path ---------------------------------------------------------------------

void CBaseComm::OnReceiveData(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    // Telnet pads a bare CR with a zero byte; a read of nothing but padding is no new text,
    // and must not make the prompt already in the buffer count (and advance the queue) twice.
    if (data.at(0) != kIac && data.count('\0') == data.size())
        return;
    if (data.at(0) == kIac && !m_recvBuffer.isEmpty() && m_recvBuffer.at(0) != kIac)
        m_recvBuffer.clear(); // an unterminated text tail is dropped when negotiation starts
    m_recvBuffer.append(data);
    if (m_recvBuffer.at(0) == kIac && !AnswerNegotiation())
        return;
    ProcessText();
}

// True when text is left in the buffer to read on.
bool CBaseComm::AnswerNegotiation()
{
    VLOG(lcTelnet) << "<<<< OnReceiveDataHex: \"" + QString::fromLatin1(m_recvBuffer.left(256).toHex()) + "\"";
    const TelnetNegotiation::T_Opening st = TelnetNegotiation::AnswerOpening(m_recvBuffer, kMaxTail);
    m_recvBuffer = st.baRest;
    if (!st.baReply.isEmpty()) {
        if (st.bByOption)
            VLOG(lcTelnet) << "answered option by option";
        // Sending may close the channel from inside (a failed write): nothing is read on then.
        const quint64 u64Gen = m_u64Generation;
        if (!SendData(st.baReply, false) || u64Gen != m_u64Generation)
            return false;
        m_recvBuffer = st.baRest;
    }
    return st.bReadOn;
}

void CBaseComm::ProcessText()
{
    const quint64 u64Gen = m_u64Generation;
    m_recvBuffer.replace('\0', QByteArray());
    VLOG(lcTelnet) << "<<<< OnReceiveData(m_recvBuffer):" << LogHex(m_recvBuffer);
    emit OnRecvData(m_recvBuffer);
    if (u64Gen != m_u64Generation)
        return;

    // Take every complete line out first: a slot may close or refill the channel meanwhile.
    QByteArray tail;
    const QList<QByteArray> lines = TelnetReply::SplitLines(m_recvBuffer, tail);
    m_recvBuffer = tail;
    for (const QByteArray &line : lines) {
        DueReceiveLine(line);
        if (u64Gen != m_u64Generation)
            return;
        m_lastLine = line;
    }

    if (tail.isEmpty())
        return;
    if (tail.size() >= kMaxTail) {
        VWARN(lcTelnet) << QStringLiteral("Recv line length(%1) too long. \n").arg(tail.size()) << LogHex(tail);
        m_recvBuffer.clear();
        return;
    }
    const bool bPrompt = TelnetReply::EndsWithNoCase(tail, s_promptEnd);
    if (bPrompt) {
        m_checker.stop();
    } else if (m_lastSend.trimmed() == "reboot") {
        m_checker.stop();
        QueueAdvance();
        return;
    }
    if (AnswerLogin(tail))
        return;
    DueReceiveLine(tail);
    if (u64Gen != m_u64Generation)
        return;
    if (bPrompt)
        QueueAdvance();
}

bool CBaseComm::AnswerLogin(const QByteArray &tail)
{
    QByteArray answer;
    if (TelnetReply::EndsWithNoCase(tail, s_loginPrompt))
        answer = m_user.toUtf8();
    else if (TelnetReply::EndsWithNoCase(tail, "Password: "))
        answer = m_password.toUtf8();
    else if (tail.startsWith("ubuntu@"))
        answer = "sudo su";
    else if (tail == "[sudo] password for ubuntu: ")
        answer = m_password.toUtf8();
    else if (tail.contains("incorrect password")) {
        m_checker.stop();
        emit OnSendQueueReturn(COMM_FAILED);
        return true;
    } else
        return false;
    RestartChecker();
    m_listing = false;
    SendData(answer, true);
    return true;
}

// ---- reply parser ---------------------------------------------------------------------

void CBaseComm::DueReceiveLine(const QByteArray &line)
{
    const quint64 u64Gen = m_u64Generation;
    QByteArray code;
    if (TelnetReply::ParseDisplayLine(line, code)) {
        VLOG(lcTelnet) << "get SinkInfo:" << code;
        emit OnReadParam("sinkinfo", code, code.isEmpty() ? COMM_FAILED : COMM_OK);
        if (u64Gen != m_u64Generation)
            return;
    }
    if (TelnetReply::IsExitStatusLine(m_lastSend, m_lastLine)) {
        m_lastLine.clear();
        VLOG(lcTelnet) << "OnExecResult: " << LogHex(m_lastSend) << "=" << LogHex(line);
        emit OnExecResult(m_lastSend, line);
        if (u64Gen != m_u64Generation)
            return;
    }
    int iPrompts = 0;
    CShellReads::T_Read stRead;
    const bool bRead = m_reads.TakeLine(line, m_lastLine, iPrompts, stRead);
    if (iPrompts > 0) {
        // Every prompt stops the checker, whether or not a read waits for it.
        m_checker.stop();
        m_promptCount += iPrompts;
    }
    if (bRead) {
        EmitRead(stRead);
        m_listing = false;
        return;
    }
    TelnetReply::T_ListedDevice stDevice;
    switch (TelnetReply::ParseListLine(line, m_listing, stDevice)) {
    case TelnetReply::LIST_BEGIN:
        m_listing = true;
        break;
    case TelnetReply::LIST_END:
        m_listing = false;
        VLOG(lcTelnet) << "list device end.";
        emit OnNodelistEnd();
        break;
    case TelnetReply::LIST_DEVICE:
        emit OnListDevice(stDevice.baIpAddr, stDevice.baHostName, stDevice.baStatus);
        break;
    case TelnetReply::LIST_NONE:
        break;
    }
}

void CBaseComm::EmitRead(const CShellReads::T_Read &stRead)
{
    const E_CommResult eResult = stRead.bOk ? COMM_OK : COMM_FAILED;
    switch (stRead.eRead) {
    case CShellReads::READ_PARAM:
        VLOG(lcTelnet) << "Read param:" << LogHex(stRead.baName) << "=" << LogHex(stRead.baValue);
        emit OnReadParam(stRead.baName, stRead.baValue, eResult);
        break;
    case CShellReads::READ_OPTION:
        VLOG(lcTelnet) << "Read option:" << LogHex(stRead.baName) << "=" << LogHex(stRead.baValue);
        emit OnReadOption(stRead.baName, stRead.baValue, eResult);
        break;
    case CShellReads::READ_CONFIG:
        VLOG(lcTelnet) << "Read Config:" << LogHex(stRead.baName) << "=" << LogHex(stRead.baValue);
        emit OnReadConfig(stRead.baName, stRead.baValue, eResult);
        break;
    case CShellReads::READ_NONE:
        break;
    }
}
