#pragma once

#include "serial/serialframe.h"
#include "vaza/cvazamaintainsession.h"

#include <QSerialPort>
#include <QTimer>

// The Vaza session on a serial line, for the microcontroller: every message travels in a
// serial frame, the image goes inside the messages in 960-byte pieces, each acknowledged
// before the next, and a frame left unanswered for 3 s is written again, at most three
// times. The port is opened at construction (name in strAddr, baud rate in u32Port);
// without it every send fails. May be deleted from inside its own signals.
class CSerialMaintain : public CVazaMaintainSession
{
    Q_OBJECT
public:
    enum : quint32 {
        ID_VersionDataTransReq = 0x1815,
        ID_VersionDataTransRsp = 0x2815,
    };

    // The session itself waits silently after its resends; CSerialUpgradeRunner bounds every
    // operation: an answer to a version query, or the first report of an upgrade, within
    // ANSWER_MS; every further report of an upgrade within REPORT_GAP_MS of the last one.
    static constexpr int ANSWER_MS = 15000;
    static constexpr int REPORT_GAP_MS = 40000;
    // The controller's module address and port for both operations.
    static constexpr const char *MCU_MODULE = "Atmel_MCU";

    explicit CSerialMaintain(const T_BaseDevInfo &stDevInfo, QObject *parent = nullptr);
    ~CSerialMaintain() override;

    E_CmdResult StartUpgrade(const T_UpgradeInfo &stUpgradeInfo) override;
    bool IsPortOpen() const { return m_pSerialPort && m_pSerialPort->isOpen(); }
    // Frames dropped for a bad checksum or an impossible length since construction.
    int ChecksumErrors() const { return m_parser.ChecksumErrors(); }

protected slots:
    bool SendData(const QByteArray &data) override;
    bool DoSendData(const QByteArray &data) override;
    void OnReadData(const QByteArray &data) override;
    void ProcessMsg(const T_VAZAMsgHead &stHead, QByteArray &baBody) override;
    void ProcessVersionUpgradeRsp(QByteArray &baBody) override;
    QByteArray PackMsg(quint32 u32MsgId, const QByteArray &baBody) override;

private slots:
    void slotOnReadyRead();
    void slotReSendTime();
    void slotOnPortError(QSerialPort::SerialPortError eError);

private:
    void SendVersionDataTransReq();
    void FailUpgrade(const QString &strStep, const QString &strReason);

    QSerialPort *m_pSerialPort = nullptr;
    QByteArray m_baResend;
    int m_i32ResendCount = 0;
    QTimer m_timerResend;
    CSerialFrameParser m_parser;
    // Set while the port is inside one of its own signals: it must not be deleted there.
    bool m_bInPortSignal = false;
};
