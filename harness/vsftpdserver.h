#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real vsftpd from Debian on loopback, for interoperability tests and the upload
// benchmark: foreground, a generated configuration, a temporary root whose "pub"
// directory takes anonymous uploads, passive ports and active connections on loopback.
// Needs root (vsftpd chroots anonymous sessions); Start() says why when it cannot run.
class CVsftpdServer
{
public:
    explicit CVsftpdServer(bool bIpv6 = false);
    ~CVsftpdServer();
    CVsftpdServer(const CVsftpdServer &) = delete;
    CVsftpdServer &operator=(const CVsftpdServer &) = delete;

    // Empty when vsftpd or root rights are missing; otherwise the reason is empty too.
    static QString Unavailable(bool bIpv6 = false);
    bool Start(QString &strError);
    void Stop();

    QString Host() const { return m_bIpv6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"); }
    quint16 Port() const { return m_u16Port; } // 0 until Start() succeeds
    // The writable directory as FTP clients name it, and where a path lands on disk.
    static QString UploadDir() { return QStringLiteral("/pub"); }
    QString LocalPath(const QString &strFtpPath) const;

private:
    bool WriteConfig(quint16 u16Port, int iPasvMin, QString &strError);

    bool m_bIpv6;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_u16Port = 0;
};
