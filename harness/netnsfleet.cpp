#include "netnsfleet.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QSet>

bool NetnsFleet::InsideRunner(QString *pstrReason)
{
    if (qEnvironmentVariable("VELMORA_NETNS") != QLatin1String("1") || DeviceNamespace().isEmpty()) {
        *pstrReason = QStringLiteral("not inside scripts/netns-run.sh; a search must never run in the machine's own "
                                     "network namespace");
        return false;
    }
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        const QString strName = iface.name();
        if (strName != QLatin1String("lo") && strName != QLatin1String("vmo0") &&
            !strName.startsWith(QLatin1String("vmx"))) {
            *pstrReason = QStringLiteral("interface %1 is not the runner's; refusing to search").arg(strName);
            return false;
        }
    }
    return true;
}

bool NetnsFleet::Ip(const QStringList &args, QString *pstrError)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), args);
    const bool bOk = ip.waitForFinished(10000) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
    if (!bOk && pstrError)
        *pstrError = QStringLiteral("ip %1: %2").arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(ip.readAll()));
    return bOk;
}

qint64 NetnsFleet::UdpCounter(const QString &strName)
{
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    // "Udp: InDatagrams NoPorts ..." followed by "Udp: 12 0 ..."
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).startsWith("Udp: ") || !lines.at(i + 1).startsWith("Udp: "))
            continue;
        const QList<QByteArray> names = lines.at(i).simplified().split(' ');
        const QList<QByteArray> values = lines.at(i + 1).simplified().split(' ');
        const int iAt = names.indexOf(strName.toLatin1());
        return iAt > 0 && iAt < values.size() ? values.at(iAt).toLongLong() : -1;
    }
    return -1;
}

QList<QJsonObject> NetnsFleet::ReadRecord(const QString &strPath, const QString &strType)
{
    QList<QJsonObject> list;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return list;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (!o.isEmpty() && (strType.isEmpty() || o.value(QStringLiteral("type")).toString() == strType))
            list.append(o);
    }
    return list;
}

QList<QJsonObject> NetnsFleet::ReadRecordSince(const QString &strPath, qint64 *pi64From)
{
    QList<QJsonObject> list;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(*pi64From))
        return list;
    const QByteArray ba = file.readAll();
    const int iEnd = ba.lastIndexOf('\n') + 1;
    *pi64From += iEnd;
    for (const QByteArray &baLine : ba.left(iEnd).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(baLine).object();
        if (!o.isEmpty())
            list.append(o);
    }
    return list;
}

bool NetnsFleet::Start(const QJsonArray &devices, const QStringList &services, QString *pstrError,
                       const QJsonObject &options)
{
    Stop();
    const QString strDevsim = qEnvironmentVariable("VELMORA_DEVSIM");
    if (strDevsim.isEmpty()) {
        *pstrError = QStringLiteral("VELMORA_DEVSIM is not set");
        return false;
    }
    // Each address on the device side; a route to each network beyond the runner's own.
    QSet<QString> setNets{QStringLiteral("10.213.0.0/24")};
    for (const QJsonValue &v : devices) {
        const QString strAddr = v.toObject().value(QStringLiteral("addr")).toString();
        const QString strNet = strAddr.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".0/24");
        if (!Ip({"-n", DeviceNamespace(), "addr", "replace", strAddr + "/24", "dev", "vmd0"}, pstrError) ||
            (!setNets.contains(strNet) && !Ip({"route", "replace", strNet, "dev", "vmo0"}, pstrError)))
            return false;
        setNets.insert(strNet);
    }
    QFile file(m_dir.filePath(QStringLiteral("fleet.json")));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(QJsonObject{{"options", options}, {"devices", devices}}).toJson()) < 0) {
        *pstrError = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    file.close();
    QFile::remove(RecordPath());

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    return RunDevsim(m_process, QStringLiteral("ip"),
                     {"netns", "exec", DeviceNamespace(), strDevsim, "--fleet", file.fileName(), "--record",
                      RecordPath(), "--services", services.join(QLatin1Char(','))},
                     pstrError);
}

bool NetnsFleet::RunDevsim(QProcess &process, const QString &strProgram, const QStringList &args, QString *pstrError,
                           QByteArray *pbaOutput)
{
    process.start(strProgram, args);
    QByteArray baOutput;
    QDeadlineTimer deadline(30000);
    while (!baOutput.contains("velmora-devsim: ready")) {
        if (!process.waitForStarted(10000) || process.state() != QProcess::Running || deadline.hasExpired() ||
            !process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            baOutput += process.readAllStandardOutput();
            if (pstrError)
                *pstrError =
                    QStringLiteral("velmora-devsim did not become ready: %1").arg(QString::fromLocal8Bit(baOutput));
            StopProcess(process);
            return false;
        }
        baOutput += process.readAllStandardOutput();
    }
    if (pbaOutput)
        *pbaOutput = baOutput;
    return true;
}

void NetnsFleet::StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
