#include "serial/cserialmaintain.h"

#include "common/timescale.h"
#include "common/vlog.h"
#include "vaza/cvazabuffer.h"
#include "vaza/vazachecksum.h"
#include "vaza/vazafields.h"
#include "vaza/vazamessages.h"

#include <QFileInfo>
#include <QPointer>

#include <limits>

namespace
{
constexpr int RESEND_MS = 3000;
constexpr int MAX_RESENDS = 3;
constexpr int POLL_MS = 5000;
constexpr qint64 CHECKSUM_BLOCK = 64 * 1024;
// A negative status (top bit set) asks for the last piece again.
constexpr quint32 STATUS_RESEND_BIT = 0x80000000u;

// The controller is told the file's name without directory and without its last extension.
QString ControllerFileName(const QString &strPath)
{
    return QFileInfo(strPath).completeBaseName();
}
} // namespace

CSerialMaintain::CSerialMaintain(const T_BaseDevInfo &stDevInfo, QObject *parent)
    : CVazaMaintainSession(stDevInfo, parent)
{
    m_u32QueryMsgId = Vaza::ID_SerialQueryReq;
    m_u32UpgradeMsgId = Vaza::ID_SerialUpgradeReq;
    m_pSerialPort = new QSerialPort(this);
    if (!stDevInfo.strAddr.isEmpty()) {
        m_pSerialPort->setPortName(stDevInfo.strAddr);
        if (m_pSerialPort->open(QIODevice::ReadWrite)) {
            m_pSerialPort->setBaudRate(static_cast<qint32>(stDevInfo.u32Port));
            m_pSerialPort->setDataBits(QSerialPort::Data8);
            // Whatever waits in the line's buffer was meant for an earlier session.
            m_pSerialPort->clear(QSerialPort::Input);
        } else {
            m_strLastError =
                tr("cannot open serial port '%1': %2").arg(stDevInfo.strAddr, m_pSerialPort->errorString());
            VLOG(lcSerial) << m_strLastError;
        }
    }
    connect(m_pSerialPort, &QSerialPort::readyRead, this, &CSerialMaintain::slotOnReadyRead);
    connect(m_pSerialPort, &QSerialPort::errorOccurred, this, &CSerialMaintain::slotOnPortError);
    connect(&m_timerResend, &QTimer::timeout, this, &CSerialMaintain::slotReSendTime);
}

CSerialMaintain::~CSerialMaintain()
{
    m_timerResend.stop();
    QSerialPort *pPort = m_pSerialPort;
    m_pSerialPort = nullptr;
    pPort->disconnect(this);
    // Closing now releases the device for the next session at once.
    pPort->close();
    if (m_bInPortSignal) {
        // Deleted from a slot on the port's own signal: the port still runs its emission.
        pPort->setParent(nullptr);
        pPort->deleteLater();
    }
}

QByteArray CSerialMaintain::PackMsg(quint32 u32MsgId, const QByteArray &baBody)
{
    return SerialFrame::Wrap(CVazaMaintainSession::PackMsg(u32MsgId, baBody));
}

bool CSerialMaintain::SendData(const QByteArray &data)
{
    VLOG(lcSerial) << "sendData" << Velmora::Hex(data);
    if (!IsPortOpen())
        return false;
    m_baPending.clear();
    if (!DoSendData(data)) {
        m_baPending = data;
        return false;
    }
    m_baPending = data;
    m_timerResend.start(Velmora::ScaledMs(RESEND_MS));
    return true;
}

bool CSerialMaintain::DoSendData(const QByteArray &data)
{
    if (!m_pSerialPort)
        return false;
    // A refused write (port gone) is a failed send, not one that waits for a reply.
    if (m_pSerialPort->write(data) != data.size())
        return false;
    m_dtLastSend = QDateTime::currentDateTime();
    return true;
}

