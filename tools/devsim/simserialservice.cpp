// The microcontroller behind a serial line, for every device with "channel": "serial". Each
// gets a pseudo-terminal; its path is printed before the ready line:
//   velmora-devsim: serial <host name> <path>
// and, with the knob serial_link, a symbolic link of that name points at it.
//
// Frames both ways: 0xFD, u16 big-endian length N, N bytes of a Vaza message (24-byte header of
// six big-endian u32 words, then the body), XOR of the N bytes. Built here from the wire
// tables, never through the product's codec.
//   0x1813 version query  -> 0x2813: module, port, result 0, 0, version text
//   0x1811 step 101       -> 0x2811 step 101 (ready); the image starts empty
//   0x1815 one piece      -> 0x2815 status 0 (stored) or 0xFFFFFFFF (send it again)
//   0x1811 step 102       -> 0x2811 step 102; the checksum (each byte sign-extended to 32 bits
//                            and XORed) is checked against the pieces received
//   0x1811 step 103       -> 0x2811 step 103 with the installation percentage, 0
//                            when the image was refused
// A piece repeated with the sequence number of the one stored last (a resend that crossed
// our acknowledgement) is acknowledged again but not stored twice; any other request repeated
// byte for byte gets the answer the last one got.
//
// Knobs (per device, all optional):
//   serial_link          path of a symbolic link to the pseudo-terminal (replaced if present)
//   serial_baud          pace the line at this rate, 10 bits per byte each way (0: unpaced)
//   serial_module        module address answered (default "Atmel_MCU", port 0)
//   serial_silent        true, or a list of steps never answered ("query", "101", "data",
//                        "102", "103")
//   serial_ignore_first  list of steps whose first frame is not answered (the resend is)
//   serial_nak_every     every n-th piece is answered 0xFFFFFFFF and not stored
//   serial_garbage       this many noise bytes (never 0xFD) before every reply
//   serial_stray_ff      true: a lone 0xFF on an idle line before every reply, and one
//                        stray 0xFF right before each reply frame
//   serial_bad_checksum  list of steps whose first reply carries a wrong checksum byte
//   serial_wrong_module  true: upgrade replies name module "wrong-module"
//   serial_query_refuse  true: version queries are answered with result 1 (failure)
//   serial_version_after version reported after a completed installation (default: the
//                        image's name as the program told it)
//   install_ms           installation time after step 102 (default 4000; 0 = done at once)
//   install_fail         true: the installation fails: step 103 answers 0 from then on
// Records: serial_query, serial_upgrade (step, value; for 102 checksum_ok, size, sha256,
// pieces, naks), image (name, size, sha256), serial_installed, serial_frame_error.
#include "simserialline.h"
#include "simservice.h"
#include "simwire.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QTextStream>
#include <QtEndian>

namespace
{

enum : quint32 {
    UPGRADE_REQ = 0x1811,
    UPGRADE_RSP = 0x2811,
    QUERY_REQ = 0x1813,
    QUERY_RSP = 0x2813,
    DATA_REQ = 0x1815,
    DATA_RSP = 0x2815,
    NAK = 0xFFFFFFFFu,
};

using namespace SimWire;

quint8 Xor(const char *p, int n)
{
    quint8 x = 0;
    for (int i = 0; i < n; ++i)
        x ^= static_cast<quint8>(p[i]);
    return x;
}

// One controller on one line.
class CSimMcu : public QObject
{
public:
    CSimMcu(const T_SimDevice &dev, CSimRecord *pRecord, QObject *parent)
        : QObject(parent), m_dev(dev), m_pRecord(pRecord)
    {
        m_baModule = dev.Text(QStringLiteral("serial_module"), QStringLiteral("Atmel_MCU")).toUtf8();
        m_baVersion = dev.strVersion.toUtf8();
    }

