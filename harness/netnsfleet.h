#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// For code that runs on the operator side of scripts/netns-run.sh: checks that we
// really are inside the runner's private namespace, changes its links and addresses,
// and runs a velmora-devsim of our own with a fleet the test builds, on the device side.
class NetnsFleet
{
public:
    ~NetnsFleet() { Stop(); }

    // True only inside the runner's operator namespace holding nothing but loopback,
    // the runner's veth end and links named "vmx*" that tests make. Anything else (eth0)
    // means we would multicast on a real network: the caller must not search.
    static bool InsideRunner(QString *pstrReason);
    // Runs `ip ARGS` (operator side; `-n <device ns>` reaches the other side). On
    // failure returns false and puts ip's message in *pstrError.
    static bool Ip(const QStringList &args, QString *pstrError = nullptr);
    static QString DeviceNamespace() { return qEnvironmentVariable("VELMORA_NETNS_DEVICE"); }
    // The operator namespace's UDP counter (from /proc/net/snmp), e.g. "NoPorts", "RcvbufErrors".
    static qint64 UdpCounter(const QString &strName);
    // Lines of a devsim record file whose "type" is strType (all lines when empty).
    static QList<QJsonObject> ReadRecord(const QString &strPath, const QString &strType = QString());
    // Lines of a devsim record written from byte *pi64From on; *pi64From moves past them. A
    // line still being written waits for the next call.
    static QList<QJsonObject> ReadRecordSince(const QString &strPath, qint64 *pi64From);
    // Starts a devsim (through strProgram, e.g. ip netns exec) and waits for its "ready";
    // on failure stops it and puts its output in *pstrError. *pbaOutput gets what it printed
    // up to the ready line (the ports it bound).
    static bool RunDevsim(QProcess &process, const QString &strProgram, const QStringList &args, QString *pstrError,
                          QByteArray *pbaOutput = nullptr);
    static void StopProcess(QProcess &process);

    // Puts the devices' addresses on the device side and starts devsim with only the
    // given services; returns once it says it is ready.
    bool Start(const QJsonArray &devices, const QStringList &services, QString *pstrError,
               const QJsonObject &options = QJsonObject());
    void Stop() { StopProcess(m_process); }
    QString RecordPath() const { return m_dir.filePath(QStringLiteral("record.jsonl")); }
    QList<QJsonObject> Records(const QString &strType = QString()) const { return ReadRecord(RecordPath(), strType); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