void CSerialMaintain::slotReSendTime()
{
    m_timerResend.stop();
    VLOG(lcSerial) << "sendData" << Velmora::Hex(m_baPending);
    if (m_i32ResendCount >= MAX_RESENDS)
        return; // silent; the caller's own watchdog ends the operation
    if (IsPortOpen()) {
        DoSendData(m_baPending);
        m_timerResend.start(Velmora::ScaledMs(RESEND_MS));
        ++m_i32ResendCount;
    }
}

void CSerialMaintain::slotOnReadyRead()
{
    // Any byte from the controller counts as an answer.
    m_timerResend.stop();
    m_i32ResendCount = 0;
    auto *pPort = qobject_cast<QSerialPort *>(sender());
    if (!pPort || pPort != m_pSerialPort)
        return;
    // A receiver of what follows may delete us; the flag is only cleared while we live.
    QPointer<CSerialMaintain> guard(this);
    m_bInPortSignal = true;
    OnReadData(pPort->readAll());
    if (guard)
        m_bInPortSignal = false;
}

void CSerialMaintain::slotOnPortError(QSerialPort::SerialPortError eError)
{
    if (eError != QSerialPort::ResourceError || !m_pSerialPort)
        return;
    // The adapter was pulled or the line hung up: nothing will come back on this port, and
    // leaving it open would only wake us with the same error again.
    const QString strReason = tr("serial port '%1' lost: %2").arg(m_stDevInfo.strAddr, m_pSerialPort->errorString());
    VLOG(lcSerial) << strReason;
    m_timerResend.stop();
    m_pSerialPort->close();
    if (m_eCurCmd != CUR_UPGRADE) {
        m_strLastError = strReason;
        return;
    }
    QPointer<CSerialMaintain> guard(this);
    m_bInPortSignal = true;
    FailUpgrade(tr("Uploading"), strReason);
    if (guard)
        m_bInPortSignal = false;
}

void CSerialMaintain::OnReadData(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    VLOG(lcSerial) << Velmora::Hex(data);
    QPointer<CSerialMaintain> guard(this);
    const int i32Errors = m_parser.ChecksumErrors();
    const int i32Handled = m_parser.Feed(data, [this, &guard](const T_VAZAMsgHead &stHead, QByteArray &baBody) {
        ProcessMsg(stHead, baBody);
        return !guard.isNull();
    });
    // A handler may have deleted us: nothing of ours is read before the guard says we live.
    if (!guard)
        return;
    const bool bNoise = m_parser.ChecksumErrors() != i32Errors || m_parser.Pending() > 0;
    if (i32Handled == 0 && bNoise && !m_baPending.isEmpty() && IsPortOpen()) {
        // The answer was lost to line noise, or what waits looks like the start of a frame
        // that may never be completed; the controller will not send it again by itself: ask
        // again after the usual wait (every byte that arrives restarts it) instead of
        // waiting for ever.
        m_timerResend.start(Velmora::ScaledMs(RESEND_MS));
    }
}

void CSerialMaintain::ProcessMsg(const T_VAZAMsgHead &stHead, QByteArray &baBody)
{
    if (stHead.u32MsgId != ID_VersionDataTransRsp) {
        CVazaMaintainSession::ProcessMsg(stHead, baBody);
        return;
    }
    if (m_eCurCmd != CUR_UPGRADE || m_ePhase != PHASE_UPLOADING) {
        // A late or repeated acknowledgement (our resend crossed its answer): taking it would
        // skip a piece or send the checksum twice.
        VLOG(lcSerial) << "acknowledgement outside a transfer, dropped";
        return;
    }
    CVazaBuffer reader;
    reader.setData(baBody);
    reader.open(QIODevice::ReadOnly);
    const quint32 u32Status = ReadUInt32(&reader);
    if (u32Status & STATUS_RESEND_BIT) {
        VLOG(lcSerial) << "controller asks for the last piece again, status" << Qt::hex << u32Status;
        if (!SendData(m_baResend))
            FailUpgrade(tr("Uploading"), tr("cannot write to the serial port"));
        return;
    }
    SendVersionDataTransReq();
}

void CSerialMaintain::FailUpgrade(const QString &strStep, const QString &strReason)
{
    AbortCmd();
    m_strLastError = strReason;
    EmitUpgrade(strStep, true, false, -1);
}

