// The network window's device rows without a widget: the readings that decide a device's
// version and video columns, and the rows keyed by host name.
#include "devlist/cdevlist.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

namespace
{
// "version|input|timing", a dash for a field the reading leaves alone.
QString Fields(const T_DevInfoReading &stReading)
{
    auto field = [](const std::optional<QString> &opt) { return opt ? *opt : QStringLiteral("-"); };
    return field(stReading.optVersion) + '|' + field(stReading.optVideoInput) + '|' + field(stReading.optVideoTiming);
}

// The interface in Chinese: the session names the fields with the translated labels.
class CLabelTranslator : public QTranslator
{
public:
    QString translate(const char *pszContext, const char *pszSource, const char *, int) const override
    {
        if (qstrcmp(pszContext, "QObject") != 0)
            return QString();
        if (qstrcmp(pszSource, "Vi") == 0)
            return QStringLiteral("视频输入");
        if (qstrcmp(pszSource, "ViTiming") == 0)
            return QStringLiteral("视频输入时序");
        return QString();
    }
    bool isEmpty() const override { return false; }
};
} // namespace

class TestDevList : public QObject
{
    Q_OBJECT
private slots:
    void readings_data();
    void readings();
    void translatedLabels();
    void rowsKeyedByHostName();
};

void TestDevList::readings_data()
{
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<bool>("bPage");
    QTest::addColumn<bool>("bXml");
    QTest::addColumn<QByteArray>("baData");
    QTest::addColumn<QString>("strFields");
    QTest::newRow("older names") << "ZR410-B1" << false << true
                                 << QByteArray("<sysinfo><items><item name=\"VISelect\">SDI</item><item "
                                               "name=\"VITiming\">720p50</item><item name=\"Version\">IRoIP "
                                               "V3.1.4 build7</item></items></sysinfo>")
                                 << "V3.1.4|SDI|720p50";
    // The document the Vaza session builds, labels as the device names them.
    QTest::newRow("session labels") << "ZR410-B1" << false << true
                                    << QByteArray("<?xml version=\"1.0\"?><info><label name=\"Device Info\">"
                                                  "<label name=\"PID\">ZR410</label><label name=\"IRoIP\">IRoIP "
                                                  "V3.1.4</label><label name=\"SoIP\">SoIP V9</label><label "
                                                  "name=\"Vi\">HDMI</label><label name=\"ViTiming\">1080p60</label>"
                                                  "</label><label name=\"System Info\"/></info>")
                                    << "V3.1.4|HDMI|1080p60";
    // Only the fields present; the last of a repeated field counts; the version's second word
    // even when there is none.
    QTest::newRow("some fields") << "ZR410-B1" << false << true
                                 << QByteArray("<a><b><i name=\"Vi\">A</i><i name=\"Vi\">B</i>"
                                               "<i name=\"Version\">V7</i></b></a>")
                                 << "|B|-";
    // Names are exact ("version" is not "Version"); fields outside the first child do not count.
    QTest::newRow("other names") << "ZR410-B1" << false << true
                                 << QByteArray("<a><b><i name=\"version\">A B</i><i>x</i></b>"
                                               "<c><i name=\"Vi\">C</i></c></a>")
                                 << "-|-|-";
    QTest::newRow("broken xml") << "ZR410-B1" << false << true << QByteArray("<a><b><i name=\"Vi\">A</i>") << "-|-|-";
    QTest::newRow("json") << "ZR410-B1" << false << false << QByteArray("<a><b><i name=\"Vi\">A</i></b></a>")
                          << "-|-|-";
    // The version field of the page, as the device's other readers take it; a model whose name
    // only begins with a web-server model's is no web-server model.
    const QByteArray baPage = "Build:2026-01-15 10:20:30      \nVer : 2.1.4                  \n";
    QTest::newRow("http page") << "ZR110-B2" << true << false << baPage << "2.1.4|-|-";
    // A web-server model's maintenance answer is a document: its bytes are no version page.
    QTest::newRow("web-server model's document")
        << "ZR110-B2" << false << true << QByteArray("<a><b><i name=\"Version\">IRoIP V7</i></b></a>") << "-|-|-";
    QTest::newRow("not a web-server model") << "ZR120X-B4" << true << false << baPage << "-|-|-";
}

// Would catch versions read from the wrong word or line, fields taken from the wrong names or
// level, and an answer that should decide nothing changing a column.
void TestDevList::readings()
{
    QFETCH(QString, strHost);
    QFETCH(bool, bPage);
    QFETCH(bool, bXml);
    QFETCH(QByteArray, baData);
    QFETCH(QString, strFields);
    QCOMPARE(Fields(ReadDevInfo(strHost, bPage ? E_DevInfoSource::VersionPage : E_DevInfoSource::MaintainAnswer, bXml,
                                baData)),
             strFields);
}

