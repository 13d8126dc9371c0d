// The demo fleet, as netns-run.sh --fleet starts it: every device, known model or not,
// is found exactly once in each search. Which models are shown is the main window's call.
#include "discovery/qdevicesearcher.h"
#include "netnsfleet.h"
#include "testtime.h"

#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

class TestDiscoveryDemo : public QObject
{
    Q_OBJECT
private slots:
    void everyDeviceOncePerSearch();
};

void TestDiscoveryDemo::everyDeviceOncePerSearch()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/tools/devsim/fleets/demo.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QMap<QByteArray, QByteArray> expected; // host name -> address
    QSet<QString> setModels;
    for (const QJsonValue &v : QJsonDocument::fromJson(file.readAll()).object().value("devices").toArray()) {
        const QJsonObject o = v.toObject();
        expected.insert(o.value("hostname").toString().toLatin1(), o.value("addr").toString().toLatin1());
        setModels.insert(o.value("model").toString());
    }
    // The models the product knows, and some it does not.
    for (const char *pszModel : {"ZR410", "ZR420", "ZR420L", "ZR430", "NXT800", "NXR800", "ZR110", "ZR120"})
        QVERIFY2(setModels.contains(QLatin1String(pszModel)), pszModel);
    QVERIFY(setModels.size() > 8);

    ScopedTimeScale scale(0.5);
    QDeviceSearcher searcher(2);
    QSignalSpy spyFound(&searcher, &QDeviceSearcher::OnFoundDevice);
    QSignalSpy spyStop(&searcher, &QDeviceSearcher::OnStop);
    for (int iSearch = 0; iSearch < 2; ++iSearch) {
        spyFound.clear();
        searcher.Start();
        QVERIFY(spyStop.wait(5000));
        QMap<QByteArray, QByteArray> found;
        for (const QList<QVariant> &args : spyFound) {
            const QByteArray baName = args.at(2).toByteArray();
            QVERIFY2(!found.contains(baName), baName.constData());
            found.insert(baName, args.at(1).toByteArray());
        }
        QCOMPARE(found, expected);
    }
    // Each device answered every pass; the reports above are what was left of that.
    const QString strRecord = qEnvironmentVariable("VELMORA_DEVSIM_RECORD");
    QCOMPARE(NetnsFleet::ReadRecord(strRecord, "discovery-answer").size(), 4 * expected.size());
}

QTEST_GUILESS_MAIN(TestDiscoveryDemo)
#include "tst_discoverydemo.moc"
