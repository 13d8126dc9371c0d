// Reasons made in the core reach the Chinese window in Chinese: the window shows them in tool
// tips, the status bar and "Name not read: %1". The console program installs no translator and
// keeps them in English. Catches a reason left as a fixed English literal, and a translated
// text squeezed through Latin-1 on its way out ("??" in the window).
#include "http/chttpupgrade.h"
#include "telnet/ctelnetnamereader.h"

#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

class TestReasonTranslation : public QObject
{
    Q_OBJECT
private slots:
    void englishWithoutTranslator();
    void chineseWithTranslator();

private:
    static T_BaseDevInfo ClosedPort()
    {
        T_BaseDevInfo st;
        st.strHostName = QStringLiteral("ZR110-X1");
        // Port 1 on loopback: nothing listens, the connection is refused at once.
        st.strAddr = QStringLiteral("127.0.0.1:1");
        return st;
    }
};

void TestReasonTranslation::englishWithoutTranslator()
{
    QCOMPARE(TelnetFailureReason(COMM_FAILED, true, "su: incorrect password"),
             QStringLiteral("login refused: incorrect password"));
    CHttpUpgrade up(ClosedPort());
    QVERIFY(!up.StartUpgrade(QStringLiteral("ZR110-X1"), T_UpgradeInfo{QStringLiteral("m"), 0, QString()}));
    QCOMPARE(up.LastError(), QStringLiteral("no upload file given"));
}

void TestReasonTranslation::chineseWithTranslator()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("ch.pm"), QStringLiteral(VELMORA_BIN_DIR)));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QCOMPARE(TelnetFailureReason(COMM_FAILED, true, "su: incorrect password"),
             QString::fromUtf8("登录被拒绝：密码错误"));
    CHttpUpgrade up(ClosedPort());
    QVERIFY(!up.StartUpgrade(QStringLiteral("ZR110-X1"), T_UpgradeInfo{QStringLiteral("m"), 0, QString()}));
    QCOMPARE(up.LastError(), QString::fromUtf8("未指定上传文件"));

    // A version page that cannot be read says so in the operator's language, byte for byte.
    QSignalSpy spy(&up, &CHttpUpgrade::signalHttpVersionNotify);
    QVERIFY(up.QueryVersion());
    QVERIFY(spy.wait(10000));
    QVERIFY(spy.at(0).at(1).toBool());
    QCOMPARE(QString::fromUtf8(spy.at(0).at(3).toByteArray()), QString::fromUtf8("错误"));
    QVERIFY(up.LastError().startsWith(QString::fromUtf8("版本页面")));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_GUILESS_MAIN(TestReasonTranslation)
#include "tst_reasontranslation.moc"
