#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QJsonObject>
#include <QString>

// What a device keeps of an image it received, so another service (the Vaza upgrade
// steps) can check it without holding the bytes.
struct T_SimImage
{
    qint64 i64Size = 0;
    QByteArray baSha256; // hex
    quint8 u8Xor = 0;    // XOR of all bytes, as the upgrade step 102 announces it
};

// What the simulated devices saw, one JSON object per line, so tests can prove that
// nothing was lost or corrupted: every command and every received image (size, SHA-256).
class CSimRecord
{
public:
    // Empty path: record nothing.
    bool Open(const QString &strPath);
    void Event(const QString &strDevice, const QString &strType, QJsonObject fields = QJsonObject());
    // Stores the image's size and SHA-256 (and, if asked, the bytes under strDir).
    void Image(const QString &strDevice, const QString &strName, const QByteArray &baContent);
    // The last image strDevice received under strName (directories in the name ignored).
    bool LastImage(const QString &strDevice, const QString &strName, T_SimImage &stImage) const;

private:
    QFile m_file;
    QHash<QString, T_SimImage> m_images; // key: device + '\n' + file name
};
