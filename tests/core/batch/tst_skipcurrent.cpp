// The --skip-current choice on versions already read, the version page of a web-server model
// read for it, and the end of a read with nothing to ask.
#include "batch/cskipcurrent.h"
#include "http/chttpagent.h"
#include "loopbackserver.h"
#include "session/cmaintainagent.h"

#include <QtTest>

namespace
{
// "A:main,fpga" -> A: [main, fpga]
QMap<QString, QStringList> Plan(const QStringList &lst)
{
    QMap<QString, QStringList> map;
    for (const QString &s : lst)
        map.insert(s.section(QLatin1Char(':'), 0, 0), s.section(QLatin1Char(':'), 1).split(QLatin1Char(',')));
    return map;
}
// "A:main=V1" -> A: {main: V1}
QMap<QString, QMap<QString, QString>> Versions(const QStringList &lst)
{
    QMap<QString, QMap<QString, QString>> map;
    for (const QString &s : lst) {
        const QString strModule = s.section(QLatin1Char(':'), 1);
        map[s.section(QLatin1Char(':'), 0, 0)].insert(strModule.section(QLatin1Char('='), 0, 0),
                                                      strModule.section(QLatin1Char('='), 1));
    }
    return map;
}
} // namespace

class TestSkipCurrent : public QObject
{
    Q_OBJECT
private slots:
    void choose_data();
    void choose();
    void zeroPaddedVersionPage();
    void nothingToAskStillEnds();
};

void TestSkipCurrent::choose_data()
{
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<QStringList>("expected"); // module=version
    QTest::addColumn<QStringList>("skipped");
    // Each wrong choice either leaves a device behind on an old image while the result says
    // it is current, or flashes again a module that already runs the image.
    const QStringList lstBoth{"main=V1", "fpga=F1"};
    QTest::newRow("all current") << QStringList{"A:main,fpga"} << QStringList{"A:main=V1", "A:fpga=F1"} << lstBoth
                                 << QStringList{"A:main,fpga"};
    QTest::newRow("one module behind") << QStringList{"A:main,fpga"} << QStringList{"A:main=V1", "A:fpga=F0"} << lstBoth
                                       << QStringList{"A:main"};
    QTest::newRow("one module silent") << QStringList{"A:main,fpga"} << QStringList{"A:main=V1"} << lstBoth
                                       << QStringList{"A:main"};
    // One version for every module would take fpga's V1 for current.
    QTest::newRow("versions per module") << QStringList{"A:main,fpga"} << QStringList{"A:main=V1", "A:fpga=V1"}
                                         << lstBoth << QStringList{"A:main"};
    // C has no answer of its own; D's is no answer for it.
    QTest::newRow("per device") << QStringList{"A:main", "B:main", "C:main"}
                                << QStringList{"A:main=V1", "B:main=V0", "D:main=V1"} << lstBoth
                                << QStringList{"A:main"};
    // Only the planned modules count: one given no image may be at any version.
    QTest::newRow("unplanned module") << QStringList{"A:main"} << QStringList{"A:main=V1", "A:fpga=F0"} << lstBoth
                                      << QStringList{"A:main"};
    // Unreadable versions are empty: with no version wanted they would all look current.
    QTest::newRow("no version wanted") << QStringList{"A:main,fpga"} << QStringList{"A:main=", "A:fpga=F1"}
                                       << QStringList{"fpga=F1"} << QStringList{"A:fpga"};
}

void TestSkipCurrent::choose()
{
    QFETCH(QStringList, plan);
    QFETCH(QStringList, versions);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, skipped);
    QHash<QString, QString> hashExpected;
    for (const QString &s : expected)
        hashExpected.insert(s.section(QLatin1Char('='), 0, 0), s.section(QLatin1Char('='), 1));
    QCOMPARE(CSkipCurrent::Choose(Plan(plan), Versions(versions), hashExpected), Plan(skipped));
}

// Catches a web-server model whose page pads its version field with zero bytes, in front as
// well as behind, taken for another version and flashed again on every run.
void TestSkipCurrent::zeroPaddedVersionPage()
{
    const QByteArray baVersion = QByteArray(3, '\0') + QByteArray("V1.2").leftJustified(20, '\0');
    const QByteArray baPage =
        "Build:" + QByteArray("2026-01-15 10:20:30").leftJustified(25, ' ') + "\nVer : " + baVersion + "\n";
    LoopbackServer server;
    QVERIFY(server.Listen());
    connect(&server, &LoopbackServer::bytesReceived, &server, [&](int i) {
        if (server.Received(i).endsWith("\r\n\r\n"))
            server.Send(i, "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(baPage.size()) +
                               "\r\nConnection: close\r\n\r\n" + baPage);
    });
    T_BaseDevInfo stDev;
    stDev.strHostName = QStringLiteral("NXT800-P1");
    stDev.strAddr = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    CMaintainAgent agent;
    CHttpAgent http;
    CSkipCurrent skip(&agent, &http);
    QSignalSpy finished(&skip, &CSkipCurrent::signalFinished);
    skip.Start({stDev}, Plan({"NXT800-P1:firmware"}), {{"firmware", "V1.2"}});
    QVERIFY(finished.wait(10000));
    QCOMPARE(skip.Versions().value(stDev.strHostName).value("firmware"), QStringLiteral("V1.2"));
    QCOMPARE(skip.Skipped(), Plan({"NXT800-P1:firmware"}));
}

// Catches an end signalled from inside Start() (before the caller waits for it) or never.
void TestSkipCurrent::nothingToAskStillEnds()
{
    CMaintainAgent agent;
    CHttpAgent http;
    CSkipCurrent skip(&agent, &http);
    QSignalSpy finished(&skip, &CSkipCurrent::signalFinished);
    skip.Start({}, Plan({"A:main"}), {{"main", "V1"}});
    QCOMPARE(finished.count(), 0);
    QVERIFY(skip.IsRunning());
    QVERIFY(finished.wait(1000));
    QVERIFY(!skip.IsRunning());
    QVERIFY(skip.Versions().isEmpty() && skip.Skipped().isEmpty());
}

QTEST_GUILESS_MAIN(TestSkipCurrent)
#include "tst_skipcurrent.moc"
