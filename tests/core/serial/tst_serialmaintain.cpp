// The serial session against a scripted controller on a pseudo-terminal: framing, the frame
// parser's stray-byte rules, the acknowledged transfer, resends and the step-102 checksum.
// Frames on the test side are built and read by hand, not with the product's codec.
#include "ptypair.h"
#include "serialwire.h"
#include "testtime.h"

#include "serial/cserialmaintain.h"
#include "serial/serialframe.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace SerialWire;

namespace
{
// Waits for the session to write at least one whole frame, then takes all it wrote.
QList<T_Seen> Next(PtyPair &pty)
{
    (void)QTest::qWaitFor([&] { return !Frames(pty.Received()).isEmpty(); }, 5000);
    return Frames(pty.Take());
}

// Signed-byte rule written out the way it reads: one byte at a time.
quint32 ByteWiseChecksum(const QByteArray &ba)
{
    quint32 u = 0;
    for (char c : ba)
        u ^= static_cast<quint32>(static_cast<qint32>(static_cast<qint8>(c)));
    return u;
}

T_BaseDevInfo Mcu(const QString &strPort)
{
    T_BaseDevInfo st;
    st.strHostName = QStringLiteral("Atmel_MCU");
    st.strAddr = strPort;
    st.u32Port = 115200;
    return st;
}
} // namespace

class TstSerialMaintain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void framing();
    void parser_data();
    void parser();
    void checksumMatchesByteWise();
    void chunkedUpgradeRepeatsPieceOnNegativeAck();
    void unansweredFrameWrittenFourTimes();
    void startRefusals_data();
    void startRefusals();
    void versionQuery();
    void hangupDuringUpgradeFails();
    void deletedInsideItsOwnSignal();

private:
    QTemporaryDir m_dir;
    QString WriteImage(const QString &strName, const QByteArray &ba)
    {
        QFile f(m_dir.filePath(strName));
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        f.write(ba);
        return f.fileName();
    }
    static T_UpgradeInfo Info(const QString &strPath) { return {QStringLiteral("Atmel_MCU"), 0, strPath}; }
};

void TstSerialMaintain::initTestCase()
{
    QVERIFY(m_dir.isValid());
    PtyPair pty;
    if (!pty.IsOpen())
        QSKIP("no pseudo-terminals here");
}

// Catches a length written in one byte or little-endian, a checksum over the wrong bytes,
// and a message too long for the 16-bit length sent cut short instead of refused.
void TstSerialMaintain::framing()
{
    for (const int n : {24, 300, 0xFFFF}) {
        QByteArray msg(n, '\0');
        for (char &c : msg)
            c = char(QRandomGenerator::global()->bounded(256));
        QCOMPARE(SerialFrame::Wrap(msg), Frame(msg));
    }
    QVERIFY(SerialFrame::Wrap(QByteArray(0x10000, 'x')).isEmpty());
}

void TstSerialMaintain::parser_data()
{
    // Chunks fed one after another, and the message ids expected out, in order.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<quint32>>("ids");
    QTest::addColumn<int>("pending");

    const QByteArray a = VersionRsp("V1.2");
    const QByteArray b = Ack(0);
    const QByteArray ff(1, char(0xFF));
    QByteArray badSum = b;
    badSum[badSum.size() - 1] = char(badSum.back() ^ 0x5A);
    QByteArray shortLen = b;
    shortLen[1] = 0;
    shortLen[2] = 10; // below a header

    QTest::newRow("stray byte before a frame") << QList<QByteArray>{ff + a} << QList<quint32>{0x2813} << 0;
    QTest::newRow("two frames, stray byte between")
        << QList<QByteArray>{a + ff + b} << QList<quint32>{0x2813, 0x2815} << 0;
    QTest::newRow("lone 0xFF on an idle line") << QList<QByteArray>{ff, a} << QList<quint32>{0x2813} << 0;
    QTest::newRow("lone 0xFF inside a frame is data")
        << QList<QByteArray>{b.left(10), ff, b.mid(11)} << QList<quint32>{} << 0;
    QTest::newRow("fewer than 26 bytes wait") << QList<QByteArray>{b.left(25)} << QList<quint32>{} << 25;
    QTest::newRow("26th byte starts parsing, frame still short")
        << QList<QByteArray>{b.left(25), b.mid(25, 1)} << QList<quint32>{} << 26;
    QTest::newRow("frame byte by byte") << [&] {
        QList<QByteArray> l;
        for (char c : b)
            l.append(QByteArray(1, c));
        return l;
    }() << QList<quint32>{0x2815} << 0;
    QTest::newRow("bad checksum, next frame in same chunk")
        << QList<QByteArray>{badSum + b} << QList<quint32>{0x2815} << 0;
    QTest::newRow("length below a header, then a frame")
        << QList<QByteArray>{shortLen + a} << QList<quint32>{0x2813} << 0;
    QTest::newRow("noise taken for a huge length, then a frame")
        << QList<QByteArray>{QByteArray::fromHex("0102fdfff0") + a} << QList<quint32>{0x2813} << 0;
    QTest::newRow("several stray bytes before a frame, the last read as a length")
        << QList<QByteArray>{QByteArray(3, '\0') + a} << QList<quint32>{0x2813} << 0;
    QTest::newRow("noise without any sync is dropped")
        << QList<QByteArray>{QByteArray(40, char(0x11))} << QList<quint32>{} << 0;
}