E_CmdResult CSerialMaintain::StartUpgrade(const T_UpgradeInfo &stUpgradeInfo)
{
    if (IsBusy())
        return CMD_BUSY;
    const QString strFileName = ControllerFileName(stUpgradeInfo.strFilePath);
    if (strFileName.isEmpty() || stUpgradeInfo.strDevAddr.isEmpty()) {
        m_strLastError = strFileName.isEmpty() ? tr("no file name in image path '%1'").arg(stUpgradeInfo.strFilePath)
                                               : tr("empty module address");
        return CMD_ERROR;
    }
    m_fileImage.close();
    m_fileImage.setFileName(stUpgradeInfo.strFilePath);
    if (!m_fileImage.open(QIODevice::ReadOnly) || m_fileImage.size() <= 0) {
        m_strLastError = m_fileImage.isOpen()
                             ? tr("image '%1' is empty").arg(stUpgradeInfo.strFilePath)
                             : tr("cannot open '%1': %2").arg(stUpgradeInfo.strFilePath, m_fileImage.errorString());
        m_fileImage.close();
        return CMD_ERROR;
    }
    m_stUpgradeInfo = stUpgradeInfo;
    const QByteArray baFrame = PackMsg(
        m_u32UpgradeMsgId, Vaza::BuildUpgradeReqBody(stUpgradeInfo.strDevAddr.toUtf8(), stUpgradeInfo.u32DevPort,
                                                     Vaza::STEP_START, 0, strFileName.toUtf8()));
    VLOG(lcSerial) << Velmora::Hex(baFrame);
    if (!SendData(baFrame)) {
        m_fileImage.close();
        if (m_strLastError.isEmpty())
            m_strLastError = tr("serial port '%1' is not open").arg(m_stDevInfo.strAddr);
        return CMD_CONNECT_FAIL;
    }
    m_strLastError.clear();
    m_eCurCmd = CUR_UPGRADE;
    m_ePhase = PHASE_WAIT_START;
    return CMD_OK;
}

void CSerialMaintain::ProcessVersionUpgradeRsp(QByteArray &baBody)
{
    CVazaBuffer reader;
    reader.setData(baBody);
    reader.open(QIODevice::ReadOnly);
    const QByteArray baAddr = ReadByteArray(&reader).trimmed();
    const quint32 u32Port = ReadUInt32(&reader);
    if (baAddr != m_stUpgradeInfo.strDevAddr.toUtf8() || u32Port != m_stUpgradeInfo.u32DevPort) {
        VLOG(lcSerial) << "!!!! DevAddr error:" << baAddr << u32Port << "expected" << m_stUpgradeInfo.strDevAddr
                       << m_stUpgradeInfo.u32DevPort;
        if (!m_stUpgradeInfo.strDevAddr.isEmpty())
            FailUpgrade(tr("Uploading"), tr("controller answered for module '%1' %2, expected '%3' %4")
                                             .arg(QString::fromUtf8(baAddr))
                                             .arg(u32Port)
                                             .arg(m_stUpgradeInfo.strDevAddr)
                                             .arg(m_stUpgradeInfo.u32DevPort));
        return;
    }
    const quint32 u32Step = ReadUInt32(&reader);
    const quint32 u32Value = ReadUInt32(&reader);

    if (u32Step == Vaza::STEP_START) {
        if (m_ePhase != PHASE_WAIT_START) {
            VLOG(lcSerial) << "repeated step 101 reply, dropped";
            return;
        }
        if (!m_fileImage.isOpen()) {
            FailUpgrade(tr("Uploading"), tr("image file is not open"));
            return;
        }
        m_ePhase = PHASE_UPLOADING;
        SendVersionDataTransReq();
    } else if (u32Step == Vaza::STEP_UPLOADED) {
        if (m_ePhase != PHASE_WAIT_INSTALL) {
            VLOG(lcSerial) << "step 102 reply out of order, dropped";
            return;
        }
        m_ePhase = PHASE_POLLING;
        // The first poll waits a full period: the controller has only just begun.
        m_timerCheckUpgrade.start(Velmora::ScaledMs(POLL_MS));
        EmitUpgrade(tr("Installing"), false, false, 1);
    } else if (u32Step == Vaza::STEP_PROGRESS) {
        if (m_ePhase != PHASE_POLLING) {
            VLOG(lcSerial) << "step 103 reply out of order, dropped";
            return;
        }
        if (u32Value == 100) {
            m_timerCheckUpgrade.stop();
            AbortCmd();
            EmitUpgrade(tr("Upgrade completed"), false, true, 100);
        } else {
            // Any other value is progress: the controller has no answer that means "failed"
            // here. One that stops moving is ended by the runner's silence limit. Kept
            // non-negative, as a negative figure means "no percentage".
            EmitUpgrade(tr("Installing"), false, false,
                        static_cast<int>(qMin<quint32>(u32Value, std::numeric_limits<int>::max())));
        }
    } else {
        VLOG(lcSerial) << "unknown upgrade step" << u32Step;
    }
}

