#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QString>

// What the simulated devices saw, one JSON object per line, so tests can prove that
// nothing was lost or corrupted: every command and every received image (size, SHA-256).
class CSimRecord
{
public:
    // Empty path: record nothing.
    bool Open(const QString &strPath);
    void Event(const QString &strDevice, const QString &strType, QJsonObject fields = QJsonObject());
    // Records the image's size and SHA-256; the bytes themselves are not kept.
    void Image(const QString &strDevice, const QString &strName, const QByteArray &baContent);

private:
    QFile m_file;
};
