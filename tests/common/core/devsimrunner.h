#pragma once

// Starts velmora-devsim on loopback with a generated fleet and reads back its record.
// Never picks a port itself: every service is told to take any port (options.ports.<service>
// = 0) and the runner reads the ports devsim reports having bound, so tests running side by
// side cannot race for one port released and then bound again.
#include "netnsfleet.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpServer>

class CDevsimRunner
{
public:
    // devices: fleet entries; services: e.g. "vaza" or "vaza,ftp".
    bool Start(const QJsonArray &devices, const QString &strServices)
    {
        QJsonObject ports;
        for (const QString &strService : strServices.split(QLatin1Char(','), Qt::SkipEmptyParts))
            ports.insert(strService, 0);
        QFile file(m_dir.filePath(QStringLiteral("fleet.json")));
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly))
            return false;
        file.write(
            QJsonDocument(QJsonObject{{"devices", devices}, {"options", QJsonObject{{"ports", ports}}}}).toJson());
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QByteArray baOutput;
        if (!NetnsFleet::RunDevsim(m_process, QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim"),
                                   {"--fleet", file.fileName(), "--record", RecordPath(), "--services", strServices},
                                   nullptr, &baOutput))
            return false;
        // "velmora-devsim: vaza ZR410-0001 127.0.0.1:40211", one line per device and service.
        for (const QByteArray &baLine : baOutput.split('\n')) {
            const QList<QByteArray> words = baLine.trimmed().split(' ');
            const int iColon = words.last().lastIndexOf(':');
            bool bOk = false;
            const int iPort = words.last().mid(iColon + 1).toInt(&bOk);
            if (words.size() < 4 || words.at(0) != "velmora-devsim:" || iColon < 0 || !bOk)
                continue;
            const QString strService = QString::fromUtf8(words.at(1));
            const QString strHost = QString::fromUtf8(words.mid(2, words.size() - 3).join(' '));
            if (!m_first.contains(strService))
                m_first.insert(strService, iPort);
            m_ports.insert(strService + QLatin1Char(' ') + strHost, iPort);
        }
        return true;
    }

    ~CDevsimRunner() { NetnsFleet::StopProcess(m_process); }
    // The port of the service on the fleet's first device that has it. Devices on different
    // addresses share it, unless the system had it taken on one of them: Port(service, host)
    // is then the one to ask.
    int Port(const QString &strService) const { return m_first.value(strService); }
    int Port(const QString &strService, const QString &strHost) const
    {
        return m_ports.value(strService + QLatin1Char(' ') + strHost);
    }

    // Every record line, optionally only of one type.
    QList<QJsonObject> Events(const QString &strType = QString()) const
    {
        return NetnsFleet::ReadRecord(RecordPath(), strType);
    }
    int Count(const QString &strType) const { return Events(strType).size(); }
    QString TempPath(const QString &strName) const { return m_dir.filePath(strName); }
    QString RecordPath() const { return m_dir.filePath(QStringLiteral("record.jsonl")); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QHash<QString, int> m_first; // service -> port of its first device
    QHash<QString, int> m_ports; // "service host" -> port
};

// A tx device with the modules "main" (port 1, V3.1.4) and "fpga" (port 2, F1.0.9).
inline QJsonObject SimDevice(const QString &strHost, const QString &strAddr, const QJsonObject &knobs = QJsonObject())
{
    auto module = [](const char *pszAddr, int i32Port, const char *pszVersion) {
        return QJsonObject{{"addr", pszAddr}, {"port", i32Port}, {"version", pszVersion}};
    };
    return QJsonObject{{"hostname", strHost},
                       {"addr", strAddr},
                       {"kind", "tx"},
                       {"version", "V3.1.4"},
                       {"channel", "vaza"},
                       {"knobs", knobs},
                       {"modules", QJsonArray{module("main", 1, "V3.1.4"), module("fpga", 2, "F1.0.9")}}};
}
