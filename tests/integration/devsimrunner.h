#pragma once

// Starts velmora-devsim on loopback with a generated fleet, ports picked free by the
// system (options.ports), and reads back its record. Never binds fixed ports.
#include "netnsfleet.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpServer>

class CDevsimRunner
{
public:
    // devices: fleet entries; services: e.g. "vaza" or "vaza,ftp".
    bool Start(const QJsonArray &devices, const QString &strServices)
    {
        const QString strAddr = devices.at(0).toObject().value(QStringLiteral("addr")).toString();
        for (const QString &strService : strServices.split(QLatin1Char(','))) {
            QTcpServer server; // closed again at once: devsim binds the port next
            if (!server.listen(QHostAddress(strAddr), 0))
                return false;
            m_ports.insert(strService, server.serverPort());
        }
        QFile file(m_dir.filePath(QStringLiteral("fleet.json")));
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly))
            return false;
        file.write(
            QJsonDocument(QJsonObject{{"devices", devices}, {"options", QJsonObject{{"ports", m_ports}}}}).toJson());
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        return NetnsFleet::RunDevsim(m_process, QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim"),
                                     {"--fleet", file.fileName(), "--record", RecordPath(), "--services", strServices},
                                     nullptr);
    }

    ~CDevsimRunner() { NetnsFleet::StopProcess(m_process); }
    int Port(const QString &strService) const { return m_ports.value(strService).toInt(); }

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
    QJsonObject m_ports;
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