    bool Start(QString &strError)
    {
        if (!m_line.Open(m_dev.Knob(QStringLiteral("serial_baud"), 0), strError))
            return false;
        const QString strLink = m_dev.Text(QStringLiteral("serial_link"));
        if (!strLink.isEmpty()) {
            QFile::remove(strLink);
            if (!QFile::link(m_line.SlavePath(), strLink)) {
                strError = QStringLiteral("cannot link %1 to %2").arg(strLink, m_line.SlavePath());
                return false;
            }
            m_strLink = strLink;
        }
        connect(&m_line, &CSimSerialLine::Received, this, [this](const QByteArray &ba) { OnBytes(ba); });
        QTextStream(stdout) << "velmora-devsim: serial " << m_dev.strHostName << ' '
                            << (m_strLink.isEmpty() ? m_line.SlavePath() : m_strLink) << '\n';
        return true;
    }

    ~CSimMcu() override
    {
        if (!m_strLink.isEmpty())
            QFile::remove(m_strLink);
    }

private:
    bool InList(const QString &strKnob, const QString &strStep) const
    {
        const QJsonValue v = m_dev.knobs.value(strKnob);
        if (v.isBool())
            return v.toBool();
        if (v.isString())
            return v.toString() == strStep;
        return v.toArray().contains(strStep);
    }

    void OnBytes(const QByteArray &ba)
    {
        m_baRecv.append(ba);
        for (;;) {
            const int i32Sync = m_baRecv.indexOf(char(0xFD));
            if (i32Sync < 0) {
                m_baRecv.clear();
                return;
            }
            if (i32Sync > 0)
                m_baRecv.remove(0, i32Sync);
            if (m_baRecv.size() < 3)
                return;
            const int n = (quint8(m_baRecv[1]) << 8) | quint8(m_baRecv[2]);
            if (n >= 24 && m_baRecv.size() < n + 4)
                return;
            if (n < 24 || Xor(m_baRecv.constData() + 3, n) != quint8(m_baRecv[3 + n])) {
                m_pRecord->Event(m_dev.strHostName, QStringLiteral("serial_frame_error"), {{"length", n}});
                m_baRecv.remove(0, 1);
                continue;
            }
            const QByteArray baMsg = m_baRecv.mid(3, n);
            m_baRecv.remove(0, n + 4);
            OnMessage(baMsg);
        }
    }

