// The device side of the Vaza protocol on TCP 60000 (options.ports.vaza overrides it), one
// listener per Vaza device and per "http" device whose knob "vaza" is true. Bytes are built
// here from the wire tables, never through the product's codec: a 24-byte header of six
// big-endian u32 words (length incl. header, id, sequence, 1, 0, 0), then the body; strings
// carry a u32 prefix of length + 4.
//
// Knobs (per device, all optional):
//   vaza               true on an "http" device: it runs this service beside its web server
//   vaza_refuse_bind   true: bind answered with result 1
//   vaza_refuse_bind_ms N: binds are answered with result 1 for N ms after devsim started (a
//                      device that is away at first and comes back)
//   vaza_silent        true, or a list of steps not answered ("bind", "heartbeat", "sysinfo",
//                      "log", "101", "102", "103", "query")
//   vaza_drop_at       step at which the connection is cut instead of answered
//   vaza_truncate_at   step whose reply announces its full length but is sent without body
//   vaza_garbage_at    step whose reply is preceded by bytes with an impossible length
//   vaza_wrong_module  true: upgrade replies name another module
//   vaza_ftp_url       URL text answered to step 101 instead of the device's own FTP service
//   install_ms         installation time after step 102 (default 4000; 0 = done at once)
//   install_fail       true: the installation fails: step 103 answers 0 from then on, never 100
//   install_stuck_at   the value step 103 answers instead, for ever (any u32, 100 excepted)
//   log_text, log_size the log offered for download (default: 2500 bytes of log lines)
// A step 102 whose checksum differs from the image the device received makes the
// installation fail the same way. A module of "modules" with "version_after" answers that
// version to queries once an installation of it completed, as a box running its new image
// does, so a second rollout of the same image can see there is nothing left to do.
#include "simftpstore.h"
#include "simports.h"
#include "simservice.h"
#include "simwire.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <memory>

