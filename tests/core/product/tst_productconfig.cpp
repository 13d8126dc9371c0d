// Product table from "config.xml"; the model of a host name and what it decides (display name,
// display type, kind, web-server model); display types read back as models.
#include "product/cdevicetypes.h"
#include "product/hostmodel.h"
#include "product/httpmodels.h"
#include "product/productconfig.h"

#include <QTemporaryDir>
#include <QtTest>

class TestProductConfig : public QObject
{
    Q_OBJECT
private slots:
    void tableRules();
    void hostNameLookups_data();
    void hostNameLookups();
    void brokenFiles();
    void shippedConfigListsEveryModel();
    void deviceTypes();

private:
    QString Write(const QByteArray &baContent, const QString &strName = QStringLiteral("config.xml"))
    {
        const QString strPath = m_dir.filePath(strName);
        QFile file(strPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(baContent);
        return strPath;
    }
    QTemporaryDir m_dir;
};

void TestProductConfig::tableRules()
{
    const QString strPath = Write(R"(<?xml version="1.0"?>
<tavprod>
  <product id="M1" name="Decoder" type="rx"/>
  <product id="HID" name="Hidden" type="tx" show="FALSE"/>
  <product id="ZERO" name="Zero" type="tx" show="0"/>
  <product id="YES" name="Yes" type="tx" show="yes"/>
  <product id="ONE" name="One" type="rx" show="1"/>
  <product id="TRUE" name="True" type="rx" show="TrUe"/>
  <product id="EMPTY" name="Empty" type="rx" show=""/>
  <product id="DUP" name="First" type="tx"/>
  <product id="DUP" name="Second" type="rx"/>
  <group><product id="NESTED" name="Nested" type="tx"/></group>
  <other id="OTHER" name="Other"/>
  <!-- <product id="COMMENTED" name="c"/> -->
  <product name="NoId"/>
</tavprod>)");
    QVERIFY(LoadProductConfig(strPath));
    const QMap<QString, T_ProductInfo> &table = ProductTable();
    // "show" false in any case or 0 drops a product; any other text keeps it. Only direct
    // <product> children of the root count.
    for (const char *pszId : {"YES", "ONE", "TRUE", "EMPTY"})
        QVERIFY2(table.contains(QLatin1String(pszId)), pszId);
    for (const char *pszId : {"HID", "ZERO", "NESTED", "OTHER", "COMMENTED"})
        QVERIFY2(!table.contains(QLatin1String(pszId)), pszId);
    // The later duplicate wins, name and type alike.
    QCOMPARE(table.value(QStringLiteral("DUP")).strName, QStringLiteral("Second"));
    QCOMPARE(table.value(QStringLiteral("DUP")).strType, QStringLiteral("rx"));
    // A product without id is stored under the empty id, with its attributes.
    QCOMPARE(table.value(QString()).strName, QStringLiteral("NoId"));
    QCOMPARE(table.value(QStringLiteral("M1")).strId, QStringLiteral("M1"));

    // Reloading replaces the table rather than adding to it.
    QVERIFY(LoadProductConfig(Write(R"(<tavprod><product id="M2" name="N" type="tx"/></tavprod>)")));
    QCOMPARE(ProductTable().keys(), QStringList{QStringLiteral("M2")});
}

void TestProductConfig::hostNameLookups_data()
{
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<QString>("strLookups"); // "model|display name|display type|kind|web-server"
    // The model is the text before the first dash, matched exactly; a dash in the suffix, or a
    // model that extends a shorter one, names no other model.
    const char *const rows[][3] = {{"plain", "M1-00AB", "M1|Decoder-00AB|Decoder|rx|-"},
                                   {"dash in suffix", "M1-ROOM-2", "M1|Decoder-ROOM-2|Decoder|rx|-"},
                                   {"longer model", "M1L-00AB", "M1L|Long-00AB|Long|tx|-"},
                                   {"empty suffix", "M1-", "M1|Decoder-|Decoder|rx|-"},
                                   {"no dash", "M1", "M1||||-"},
                                   {"unknown model", "M9-00AB", "M9||||-"},
                                   {"case matters", "m1-00AB", "m1||||-"},
                                   {"empty host", "", "||||-"},
                                   {"web-server, dash in suffix", "ZR110-A-1", "ZR110|Web-A-1|Web|tx|http"},
                                   {"web-server name extended", "ZR1100-A", "ZR1100||||-"}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
}

// Would catch a model cut at the last dash (ZR410-A-1 taken for a type "ZR410-A") or found by
// prefix (a ZR420L taken for a ZR420, a ZR1100 for a web-server model).
void TestProductConfig::hostNameLookups()
{
    QFETCH(QString, strHost);
    QFETCH(QString, strLookups);
    QVERIFY(LoadProductConfig(Write(R"(<tavprod><product id="M1" name="Decoder" type="rx"/>
        <product id="M1L" name="Long" type="tx"/><product id="ZR110" name="Web" type="tx"/></tavprod>)")));
    QCOMPARE(QStringList({Velmora::ModelOfHostName(strHost), GetProductName(strHost), GetDisplayType(strHost),
                          GetProductType(strHost), Velmora::IsHttpHostModel(strHost) ? "http" : "-"})
                 .join('|'),
             strLookups);
}

// Catches a parse error that throws away the products read before it (or keeps those after
// it, or goes unreported), a missing file that empties the table, and a foreign root that is
// read as ours.
void TestProductConfig::brokenFiles()
{
    QString strWhy;
    QVERIFY(!LoadProductConfig(Write(R"(<tavprod>
  <product id="A" name="Alpha" type="tx"/>
  <product id="B" name="Beta" type="rx"/>
  <product id="C" name="Gamma" type="rx" <<< broken
  <product id="D" name="Delta" type="tx"/>
</tavprod>)"),
                               &strWhy));
    QVERIFY2(strWhy.startsWith("line 4"), qPrintable(strWhy));
    QCOMPARE(ProductTable().keys(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QVERIFY(!LoadProductConfig(m_dir.filePath(QStringLiteral("absent.xml"))));
    QCOMPARE(ProductTable().keys(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QVERIFY(!LoadProductConfig(Write(R"(<products><product id="A" name="Alpha" type="tx"/></products>)")));
    QVERIFY(ProductTable().isEmpty());
    // Binary garbage is an XML error at once: an empty table, no crash.
    QVERIFY(LoadProductConfig(Write(R"(<tavprod><product id="A" name="Alpha" type="tx"/></tavprod>)")));
    QVERIFY(!LoadProductConfig(Write(QByteArray("\x00\xff\xfe<tav", 7))));
    QVERIFY(ProductTable().isEmpty());
}

void TestProductConfig::shippedConfigListsEveryModel()
{
    QVERIFY(LoadProductConfig(QStringLiteral(VELMORA_BIN_DIR "/config.xml")));
    const QStringList models = {"ZR410", "ZR420", "ZR420L", "ZR430", "NXT800", "NXR800", "ZR110", "ZR120"};
    for (const QString &strModel : models) {
        const T_ProductInfo stInfo = ProductTable().value(strModel);
        QVERIFY2(!stInfo.strName.isEmpty(), qPrintable(strModel));
        QVERIFY2(stInfo.strType == QLatin1String("tx") || stInfo.strType == QLatin1String("rx"), qPrintable(strModel));
    }
    QCOMPARE(ProductTable().size(), models.size());
}

// Would catch a display type not read back as its model, a later device of the same display
// type changing the model, and a type recorded as its own model hiding a later real one.
void TestProductConfig::deviceTypes()
{
    QVERIFY(LoadProductConfig(Write(R"(<tavprod><product id="ZR420L" name="ZR420L Decoder"/>
        <product id="M1" name="Twin"/><product id="M2" name="Twin"/>
        <product id="TWIN" name="TWIN"/><product id="TWIN2" name="TWIN"/></tavprod>)")));
    CDeviceTypes types;
    QCOMPARE(types.ModelOf("ZR420L Decoder"), QString("ZR420L Decoder"));
    for (const char *pszHost : {"TWIN-1", "ZR420L-E1-00AB", "M1-1", "M2-2", "TWIN2-1", "QX9-1"})
        types.AddDevice(pszHost);
    QCOMPARE(types.ModelOf("ZR420L Decoder"), QString("ZR420L"));
    QCOMPARE(types.ModelOf("Twin"), QString("M1"));
    QCOMPARE(types.ModelOf("TWIN"), QString("TWIN2"));
    QCOMPARE(types.ModelOf("ZR410"), QString("ZR410"));
    QCOMPARE(types.ModelOf(QString()), QString());
}

QTEST_GUILESS_MAIN(TestProductConfig)
#include "tst_productconfig.moc"