    void OnMessage(const QByteArray &baMsg)
    {
        const quint32 u32Id = U32At(baMsg, 4);
        const quint32 u32Seq = U32At(baMsg, 8);
        const QByteArray baBody = baMsg.mid(24);
        const QString &strHost = m_dev.strHostName;
        int i32Pos = 0;
        // Only within the program's resend window (three resends 3 s apart): a new session
        // numbers its messages from 1 again and may well send the same bytes later.
        if (u32Id != DATA_REQ && m_bHaveReply && baMsg == m_baReplyRequest && m_replyClock.elapsed() < 10000) {
            // The program wrote the same request again (same bytes, so the same sequence
            // number of the same session) because our answer was late or lost: answer it the
            // same way instead of running the step twice.
            m_pRecord->Event(strHost, QStringLiteral("serial_repeat"), {{"seq", static_cast<double>(u32Seq)}});
            m_line.Send(m_baReplyFrame);
            return;
        }
        m_baRequest = baMsg;
        if (u32Id == QUERY_REQ) {
            const QByteArray baModule = StrAt(baBody, &i32Pos);
            const quint32 u32Port = U32At(baBody, i32Pos);
            m_pRecord->Event(strHost, QStringLiteral("serial_query"), {{"module", QString::fromUtf8(baModule)}});
            if (!Answer(QStringLiteral("query")))
                return;
            QByteArray body;
            PutStr(body, baModule);
            PutU32(body, u32Port);
            const bool bKnown = baModule.trimmed() == m_baModule && !m_dev.Flag(QStringLiteral("serial_query_refuse"));
            PutU32(body, bKnown ? 0 : 1);
            if (bKnown) {
                PutU32(body, 0);
                PutStr(body, m_baVersion);
            }
            Reply(QStringLiteral("query"), QUERY_RSP, body);
            return;
        }
        if (u32Id == DATA_REQ) {
            if (!Answer(QStringLiteral("data")))
                return;
            const QByteArray baPiece = StrAt(baBody, &i32Pos);
            quint32 u32Status = 0;
            const int i32NakEvery = m_dev.Knob(QStringLiteral("serial_nak_every"), 0);
            if (m_bHaveLastSeq && u32Seq == m_u32LastSeq) {
                // Our acknowledgement crossed the program's resend: the piece is stored already.
            } else if (i32NakEvery > 0 && ++m_i32NakCounter % i32NakEvery == 0) {
                u32Status = NAK;
                ++m_i32Naks;
            } else {
                m_baImage.append(baPiece);
                ++m_i32Pieces;
                m_u32LastSeq = u32Seq;
                m_bHaveLastSeq = true;
            }
            QByteArray body;
            PutU32(body, u32Status);
            Reply(QStringLiteral("data"), DATA_RSP, body);
            return;
        }
        if (u32Id != UPGRADE_REQ) {
            m_pRecord->Event(strHost, QStringLiteral("serial_unknown"), {{"id", static_cast<double>(u32Id)}});
            return;
        }
        const QByteArray baModule = StrAt(baBody, &i32Pos);
        const quint32 u32Port = U32At(baBody, i32Pos);
        const quint32 u32Step = U32At(baBody, i32Pos + 4);
        const quint32 u32Value = U32At(baBody, i32Pos + 8);
        i32Pos += 12;
        StrAt(baBody, &i32Pos);
        StrAt(baBody, &i32Pos);
        const QByteArray baName = StrAt(baBody, &i32Pos);
        QJsonObject ev{{"step", static_cast<double>(u32Step)},
                       {"value", static_cast<double>(u32Value)},
                       {"module", QString::fromUtf8(baModule)}};
        quint32 u32Answer = 0;
        const QString strStep = QString::number(u32Step);
        // A request the controller does not answer is one it never took in.
        if (!Answer(strStep))
            return;
        if (u32Step == 101) {
            m_baImage.clear();
            m_baName = baName;
            m_i32Pieces = m_i32Naks = m_i32NakCounter = 0;
            m_bHaveLastSeq = false;
            m_bInstalling = false;
            m_bInstalled = false;
            ev.insert(QStringLiteral("name"), QString::fromUtf8(baName));
        } else if (u32Step == 102) {
            quint32 u32Sum = 0;
            for (char c : m_baImage)
                u32Sum ^= static_cast<quint32>(static_cast<qint32>(static_cast<qint8>(c)));
            m_bChecksumOk = u32Sum == u32Value && !m_baName.isEmpty() && baName == m_baName;
            ev.insert(QStringLiteral("checksum_ok"), m_bChecksumOk);
            ev.insert(QStringLiteral("expected"), static_cast<double>(u32Sum));
            ev.insert(QStringLiteral("size"), static_cast<double>(m_baImage.size()));
            ev.insert(QStringLiteral("sha256"),
                      QString::fromLatin1(QCryptographicHash::hash(m_baImage, QCryptographicHash::Sha256).toHex()));
            ev.insert(QStringLiteral("pieces"), m_i32Pieces);
            ev.insert(QStringLiteral("naks"), m_i32Naks);
            m_pRecord->Image(strHost, QString::fromUtf8(baName), m_baImage);
            m_bInstalling = true;
            m_bInstalled = false;
            m_installClock.start();
        } else if (u32Step == 103) {
            const int i32InstallMs = m_dev.Knob(QStringLiteral("install_ms"), 4000);
            if (m_bInstalled) {
                u32Answer = 100;
            } else if (!m_bInstalling || !m_bChecksumOk || m_dev.Flag(QStringLiteral("install_fail"))) {
                // A failed installation has no word of its own on this step: it stops moving.
                u32Answer = 0;
            } else if (i32InstallMs <= 0 || m_installClock.elapsed() >= i32InstallMs) {
                u32Answer = 100;
            } else {
                u32Answer = static_cast<quint32>(qBound<qint64>(1, m_installClock.elapsed() * 100 / i32InstallMs, 99));
            }
            ev.insert(QStringLiteral("progress"), static_cast<double>(u32Answer));
            if (u32Answer == 100 && m_bInstalling) {
                m_bInstalling = false;
                m_bInstalled = true;
                m_baVersion = m_dev.Text(QStringLiteral("serial_version_after"), QString::fromUtf8(m_baName)).toUtf8();
                m_pRecord->Event(strHost, QStringLiteral("serial_installed"),
                                 {{"name", QString::fromUtf8(m_baName)}, {"version", QString::fromUtf8(m_baVersion)}});
            }
        }
        m_pRecord->Event(strHost, QStringLiteral("serial_upgrade"), ev);
        QByteArray body;
        PutStr(body, m_dev.Flag(QStringLiteral("serial_wrong_module")) ? QByteArray("wrong-module") : baModule);
        PutU32(body, u32Port);
        PutU32(body, u32Step);
        PutU32(body, u32Answer);
        Reply(strStep, UPGRADE_RSP, body);
    }

