// Vaza wire format: field encodings, reads past the end, checksum, headers, stream splitting.
#include "vaza/cvazabuffer.h"
#include "vaza/cvazastreamsplitter.h"
#include "vaza/vazachecksum.h"
#include "vaza/vazafields.h"
#include "vaza/vazamessages.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTimeZone>
#include <QtTest>
#include <memory>
#include <tuple>

namespace
{
QByteArray Msg(quint32 u32Id, quint32 u32Seq, const QByteArray &baBody)
{
    return Vaza::BuildMsg(u32Id, u32Seq, baBody);
}

struct T_Seen {
    quint32 u32Id;
    quint32 u32Seq;
    QByteArray baBody;
};
} // namespace

class TestVazaCodec : public QObject
{
    Q_OBJECT
private slots:
    void stringEncodings();
    void readsPastTheEndYieldZeroAndConsumeNothing();
    void xorChecksumMatchesBytewiseXor();
    void headerAndBindRequestLayout();
    void modelSelection();
    void splitterEverySplitPointOfTwoMessages();
    void splitterFramingErrorDropsBufferAndGoesOn();
    void splitterHandlerMayFeedAgain();
};

// Catches an off-by-four prefix (the prefix counts itself) or a written terminator.
void TestVazaCodec::stringEncodings()
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    WriteString(&buf, "");
    WriteString(&buf, "root");
    WriteByteArray(&buf, QByteArray());
    WriteByteArray(&buf, QByteArray("root"));
    WriteUInt32(&buf, 0x01020304);
    QCOMPARE(buf.data(), QByteArray::fromHex("00000004 00000008 726f6f74 00000004 00000008 726f6f74 01020304"));
}

// Catches over-reads and a lying prefix swallowing the bytes that follow it.
void TestVazaCodec::readsPastTheEndYieldZeroAndConsumeNothing()
{
    auto reader = [](const char *pszHex) {
        std::unique_ptr<CVazaBuffer> p(new CVazaBuffer);
        p->setData(QByteArray::fromHex(pszHex));
        p->open(QIODevice::ReadOnly);
        return p;
    };
    quint32 u32Len = 99;
    auto p = reader("0000000a616263");
    QVERIFY(ReadByteArray(p.get(), &u32Len).isEmpty());
    QCOMPARE(u32Len, 6u);
    QCOMPARE(p->readAll(), QByteArray("abc"));
    // Prefixes 0 to 3 cannot count themselves: empty, and nothing more is taken.
    p = reader("00000003 00000000 00000005 7a");
    QVERIFY(ReadByteArray(p.get(), &u32Len).isEmpty());
    QCOMPARE(u32Len, 3u);
    QVERIFY(ReadByteArray(p.get()).isEmpty());
    QCOMPARE(ReadByteArray(p.get()), QByteArray("z"));
    QCOMPARE(ReadUInt8(p.get()), quint8(0));
    // A prefix near 4 GiB must not make us allocate it.
    p = reader("ffffffff0102");
    QVERIFY(ReadByteArray(p.get()).isEmpty());
    QCOMPARE(p->bytesAvailable(), 2);
    p = reader("aabbcc");
    QCOMPARE(ReadUInt32(p.get()), 0u);
    QCOMPARE(ReadUInt8(p.get()), quint8(0xaa));
}

