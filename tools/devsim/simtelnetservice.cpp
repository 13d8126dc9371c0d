// The device shell over telnet on TCP 24 (options.ports.telnet overrides it), one listener per
// device. It opens with a negotiation burst, waits for the answers, asks "login: " and
// "Password: ", then gives the "/ # " prompt and echoes every typed line before its output,
// as the devices' busybox shell over a pty does. Bytes are written here from the telnet
// codes, not through the product's channel.
//
// Commands (prefix "gb" or "ast"; T is the target, empty from every caller):
//   Pparam g|r T NAME        the parameter's value ("name" is the fleet's telnet_name,
//                            percent-encoded), or "NAME" not defined
//   Pparam s T NAME VALUE    store a value          Pparam save T       nothing to print
//   Pget NAME / Pset -NAME V options                Pconfig --show NAME / Pconfig ARGS
//   cat /sys/devices/platform/display/monitor_info  display identification lines
//   reboot                   prints a line, closes, and takes the device off the network
//                            (telnet_reboot_silent: closes right after the echo)
// Knobs: see fleets/README.md ("Telnet knobs").
#include "simports.h"
#include "simservice.h"
#include "simtelnetpower.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace
{

constexpr char kIac = '\xff';
constexpr unsigned char kWill = 0xfb;
constexpr unsigned char kSb = 0xfa;
constexpr unsigned char kSe = 0xf0;
// A typed line longer than this is no command: the connection is dropped.
constexpr int kMaxInput = 64 * 1024;

// Opening bursts by knob value; "unmatched" is what a Debian telnetd sends first.
QByteArray Burst(const QString &strKind)
{
    static const QHash<QString, QByteArray> s_bursts{
        {QStringLiteral("row1"), QByteArray::fromHex("fffd18fffd20fffd23fffd27")},
        {QStringLiteral("row2"), QByteArray::fromHex("fffb03fffd01fffd1ffffb05fffd21")},
        {QStringLiteral("row3"), QByteArray::fromHex("fffd18fffd20fffd23fffd27fffd24")},
        {QStringLiteral("row4"), QByteArray::fromHex("fffb03fffd01fffd22fffd1ffffb05fffd21")},
        {QStringLiteral("row5"), QByteArray::fromHex("fffb01")},
        {QStringLiteral("row6"), QByteArray::fromHex("fffb01fffd06fffd00")},
        {QStringLiteral("unmatched"), QByteArray::fromHex("fffb25fffb26fffd18fffd20fffd23fffd27")},
    };
    return s_bursts.value(strKind);
}

// The display identification the monitor-info command prints by default: a Samsung sink.
const char *const kMonitorInfo = "EDID:\n"
                                 "00 ff ff ff | ff ff ff 00 | 4c 2d 0d 05 | 00 00 00 00\n"
                                 "0f 1a 01 03 | 80 3c 22 78 | 2a 0b 11 a5 | 54 4d 9d 25";

// What a device's shell remembers lives with the device, not the connection: a value set
// over one login is read back over the next, as on a real box.
struct T_ShellStore {
    bool bFilled = false;
    QHash<QString, QString> params;
    QHash<QString, QString> options;
    QHash<QString, QString> config;
};

T_ShellStore &ShellStore(const QString &strHostName)
{
    static QHash<QString, T_ShellStore> stores;
    return stores[strHostName];
}

class CSimTelnetConn : public QObject
{
    Q_OBJECT
public:
    CSimTelnetConn(const T_SimDevice &dev, CSimRecord *pRecord, QTcpSocket *pSocket, QObject *parent)
        : QObject(parent), m_dev(dev), m_pRecord(pRecord), m_pSocket(pSocket),
          m_params(ShellStore(dev.strHostName).params), m_options(ShellStore(dev.strHostName).options),
          m_config(ShellStore(dev.strHostName).config)
    {
        T_ShellStore &store = ShellStore(dev.strHostName);
        if (!store.bFilled) {
            store.bFilled = true;
            m_params.insert(QStringLiteral("name"), QString::fromLatin1(QUrl::toPercentEncoding(dev.strTelnetName)));
            const QJsonObject params = dev.knobs.value(QStringLiteral("telnet_params")).toObject();
            for (auto it = params.begin(); it != params.end(); ++it)
                m_params.insert(it.key(), it.value().toString());
            const QJsonObject options = dev.knobs.value(QStringLiteral("telnet_options")).toObject();
            for (auto it = options.begin(); it != options.end(); ++it)
                m_options.insert(it.key(), it.value().toString());
            const QJsonObject config = dev.knobs.value(QStringLiteral("telnet_config")).toObject();
            for (auto it = config.begin(); it != config.end(); ++it)
                m_config.insert(it.key(), it.value().toString());
        }
        m_iByteMs = dev.Knob(QStringLiteral("telnet_byte_ms"), 0);
        m_bZeroBytes = dev.Flag(QStringLiteral("telnet_zero_bytes"));

        connect(pSocket, &QTcpSocket::readyRead, this, &CSimTelnetConn::OnRead);
        connect(pSocket, &QTcpSocket::disconnected, this, &CSimTelnetConn::OnGone);
        m_paceTimer.setInterval(m_iByteMs);
        connect(&m_paceTimer, &QTimer::timeout, this, &CSimTelnetConn::SendOneByte);

        const QByteArray burst = Burst(dev.Text(QStringLiteral("telnet_negotiation"), QStringLiteral("row1")));
        m_pRecord->Event(dev.strHostName, QStringLiteral("telnet_connect"),
                         QJsonObject{{"burst", QString::fromLatin1(burst.toHex())}});
        if (burst.isEmpty() || burst == QByteArray::fromHex("fffb01")) {
            // Nothing to wait for: WILL echo alone expects no answer.
            m_pSocket->write(burst);
            Ask(QByteArrayLiteral("login: "), ST_USER);
        } else {
            m_pSocket->write(burst);
            m_eState = ST_NEGOTIATING;
        }
    }

private:
    enum E_State { ST_NEGOTIATING, ST_USER, ST_PASSWORD, ST_SHELL, ST_SILENT, ST_CLOSING };

    void Ask(const QByteArray &question, E_State eNext)
    {
        m_eState = eNext;
        Out(question);
    }

    // Text out, with the knobs that make it hard to read: zero bytes inside, one byte at a time.
    void Out(const QByteArray &text)
    {
        QByteArray bytes = text;
        if (m_bZeroBytes) {
            bytes.clear();
            for (int i = 0; i < text.size(); ++i) {
                bytes += text.at(i);
                if (i % 3 == 1)
                    bytes += '\0';
            }
        }
        if (m_iByteMs <= 0 && m_paced.isEmpty()) {
            m_pSocket->write(bytes);
            return;
        }
        m_paced += bytes;
        if (!m_paceTimer.isActive())
            m_paceTimer.start();
    }

    void SendOneByte()
    {
        if (m_paced.isEmpty()) {
            m_paceTimer.stop();
            if (m_eState == ST_CLOSING)
                GoDown();
            return;
        }
        m_pSocket->write(m_paced.left(1));
        m_paced.remove(0, 1);
    }

    void OnRead()
    {
        const QByteArray data = m_pSocket->readAll();
        QByteArray text;
        // Take the telnet commands out of what the client typed.
        for (int i = 0; i < data.size(); ++i) {
            const char c = data.at(i);
            if (m_iIacSkip > 0) {
                --m_iIacSkip;
                m_negotiationIn += c;
                continue;
            }
            if (m_bInSb) {
                m_negotiationIn += c;
                if (m_bSbIac && static_cast<unsigned char>(c) == kSe)
                    m_bInSb = false;
                m_bSbIac = c == kIac;
                continue;
            }
            if (m_bIac) {
                m_bIac = false;
                const auto verb = static_cast<unsigned char>(c);
                m_negotiationIn += c;
                if (verb == 0xff)
                    text += c;
                else if (verb >= kWill)
                    m_iIacSkip = 1;
                else if (verb == kSb)
                    m_bInSb = true;
                continue;
            }
            if (c == kIac) {
                m_bIac = true;
                m_negotiationIn += c;
                continue;
            }
            text += c;
        }
        if (m_eState == ST_NEGOTIATING && !m_negotiationIn.isEmpty() && m_iIacSkip == 0 && !m_bIac && !m_bInSb) {
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_negotiation"),
                             QJsonObject{{"answer", QString::fromLatin1(m_negotiationIn.toHex())}});
            Ask(QByteArrayLiteral("login: "), ST_USER);
        }
        m_input += text;
        if (m_input.size() > kMaxInput) {
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_overlong_input"));
            m_pSocket->abort();
            return;
        }
        for (;;) {
            const int iEnd = LineEnd();
            if (iEnd < 0)
                break;
            QByteArray line = m_input.left(iEnd);
            int iSkip = 1;
            if (m_input.at(iEnd) == '\r' && iEnd + 1 < m_input.size() &&
                (m_input.at(iEnd + 1) == '\n' || m_input.at(iEnd + 1) == '\0'))
                iSkip = 2;
            else if (m_input.at(iEnd) == '\r' && iEnd + 1 == m_input.size())
                break; // wait: a CR LF may be cut between reads
            m_input.remove(0, iEnd + iSkip);
            OnLine(line);
            if (m_eState == ST_CLOSING || m_pSocket->state() != QAbstractSocket::ConnectedState)
                return;
        }
    }

    int LineEnd() const
    {
        for (int i = 0; i < m_input.size(); ++i)
            if (m_input.at(i) == '\r' || m_input.at(i) == '\n')
                return i;
        return -1;
    }

    void OnLine(const QByteArray &line)
    {
        switch (m_eState) {
        case ST_NEGOTIATING: // typed before the answers: take it as the user name
        case ST_USER:
            m_user = line;
            Out(line + "\r\n");
            Ask(QByteArrayLiteral("Password: "), ST_PASSWORD);
            return;
        case ST_PASSWORD:
            Out("\r\n");
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_login"),
                             QJsonObject{{"user", QString::fromUtf8(m_user)}, {"password", QString::fromUtf8(line)}});
            if (m_dev.Flag(QStringLiteral("telnet_incorrect_password"))) {
                Out("su: incorrect password");
                m_eState = ST_SILENT;
                return;
            }
            if (m_dev.Flag(QStringLiteral("telnet_silent_after_login"))) {
                m_eState = ST_SILENT;
                return;
            }
            Ask(Prompt(), ST_SHELL);
            return;
        case ST_SHELL:
            Command(line);
            return;
        case ST_SILENT:
        case ST_CLOSING:
            return;
        }
    }

    QByteArray Prompt() const { return m_dev.Text(QStringLiteral("telnet_prompt"), QStringLiteral("/ # ")).toUtf8(); }

    void Command(const QByteArray &line)
    {
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_command"),
                         QJsonObject{{"line", QString::fromUtf8(line)}});
        Out(line + "\r\n"); // the echo
        const int iLong = m_dev.Knob(QStringLiteral("telnet_long_line"), 0);
        if (iLong > 0 && !line.trimmed().isEmpty())
            Out(QByteArray(iLong, 'L') + "\r\n");
        const QList<QByteArray> words = line.split(' ');
        const QByteArray head = words.value(0);
        QByteArray prefix;
        for (const char *psz : {"gb", "ast"})
            if (head.startsWith(psz))
                prefix = psz;
        const QByteArray tool = head.mid(prefix.size());
        QByteArray out;
        if (line.trimmed().isEmpty()) {
            // just the prompt again
        } else if (line.trimmed() == "reboot") {
            Reboot();
            return;
        } else if (line.trimmed() == "cat /sys/devices/platform/display/monitor_info") {
            out = m_dev.Text(QStringLiteral("telnet_monitor_info"), QString::fromLatin1(kMonitorInfo)).toUtf8();
        } else if (!prefix.isEmpty() && tool == "param" && words.size() >= 4 &&
                   (words.at(1) == "g" || words.at(1) == "r")) {
            // Pparam g T NAME: the target may be empty, which leaves two blanks in a row.
            const QString strName = QString::fromUtf8(words.mid(3).join(' ')).trimmed();
            out = m_params.contains(strName) ? m_params.value(strName).toUtf8()
                                             : "\"" + strName.toUtf8() + "\" not defined";
        } else if (!prefix.isEmpty() && tool == "param" && words.size() >= 4 && words.at(1) == "s") {
            m_params.insert(QString::fromUtf8(words.at(3)), QString::fromUtf8(words.mid(4).join(' ')));
        } else if (!prefix.isEmpty() && tool == "param" && words.value(1) == "save") {
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_param_save"));
        } else if (!prefix.isEmpty() && tool == "get" && words.size() >= 2) {
            const QString strName = QString::fromUtf8(words.at(1));
            out = m_options.contains(strName) ? m_options.value(strName).toUtf8() : strName.toUtf8() + " not defined";
        } else if (!prefix.isEmpty() && tool == "set" && words.size() >= 2 && words.at(1).startsWith('-')) {
            m_options.insert(QString::fromUtf8(words.at(1).mid(1)), QString::fromUtf8(words.mid(2).join(' ')));
        } else if (!prefix.isEmpty() && tool == "config" && words.value(1) == "--show" && words.size() >= 3) {
            const QString strName = QString::fromUtf8(words.at(2));
            out = m_config.contains(strName) ? m_config.value(strName).toUtf8() : strName.toUtf8() + " not defined";
        } else if ((!prefix.isEmpty() && tool == "config") || head == "e" || head == "osd_on.sh" ||
                   head == "osd_off.sh") {
            // accepted, nothing to print
        } else {
            out = "sh: " + head + ": not found";
        }
        if (!out.isEmpty())
            Out(out.replace("\n", "\r\n") + "\r\n");
        Out(Prompt());
    }

    void Reboot()
    {
        const int iDownMs = m_dev.Knob(QStringLiteral("telnet_reboot_ms"), 3000);
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_reboot"), QJsonObject{{"down_ms", iDownMs}});
        // Unterminated, as the shell is killed mid-line; or killed before it prints anything.
        if (!m_dev.Flag(QStringLiteral("telnet_reboot_silent")))
            Out("The system is going down NOW!");
        m_eState = ST_CLOSING;
        if (m_paced.isEmpty())
            GoDown();
    }

    void GoDown()
    {
        const int iDownMs = m_dev.Knob(QStringLiteral("telnet_reboot_ms"), 3000);
        // Our last words still leave; everything else of this address goes with the power.
        m_pSocket->disconnectFromHost();
        SimTelnetPower::Cycle(m_dev, iDownMs, m_pRecord, m_pSocket);
    }

    void OnGone()
    {
        m_paceTimer.stop();
        m_pRecord->Event(m_dev.strHostName, QStringLiteral("telnet_disconnect"));
        m_pSocket->deleteLater();
        deleteLater();
    }

    const T_SimDevice &m_dev;
    CSimRecord *m_pRecord;
    QTcpSocket *m_pSocket;
    E_State m_eState = ST_NEGOTIATING;
    QByteArray m_input;
    QByteArray m_negotiationIn;
    QByteArray m_user;
    bool m_bIac = false;
    bool m_bInSb = false;
    bool m_bSbIac = false;
    int m_iIacSkip = 0;
    QHash<QString, QString> &m_params;
    QHash<QString, QString> &m_options;
    QHash<QString, QString> &m_config;
    int m_iByteMs = 0;
    bool m_bZeroBytes = false;
    QByteArray m_paced;
    QTimer m_paceTimer;
};

class CSimTelnetService : public CSimService
{
    Q_OBJECT
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        for (const T_SimDevice &dev : m_fleet.devices) {
            if (!dev.knobs.value(QStringLiteral("telnet")).toBool(true))
                continue;
            auto *pServer = new QTcpServer(this);
            if (!SimPorts::Listen(pServer, m_fleet, QStringLiteral("telnet"), 24, dev, strError))
                return false;
            const T_SimDevice *pDev = &dev;
            connect(pServer, &QTcpServer::newConnection, this, [this, pServer, pDev] {
                while (QTcpSocket *pSocket = pServer->nextPendingConnection())
                    new CSimTelnetConn(*pDev, m_pRecord, pSocket, this);
            });
        }
        return true;
    }
};

} // namespace

SIM_REGISTER_SERVICE("telnet", CSimTelnetService);

#include "simtelnetservice.moc"