    // False when this step gets no answer now (silence, or the first of an ignored step).
    bool Answer(const QString &strStep)
    {
        if (InList(QStringLiteral("serial_silent"), strStep))
            return false;
        if (InList(QStringLiteral("serial_ignore_first"), strStep) && !m_ignored.contains(strStep)) {
            m_ignored.insert(strStep);
            m_pRecord->Event(m_dev.strHostName, QStringLiteral("serial_ignored"), {{"step", strStep}});
            return false;
        }
        return true;
    }

    void Reply(const QString &strStep, quint32 u32Id, const QByteArray &baBody)
    {
        QByteArray msg;
        PutU32(msg, 24 + static_cast<quint32>(baBody.size()));
        PutU32(msg, u32Id);
        PutU32(msg, ++m_u32Seq);
        PutU32(msg, 1);
        PutU32(msg, 0);
        PutU32(msg, 0);
        msg.append(baBody);
        QByteArray frame;
        frame.append(char(0xFD)).append(char(msg.size() >> 8)).append(char(msg.size() & 0xFF)).append(msg);
        quint8 u8Sum = Xor(msg.constData(), msg.size());
        if (u32Id != DATA_RSP) {
            m_baReplyFrame = frame + char(u8Sum);
            m_baReplyRequest = m_baRequest;
            m_replyClock.start();
            m_bHaveReply = true;
        }
        if (InList(QStringLiteral("serial_bad_checksum"), strStep) && !m_badSent.contains(strStep)) {
            m_badSent.insert(strStep);
            u8Sum ^= 0x5A;
        }
        frame.append(char(u8Sum));
        if (m_dev.Flag(QStringLiteral("serial_stray_ff"))) {
            m_line.SendAlone(QByteArray(1, char(0xFF)), 5);
            frame.prepend(char(0xFF));
        }
        const int i32Garbage = m_dev.Knob(QStringLiteral("serial_garbage"), 0);
        QByteArray noise;
        for (int i = 0; i < i32Garbage; ++i)
            noise.append(char((i * 37 + 11) % 0xFD)); // never the sync byte
        m_line.Send(noise + frame);
    }

    const T_SimDevice &m_dev;
    CSimRecord *m_pRecord;
    CSimSerialLine m_line;
    QString m_strLink;
    QByteArray m_baRecv;
    QByteArray m_baModule;
    QByteArray m_baVersion;
    QByteArray m_baName;
    QByteArray m_baImage;
    quint32 m_u32Seq = 0;
    quint32 m_u32LastSeq = 0;
    bool m_bHaveLastSeq = false;
    int m_i32Pieces = 0;
    int m_i32Naks = 0;
    int m_i32NakCounter = 0;
    bool m_bInstalling = false;
    bool m_bInstalled = false;
    QByteArray m_baRequest;      // the message being answered
    QByteArray m_baReplyRequest; // the message m_baReplyFrame answered
    QElapsedTimer m_replyClock;
    bool m_bHaveReply = false;
    QByteArray m_baReplyFrame;
    bool m_bChecksumOk = false;
    QElapsedTimer m_installClock;
    QSet<QString> m_ignored;
    QSet<QString> m_badSent;
};

class CSimSerialService : public CSimService
{
public:
    using CSimService::CSimService;

    bool Start(QString &strError) override
    {
        for (const T_SimDevice &dev : m_fleet.devices) {
            if (dev.strChannel != QLatin1String("serial"))
                continue;
            auto *pMcu = new CSimMcu(dev, m_pRecord, this);
            if (!pMcu->Start(strError))
                return false;
        }
        return true;
    }
};

} // namespace

SIM_REGISTER_SERVICE("serial", CSimSerialService);
