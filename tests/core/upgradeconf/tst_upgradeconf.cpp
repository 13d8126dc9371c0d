// "upgrade.conf": which entry matches under each rule, which elements count, and the refusals.
#include "upgradeconf/cupgradeconfig.h"

#include <QTemporaryDir>
#include <QtTest>

class TestUpgradeConf : public QObject
{
    Q_OBJECT
private slots:
    void matching_data();
    void matching();
    void entries_data();
    void entries();
    void refusals_data();
    void refusals();
    void displayTypeToModel();
    void shippedFile_data();
    void shippedFile();

private:
    QString Write(const QByteArray &baContent)
    {
        const QString strPath = m_dir.filePath(QStringLiteral("upgrade.conf"));
        QFile file(strPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(baContent);
        return strPath;
    }
    static QStringList Ids(const T_UpgradeConf &stConf)
    {
        QStringList lst;
        for (const T_ModuleRow &stRow : stConf.lstModules)
            lst << stRow.strId + QLatin1Char('=') + stRow.strName;
        return lst;
    }
    QTemporaryDir m_dir;
};

static const char s_szTwoModels[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<upgrade>
  <device id="ZR420"><module id="a" name="Base"/></device>
  <device id="ZR420L"><module id="b" name="Long"/></device>
  <device id="ZR420L"><module id="c" name="Shadowed"/></device>
  <device id="NXT800"/>
</upgrade>)";

void TestUpgradeConf::matching_data()
{
    QTest::addColumn<QString>("strKey");
    QTest::addColumn<bool>("bPrefix");
    QTest::addColumn<bool>("bFound");
    QTest::addColumn<QStringList>("lstModules");
    // A ZR420L host name begins with "ZR420": the earlier, shorter entry wins.
    QTest::newRow("prefix takes first entry") << "ZR420L-00AB" << true << true << QStringList{"a=Base"};
    QTest::newRow("exact tells ZR420L apart") << "ZR420L" << false << true << QStringList{"b=Long"};
    QTest::newRow("exact ZR420") << "ZR420" << false << true << QStringList{"a=Base"};
    QTest::newRow("exact is not prefix") << "ZR420-00AB" << false << false << QStringList{};
    QTest::newRow("exact is case sensitive") << "zr420" << false << false << QStringList{};
    QTest::newRow("prefix shorter than id") << "ZR42" << true << false << QStringList{};
    QTest::newRow("entry without modules") << "NXT800-01" << true << true << QStringList{};
    QTest::newRow("no entry") << "ZR999-01" << true << false << QStringList{};
}

void TestUpgradeConf::matching()
{
    QFETCH(QString, strKey);
    QFETCH(bool, bPrefix);
    QFETCH(bool, bFound);
    QFETCH(QStringList, lstModules);
    const T_UpgradeConf stConf =
        ReadUpgradeConf(Write(s_szTwoModels), strKey, bPrefix ? E_MatchRule::Prefix : E_MatchRule::Exact);
    QCOMPARE(stConf.eStatus, E_UpgradeConfStatus::Ok);
    QCOMPARE(stConf.bDeviceFound, bFound);
    QCOMPARE(Ids(stConf), lstModules);
    QVERIFY(UpgradeConfErrorText(stConf).isEmpty());
}

void TestUpgradeConf::entries_data()
{
    QTest::addColumn<QByteArray>("baXml");
    QTest::addColumn<bool>("bFound");
    QTest::addColumn<QStringList>("lstModules");
    // Only the first entry's name is tested; whatever follows it is an entry too.
    QTest::newRow("foreign element after first device")
        << QByteArray("<upgrade><device id='X'/><note id='M1'><module id='n'/></note></upgrade>") << true
        << QStringList{"n="};
    QTest::newRow("elements before first device skipped")
        << QByteArray("<upgrade><note id='M1'><module id='skip'/></note><device id='Z'/>"
                      "<device id='M1'><module id='m'/></device></upgrade>")
        << true << QStringList{"m="};
    QTest::newRow("foreign element after first module")
        << QByteArray("<upgrade><device id='M1'><x id='before'/><module id='a' name='A'/><file id='b'/>"
                      "<module name='no id'/><module id='' name='empty id'/><module id='c'>text</module>"
                      "</device></upgrade>")
        << true << QStringList{"a=A", "b=", "c="};
    QTest::newRow("device without id skipped")
        << QByteArray("<upgrade><device><module id='x'/></device><device id=''><module id='y'/></device>"
                      "<device id='M1'><module id='z'/></device></upgrade>")
        << true << QStringList{"z="};
    QTest::newRow("nested device not an entry")
        << QByteArray("<upgrade><group><device id='M1'><module id='x'/></device></group></upgrade>") << false
        << QStringList{};
    QTest::newRow("no devices") << QByteArray("<upgrade/>") << false << QStringList{};
    QTest::newRow("file order kept")
        << QByteArray("<upgrade><device id='M1'><module id='3' name='c'/><module id='1' name='a'/>"
                      "<module id='2' name='b'/></device></upgrade>")
        << true << QStringList{"3=c", "1=a", "2=b"};
}

void TestUpgradeConf::entries()
{
    QFETCH(QByteArray, baXml);
    QFETCH(bool, bFound);
    QFETCH(QStringList, lstModules);
    const T_UpgradeConf stConf = ReadUpgradeConf(Write(baXml), QStringLiteral("M1-0001"), E_MatchRule::Prefix);
    QCOMPARE(stConf.eStatus, E_UpgradeConfStatus::Ok);
    QCOMPARE(stConf.bDeviceFound, bFound);
    QCOMPARE(Ids(stConf), lstModules);
}

void TestUpgradeConf::refusals_data()
{
    QTest::addColumn<QByteArray>("baXml");
    QTest::addColumn<int>("eStatus");
    QTest::addColumn<QString>("strText");
    QTest::newRow("missing") << QByteArray() << int(E_UpgradeConfStatus::NotExists) << "not exists!";
    QTest::newRow("bad xml") << QByteArray("<upgrade><device id='M1'></upgrade>") << int(E_UpgradeConfStatus::Invalid)
                             << "is invalid!";
    QTest::newRow("empty file") << QByteArray("") << int(E_UpgradeConfStatus::Invalid) << "is invalid!";
    QTest::newRow("wrong root") << QByteArray("<upgrades><device id='M1'><module id='x'/></device></upgrades>")
                                << int(E_UpgradeConfStatus::Invalid) << "is invalid!";
}

void TestUpgradeConf::refusals()
{
    QFETCH(QByteArray, baXml);
    QFETCH(int, eStatus);
    QFETCH(QString, strText);
    const QString strPath = baXml.isNull() ? m_dir.filePath(QStringLiteral("absent.conf")) : Write(baXml);
    const T_UpgradeConf stConf = ReadUpgradeConf(strPath, QStringLiteral("M1"), E_MatchRule::Exact);
    QCOMPARE(int(stConf.eStatus), eStatus);
    QVERIFY(!stConf.bDeviceFound);
    QVERIFY(stConf.lstModules.isEmpty());
    QCOMPARE(UpgradeConfErrorText(stConf), QStringLiteral("Upgrade config file '%1' ").arg(strPath) + strText);
}

// Catches a display type mapped to the wrong model, the last of two equal types winning,
// and a name that is already a model (or has no model beside it) lost.
void TestUpgradeConf::displayTypeToModel()
{
    const QStringList lstModels{"ZR420", "M1", "M2"};
    const QStringList lstTypes{"Decoder", "Twin", "Twin", "Orphan"};
    auto model = [&](const char *pszType) { return ModelOfDisplayType(QLatin1String(pszType), lstModels, lstTypes); };
    QCOMPARE(model("Decoder"), QStringLiteral("ZR420"));
    QCOMPARE(model("Twin"), QStringLiteral("M1"));
    QCOMPARE(model("ZR410"), QStringLiteral("ZR410"));
    QCOMPARE(model("Orphan"), QStringLiteral("Orphan"));
}

void TestUpgradeConf::shippedFile_data()
{
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<QString>("strDeviceId");
    QTest::addColumn<QStringList>("lstModules");
    const QStringList lstVaza{"main=System firmware", "fpga=FPGA image"};
    const QStringList lstHttp{"firmware=Firmware"};
    for (const char *pszModel : {"ZR410", "ZR420", "ZR420L", "ZR430"})
        QTest::newRow(pszModel) << QString::fromLatin1(pszModel) + "-A1B20A" << pszModel << lstVaza;
    for (const char *pszModel : {"NXT800", "NXR800", "ZR110", "ZR120"})
        QTest::newRow(pszModel) << QString::fromLatin1(pszModel) + "-A1B20E" << pszModel << lstHttp;
}

void TestUpgradeConf::shippedFile()
{
    QFETCH(QString, strHost);
    QFETCH(QString, strDeviceId);
    QFETCH(QStringList, lstModules);
    const QString strPath = QStringLiteral(VELMORA_BIN_DIR "/upgrade.conf");
    // The single-device form matches by prefix: a ZR420L must not fall into the ZR420 entry.
    const T_UpgradeConf stSingle = ReadUpgradeConf(strPath, strHost, E_MatchRule::Prefix);
    QCOMPARE(stSingle.strDeviceId, strDeviceId);
    QCOMPARE(Ids(stSingle), lstModules);
    const T_UpgradeConf stBatch = ReadUpgradeConf(strPath, strDeviceId, E_MatchRule::Exact);
    QCOMPARE(Ids(stBatch), lstModules);
}

QTEST_GUILESS_MAIN(TestUpgradeConf)
#include "tst_upgradeconf.moc"