// Catches a word-wise fold that drops tail bytes, a lane left out of the final fold,
// block-boundary mistakes, or a sum that starts at 0 instead of the current position.
void TestVazaCodec::xorChecksumMatchesBytewiseXor()
{
    auto bytewise = [](const char *p, qint64 n) {
        quint8 u8 = 0;
        for (qint64 i = 0; i < n; ++i)
            u8 ^= static_cast<quint8>(p[i]);
        return u8;
    };
    QRandomGenerator rng(20261207);
    QByteArray baPool(300000, Qt::Uninitialized);
    for (char &c : baPool)
        c = static_cast<char>(rng.bounded(256));
    // Random lengths at random (unaligned) offsets, plus every length around the lane width.
    QList<QPair<int, int>> lstCases;
    for (int i = 0; i < 400; ++i)
        lstCases.append({rng.bounded(64), rng.bounded(i < 200 ? 300 : 200000)});
    for (int i32Len = 0; i32Len <= 160; ++i32Len)
        lstCases.append({i32Len % 13, i32Len});
    for (const auto &c : lstCases)
        QCOMPARE(XorChecksum(baPool.constData() + c.first, c.second), bytewise(baPool.constData() + c.first, c.second));

    // The device forms (bytes in memory, and a file read in blocks): block boundaries and a
    // start inside the data.
    for (int i32Size : {0, 1, 63, 64, 65, 16383, 16384, 16385, 3 * 16384 + 5, 299999}) {
        const QByteArray ba = baPool.left(i32Size);
        QTemporaryFile file;
        QVERIFY(file.open());
        QCOMPARE(file.write(ba), qint64(i32Size));
        for (int i32Start : {0, 3}) {
            if (i32Start > i32Size)
                continue;
            const quint8 u8Expected = bytewise(ba.constData() + i32Start, i32Size - i32Start);
            CVazaBuffer buf;
            buf.setData(ba);
            buf.open(QIODevice::ReadOnly);
            for (QIODevice *pDev : {static_cast<QIODevice *>(&buf), static_cast<QIODevice *>(&file)}) {
                pDev->seek(i32Start);
                QCOMPARE(XorChecksum(pDev), u8Expected);
                QVERIFY(pDev->atEnd());
                QCOMPARE(XorChecksum(pDev), quint8(0));
            }
        }
    }
}

// Catches little-endian words, wrong reserved words, a counted-in or missing header,
// and a local (not UTC) or wrongly padded bind time stamp.
void TestVazaCodec::headerAndBindRequestLayout()
{
    const QByteArray ba = Msg(Vaza::ID_HeartbeatReq, 7, "xy");
    QCOMPARE(ba, QByteArray::fromHex("0000001a 00001003 00000007 00000001 00000000 00000000 7879"));
    const T_VAZAMsgHead st = Vaza::ParseHead(ba.constData());
    QCOMPARE(st.u32MsgLen, 26u);
    QCOMPARE(st.u32MsgId, 0x1003u);
    QCOMPARE(st.u32SeqNo, 7u);

    // 10:30:07 at UTC+8 on 15 Jan 2016 is 02:30:07 UTC.
    const QDateTime dt(QDate(2016, 1, 15), QTime(10, 30, 7), QTimeZone(8 * 3600));
    QCOMPARE(Vaza::BindTimeStamp(dt), QByteArray("20160115023007GMT"));
    const QByteArray baBody = Vaza::BuildBindReqBody(dt);
    QCOMPARE(baBody, QByteArray::fromHex("00000008") + "root" + QByteArray::fromHex("0000000b") + "admk742" +
                         "20160115023007GMT" + "5039182746CADBFE");
    QCOMPARE(baBody.size(), 8 + 11 + 17 + 16);

    // Upgrade request: module, port, step, checksum, two empty strings, file name.
    QCOMPARE(Vaza::BuildUpgradeReqBody("mcu", 2, Vaza::STEP_UPLOADED, 0x5a, "fw.bin"),
             QByteArray::fromHex("00000007 6d6375 00000002 00000066 0000005a 00000004 00000004 0000000a 66772e62696e"));
}

// Catches the ZR420L asymmetry being lost in either direction and case-sensitive models.
void TestVazaCodec::modelSelection()
{
    // model, index for system information, index for the log
    const QList<std::tuple<const char *, int, int>> table{
        {"ZR410", 0, 0}, {"ZR420", 1, 1}, {"zr420l", 1, 3}, {"ZR430", 2, 2}, {"NXT800", 3, 3}};
    for (const auto &t : table) {
        QCOMPARE(Vaza::ModelIndex(QLatin1String(std::get<0>(t)), true), std::get<1>(t));
        QCOMPARE(Vaza::ModelIndex(QLatin1String(std::get<0>(t)), false), std::get<2>(t));
    }
    QVERIFY(Vaza::IsSysInfoRsp(0x2131) && !Vaza::IsSysInfoRsp(0x2141) && !Vaza::IsSysInfoRsp(0x2102));
    QVERIFY(Vaza::IsLogRsp(0x2122) && !Vaza::IsLogRsp(0x2121));
}

