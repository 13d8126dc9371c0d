#pragma once

// Runs velmora-devsim with one simulated microcontroller on a pseudo-terminal, reachable
// through a link in a temporary folder (Port()), and reads back its record. No network.
#include "netnsfleet.h"

#include <QFile>
#include <QJsonDocument>

class SerialDevsim
{
public:
    ~SerialDevsim() { Stop(); }

    // knobs: the device's knobs (serial_link is set here). False with *pstrError on failure.
    bool Start(QJsonObject knobs, QString *pstrError, const QString &strVersion = QStringLiteral("MCU-1.0.0"))
    {
        knobs.insert(QStringLiteral("serial_link"), Port());
        const QJsonObject dev{{"hostname", "Atmel_MCU"},
                              {"addr", "127.0.0.1"},
                              {"channel", "serial"},
                              {"version", strVersion},
                              {"knobs", knobs}};
        QFile file(m_dir.filePath(QStringLiteral("fleet.json")));
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly)) {
            *pstrError = QStringLiteral("cannot write the fleet file");
            return false;
        }
        file.write(QJsonDocument(QJsonObject{{"devices", QJsonArray{dev}}}).toJson());
        file.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        return NetnsFleet::RunDevsim(m_process, QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim"),
                                     {"--fleet", file.fileName(), "--record", RecordPath(), "--services", "serial"},
                                     pstrError);
    }

    void Stop() { NetnsFleet::StopProcess(m_process); }

    QString Port() const { return m_dir.filePath(QStringLiteral("ttyMCU")); }
    QString RecordPath() const { return m_dir.filePath(QStringLiteral("record.jsonl")); }
    QString TempPath(const QString &strName) const { return m_dir.filePath(strName); }

    QList<QJsonObject> Events(const QString &strType = QString()) const
    {
        return NetnsFleet::ReadRecord(RecordPath(), strType);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