namespace
{
// Started with the program: the time base of knobs that last a while after the start.
const QElapsedTimer s_clockStarted = [] {
    QElapsedTimer t;
    t.start();
    return t;
}();

enum : quint32 {
    BIND_REQ = 0x1001,
    BIND_RSP = 0x2001,
    HEARTBEAT_REQ = 0x1003,
    HEARTBEAT_RSP = 0x2003,
    SYSINFO_REQ = 0x1101, // + 0x10 x model
    LOG_REQ = 0x1102,     // + 0x10 x model
    UPGRADE_REQ = 0x1801,
    UPGRADE_RSP = 0x2801,
    QUERY_REQ = 0x1803,
    QUERY_RSP = 0x2803,
};

using namespace SimWire;

int ModelIndexOfRequest(quint32 u32Id, quint32 u32Base)
{
    return static_cast<int>((u32Id - u32Base) / 0x10);
}

// "host\nmodule" -> the version its completed installation left; outlives each connection,
// as the box's firmware outlives the maintenance session that installed it.
QHash<QString, QString> &InstalledVersions()
{
    static QHash<QString, QString> s_hash;
    return s_hash;
}

// Values a real box of each model might report; padded the way devices pad fixed fields.
QByteArray Padded(const QByteArray &ba)
{
    return ba + QByteArray(3, '\xff');
}

class CSimVazaConn : public QObject
{
public:
    CSimVazaConn(const T_SimDevice &dev, int i32FtpPort, CSimRecord *pRecord, QTcpSocket *pSocket, QObject *parent)
        : QObject(parent), m_dev(dev), m_i32FtpPort(i32FtpPort), m_pRecord(pRecord), m_pSocket(pSocket)
    {
        pSocket->setParent(this);
        connect(pSocket, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
        connect(pSocket, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
    }

private:
    bool IsSet(const QString &strKnob, const QString &strStep) const { return m_dev.AtStep(strKnob, strStep); }

    void OnReadyRead()
    {
        m_baRecv += m_pSocket->readAll();
        while (m_baRecv.size() >= 24) {
            const quint32 u32Len = U32At(m_baRecv, 0);
            if (u32Len < 24 || u32Len > 16u * 1024 * 1024) {
                m_pRecord->Event(m_dev.strHostName, QStringLiteral("vaza_framing_error"));
                m_baRecv.clear();
                return;
            }
            if (static_cast<quint32>(m_baRecv.size()) < u32Len)
                return;
            const quint32 u32Id = U32At(m_baRecv, 4);
            const quint32 u32Seq = U32At(m_baRecv, 8);
            const QByteArray baBody = m_baRecv.mid(24, static_cast<int>(u32Len) - 24);
            m_baRecv.remove(0, static_cast<int>(u32Len));
            Handle(u32Id, u32Seq, baBody);
            if (!m_pSocket || m_pSocket->state() != QAbstractSocket::ConnectedState)
                return;
        }
    }

    // Sends the reply for one step, or plays the fault the knobs ask for at that step.
    void Reply(const QString &strStep, quint32 u32Id, const QByteArray &baBody)
    {
        if (IsSet(QStringLiteral("vaza_drop_at"), strStep)) {
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("vaza_drop"), {{QStringLiteral("step"), strStep}});
            m_pSocket->abort();
            deleteLater();
            return;
        }
        if (IsSet(QStringLiteral("vaza_silent"), strStep))
            return;
        QByteArray ba;
        if (IsSet(QStringLiteral("vaza_garbage_at"), strStep)) {
            // A header that claims 5 bytes: no receiver can frame what follows.
            PutU32(ba, 5);
            ba.append("\xde\xad\xbe\xef garbage garbage", 20);
        }
        PutU32(ba, static_cast<quint32>(baBody.size()) + 24);
        PutU32(ba, u32Id);
        PutU32(ba, ++m_u32Seq);
        PutU32(ba, 1);
        PutU32(ba, 0);
        PutU32(ba, 0);
        if (!IsSet(QStringLiteral("vaza_truncate_at"), strStep))
            ba.append(baBody);
        m_pSocket->write(ba);
    }

    void Handle(quint32 u32Id, quint32 u32Seq, const QByteArray &baBody)
    {
        const QString &strHost = m_dev.strHostName;
        if (u32Id == BIND_REQ) {
            int i32Pos = 0;
            const QByteArray baUser = StrAt(baBody, &i32Pos);
            const QByteArray baPass = StrAt(baBody, &i32Pos);
            const QByteArray baStamp = baBody.mid(i32Pos, 17);
            const QByteArray baToken = baBody.mid(i32Pos + 17, 16);
            const bool bAway = s_clockStarted.elapsed() < m_dev.Knob(QStringLiteral("vaza_refuse_bind_ms"), 0);
            const bool bRefuse = m_dev.Flag(QStringLiteral("vaza_refuse_bind")) || bAway || baUser != "root" ||
                                 baPass != "admk742" || baToken != "5039182746CADBFE";
            m_pRecord->Event(strHost, QStringLiteral("vaza_bind"),
                             {{QStringLiteral("seq"), static_cast<double>(u32Seq)},
                              {QStringLiteral("stamp"), QString::fromLatin1(baStamp)},
                              {QStringLiteral("accepted"), !bRefuse}});
            m_bBound = !bRefuse;
            QByteArray ba;
            PutU32(ba, bRefuse ? 1 : 0);
            Reply(QStringLiteral("bind"), BIND_RSP, ba);
            return;
        }
        if (!m_bBound) {
            m_pRecord->Event(strHost, QStringLiteral("vaza_unbound_request"),
                             {{QStringLiteral("id"), static_cast<double>(u32Id)}});
            return;
        }
        if (u32Id == HEARTBEAT_REQ) {
            m_pRecord->Event(strHost, QStringLiteral("vaza_heartbeat"));
            Reply(QStringLiteral("heartbeat"), HEARTBEAT_RSP, QByteArray());
        } else if (u32Id >= SYSINFO_REQ && u32Id <= SYSINFO_REQ + 0x30 && (u32Id & 0xF) == 1) {
            const int i32Model = ModelIndexOfRequest(u32Id, SYSINFO_REQ);
            m_pRecord->Event(strHost, QStringLiteral("vaza_sysinfo"), {{QStringLiteral("model"), i32Model}});
            Reply(QStringLiteral("sysinfo"), u32Id + 0x1000, SysInfoBody(i32Model));
        } else if (u32Id >= LOG_REQ && u32Id <= LOG_REQ + 0x30 && (u32Id & 0xF) == 2) {
            m_pRecord->Event(strHost, QStringLiteral("vaza_log"),
                             {{QStringLiteral("model"), ModelIndexOfRequest(u32Id, LOG_REQ)}});
            // The log is offered by the device's own FTP service, fresh for each request.
            CSimFtpStore::Instance().Put(strHost, QStringLiteral("/log/messages"), LogText());
            QByteArray ba;
            // Devices send C strings: the terminator travels inside the string.
            PutStr(ba, FtpUrl(QStringLiteral("log/messages")) + '\0');
            Reply(QStringLiteral("log"), u32Id + 0x1000, ba);
        } else if (u32Id == UPGRADE_REQ) {
            HandleUpgrade(baBody);
        } else if (u32Id == QUERY_REQ) {
            int i32Pos = 0;
            const QByteArray baAddr = StrAt(baBody, &i32Pos);
            const quint32 u32Port = U32At(baBody, i32Pos);
            const QJsonObject module = FindModule(baAddr, u32Port);
            m_pRecord->Event(strHost, QStringLiteral("vaza_query"),
                             {{QStringLiteral("module"), QString::fromUtf8(baAddr)},
                              {QStringLiteral("port"), static_cast<double>(u32Port)}});
            QByteArray ba;
            PutStr(ba, baAddr);
            PutU32(ba, u32Port);
            if (module.isEmpty()) {
                PutU32(ba, 1);
            } else {
                PutU32(ba, 0);
                PutU32(ba, 0);
                const QString strVersion = module.value(QStringLiteral("version")).toString(m_dev.strVersion);
                PutStr(ba, InstalledVersions()
                               .value(strHost + QLatin1Char('\n') + QString::fromUtf8(baAddr), strVersion)
                               .toUtf8());
            }
            Reply(QStringLiteral("query"), QUERY_RSP, ba);
        } else {
            m_pRecord->Event(strHost, QStringLiteral("vaza_unknown"),
                             {{QStringLiteral("id"), static_cast<double>(u32Id)}});
        }
    }

    QJsonObject FindModule(const QByteArray &baAddr, quint32 u32Port) const
    {
        for (const QJsonValue &v : m_dev.modules) {
            const QJsonObject o = v.toObject();
            if (o.value(QStringLiteral("addr")).toString().toUtf8() == baAddr &&
                static_cast<quint32>(o.value(QStringLiteral("port")).toInt()) == u32Port)
                return o;
        }
        return QJsonObject();
    }

    QByteArray FtpUrl(const QString &strPath) const
    {
        const QString strUser = m_dev.Text(QStringLiteral("ftp_user"), QStringLiteral("velmora"));
        const QString strPass = m_dev.Text(QStringLiteral("ftp_password"), QStringLiteral("velmora"));
        return QStringLiteral("ftp://%1:%2@%3:%4/%5")
            .arg(strUser, strPass, m_dev.strAddr)
            .arg(m_i32FtpPort)
            .arg(strPath)
            .toUtf8();
    }

    void HandleUpgrade(const QByteArray &baBody)
    {
        int i32Pos = 0;
        const QByteArray baAddr = StrAt(baBody, &i32Pos);
        const quint32 u32Port = U32At(baBody, i32Pos);
        const quint32 u32Step = U32At(baBody, i32Pos + 4);
        const quint32 u32Value = U32At(baBody, i32Pos + 8);
        i32Pos += 12;
        StrAt(baBody, &i32Pos);
        StrAt(baBody, &i32Pos);
        const QByteArray baName = StrAt(baBody, &i32Pos);

        QJsonObject ev{{QStringLiteral("module"), QString::fromUtf8(baAddr)},
                       {QStringLiteral("port"), static_cast<double>(u32Port)},
                       {QStringLiteral("step"), static_cast<double>(u32Step)},
                       {QStringLiteral("value"), static_cast<double>(u32Value)},
                       {QStringLiteral("name"), QString::fromUtf8(baName)}};

        quint32 u32ReplyValue = 0;
        QByteArray baExtra;
        if (u32Step == 101) {
            m_baImageName = baName;
            m_bInstallFailed = false;
            const QString strUrl = m_dev.Text(QStringLiteral("vaza_ftp_url"));
            baExtra = (strUrl.isEmpty() ? FtpUrl(QString::fromUtf8(baName)) : strUrl.toUtf8()) + '\0';
        } else if (u32Step == 102) {
            // The image is whatever this device's FTP service stored under the name.
            const CSimFtpStore &store = CSimFtpStore::Instance();
            const QString strPath = QLatin1Char('/') + QString::fromUtf8(baName);
            const bool bHave = store.Contains(m_dev.strHostName, strPath);
            const T_SimFtpFile stImage = store.File(m_dev.strHostName, strPath);
            const bool bMatch = bHave && stImage.u8Xor == (u32Value & 0xFF) && (u32Value >> 8) == 0;
            ev.insert(QStringLiteral("received"), bHave);
            ev.insert(QStringLiteral("checksum_ok"), bMatch);
            if (bHave) {
                ev.insert(QStringLiteral("size"), static_cast<double>(stImage.i64Size));
                ev.insert(QStringLiteral("sha256"), QString::fromLatin1(stImage.baSha256.toHex()));
            }
            m_bInstallFailed = !bMatch || m_dev.Flag(QStringLiteral("install_fail")) ||
                               m_dev.knobs.contains(QStringLiteral("install_stuck_at"));
            m_installClock.start();
        } else if (u32Step == 103) {
            const int i32InstallMs = m_dev.Knob(QStringLiteral("install_ms"), 4000);
            if (m_bInstallFailed) {
                // A device whose installation failed has no word for it on this step: its
                // percentage simply stops moving.
                u32ReplyValue = static_cast<quint32>(m_dev.Knob(QStringLiteral("install_stuck_at"), 0));
            } else if (!m_installClock.isValid()) {
                u32ReplyValue = 0;
            } else if (i32InstallMs <= 0 || m_installClock.elapsed() >= i32InstallMs) {
                u32ReplyValue = 100;
            } else {
                u32ReplyValue =
                    static_cast<quint32>(qBound<qint64>(1, m_installClock.elapsed() * 100 / i32InstallMs, 99));
            }
            ev.insert(QStringLiteral("progress"), static_cast<double>(u32ReplyValue));
            if (u32ReplyValue == 100) {
                m_pRecord->Event(m_dev.strHostName, QStringLiteral("vaza_installed"),
                                 {{QStringLiteral("name"), QString::fromUtf8(m_baImageName)}});
                const QJsonValue after = FindModule(baAddr, u32Port).value(QStringLiteral("version_after"));
                if (after.isString())
                    InstalledVersions().insert(m_dev.strHostName + QLatin1Char('\n') + QString::fromUtf8(baAddr),
                                               after.toString());
            }
        }
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("vaza_upgrade"), ev);

        QByteArray ba;
        PutStr(ba, m_dev.Flag(QStringLiteral("vaza_wrong_module")) ? QByteArray("wrong-module") : baAddr);
        PutU32(ba, u32Port);
        PutU32(ba, u32Step);
        PutU32(ba, u32ReplyValue);
        if (u32Step == 101)
            PutStr(ba, baExtra);
        Reply(QString::number(u32Step), UPGRADE_RSP, ba);
    }

