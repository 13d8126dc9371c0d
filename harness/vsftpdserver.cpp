#include "vsftpdserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char *const kBinary = "/usr/sbin/vsftpd";
}

CVsftpdServer::CVsftpdServer(bool bIpv6) : m_bIpv6(bIpv6)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

CVsftpdServer::~CVsftpdServer()
{
    Stop();
}

QString CVsftpdServer::Unavailable(bool bIpv6)
{
    QTcpServer probe;
    if (!QFileInfo(QString::fromLatin1(kBinary)).isExecutable())
        return QStringLiteral("vsftpd is not installed (apt-get install vsftpd)");
    if (::geteuid() != 0)
        return QStringLiteral("vsftpd chroots anonymous sessions and so must run as root");
    if (!getpwnam("ftp"))
        return QStringLiteral("the user \"ftp\" of the vsftpd package is missing");
    if (bIpv6 && !probe.listen(QHostAddress::LocalHostIPv6, 0))
        return QStringLiteral("no IPv6 loopback address");
    return QString();
}

QString CVsftpdServer::LocalPath(const QString &strFtpPath) const
{
    return m_dir.path() + QStringLiteral("/root") + strFtpPath;
}

namespace
{
// The greeting of our own vsftpd, unique to its directory and port: a server of another test
// that took the port before vsftpd could bind it greets differently and is not mistaken for it.
QString Banner(const QString &strDir, quint16 u16Port)
{
    return QStringLiteral("velmora-vsftpd %1 %2").arg(u16Port).arg(QFileInfo(strDir).fileName());
}
} // namespace

bool CVsftpdServer::WriteConfig(quint16 u16Port, int iPasvMin, QString &strError)
{
    // Anonymous sessions write into root/pub; the chroot root itself stays read-only.
    // Containers often forbid the namespaces and seccomp filters vsftpd would set up.
    const QString strConfig =
        QStringLiteral("listen=%1\nlisten_ipv6=%2\n%3\nlisten_port=%4\nbackground=NO\n"
                       "anonymous_enable=YES\nno_anon_password=NO\nlocal_enable=NO\nwrite_enable=YES\n"
                       "anon_upload_enable=YES\nanon_other_write_enable=YES\nanon_world_readable_only=NO\n"
                       "anon_umask=022\nanon_root=%5/root\nsecure_chroot_dir=%5/empty\n"
                       "pasv_enable=YES\n%6pasv_min_port=%7\npasv_max_port=%8\n"
                       "port_enable=YES\nconnect_from_port_20=NO\n"
                       "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                       "xferlog_enable=NO\nvsftpd_log_file=%5/vsftpd.log\n"
                       "use_localtime=NO\nidle_session_timeout=120\ndata_connection_timeout=60\n")
            .arg(QLatin1String(m_bIpv6 ? "NO" : "YES"), QLatin1String(m_bIpv6 ? "YES" : "NO"),
                 QLatin1String(m_bIpv6 ? "listen_address6=::1" : "listen_address=127.0.0.1"))
            .arg(u16Port)
            .arg(m_dir.path(), QLatin1String(m_bIpv6 ? "" : "pasv_address=127.0.0.1\n"))
            .arg(iPasvMin)
            .arg(iPasvMin + 199) +
        QStringLiteral("ftpd_banner=%1\n").arg(Banner(m_dir.path(), u16Port));
    QFile file(m_dir.path() + QStringLiteral("/vsftpd.conf"));
    if (file.open(QIODevice::WriteOnly) && file.write(strConfig.toUtf8()) == strConfig.toUtf8().size())
        return true;
    strError = QStringLiteral("cannot write %1").arg(file.fileName());
    return false;
}

bool CVsftpdServer::Start(QString &strError)
{
    strError = m_dir.isValid() ? Unavailable(m_bIpv6) : QStringLiteral("no temporary directory");
    if (!strError.isEmpty())
        return false;
    const QString strRoot = m_dir.path() + QStringLiteral("/root");
    const QString strPub = strRoot + QStringLiteral("/pub");
    QDir().mkpath(strPub);
    QDir().mkpath(m_dir.path() + QStringLiteral("/empty"));
    // vsftpd's session processes run as "ftp": it must reach the root and own pub.
    const struct passwd *pFtp = getpwnam("ftp");
    if (::chmod(m_dir.path().toLocal8Bit().constData(), 0755) != 0 ||
        ::chmod(strRoot.toLocal8Bit().constData(), 0755) != 0 ||
        ::chown(strPub.toLocal8Bit().constData(), pFtp->pw_uid, pFtp->pw_gid) != 0) {
        strError = QStringLiteral("cannot prepare %1 for the ftp user").arg(strRoot);
        return false;
    }
    for (int iAttempt = 0; iAttempt < 5; ++iAttempt) {
        // A port nobody listens on right now; should another process take it before
        // vsftpd does, the next attempt picks another one.
        QTcpServer probe;
        probe.listen(m_bIpv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, 0);
        const quint16 u16Port = probe.serverPort();
        probe.close();
        // Passive ports below the kernel's ephemeral range, so outgoing connections never hold one.
        const int iPasvMin = 20000 + static_cast<int>(QRandomGenerator::global()->bounded(12000));
        if (u16Port == 0 || !WriteConfig(u16Port, iPasvMin, strError))
            continue;
        m_process.start(QString::fromLatin1(kBinary), {m_dir.path() + QStringLiteral("/vsftpd.conf")});
        if (!m_process.waitForStarted(5000)) {
            strError = QStringLiteral("vsftpd did not start: %1").arg(m_process.errorString());
            return false;
        }
        // vsftpd prints nothing when it is ready: connect until it greets, exits or 10 s pass.
        m_u16Port = u16Port;
        for (const QDeadlineTimer deadline(10000); !deadline.hasExpired() && m_process.state() == QProcess::Running;) {
            QTcpSocket greeting;
            greeting.connectToHost(Host(), m_u16Port);
            if (greeting.waitForConnected(200) && greeting.waitForReadyRead(2000) &&
                greeting.readAll().startsWith("220 " + Banner(m_dir.path(), m_u16Port).toUtf8()))
                return true;
            m_process.waitForFinished(50);
        }
        strError = QStringLiteral("vsftpd did not listen on port %1: %2")
                       .arg(u16Port)
                       .arg(QString::fromLocal8Bit(m_process.readAll()).trimmed());
        Stop();
    }
    m_u16Port = 0;
    return false;
}

void CVsftpdServer::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