// Would catch the fields missed when the interface speaks Chinese.
void TestDevList::translatedLabels()
{
    CLabelTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    const QByteArray baXml("<info><l><label name=\"视频输入\">HDMI</label><label name=\"视频输入时序\">1080p60</label>"
                           "<label name=\"IRoIP\">IRoIP V3</label></l></info>");
    const QString strFields = Fields(ReadVazaInfoDocument(baXml));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(strFields, QString("V3|HDMI|1080p60"));
}

// Would catch a device listed twice, a reply for a removed or unknown host changing a row or
// announcing a change, a blank name replacing the alias, a failure note outliving the next
// report, and a partial reading clearing the other columns.
void TestDevList::rowsKeyedByHostName()
{
    CDevList rows;
    QSignalSpy spyAdded(&rows, &CDevList::signalRowAdded);
    QSignalSpy spyChanged(&rows, &CDevList::signalRowChanged);
    QSignalSpy spyRemoved(&rows, &CDevList::signalRowRemoved);
    QVERIFY(rows.Add("ZR410-C1", "ZR410 Encoder-C1", "10.0.0.1"));
    QVERIFY(!rows.Add("ZR410-C1", "other", "10.0.0.9"));
    QVERIFY(rows.Add("ZR410-C2", "ZR410 Encoder-C1", "10.0.0.2")); // the same display name
    QCOMPARE(spyAdded.size(), 2);
    QCOMPARE(rows.Count(), 2);
    const T_DevListRow *pRow = rows.Find("ZR410-C1");
    QVERIFY(pRow);
    QCOMPARE(pRow->strAlias, QString("ZR410 Encoder-C1"));
    QCOMPARE(pRow->strAddr, QString("10.0.0.1"));

    rows.SetNameFailure("ZR410-C1", "time out");
    rows.SetAlias("ZR410-C1", " \t");
    QCOMPARE(rows.Find("ZR410-C1")->strAlias, QString("ZR410 Encoder-C1"));
    QCOMPARE(rows.Find("ZR410-C1")->strNameFailure, QString("time out"));
    rows.SetAlias("ZR410-C1", "Lobby\n");
    rows.SetAddress("ZR410-C1", "10.0.0.5");
    QCOMPARE(rows.Find("ZR410-C1")->strAlias, QString("Lobby\n"));
    QCOMPARE(rows.Find("ZR410-C1")->strNameFailure, QString());
    QCOMPARE(rows.Find("ZR410-C1")->strAddr, QString("10.0.0.5"));

    T_DevInfoReading stAll;
    stAll.optVersion = "V1";
    stAll.optVideoInput = "HDMI";
    stAll.optVideoTiming = "1080p60";
    rows.ApplyReading("ZR410-C1", stAll);
    T_DevInfoReading stVersion;
    stVersion.optVersion = "V2";
    rows.ApplyReading("ZR410-C1", stVersion);
    pRow = rows.Find("ZR410-C1");
    QCOMPARE((QStringList{pRow->strVersion, pRow->strVideoInput, pRow->strVideoTiming}),
             (QStringList{"V2", "HDMI", "1080p60"}));
    QCOMPARE(rows.Find("ZR410-C2")->strVersion, QString());
    const T_BaseDevInfo stInfo = rows.DevInfo("ZR410-C1", true);
    QCOMPARE((QStringList{stInfo.strHostName, stInfo.strDispName, stInfo.strAddr, stInfo.strDevVersion}),
             (QStringList{"ZR410-C1", "ZR410 Encoder-C1", "10.0.0.5", "V2"}));
    QCOMPARE(rows.DevInfo("ZR410-C1", false).strDevVersion, QString());
    QCOMPARE(spyChanged.size(), 5);
    QCOMPARE(spyChanged.at(0).at(0).toString(), QString("ZR410-C1"));

    QVERIFY(rows.Remove("ZR410-C1"));
    QVERIFY(!rows.Remove("ZR410-C1"));
    QCOMPARE(spyRemoved.size(), 1);
    rows.SetAddress("ZR410-C1", "10.0.0.7");
    rows.SetAlias("ZR410-C1", "x");
    rows.SetNameFailure("ZR410-C1", "x");
    rows.ApplyReading("ZR410-C1", stAll);
    QCOMPARE(spyChanged.size(), 5);
    QVERIFY(!rows.Find("ZR410-C1"));
    QCOMPARE(rows.DevInfo("ZR410-C1", true).strHostName, QString());
}

QTEST_GUILESS_MAIN(TestDevList)
#include "tst_devlist.moc"