// Catches a message handled twice, too early (before its last byte), or lost when the
// split falls inside a header, and a chunk that completes one message losing (or keeping
// too much of) the start of the next.
void TestVazaCodec::splitterEverySplitPointOfTwoMessages()
{
    const QByteArray baStream = Msg(0x2001, 1, QByteArray::fromHex("00000000")) + Msg(0x2003, 2, QByteArray());
    // Messages complete within the first k bytes, and where the last of them ends.
    auto done = [&](int k) { return (k >= 28 ? 1 : 0) + (k >= baStream.size() ? 1 : 0); };
    auto end = [&](int k) { return k >= baStream.size() ? baStream.size() : k >= 28 ? 28 : 0; };
    for (int i = 0; i <= baStream.size(); ++i) {
        for (int j = i; j <= baStream.size(); ++j) {
            CVazaStreamSplitter splitter;
            QList<T_Seen> seen;
            auto fn = [&](const T_VAZAMsgHead &st, QByteArray &body) { seen.append({st.u32MsgId, st.u32SeqNo, body}); };
            QCOMPARE(splitter.Feed(baStream.left(i), fn), done(i));
            QCOMPARE(splitter.Feed(baStream.mid(i, j - i), fn), done(j) - done(i));
            QCOMPARE(splitter.PendingBytes(), baStream.mid(end(j), j - end(j)));
            splitter.Feed(baStream.mid(j), fn);
            QCOMPARE(seen.size(), 2);
            QCOMPARE(seen.at(0).u32Id, 0x2001u);
            QCOMPARE(seen.at(0).baBody, QByteArray::fromHex("00000000"));
            QCOMPARE(seen.at(1).u32Id, 0x2003u);
            QCOMPARE(seen.at(1).u32Seq, 2u);
            QVERIFY(seen.at(1).baBody.isEmpty());
            QCOMPARE(splitter.Pending(), 0);
        }
    }
}

// Catches an endless loop on a length below the header size and a buffer held hostage
// by a huge announced length; the stream must go on with the next good message.
void TestVazaCodec::splitterFramingErrorDropsBufferAndGoesOn()
{
    CVazaStreamSplitter splitter;
    int i32Seen = 0;
    auto fn = [&](const T_VAZAMsgHead &, QByteArray &) { ++i32Seen; };
    QByteArray baShort = Msg(0x2003, 1, QByteArray());
    baShort[3] = 23;
    QCOMPARE(splitter.Feed(baShort + Msg(0x2003, 2, QByteArray()), fn), 0);
    QCOMPARE(splitter.Pending(), 0);
    QCOMPARE(splitter.FramingErrors(), 1);

    QByteArray baHuge = Msg(0x2003, 3, QByteArray());
    baHuge.replace(0, 4, QByteArray::fromHex("01000001")); // 16 MiB + 1
    QCOMPARE(splitter.Feed(baHuge, fn), 0);
    QCOMPARE(splitter.Pending(), 0);
    QCOMPARE(splitter.FramingErrors(), 2);

    // Exactly 16 MiB is legal: it waits for its body.
    QByteArray baMax = Msg(0x2003, 4, QByteArray());
    baMax.replace(0, 4, QByteArray::fromHex("01000000"));
    QCOMPARE(splitter.Feed(baMax, fn), 0);
    QCOMPARE(splitter.Pending(), 24);
    QCOMPARE(splitter.FramingErrors(), 2);
    splitter.Clear();

    QCOMPARE(splitter.Feed(Msg(0x2001, 5, QByteArray(4, '\0')), fn), 1);
    QCOMPARE(i32Seen, 1);
}

// Catches a handler that feeds the splitter again (a nested event loop) making the outer
// pass handle a message twice or skip one.
void TestVazaCodec::splitterHandlerMayFeedAgain()
{
    CVazaStreamSplitter splitter;
    QList<quint32> seqs;
    const QByteArray baLater = Msg(0x2003, 3, "c") + Msg(0x2003, 4, "d").left(10);
    std::function<void(const T_VAZAMsgHead &, QByteArray &)> fn = [&](const T_VAZAMsgHead &st, QByteArray &) {
        seqs.append(st.u32SeqNo);
        if (st.u32SeqNo == 1)
            splitter.Feed(baLater, fn);
    };
    splitter.Feed(Msg(0x2003, 1, "a") + Msg(0x2003, 2, "b"), fn);
    QCOMPARE(seqs, (QList<quint32>{1, 2, 3}));
    QCOMPARE(splitter.PendingBytes(), Msg(0x2003, 4, "d").left(10));
    splitter.Feed(Msg(0x2003, 4, "d").mid(10), fn);
    QCOMPARE(seqs.last(), 4u);
}

QTEST_APPLESS_MAIN(TestVazaCodec)
#include "tst_vazacodec.moc"
