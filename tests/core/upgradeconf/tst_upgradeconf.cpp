// "upgrade.conf": which entry a device's model matches, which elements count, and the refusals.
#include "product/hostmodel.h"
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
    QTest::addColumn<QString>("strHost");
    QTest::addColumn<bool>("bFound");
    QTest::addColumn<QStringList>("lstModules");
    // A ZR420L host name begins with "ZR420" too: the earlier, shorter entry must not take it.
    QTest::newRow("ZR420L apart from ZR420") << "ZR420L-00AB" << true << QStringList{"b=Long"};
    QTest::newRow("ZR420, dash in suffix") << "ZR420-00AB-1" << true << QStringList{"a=Base"};
    QTest::newRow("case sensitive") << "zr420-00AB" << false << QStringList{};
    QTest::newRow("model shorter than id") << "ZR42-00AB" << false << QStringList{};
    QTest::newRow("entry without modules") << "NXT800-01" << true << QStringList{};
    QTest::newRow("no entry") << "ZR999-01" << false << QStringList{};
}

// Would catch an entry taken by prefix or by a model cut at the wrong dash, and a later
// entry of the same id used instead of the first.
void TestUpgradeConf::matching()
{
    QFETCH(QString, strHost);
    QFETCH(bool, bFound);
    QFETCH(QStringList, lstModules);
    const T_UpgradeConf stConf = ReadUpgradeConf(Write(s_szTwoModels), Velmora::ModelOfHostName(strHost));
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
    const T_UpgradeConf stConf = ReadUpgradeConf(Write(baXml), QStringLiteral("M1"));
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
    const T_UpgradeConf stConf = ReadUpgradeConf(strPath, QStringLiteral("M1"));
    QCOMPARE(int(stConf.eStatus), eStatus);
    QVERIFY(!stConf.bDeviceFound);
    QVERIFY(stConf.lstModules.isEmpty());
    QCOMPARE(UpgradeConfErrorText(stConf), QStringLiteral("Upgrade config file '%1' ").arg(strPath) + strText);
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
    const T_UpgradeConf stConf = ReadUpgradeConf(strPath, Velmora::ModelOfHostName(strHost));
    QCOMPARE(stConf.strDeviceId, strDeviceId);
    QCOMPARE(Ids(stConf), lstModules);
}

QTEST_GUILESS_MAIN(TestUpgradeConf)
#include "tst_upgradeconf.moc"
