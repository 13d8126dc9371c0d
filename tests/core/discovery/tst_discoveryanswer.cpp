// The discovery answer parser: fields come only from the bytes that arrived.
#include "discovery/qdevicesearcher.h"

#include <QtTest>

#include <memory>

namespace
{
// Parses a copy of the answer in a heap block of exactly its size, so AddressSanitizer
// stops any read past the end; a stack or reused buffer would hide an over-read.
bool Parse(const QByteArray &ba, T_DiscoveryAnswer &st)
{
    std::unique_ptr<char[]> p(new char[qMax(1, ba.size())]);
    std::copy(ba.begin(), ba.end(), p.get());
    return QDeviceSearcher::ParseAnswer(p.get(), ba.size(), st);
}

QByteArray Answer(const QByteArray &baStatus, const QByteArray &baHostName)
{
    QByteArray ba(296, '\0');
    ba.replace(0, 8, "HDR-BYTE");
    ba.replace(8, baStatus.size(), baStatus);
    ba.replace(40, baHostName.size(), baHostName);
    return ba;
}
} // namespace

class TestDiscoveryAnswer : public QObject
{
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
    void everyLengthStaysInsideDatagram();
};

// Catches fields taken from bytes that never arrived or from behind a zero byte, and
// answers without a host name reported.
void TestDiscoveryAnswer::fields_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("hostName");

    const QByteArray full = Answer("ready", "ZR410-A1B20A");
    QTest::newRow("well-formed") << full << true << QByteArray("ready") << QByteArray("ZR410-A1B20A");
    // Bytes after a field's zero byte belong to nothing.
    QByteArray trailing = full;
    trailing.replace(60, 5, "JUNK!");
    QTest::newRow("bytes after the zero are ignored")
        << trailing << true << QByteArray("ready") << QByteArray("ZR410-A1B20A");
    // Datagrams that end before the host name are dropped at every length (the test below).
    QTest::newRow("empty host name is dropped") << Answer("ready", "") << false << QByteArray("ready") << QByteArray();
    // The name's zero byte never arrived: the name ends with the datagram.
    QTest::newRow("ends inside the host name") << full.left(45) << true << QByteArray("ready") << QByteArray("ZR410");
    // A 32-byte status has no room for its zero: it ends at offset 40, not in the name.
    const QByteArray status32(32, 'S');
    QTest::newRow("status without zero") << Answer(status32, "ZR420-1") << true << status32 << QByteArray("ZR420-1");
    QByteArray noZeros = Answer(status32, "ZR430-NOZERO");
    noZeros.truncate(40 + 12);
    QTest::newRow("no zero byte anywhere") << noZeros << true << status32 << QByteArray("ZR430-NOZERO");
    // 256 name bytes fill the answer exactly; whatever follows byte 296 is not read.
    const QByteArray name256 = "ZR110-" + QByteArray(250, 'H');
    QByteArray oversized = Answer("ok", name256) + QByteArray(1000, 'U');
    QTest::newRow("oversized, name fills its field") << oversized << true << QByteArray("ok") << name256;
    QTest::newRow("exactly 296 bytes, no name zero") << oversized.left(296) << true << QByteArray("ok") << name256;
    // Texts are bytes: a name that is not valid UTF-8 still comes through unchanged.
    QTest::newRow("non-ASCII bytes") << Answer("\xff\xfe", "ZR120-\xe4\xb8\xad") << true << QByteArray("\xff\xfe")
                                     << QByteArray("ZR120-\xe4\xb8\xad");
}

void TestDiscoveryAnswer::fields()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, reported);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, hostName);

    T_DiscoveryAnswer st;
    QCOMPARE(Parse(datagram, st), reported);
    QCOMPARE(st.strStatus, status);
    QCOMPARE(st.strHostName, hostName);
}

// Catches an over-read at any length (known fault): every cut of an answer without zero
// bytes, each in a block of exactly that size.
void TestDiscoveryAnswer::everyLengthStaysInsideDatagram()
{
    const QByteArray full(400, 'A');
    for (int i = 0; i <= full.size(); ++i) {
        T_DiscoveryAnswer st;
        QCOMPARE(Parse(full.left(i), st), i > 40);
        QCOMPARE(st.strStatus.size(), qBound(0, i - 8, 32));
        QCOMPARE(st.strHostName.size(), qBound(0, i - 40, 256));
    }
}

QTEST_APPLESS_MAIN(TestDiscoveryAnswer)
#include "tst_discoveryanswer.moc"
