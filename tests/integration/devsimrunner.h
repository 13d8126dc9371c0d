#pragma once

// Starts velmora-devsim on loopback with a generated fleet, ports picked free by the
// system (options.ports), and reads back its record. Never binds fixed ports.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

class CDevsimRunner
{
public:
    CDevsimRunner() = default;
    ~CDevsimRunner() { Stop(); }

    static quint16 FreePort(const QString &strAddr = QStringLiteral("127.0.0.1"))
    {
        QTcpServer server;
        if (!server.listen(QHostAddress(strAddr), 0))
            return 0;
        return server.serverPort();
    }

    // devices: fleet entries; services: e.g. "vaza" or "vaza,ftp".
    bool Start(const QJsonArray &devices, const QString &strServices, QJsonObject ports = QJsonObject())
    {
        if (!m_dir.isValid())
            return false;
        const QString strAddr = devices.at(0).toObject().value(QStringLiteral("addr")).toString();
        for (const QString &strService : strServices.split(QLatin1Char(','))) {
            if (!ports.contains(strService))
                ports.insert(strService, FreePort(strAddr));
        }
        m_ports = ports;
        QJsonObject fleet{{QStringLiteral("devices"), devices},
                          {QStringLiteral("options"), QJsonObject{{QStringLiteral("ports"), ports}}}};
        QFile file(m_dir.filePath(QStringLiteral("fleet.json")));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QJsonDocument(fleet).toJson());
        file.close();
        m_strRecord = m_dir.filePath(QStringLiteral("record.jsonl"));
        m_process.setProgram(QStringLiteral(VELMORA_BIN_DIR "/velmora-devsim"));
        m_process.setArguments({QStringLiteral("--fleet"), file.fileName(), QStringLiteral("--record"), m_strRecord,
                                QStringLiteral("--services"), strServices});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QByteArray baOut;
        QElapsedTimer clock;
        clock.start();
        while (!baOut.contains("velmora-devsim: ready") && clock.elapsed() < 20000) {
            if (m_process.state() != QProcess::Running)
                return false;
            m_process.waitForReadyRead(200);
            baOut += m_process.readAllStandardOutput();
        }
        return baOut.contains("velmora-devsim: ready");
    }

    int Port(const QString &strService) const { return m_ports.value(strService).toInt(); }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    // Every record line, optionally only of one type.
    QList<QJsonObject> Events(const QString &strType = QString()) const
    {
        QList<QJsonObject> list;
        QFile file(m_strRecord);
        if (!file.open(QIODevice::ReadOnly))
            return list;
        for (const QByteArray &baLine : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(baLine).object();
            if (!o.isEmpty() && (strType.isEmpty() || o.value(QStringLiteral("type")).toString() == strType))
                list.append(o);
        }
        return list;
    }
    int Count(const QString &strType) const { return Events(strType).size(); }

    QString TempPath(const QString &strName) const { return m_dir.filePath(strName); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_strRecord;
    QJsonObject m_ports;
};

inline QJsonObject SimDevice(const QString &strHost, const QString &strAddr, const QJsonObject &knobs = QJsonObject())
{
    return QJsonObject{
        {QStringLiteral("hostname"), strHost},
        {QStringLiteral("addr"), strAddr},
        {QStringLiteral("kind"), QStringLiteral("tx")},
        {QStringLiteral("version"), QStringLiteral("V3.1.4")},
        {QStringLiteral("channel"), QStringLiteral("vaza")},
        {QStringLiteral("modules"), QJsonArray{QJsonObject{{QStringLiteral("addr"), QStringLiteral("main")},
                                                           {QStringLiteral("port"), 1},
                                                           {QStringLiteral("version"), QStringLiteral("V3.1.4")}},
                                               QJsonObject{{QStringLiteral("addr"), QStringLiteral("fpga")},
                                                           {QStringLiteral("port"), 2},
                                                           {QStringLiteral("version"), QStringLiteral("F1.0.9")}}}},
        {QStringLiteral("knobs"), knobs}};
}