void TstSerialMaintain::parser()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<quint32>, ids);
    QFETCH(int, pending);
    CSerialFrameParser parser;
    QList<quint32> seen;
    for (const QByteArray &chunk : chunks)
        parser.Feed(chunk, [&](const T_VAZAMsgHead &h, QByteArray &body) {
            seen.append(h.u32MsgId);
            if (h.u32MsgId == 0x2815)
                [&] { QCOMPARE(body, U32(0)); }();
            return true;
        });
    QCOMPARE(seen, ids);
    QCOMPARE(parser.Pending(), pending);
}

void TstSerialMaintain::checksumMatchesByteWise()
{
    auto *rng = QRandomGenerator::global();
    QByteArray pool(70000, '\0');
    for (char &c : pool)
        c = char(rng->bounded(256));
    for (int i = 0; i < 400; ++i) {
        const int off = rng->bounded(64);
        const int len = i < 100 ? i : rng->bounded(pool.size() - 64);
        const QByteArray part = pool.mid(off, len);
        QCOMPARE(SerialFrame::ImageChecksum(pool.constData() + off, len), ByteWiseChecksum(part));
    }
    // The two shapes of the result: an odd and an even count of bytes with the top bit set.
    QCOMPARE(SerialFrame::ImageChecksum("\x80\x01", 2), 0xFFFFFF81u);
    QCOMPARE(SerialFrame::ImageChecksum("\x80\x81", 2), 0x00000001u);
}

