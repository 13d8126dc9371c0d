#pragma once

#include "telnet/cbasecomm.h"

#include <QList>
#include <QObject>
#include <QString>

class CTelnetComm;

// What one device's name read came to. strName is decoded for display; strReason says why
// a read failed, in words for the operator.
struct T_TelnetNameResult {
    QString strHostName;
    QString strAddr;
    bool bOk = false;
    QString strName;
    QString strReason;
};
Q_DECLARE_METATYPE(T_TelnetNameResult)

// The device keeps its own name percent-encoded in the parameter "name": shown fully decoded
// (UTF-8), so an encoded blank is a blank again; a '%' not followed by two hex digits stays a
// '%'. Control characters come back as they are: show the result as plain text, stripped of
// them on a terminal.
QString DecodeDeviceName(const QByteArray &baValue);
// Command prefix of a device's parameter tools: "ast" for the web-server models, else "gb".
QString TelnetPrefixFor(const QString &strHostName);
// Why a run ended as it did: eResult from OnSendQueueReturn, bConnected whether the TCP
// connection ever came up, baLastText the text the device sent last.
QString TelnetFailureReason(E_CommResult eResult, bool bConnected, const QByteArray &baLastText);

// Reads the names of many devices over telnet, at most iMaxOpen channels at a time: each
// device gets its own short-lived channel, disposed of once it has answered or failed. Every
// device added gets exactly one nameRead; finished() follows the last of those added so far.
// Devices added after Start() are read as they come (a window adds them as a search reports
// them); a device added again while its read still waits for a channel is read once, at the
// address it was added with last.
class CTelnetNameReader : public QObject
{
    Q_OBJECT
public:
    explicit CTelnetNameReader(int iMaxOpen = 32, quint16 u16Port = 24, QObject *parent = nullptr);
    ~CTelnetNameReader() override;

    void Add(const QString &strHostName, const QString &strAddr);
    void Start();
    // Most channels that were open at once, and those open now.
    int PeakOpen() const { return m_iPeakOpen; }
    int OpenCount() const { return m_iOpen; }
    bool IsFinished() const { return m_bStarted && m_iOpen == 0 && m_pending.isEmpty(); }

signals:
    void nameRead(T_TelnetNameResult stResult);
    void finished();

private:
    struct T_Job {
        T_TelnetNameResult st;
        CTelnetComm *pComm = nullptr;
        bool bConnected = false;
        bool bDone = false;
        QByteArray baLastText;
    };
    void OpenNext();
    void Finish(T_Job *pJob);

    int m_iMaxOpen;
    quint16 m_u16Port;
    int m_iOpen = 0;
    int m_iPeakOpen = 0;
    bool m_bStarted = false;
    QList<T_Job *> m_pending;
    QList<T_Job *> m_running;
};
