#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

// What one discovery answer carries besides its sender address.
struct T_DiscoveryAnswer {
    QByteArray strStatus;   // bytes 8..39, up to the first zero byte
    QByteArray strHostName; // bytes 40..295, up to the first zero byte
};

// Finds the devices on every local IPv4 network: multicasts 8 zero bytes to
// 225.1.0.0:3333 from each local address once per pass, listens on UDP 3334 and
// reports each host name at most once per search. A second box that answers with a host
// name already reported, from another address, is reported once per search through
// OnSharedHostName instead: a list keyed by host name keeps the first, and a program that
// acts by host name learns that the name is not enough. OnStop is emitted exactly once per
// Start(); no OnFoundDevice or OnSharedHostName follows it until the next Start().
class QDeviceSearcher : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kRequestPort = 3333;
    static constexpr quint16 kAnswerPort = 3334;
    static constexpr int kAnswerBufferSize = 296;
    static constexpr int kReceiveBufferBytes = 1048576;

    explicit QDeviceSearcher(int iTotalPasses, QObject *parent = nullptr);
    ~QDeviceSearcher() override;

    void Start();
    // The answer socket's receive buffer as the system granted it (it may cap the size asked
    // for), read back at the latest Start(); 0 when the answer port could not be bound.
    int ReceiveBufferSize() const { return m_iReceiveBufferSize; }

    // Splits one answer datagram into its texts. Reads only the iLength bytes given:
    // a field without a zero byte ends at its own end or at the end of the datagram.
    // Returns false (drop it) when no host name is left, since a device without a
    // host name has no identity anywhere else in the program.
    static bool ParseAnswer(const char *pData, qint64 i64Length, T_DiscoveryAnswer &stAnswer);

public slots:
    void slotDoSearch(bool bFirstCall = false);
    void slotOnUdpReady();
    void slotSearchDone();

signals:
    void OnStartBroadcast(int iTotal, int iCurrent, QString addr);
    void OnFoundDevice(QString strBroadcastAddr, QByteArray strIpAddr, QByteArray strHostName, QByteArray strStatus);
    // strHostName was reported already (OnFoundDevice) from another address than strIpAddr.
    void OnSharedHostName(QByteArray strIpAddr, QByteArray strHostName, QByteArray strStatus);
    void OnStop();

private:
    void EnlargeReceiveBuffer();
    void SendRequest(const QHostAddress &addrLocal);

    QTimer m_passTimer;
    int m_iTotalPasses;
    int m_iPassesDone = 0;
    // A set rather than a list: a search over a large site sees thousands of answers,
    // and each one is looked up here.
    QHash<QString, QString> m_hashFoundHostNames; // host name -> the address reported
    QSet<QString> m_setSharedAnswers;             // host name and address, of OnSharedHostName
    QUdpSocket m_recvSocket;
    int m_iReceiveBufferSize = 0;
    // Pending 100 ms end of a search that found no usable address.
    QTimer m_noAddressTimer;
};