    // knobs.log_text as it is, or knobs.log_size bytes (default 2500) of plausible lines.
    QByteArray LogText() const
    {
        if (m_dev.knobs.contains(QStringLiteral("log_text")))
            return m_dev.Text(QStringLiteral("log_text")).toUtf8();
        const int i32Size = qMax(0, m_dev.Knob(QStringLiteral("log_size"), 2500));
        QByteArray ba;
        for (int i = 0; ba.size() < i32Size; ++i)
            ba += QStringLiteral("Jan  1 00:%1:%2 %3 daemon.info vazad[412]: link up, stream %4 running\n")
                      .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                      .arg(i % 60, 2, 10, QLatin1Char('0'))
                      .arg(m_dev.strHostName)
                      .arg(i)
                      .toUtf8();
        ba.truncate(i32Size);
        return ba;
    }

    QByteArray SysInfoBody(int i32Model) const
    {
        QByteArray ba;
        if (i32Model == 3) {
            PutStr(ba, QStringLiteral("<label name=\"Device Info\"><label name=\"Model\">%1</label>"
                                      "<label name=\"Version\">%2</label></label>")
                           .arg(m_dev.strModel.toHtmlEscaped(), m_dev.strVersion.toHtmlEscaped())
                           .toUtf8());
            PutStr(ba, QStringLiteral("<label name=\"System Info\"><label name=\"IP Address\">%1</label></label>")
                           .arg(m_dev.strAddr)
                           .toUtf8());
            return ba;
        }
        const QByteArray baHost = m_dev.strHostName.toUtf8();
        PutStr(ba, Padded(m_dev.strModel.toUtf8()));
        PutStr(ba, "2024-03-18");
        PutStr(ba, Padded("SN" + baHost.mid(baHost.indexOf('-') + 1)));
        PutStr(ba, "IRoIP " + m_dev.strVersion.toUtf8());
        PutStr(ba, "SoIP " + m_dev.strVersion.toUtf8());
        if (i32Model == 0) {
            for (const char *psz : {"1920x1080p60", "PCM 48kHz 2ch", "VESA 148.5MHz", "1920x1080p60", "720x576i50",
                                    "00ffffffffffff004c2d"})
                PutStr(ba, psz);
        } else if (i32Model == 1) {
            PutStr(ba, "H.264 1080p60 8Mbps");
            PutStr(ba, "00ffffffffffff004c2d");
        } else {
            ba.append(char(2));
            PutStr(ba, "H.264 1080p60 8Mbps");
            PutStr(ba, "H.264 720p30 2Mbps  ");
            PutStr(ba, "00ffffffffffff004c2d");
        }
        const QStringList parts = m_dev.strAddr.split(QLatin1Char('.'));
        for (int i32Eth = 0; i32Eth < 2; ++i32Eth) {
            PutStr(ba, QStringLiteral("eth%1").arg(i32Eth).toUtf8());
            PutStr(ba, i32Eth == 0 ? "static" : "dhcp");
            PutStr(ba, i32Eth == 0 ? m_dev.strAddr.toUtf8() : QByteArray("169.254.0.") + parts.value(3).toUtf8());
            PutStr(ba, "255.255.255.0");
            PutStr(ba, i32Eth == 0 ? (parts.mid(0, 3).join(QLatin1Char('.')) + QStringLiteral(".254")).toUtf8()
                                   : QByteArray("0.0.0.0"));
            PutStr(ba, QStringLiteral("00:1c:%1:00:%2:%3")
                           .arg(i32Eth, 2, 16, QLatin1Char('0'))
                           .arg(parts.value(2).toInt(), 2, 16, QLatin1Char('0'))
                           .arg(parts.value(3).toInt(), 2, 16, QLatin1Char('0'))
                           .toUtf8());
            PutStr(ba, "1000M full");
            PutStr(ba, Padded("0.0.0.0"));
        }
        PutStr(ba, "ok");
        PutStr(ba, "512MB");
        PutStr(ba, "128MB");
        return ba;
    }

