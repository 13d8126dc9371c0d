// The version page's two fields on bytes: their offsets, and padding of blanks or zero bytes on
// either side, which every reader of the page must take off alike.
#include "http/httpversionpage.h"

#include <QtTest>

class TestHttpVersionPage : public QObject
{
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
};

void TestHttpVersionPage::fields_data()
{
    QTest::addColumn<QByteArray>("baPage");
    QTest::addColumn<QString>("strBuild");
    QTest::addColumn<QString>("strVersion");
    //                     0     6                        31     38                     61
    const QByteArray baFull("Build:2024-05-01 12:00:00 UTC+8.Ver:\r\nNXT800-V1.2.3-20240501ab\r\n");
    const QByteArray baZeros(23, '\0');
    auto page = [](const QByteArray &baVersion) {
        return "Build:" + QByteArray("2026-01-15 10:20:30").leftJustified(25, ' ') + "\nVer : " + baVersion + "\n";
    };
    // Nothing but the two byte ranges is read, whatever surrounds them.
    QTest::newRow("full fields") << baFull << "2024-05-01 12:00:00 UTC+8"
                                 << "NXT800-V1.2.3-20240501a";
    QTest::newRow("ends inside version") << baFull.left(45) << "2024-05-01 12:00:00 UTC+8"
                                         << "NXT800-";
    QTest::newRow("ends before version") << baFull.left(38) << "2024-05-01 12:00:00 UTC+8"
                                         << "";
    QTest::newRow("ends inside build time") << baFull.left(10) << "2024"
                                            << "";
    QTest::newRow("empty") << QByteArray() << ""
                           << "";
    // The padding a device may use: a version read with it left on is another version.
    QTest::newRow("blank-padded") << page(QByteArray("2.1.4").leftJustified(23, ' ')) << "2026-01-15 10:20:30"
                                  << "2.1.4";
    QTest::newRow("zero-padded behind") << page(QByteArray("2.1.4").leftJustified(23, '\0')) << "2026-01-15 10:20:30"
                                        << "2.1.4";
    QTest::newRow("zero-padded in front") << page(QByteArray(18, '\0') + "2.1.4") << "2026-01-15 10:20:30"
                                          << "2.1.4";
    QTest::newRow("blanks and zeros") << page(QByteArray(" \0\t2.1.4 \0 \0", 11).leftJustified(23, '\0'))
                                      << "2026-01-15 10:20:30"
                                      << "2.1.4";
    // Bytes behind the text's zero are stale, not part of the version.
    QTest::newRow("stale bytes behind zero") << page(QByteArray("2.1.4\0"
                                                                "2.0.9",
                                                                11)
                                                         .leftJustified(23, '\0'))
                                             << "2026-01-15 10:20:30"
                                             << "2.1.4";
    QTest::newRow("all zeros") << page(baZeros) << "2026-01-15 10:20:30"
                               << "";
    QTest::newRow("zero-padded build time")
        << QByteArray("Build:") + QByteArray("2026-01-15").leftJustified(25, '\0') << "2026-01-15"
        << "";
    QTest::newRow("utf-8") << page(QStringLiteral("版本 2.1").toUtf8().leftJustified(23, '\0')) << "2026-01-15 10:20:30"
                           << QStringLiteral("版本 2.1");
}

// Would catch a field read at the wrong offset or past the page's end, padding of either kind
// left on, and bytes behind a zero taken into the version.
void TestHttpVersionPage::fields()
{
    QFETCH(QByteArray, baPage);
    QFETCH(QString, strBuild);
    QFETCH(QString, strVersion);
    // A detached copy, so ASan sees any read past the page's own bytes.
    const QByteArray baExact(baPage.constData(), baPage.size());
    QCOMPARE(Velmora::HttpPageBuildTime(baExact), strBuild);
    QCOMPARE(Velmora::HttpPageVersion(baExact), strVersion);
}

QTEST_APPLESS_MAIN(TestHttpVersionPage)
#include "tst_httpversionpage.moc"
