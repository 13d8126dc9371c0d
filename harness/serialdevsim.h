#pragma once

// Runs velmora-devsim with one simulated microcontroller on a pseudo-terminal, reachable
// through a link in a temporary folder (Port()), and reads back its record. No network.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

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
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim"),
                        {"--fleet", file.fileName(), "--record", RecordPath(), "--services", "serial"});
        QByteArray baOut;
        QDeadlineTimer deadline(30000);
        while (!baOut.contains("velmora-devsim: ready")) {
            if (!m_process.waitForStarted(10000) || deadline.hasExpired() ||
                !m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
                *pstrError = QStringLiteral("velmora-devsim did not become ready: ") + QString::fromLocal8Bit(baOut) +
                             QString::fromLocal8Bit(m_process.readAllStandardError());
                Stop();
                return false;
            }
            baOut += m_process.readAllStandardOutput();
        }
        return true;
    }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString Port() const { return m_dir.filePath(QStringLiteral("ttyMCU")); }
    QString RecordPath() const { return m_dir.filePath(QStringLiteral("record.jsonl")); }
    QString TempPath(const QString &strName) const { return m_dir.filePath(strName); }

    QList<QJsonObject> Events(const QString &strType = QString()) const
    {
        QList<QJsonObject> out;
        QFile file(RecordPath());
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &baLine : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(baLine).object();
            if (!o.isEmpty() && (strType.isEmpty() || o.value(QStringLiteral("type")).toString() == strType))
                out.append(o);
        }
        return out;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