// Catches pieces of the wrong size or lost bytes, a negative acknowledgement (top bit set)
// not answered with the same piece again, a positive status read as negative, a wrong
// step-102 checksum, and polls before the first period or after 100.
void TstSerialMaintain::chunkedUpgradeRepeatsPieceOnNegativeAck()
{
    // Resends (300 ms here) must not cross the answers this test writes.
    ScopedTimeScale scale(0.1);
    PtyPair pty;
    QByteArray image(2000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + 0x80);
    const QString strPath = WriteImage(QStringLiteral("mcu.rev.bin"), image);
    CSerialMaintain session(Mcu(pty.SlavePath()));
    QVERIFY(session.IsPortOpen());
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(session.StartUpgrade(Info(strPath)), CMD_OK);
    QCOMPARE(session.StartUpgrade(Info(strPath)), CMD_BUSY);

    QList<T_Seen> f = Next(pty);
    QCOMPARE(f.size(), 1);
    QCOMPARE(f[0].id, 0x1811u);
    QCOMPARE(f[0].body, Str("Atmel_MCU") + U32(0) + U32(101) + U32(0) + Str("") + Str("") + Str("mcu.rev"));

    pty.Write(UpgradeRsp(101, 0));
    QByteArray sent;
    const QList<int> sizes{960, 960, 80};
    for (int i = 0; i < 3; ++i) {
        f = Next(pty);
        QCOMPARE(f.size(), 1);
        QCOMPARE(f[0].id, 0x1815u);
        QCOMPARE(int(Be32(f[0].body, 0)), sizes[i] + 4);
        QCOMPARE(f[0].body.size(), sizes[i] + 4);
        for (const quint32 u32Nak : {0xFFFFFFFFu, 0x80000000u}) {
            if (i == 0) { // the same piece again, byte for byte
                pty.Write(Ack(u32Nak));
                const QList<T_Seen> again = Next(pty);
                QCOMPARE(again.size(), 1);
                QCOMPARE(again[0].raw, f[0].raw);
            }
        }
        sent += f[0].body.mid(4);
        pty.Write(Ack(i));
    }
    QCOMPARE(sent, image);
    f = Next(pty);
    QCOMPARE(f.size(), 1);
    QCOMPARE(f[0].body,
             Str("Atmel_MCU") + U32(0) + U32(102) + U32(ByteWiseChecksum(image)) + Str("") + Str("") + Str("mcu.rev"));

    QList<int> progress;
    QStringList steps;
    for (const auto &args : spy) {
        steps.append(args[2].toString());
        progress.append(args[5].toInt());
        QVERIFY(!args[3].toBool());
    }
    QCOMPARE(progress, (QList<int>{48, 96, 100, 100}));
    QCOMPARE(steps.last(), QStringLiteral("Upload Completed"));

    // Installation: no poll before the first period, then until 100.
    pty.Write(UpgradeRsp(102, 0));
    QTRY_COMPARE(spy.size(), 5);
    QCOMPARE(spy.last()[2].toString(), QStringLiteral("Installing"));
    QCOMPARE(spy.last()[5].toInt(), 1);
    QVERIFY(pty.Received().isEmpty());
    // Polls and their resends follow quickly on the scaled clock: look at the first one.
    QCOMPARE(Next(pty).value(0).body, Str("Atmel_MCU") + U32(0) + U32(103) + U32(0) + Str("") + Str("") + Str(""));
    pty.Write(UpgradeRsp(103, 40));
    QTRY_COMPARE(spy.size(), 6);
    QCOMPARE(spy.last()[5].toInt(), 40);
    QTRY_VERIFY(!pty.Received().isEmpty());
    pty.Take();
    pty.Write(UpgradeRsp(103, 100));
    QTRY_COMPARE(spy.size(), 7);
    QCOMPARE(spy.last()[2].toString(), QStringLiteral("Upgrade completed"));
    QVERIFY(spy.last()[4].toBool());
    QVERIFY(!session.IsBusy());
}

