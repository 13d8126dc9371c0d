// System information as rows: the XML and JSON views, and the console output.
#include "product/productconfig.h"
#include "sysinfo/csysinforows.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// Rows as "name=value" lines, children indented by ">" per level, so a whole tree is one compare.
void Flatten(const QList<T_InfoRow> &lstRows, int iDepth, QStringList &lstOut)
{
    for (const T_InfoRow &stRow : lstRows) {
        lstOut << QString(iDepth, QLatin1Char('>')) + stRow.strName + QLatin1Char('=') + stRow.strValue;
        Flatten(stRow.lstChildren, iDepth + 1, lstOut);
    }
}

QStringList Flat(const QList<T_InfoRow> &lstRows)
{
    QStringList lstOut;
    Flatten(lstRows, 0, lstOut);
    return lstOut;
}

} // namespace

class TestSysInfoRows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void xmlView_data();
    void xmlView();
    void vazaDocument();
    void jsonView_data();
    void jsonView();
    void consoleOutput();

private:
    QTemporaryDir m_dir;
};

void TestSysInfoRows::initTestCase()
{
    const QString strPath = m_dir.filePath(QStringLiteral("config.xml"));
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"(<tavprod><product id="ZR420" name="Decoder" type="rx"/></tavprod>)");
    file.close();
    QVERIFY(LoadProductConfig(strPath));
}

void TestSysInfoRows::xmlView_data()
{
    QTest::addColumn<QByteArray>("baXml");
    QTest::addColumn<QStringList>("lstRows");
    QTest::newRow("host name value becomes product name")
        << QByteArray("<info><label name='Peer'> ZR420-00AB-2 </label></info>") << QStringList{"Peer=Decoder-00AB-2"};
    QTest::newRow("unknown model or no dash unchanged")
        << QByteArray("<info><a>ZR999-01</a><b>ZR420</b><c>  x y  </c></info>")
        << QStringList{"a=ZR999-01", "b=ZR420", "c=x y"};
    QTest::newRow("tag when name missing or empty")
        << QByteArray("<info><PID name=''>1</PID><label name='SN'>2</label></info>") << QStringList{"PID=1", "SN=2"};
    QTest::newRow("text first is a leaf, later children ignored")
        << QByteArray("<info><g name='G'>text<x>hidden</x></g></info>") << QStringList{"G=text"};
    QTest::newRow("element first recurses, later text ignored")
        << QByteArray("<info><g name='G'><x>1</x>tail</g></info>") << QStringList{"G=", ">x=1"};
    QTest::newRow("childless element is an empty row")
        << QByteArray("<info><e name='Empty'/><f></f></info>") << QStringList{"Empty=", "f="};
    QTest::newRow("comment first recurses")
        << QByteArray("<info><g><!-- c --><x>1</x></g></info>") << QStringList{"g=", ">x=1"};
    QTest::newRow("outermost element is no row") << QByteArray("<info/>") << QStringList{};
    QTest::newRow("not well-formed") << QByteArray("<info><a>1</info>") << QStringList{};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestSysInfoRows::xmlView()
{
    QFETCH(QByteArray, baXml);
    QFETCH(QStringList, lstRows);
    QCOMPARE(Flat(XmlInfoRows(baXml)), lstRows);
}

void TestSysInfoRows::vazaDocument()
{
    // The shape the Vaza session writes: groupings of "label" elements, one line, no indentation.
    const QByteArray baXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><info>"
                             "<label name=\"Device Info\"><label name=\"PID\">ZR420-0001</label>"
                             "<label name=\"Date\">2024</label></label>"
                             "<label name=\"System Info\"><label name=\"Ethernet\"><label name=\"0\">"
                             "<label name=\"IP Address\">10.0.0.2</label></label><label name=\"1\">"
                             "<label name=\"IP Address\"></label></label></label>"
                             "<label name=\"Memory\">64 MB &amp; more</label></label></info>";
    QCOMPARE(Flat(XmlInfoRows(baXml)), (QStringList{"Device Info=", ">PID=Decoder-0001", ">Date=2024",
                                                    "System Info=", ">Ethernet=", ">>0=", ">>>IP Address=10.0.0.2",
                                                    ">>1=", ">>>IP Address=", ">Memory=64 MB & more"}));
}

void TestSysInfoRows::jsonView_data()
{
    QTest::addColumn<QByteArray>("baJson");
    QTest::addColumn<bool>("bObject");
    QTest::addColumn<QStringList>("lstRows");
    QTest::newRow("keys sorted") << QByteArray(R"({"b":"2","a":"1"})") << true << QStringList{"a=1", "b=2"};
    QTest::newRow("array by index") << QByteArray(R"({"k":["x","y"]})") << true << QStringList{"k=", ">0=x", ">1=y"};
    QTest::newRow("numbers and bools empty")
        << QByteArray(R"({"n":5,"t":true,"z":null})") << true << QStringList{"n=", "t=", "z="};
    QTest::newRow("nested objects") << QByteArray(R"({"o":{"y":{"v":"1"},"x":[{"w":"2"}]}})") << true
                                    << QStringList{"o=", ">x=", ">>0=", ">>>w=2", ">y=", ">>v=1"};
    QTest::newRow("value of a string inside array")
        << QByteArray(R"({"a":[1,"s",null,[]]})") << true << QStringList{"a=", ">0=", ">1=s", ">2=", ">3="};
    QTest::newRow("empty object") << QByteArray("{}") << true << QStringList{};
    QTest::newRow("top-level array") << QByteArray(R"(["a","b"])") << false << QStringList{};
    QTest::newRow("parse error") << QByteArray(R"({"a":)") << false << QStringList{};
    QTest::newRow("empty") << QByteArray() << false << QStringList{};
}

void TestSysInfoRows::jsonView()
{
    QFETCH(QByteArray, baJson);
    QFETCH(bool, bObject);
    QFETCH(QStringList, lstRows);
    bool bIsObject = !bObject;
    QCOMPARE(Flat(JsonInfoRows(baJson, &bIsObject)), lstRows);
    QCOMPARE(bIsObject, bObject);
    QCOMPARE(Flat(JsonInfoRows(baJson)), lstRows);
}

void TestSysInfoRows::consoleOutput()
{
    const QList<T_InfoRow> lstRows = XmlInfoRows("<info><g name='Group'><v name='Name'>a\x1b[2Jb</v></g>"
                                                 "<e name='Empty'/></info>");
    // The escape sequence from the device reaches the terminal as a space.
    QCOMPARE(InfoRowsText(lstRows), QStringLiteral("Group:\n  Name: a [2Jb\nEmpty:\n"));
    const QByteArray baJson = QJsonDocument(InfoRowsJson(lstRows)).toJson(QJsonDocument::Compact);
    QCOMPARE(baJson, QByteArray(R"([{"children":[{"name":"Name","value":"a\u001b[2Jb"}],"name":"Group","value":""},)"
                                R"({"name":"Empty","value":""}])"));
}

QTEST_GUILESS_MAIN(TestSysInfoRows)
#include "tst_sysinforows.moc"