void CSerialMaintain::SendVersionDataTransReq()
{
    if (!m_fileImage.isOpen()) {
        FailUpgrade(tr("Uploading"), tr("image file is not open"));
        return;
    }
    const qint64 i64Size = m_fileImage.size();
    if (m_fileImage.pos() < i64Size) {
        const QByteArray baChunk = m_fileImage.read(SerialFrame::CHUNK);
        if (baChunk.isEmpty()) {
            FailUpgrade(tr("Uploading"),
                        tr("cannot read '%1': %2").arg(m_stUpgradeInfo.strFilePath, m_fileImage.errorString()));
            return;
        }
        CVazaBuffer writer;
        writer.open(QIODevice::WriteOnly);
        WriteByteArray(&writer, baChunk);
        VLOG(lcSerial) << "vazaBuffer" << Velmora::Hex(writer.data());
        m_baResend = PackMsg(ID_VersionDataTransReq, writer.data());
        const bool bSent = SendData(m_baResend);
        const int i32Progress = static_cast<int>(m_fileImage.pos() * 100 / i64Size);
        if (!bSent) {
            // A failed write ends the upgrade here: nothing would ever acknowledge it.
            FailUpgrade(tr("Uploading"), tr("cannot write to serial port '%1'").arg(m_stDevInfo.strAddr));
            return;
        }
        EmitUpgrade(tr("Uploading"), false, false, i32Progress);
        return;
    }

    if (!m_fileImage.seek(0)) {
        FailUpgrade(tr("Uploading"), tr("cannot rewind '%1'").arg(m_stUpgradeInfo.strFilePath));
        return;
    }
    QByteArray baBlock(CHECKSUM_BLOCK, Qt::Uninitialized);
    quint8 u8Xor = 0;
    for (;;) {
        const qint64 i64Read = m_fileImage.read(baBlock.data(), baBlock.size());
        if (i64Read < 0) {
            FailUpgrade(tr("Upload Completed"),
                        tr("cannot read back '%1': %2").arg(m_stUpgradeInfo.strFilePath, m_fileImage.errorString()));
            return;
        }
        if (i64Read == 0)
            break;
        u8Xor ^= XorChecksum(baBlock.constData(), i64Read);
    }
    const quint32 u32Checksum = SerialFrame::SignExtendedXor(u8Xor);
    m_ePhase = PHASE_WAIT_INSTALL;
    m_baResend = PackMsg(m_u32UpgradeMsgId,
                         Vaza::BuildUpgradeReqBody(m_stUpgradeInfo.strDevAddr.toUtf8(), m_stUpgradeInfo.u32DevPort,
                                                   Vaza::STEP_UPLOADED, u32Checksum,
                                                   ControllerFileName(m_stUpgradeInfo.strFilePath).toUtf8()));
    if (!SendData(m_baResend)) {
        FailUpgrade(tr("Upload Completed"), tr("cannot write to serial port '%1'").arg(m_stDevInfo.strAddr));
        return;
    }
    EmitUpgrade(tr("Upload Completed"), false, false, 100);
}
