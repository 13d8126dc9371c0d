// Window title: the default or the build-time title, with the build version unless "app.ini" says no.
#include "appinfo/velmoraversion.h"
#include "appinfo/windowtitle.h"

#include <QTemporaryDir>
#include <QtTest>

class TestWindowTitle : public QObject
{
    Q_OBJECT
private slots:
    void windowTitle_data();
    void windowTitle();

private:
    QTemporaryDir m_dir;
};

void TestWindowTitle::windowTitle_data()
{
    QTest::addColumn<QByteArray>("baIni");
    QTest::addColumn<bool>("bAppend");
    QTest::newRow("no file") << QByteArray() << true;
    QTest::newRow("no key") << QByteArray("[General]\nother=1\n") << true;
    QTest::newRow("false") << QByteArray("[General]\nappendver=false\n") << false;
    QTest::newRow("zero") << QByteArray("[General]\nappendver=0\n") << false;
    QTest::newRow("true") << QByteArray("appendver=true\n") << true;
    QTest::newRow("garbage") << QByteArray("\xff\x00[[\n=", 6) << true;
}

void TestWindowTitle::windowTitle()
{
    QFETCH(QByteArray, baIni);
    QFETCH(bool, bAppend);
    const QString strIni = m_dir.filePath(QStringLiteral("app.ini"));
    QFile::remove(strIni);
    if (!baIni.isNull()) {
        QFile file(strIni);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(baIni);
    }
    QCOMPARE(BuildVersionText(), QStringLiteral(VELMORA_BUILD_VERSION));
    // No version resource on this platform (and no build-time title): the default stays.
    const QString strTitle =
        BuildWindowTitle(QStringLiteral("Velmora"), QCoreApplication::applicationFilePath(), strIni);
    QCOMPARE(strTitle, bAppend ? QStringLiteral("Velmora ") + BuildVersionText() : QStringLiteral("Velmora"));
}

QTEST_GUILESS_MAIN(TestWindowTitle)
#include "tst_windowtitle.moc"
