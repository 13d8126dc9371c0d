// Reading an earlier upgrade result back for a retry: what is refused, and what a good one
// yields (the failures to run again, the files, the type and version).
#include "batch/cretryfile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestRetryFile : public QObject
{
    Q_OBJECT
private slots:
    void refusals_data();
    void refusals();
    void failuresAndFiles();
    void readsFromDisk();
};

void TestRetryFile::refusals_data()
{
    QTest::addColumn<QByteArray>("baJson");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text"); // ErrorText("r.json"); a trailing "*" stands for the parse error
    const QString strNoResult = QStringLiteral("'r.json' is no result of velmora-cli upgrade --json");
    const QString strNoHost = QStringLiteral("'r.json': a result without host or module");
    // Each would otherwise retry nothing, or everything, without a word.
    QTest::newRow("cut short") << QByteArray("{\"results\": [") << int(CRetryFile::READ_NOT_A_RESULT)
                               << strNoResult + ": *";
    QTest::newRow("an array") << QByteArray("[{\"host\": \"A\", \"module\": \"main\"}]")
                              << int(CRetryFile::READ_NOT_A_RESULT) << strNoResult;
    QTest::newRow("empty results") << QByteArray("{\"results\": []}") << int(CRetryFile::READ_NOT_A_RESULT)
                                   << strNoResult;
    QTest::newRow("row without host") << QByteArray("{\"type\": \"ZR410\", \"results\": [{\"module\": \"main\"}]}")
                                      << int(CRetryFile::READ_INCOMPLETE_ROW) << strNoHost;
    QTest::newRow("row without module")
        << QByteArray("{\"results\": [{\"host\": \"A\", \"module\": \"main\"}, {\"host\": \"B\", \"ok\": false}]}")
        << int(CRetryFile::READ_INCOMPLETE_ROW) << strNoHost;
}

void TestRetryFile::refusals()
{
    QFETCH(QByteArray, baJson);
    QFETCH(int, status);
    QFETCH(QString, text);
    CRetryFile retry;
    QCOMPARE(int(retry.Parse(baJson)), status);
    QCOMPARE(int(retry.Status()), status);
    const QString strText = retry.ErrorText(QStringLiteral("r.json"));
    if (text.endsWith(QLatin1Char('*'))) {
        text.chop(1);
        QVERIFY2(strText.startsWith(text) && strText.size() > text.size(), qPrintable(strText));
    } else {
        QCOMPARE(strText, text);
    }
    // Nothing half read is left to be used.
    QVERIFY(retry.Type().isEmpty() && retry.Failures().isEmpty() && retry.Files().isEmpty());
}

// Catches a success run again, a failure left out, a failure of one device retried on
// another, and a file taken from a row other than the last that names one.
void TestRetryFile::failuresAndFiles()
{
    const QByteArray baJson = R"({"type": "ZR410", "version": "V3.1.4", "versions": {"fpga": "F1.0.0", "main": ""},
        "succeeded": 1, "total": 3, "results": [
        {"host": "ZR410-A", "module": "main", "file": "/img/main-1.bin", "ok": true, "step": "Upgrade completed"},
        {"host": "ZR410-A", "module": "fpga", "file": "/img/fpga.bin", "ok": false},
        {"host": "ZR410-C", "module": "main", "file": "/img/main-2.bin", "ok": false},
        {"host": "ZR410-C", "module": "fpga", "file": "", "ok": false},
        {"host": "ZR410-B", "module": "main", "ok": "true"}
    ]})";
    CRetryFile retry;
    QCOMPARE(retry.Parse(baJson), CRetryFile::READ_OK);
    QVERIFY(retry.ErrorText(QStringLiteral("r.json")).isEmpty());
    QCOMPARE(retry.Type(), QStringLiteral("ZR410"));
    QCOMPARE(retry.Version(), QStringLiteral("V3.1.4"));
    // A retry must check each module against its own version, not the plain one.
    QCOMPARE(retry.Versions(), (QHash<QString, QString>{{"fpga", "F1.0.0"}}));
    // Only a JSON true is a success.
    const QMap<QString, QStringList> mapFailures{
        {"ZR410-A", {"fpga"}}, {"ZR410-B", {"main"}}, {"ZR410-C", {"main", "fpga"}}};
    QCOMPARE(retry.Failures(), mapFailures);
    QCOMPARE(retry.FailedModules(), (QStringList{"fpga", "main"}));
    const QHash<QString, QString> hashFiles{{"main", "/img/main-2.bin"}, {"fpga", "/img/fpga.bin"}};
    QCOMPARE(retry.Files(), hashFiles);

    // A result where everything succeeded is a result, with nothing to run again.
    QCOMPARE(retry.Parse(R"({"results": [{"host": "ZR410-A", "module": "main", "ok": true}]})"), CRetryFile::READ_OK);
    QVERIFY(retry.Failures().isEmpty() && retry.Type().isEmpty() && retry.Version().isEmpty());
}

void TestRetryFile::readsFromDisk()
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("result.json"));
    CRetryFile retry;
    QCOMPARE(retry.Read(strPath), CRetryFile::READ_UNREADABLE);
    QVERIFY(!retry.ErrorDetail().isEmpty());
    QCOMPARE(retry.ErrorText(strPath), QStringLiteral("cannot read '%1': %2").arg(strPath, retry.ErrorDetail()));
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"type": "ZR420", "results": [{"host": "ZR420-A", "module": "main", "ok": false}]})");
    file.close();
    QCOMPARE(retry.Read(strPath), CRetryFile::READ_OK);
    QCOMPARE(retry.Type(), QStringLiteral("ZR420"));
    QCOMPARE(retry.FailedModules(), QStringList{"main"});
}

QTEST_APPLESS_MAIN(TestRetryFile)
#include "tst_retryfile.moc"