    const T_SimDevice &m_dev;
    int m_i32FtpPort;
    CSimRecord *m_pRecord;
    QPointer<QTcpSocket> m_pSocket;
    QByteArray m_baRecv;
    quint32 m_u32Seq = 0;
    bool m_bBound = false;
    QByteArray m_baImageName;
    bool m_bInstallFailed = false;
    QElapsedTimer m_installClock;
};

class CSimVazaService : public CSimService
{
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        const int i32FtpPort = m_fleet.Port(QStringLiteral("ftp"), 21);
        for (const T_SimDevice &dev : m_fleet.devices) {
            // The web-server models answer the Vaza service too, on the fleet's word.
            const bool bHttpWithVaza = dev.strChannel == QLatin1String("http") && dev.Flag(QStringLiteral("vaza"));
            if (dev.strChannel != QLatin1String("vaza") && !bHttpWithVaza)
                continue;
            auto *pServer = new QTcpServer(this);
            if (!SimPorts::Listen(pServer, m_fleet, QStringLiteral("vaza"), 60000, dev, strError))
                return false;
            const T_SimDevice *pDev = &dev;
            connect(pServer, &QTcpServer::newConnection, this, [this, pServer, pDev, i32FtpPort] {
                // The URLs name the port this device's FTP service really listens on (it
                // may be one the system picked); by the first connection every service is up.
                const int i32Ftp = SimPorts::Bound(QStringLiteral("ftp"), *pDev);
                while (QTcpSocket *pSocket = pServer->nextPendingConnection()) {
                    m_pRecord->Event(pDev->strHostName, QStringLiteral("vaza_connect"));
                    new CSimVazaConn(*pDev, i32Ftp ? i32Ftp : i32FtpPort, m_pRecord, pSocket, this);
                }
            });
        }
        return true;
    }
};

} // namespace

SIM_REGISTER_SERVICE("vaza", CSimVazaService);