void TstSerialMaintain::unansweredFrameWrittenFourTimes()
{
    // 3000 ms becomes 60 ms: the gaps can be told apart from the turn of the event loop.
    ScopedTimeScale scale(0.02);
    PtyPair pty;
    CSerialMaintain session(Mcu(pty.SlavePath()));
    QCOMPARE(session.QueryVersion("Atmel_MCU", 0), CMD_OK);
    QElapsedTimer clock;
    clock.start();
    QList<qint64> at;
    QByteArray first;
    connect(&pty, &PtyPair::ReadyRead, this, [&] {
        for (const T_Seen &f : Frames(pty.Take())) {
            at.append(clock.elapsed());
            if (first.isEmpty())
                first = f.raw;
            QCOMPARE(f.raw, first);
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(at.size(), 4, 5000);
    // No fifth write, however long we wait: three resends in all.
    QTest::qWait(Velmora::ScaledMs(3000) * 3);
    QCOMPARE(at.size(), 4);
    for (int i = 1; i < 4; ++i)
        QVERIFY2(at[i] - at[i - 1] >= Velmora::ScaledMs(3000) - 5, qPrintable(QString::number(at[i] - at[i - 1])));

    // A reply broken on the line is no answer: the frame goes out again after the wait.
    at.clear();
    QByteArray broken = VersionRsp("V");
    broken[broken.size() - 1] = char(broken.back() ^ 1);
    pty.Write(broken);
    QTRY_COMPARE_WITH_TIMEOUT(at.size(), 1, 5000);

    // Noise that reads like the start of a long frame is no answer either: the line must not
    // wait in silence for the rest of it.
    at.clear();
    pty.Write(QByteArray::fromHex("000000fd00fd") + QByteArray(30, char(0x11)));
    QTRY_COMPARE_WITH_TIMEOUT(at.size(), 1, 5000);

    // Any byte from the line restarts the count: a new frame again gets three resends.
    pty.Write(QByteArray(1, char(0xFF)));
    QTest::qWait(Velmora::ScaledMs(3000) / 2);
    at.clear();
    first.clear();
    QCOMPARE(session.QueryVersion("Atmel_MCU", 0), CMD_OK);
    QTRY_COMPARE_WITH_TIMEOUT(at.size(), 4, 5000);
}

void TstSerialMaintain::startRefusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("port");
    QTest::addColumn<int>("result");
    const QString strGood = WriteImage(QStringLiteral("good.bin"), "x");
    QTest::newRow("missing file") << m_dir.filePath("none.bin") << "Atmel_MCU" << true << int(CMD_ERROR);
    QTest::newRow("empty file") << WriteImage(QStringLiteral("empty.bin"), "") << "Atmel_MCU" << true << int(CMD_ERROR);
    QTest::newRow("no base name") << WriteImage(QStringLiteral(".bin"), "x") << "Atmel_MCU" << true << int(CMD_ERROR);
    QTest::newRow("no module") << strGood << "" << true << int(CMD_ERROR);
    QTest::newRow("port missing") << strGood << "Atmel_MCU" << false << int(CMD_CONNECT_FAIL);
}

void TstSerialMaintain::startRefusals()
{
    QFETCH(QString, file);
    QFETCH(QString, module);
    QFETCH(bool, port);
    QFETCH(int, result);
    PtyPair pty;
    CSerialMaintain session(Mcu(port ? pty.SlavePath() : m_dir.filePath(QStringLiteral("ttyGone"))));
    QCOMPARE(int(session.StartUpgrade({module, 0, file})), result);
    QVERIFY(!session.IsBusy());
    QVERIFY(!session.LastError().isEmpty());
    if (!port)
        QCOMPARE(session.QueryVersion("Atmel_MCU", 0), CMD_CONNECT_FAIL);
}

void TstSerialMaintain::versionQuery()
{
    PtyPair pty;
    CSerialMaintain session(Mcu(pty.SlavePath()));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnVersionQueryNotify);
    QCOMPARE(session.QueryVersion("Atmel_MCU", 0), CMD_OK);
    const T_Seen f = Next(pty).value(0);
    QCOMPARE(f.id, 0x1813u);
    QCOMPARE(f.body, Str("Atmel_MCU") + U32(0) + U32(101) + Str("") + Str(""));
    // Sent across two writes with a stray byte in front, as a noisy line delivers it.
    const QByteArray answer = VersionRsp("MCU-2.4.1");
    pty.Write(QByteArray(1, char(0x00)) + answer.left(12));
    QTest::qWait(20);
    pty.Write(answer.mid(12));
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy[0][1].toBool(), false);
    QCOMPARE(spy[0][4].toByteArray(), QByteArray("MCU-2.4.1"));
}

// Catches a line that hangs up mid-upgrade leaving the session busy for ever, or failing
// without saying why.
void TstSerialMaintain::hangupDuringUpgradeFails()
{
    ScopedTimeScale scale(0.01);
    PtyPair pty;
    CSerialMaintain session(Mcu(pty.SlavePath()));
    QSignalSpy spy(&session, &CBaseMaintainSession::OnUpgradeNotify);
    QCOMPARE(session.StartUpgrade(Info(WriteImage(QStringLiteral("h.bin"), "abc"))), CMD_OK);
    pty.Hangup();
    QTRY_COMPARE(spy.size(), 1);
    QVERIFY(spy[0][3].toBool());
    QCOMPARE(spy[0][5].toInt(), -1);
    QVERIFY(!session.IsBusy());
    QVERIFY(session.LastError().contains(QStringLiteral("lost")));
}

void TstSerialMaintain::deletedInsideItsOwnSignal()
{
    ScopedTimeScale scale(0.01);
    PtyPair pty;
    auto *pSession = new CSerialMaintain(Mcu(pty.SlavePath()));
    QPointer<CSerialMaintain> guard(pSession);
    connect(pSession, &CBaseMaintainSession::OnVersionQueryNotify, this, [&] { delete pSession; });
    QCOMPARE(pSession->QueryVersion("Atmel_MCU", 0), CMD_OK);
    const QByteArray answer = VersionRsp("V");
    // Two answers in one chunk: the second must not reach a deleted session.
    pty.Write(answer + answer);
    QTRY_VERIFY(guard.isNull());
    QTest::qWait(20);
    // The port was released: a new session opens the same line.
    CSerialMaintain again(Mcu(pty.SlavePath()));
    QVERIFY(again.IsPortOpen());
}

QTEST_MAIN(TstSerialMaintain)
#include "tst_serialmaintain.moc"
