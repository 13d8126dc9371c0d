#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

// A file the simulated FTP service holds for one device: what a client stored with STOR,
// or what another service (the Vaza service's log, a test) put there for RETR.
struct T_SimFtpFile {
    QByteArray baContent; // empty when the store keeps summaries only
    qint64 i64Size = 0;
    QByteArray baSha256; // raw 32 bytes
    quint8 u8Xor = 0;    // XOR of every byte, as the upgrade's "upload done" step carries it
    bool bContentKept = true;
};

// The files of every simulated device, in memory, shared by the services of one devsim
// process: CSimFtpStore::Instance().File("ZR410-0001", "/update.img").
// Paths are absolute ("/name"); a relative name is taken from the root.
class CSimFtpStore : public QObject
{
    Q_OBJECT
public:
    static CSimFtpStore &Instance();
    static QString NormalizePath(const QString &strPath);

    // With false, stored uploads keep size and checksums only (fleets of hundreds of devices
    // receiving large images); files put with Put() are always kept whole.
    void SetKeepContent(bool bKeep) { m_bKeepContent = bKeep; }
    bool KeepContent() const { return m_bKeepContent; }
    // With false, uploads are not hashed (baSha256 stays empty): a simulator playing a
    // thousand devices spends most of its time in SHA-256 otherwise and answers late.
    void SetHashContent(bool bHash) { m_bHashContent = bHash; }
    bool HashContent() const { return m_bHashContent; }

    void Put(const QString &strDevice, const QString &strPath, const QByteArray &baContent);
    void PutFile(const QString &strDevice, const QString &strPath, const T_SimFtpFile &stFile);
    bool Contains(const QString &strDevice, const QString &strPath) const;
    // An empty record (size 0) when there is no such file.
    T_SimFtpFile File(const QString &strDevice, const QString &strPath) const;
    QStringList Paths(const QString &strDevice) const;
    void Remove(const QString &strDevice, const QString &strPath);

signals:
    // A client finished storing a file (STOR answered "226").
    void fileStored(const QString &strDevice, const QString &strPath);

private:
    CSimFtpStore() = default;

    QHash<QString, QHash<QString, T_SimFtpFile>> m_files; // device -> path -> file
    bool m_bKeepContent = true;
    bool m_bHashContent = true;
};
