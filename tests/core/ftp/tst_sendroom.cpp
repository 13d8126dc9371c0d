// The room an upload may write without the socket copying a refused remainder: if it ever
// claims more than the system takes, each upload at work holds that remainder in memory.
#include "ftp/sendroom.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TestSendRoom : public QObject
{
    Q_OBJECT
private slots:
    void roomIsTakenWholeUntilTheReaderStalls();
    void noSocketNoRoom();
};

void TestSendRoom::roomIsTakenWholeUntilTheReaderStalls()
{
#ifndef Q_OS_LINUX
    QSKIP("the system cannot tell the room here");
#endif
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket writer;
    writer.connectToHost(QHostAddress::LocalHost, server.serverPort(), QIODevice::ReadWrite | QIODevice::Unbuffered);
    QVERIFY(writer.waitForConnected(5000));
    QVERIFY(server.waitForNewConnection(5000));
    // The reader never reads: the system's buffers on both ends fill, as with a device whose
    // disk is slower than the network.
    QTcpSocket *pReader = server.nextPendingConnection();
    QVERIFY(pReader);
    pReader->setReadBufferSize(1);

    const QByteArray baPiece(256 * 1024, 'x');
    qint64 i64Written = 0;
    int i32Writes = 0;
    for (;;) {
        const qint64 i64Room = SendRoom(writer.socketDescriptor());
        QVERIFY(i64Room >= 0);
        if (i64Room == 0)
            break;
        const qint64 i64Now = qMin<qint64>(i64Room, baPiece.size());
        QCOMPARE(writer.write(baPiece.constData(), i64Now), i64Now);
        QVERIFY2(writer.bytesToWrite() == 0, qPrintable(QStringLiteral("%1 of %2 bytes refused after %3 bytes")
                                                            .arg(writer.bytesToWrite())
                                                            .arg(i64Now)
                                                            .arg(i64Written)));
        i64Written += i64Now;
        QVERIFY2(++i32Writes < 10000, "the room never ran out");
    }
    // Not so careful that an upload moves little per write: once the room is gone, the
    // system refuses within about the eighth it is left for its own bookkeeping.
    qint64 i64More = 0;
    while (writer.bytesToWrite() == 0 && i64More <= i64Written) {
        writer.write(baPiece.constData(), 4096);
        i64More += 4096;
    }
    QVERIFY2(i64More <= i64Written / 4 + 4096,
             qPrintable(QStringLiteral("room said %1, the system took %2 more").arg(i64Written).arg(i64More)));
}

void TestSendRoom::noSocketNoRoom()
{
    QCOMPARE(SendRoom(-1), qint64(-1));
    QTcpSocket unconnected;
    QCOMPARE(SendRoom(unconnected.socketDescriptor()), qint64(-1));
}

QTEST_GUILESS_MAIN(TestSendRoom)
#include "tst_sendroom.moc"
