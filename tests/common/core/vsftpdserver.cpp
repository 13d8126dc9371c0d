#include "vsftpdserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char *const kBinary = "/usr/sbin/vsftpd";

// A port nobody listens on right now; vsftpd gets it a moment later. Should another
// process take it in between, Start() tries again with a new one.
quint16 FreePort(const QHostAddress &address)
{
    QTcpServer probe;
    if (!probe.listen(address, 0))
        return 0;
    return probe.serverPort();
}
} // namespace

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
    if (!QFileInfo(QString::fromLatin1(kBinary)).isExecutable())
        return QStringLiteral("vsftpd is not installed (apt-get install vsftpd)");
    if (::geteuid() != 0)
        return QStringLiteral("vsftpd chroots anonymous sessions and so must run as root");
    if (!getpwnam("ftp"))
        return QStringLiteral("the user \"ftp\" of the vsftpd package is missing");
    if (bIpv6) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
            return QStringLiteral("no IPv6 loopback address");
    }
    return QString();
}

QString CVsftpdServer::LocalPath(const QString &strFtpPath) const
{
    return m_dir.path() + QStringLiteral("/root") + strFtpPath;
}

bool CVsftpdServer::WriteConfig(quint16 u16Port, int iPasvMin, QString &strError)
{
    const QString strRoot = m_dir.path() + QStringLiteral("/root");
    const QString strEmpty = m_dir.path() + QStringLiteral("/empty");
    QString strConfig;
    QTextStream ts(&strConfig);
    ts << "listen=" << (m_bIpv6 ? "NO" : "YES") << "\n"
       << "listen_ipv6=" << (m_bIpv6 ? "YES" : "NO") << "\n";
    if (m_bIpv6)
        ts << "listen_address6=::1\n";
    else
        ts << "listen_address=127.0.0.1\n";
    ts << "listen_port=" << u16Port << "\n"
       << "background=NO\n"
       // Anonymous sessions write into root/pub; the chroot root itself stays read-only.
       << "anonymous_enable=YES\nno_anon_password=NO\nlocal_enable=NO\nwrite_enable=YES\n"
       << "anon_upload_enable=YES\nanon_other_write_enable=YES\nanon_world_readable_only=NO\n"
       << "anon_umask=022\nanon_root=" << strRoot << "\n"
       << "secure_chroot_dir=" << strEmpty << "\n"
       << "pasv_enable=YES\n";
    if (!m_bIpv6)
        ts << "pasv_address=127.0.0.1\n";
    ts << "pasv_min_port=" << iPasvMin << "\npasv_max_port=" << iPasvMin + 199 << "\n"
       << "port_enable=YES\nconnect_from_port_20=NO\n"
       // Containers often forbid the namespaces and seccomp filters vsftpd would set up.
       << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
       << "xferlog_enable=NO\nvsftpd_log_file=" << m_dir.path() << "/vsftpd.log\n"
       << "use_localtime=NO\nidle_session_timeout=120\ndata_connection_timeout=60\n";
    ts.flush();
    QFile file(m_dir.path() + QStringLiteral("/vsftpd.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(strConfig.toUtf8()) != strConfig.toUtf8().size()) {
        strError = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    return true;
}

bool CVsftpdServer::Start(QString &strError)
{
    strError = Unavailable(m_bIpv6);
    if (!strError.isEmpty())
        return false;
    if (!m_dir.isValid()) {
        strError = QStringLiteral("no temporary directory");
        return false;
    }
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

    const QHostAddress address = m_bIpv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost;
    for (int iAttempt = 0; iAttempt < 5; ++iAttempt) {
        const quint16 u16Port = FreePort(address);
        // Passive ports below the kernel's ephemeral range, so outgoing connections never hold one.
        const int iPasvMin = 20000 + static_cast<int>(QRandomGenerator::global()->bounded(12000));
        if (u16Port == 0 || !WriteConfig(u16Port, iPasvMin, strError))
            continue;
        m_process.start(QString::fromLatin1(kBinary), {m_dir.path() + QStringLiteral("/vsftpd.conf")});
        if (!m_process.waitForStarted(5000)) {
            strError = QStringLiteral("vsftpd did not start: %1").arg(m_process.errorString());
            return false;
        }
        m_u16Port = u16Port;
        if (WaitUntilListening())
            return true;
        strError = QStringLiteral("vsftpd did not listen on port %1: %2")
                       .arg(u16Port)
                       .arg(QString::fromLocal8Bit(m_process.readAll()).trimmed());
        Stop();
    }
    return false;
}

bool CVsftpdServer::WaitUntilListening()
{
    // Readiness probe: vsftpd prints nothing when it is ready, so try to connect until it
    // answers or exits. Each try is bounded; the whole wait ends after 10 s.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            return false;
        QTcpSocket probe;
        probe.connectToHost(Host(), m_u16Port);
        if (probe.waitForConnected(200) && probe.waitForReadyRead(2000) && probe.readAll().startsWith("220"))
            return true;
        m_process.waitForFinished(50);
    }
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
