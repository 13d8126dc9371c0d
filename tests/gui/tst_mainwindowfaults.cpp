// Faults an operator met in the main window and its forms, each driven as an operator drives
// it against simulated devices in the namespace runner: a long log in the batch form, the
// type list after single-device mode, a web-server device dragged into the batch, the device
// form of a web-server model after its device moved, the list's context menu (reboot,
// remove, export) against the batch list.
#include "cformdevicesupgrade.h"
#include "filechooser.h"
#include "fleetwindowtest.h"
#include "formmaintain.h"
#include "qdevlistwidget.h"
#include "testtime.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

namespace
{
constexpr int BATCH_MS = 90000;

// 100 KiB of log lines, some Chinese, so chunks of the download end inside a line and inside
// a character.
QByteArray LongLog()
{
    QByteArray ba;
    for (int i = 0; ba.size() < 100 * 1024; ++i)
        ba += QStringLiteral("Jan  1 00:%1 ZR420-W00011 daemon.info 编码器 line %2 \t ok\n")
                  .arg(i % 60, 2, 10, QLatin1Char('0'))
                  .arg(i)
                  .toUtf8();
    return ba;
}

// RFC 4180 as a spreadsheet reads it, written apart from the product's writer: quoted fields
// may hold commas, doubled quotes and line breaks; records end in CRLF.
QList<QStringList> ReadCsv(const QString &strText)
{
    QList<QStringList> records;
    QStringList fields;
    QString strField;
    bool bQuoted = false;
    for (int i = 0; i < strText.size(); ++i) {
        const QChar ch = strText.at(i);
        if (bQuoted) {
            if (ch == '"' && i + 1 < strText.size() && strText.at(i + 1) == '"')
                strField += strText.at(++i);
            else if (ch == '"')
                bQuoted = false;
            else
                strField += ch;
        } else if (ch == '"') {
            bQuoted = true;
        } else if (ch == ',') {
            fields << strField;
            strField.clear();
        } else if (ch == '\r' && i + 1 < strText.size() && strText.at(i + 1) == '\n') {
            records << (fields << strField);
            fields.clear();
            strField.clear();
            ++i;
        } else {
            strField += ch;
        }
    }
    return records;
}
} // namespace

class TestMainWindowFaults : public FleetWindowTest
{
    Q_OBJECT
private slots:
    void batchLogArrivesWhole();
    void typesAfterSingleDeviceMode();
    void webServerDeviceDraggedIn();
    void deviceFormOfWebServerModel();
    void listMenuAgainstBatchList();

private:
    QComboBox *Types() const { return F<QComboBox>("cbDevType"); }
};

// Would catch the batch form's Log tab ending the download at its first chunk, a chunk
// boundary shown as a line break, and a character split between chunks garbled.
void TestMainWindowFaults::batchLogArrivesWhole()
{
    const QByteArray baLog = LongLog();
    QVERIFY(StartFleet({Device("ZR420-W00011", "10.213.0.30", "rx", "V2.0.0", {{"log_text", QString(baLog)}})},
                       {"discovery", "vaza", "ftp"}));
    QVERIFY(Search());
    // The search's own information request keeps the session busy until answered.
    QTRY_COMPARE_WITH_TIMEOUT(List()->topLevelItem(0)->text(3), QString("V2.0.0"), 10000);
    ClickDevice("ZR420-W00011");
    F<QTabWidget>("tab")->setCurrentWidget(F<QWidget>("tab_Log"));
    QTest::mouseClick(F<QPushButton>("btnReadLog"), Qt::LeftButton);
    QPlainTextEdit *pLog = F<QPlainTextEdit>("teLog");
    QTRY_VERIFY_WITH_TIMEOUT(m_pWindow->BatchForm()->isEnabled() && !pLog->toPlainText().isEmpty(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(pLog->toPlainText().size(), QString(baLog).size(), 15000);
    QCOMPARE(pLog->toPlainText().toUtf8(), baLog);
    QVERIFY(m_pWindow->BatchForm()->isEnabled());
}

// Would catch the batch form opened after single-device mode without the types of the devices
// found meanwhile, a later search not offering them either, and their modules not loading.
void TestMainWindowFaults::typesAfterSingleDeviceMode()
{
    QVERIFY(StartFleet({Device("ZR410-W00021", "10.213.0.31", "tx", "V3.1.4"),
                        Device("ZR410-W00022", "10.213.0.32", "tx", "V3.1.4"),
                        Device("ZR420-W00023", "10.213.0.33", "rx", "V2.0.0")},
                       {"discovery", "vaza", "ftp"}));
    QTest::mouseClick(m_pWindow->findChild<QPushButton *>("pbSingleDevice"), Qt::LeftButton);
    QVERIFY(Search());
    QCOMPARE(List()->topLevelItemCount(), 3);
    QTest::mouseClick(m_pWindow->findChild<QPushButton *>("pbBatchUpgrade"), Qt::LeftButton);
    QVERIFY(m_pWindow->BatchForm());
    QStringList lstTypes;
    for (int i = 0; i < Types()->count(); ++i)
        lstTypes << Types()->itemText(i);
    lstTypes.sort();
    QCOMPARE(lstTypes, (QStringList{"", "ZR410 Encoder", "ZR420 Decoder"}));
    // A search in batch mode keeps them offered once each.
    QVERIFY(Search());
    QCOMPARE(Types()->count(), 3);
    // The search's own information requests keep the sessions busy until answered.
    QTRY_VERIFY_WITH_TIMEOUT(!Column(List(), 3).contains(QString()), 15000);

    ScopedTimeScale scale(0.2);
    Types()->setCurrentText("ZR410 Encoder");
    QCOMPARE(F<QTreeWidget>("twDev")->topLevelItemCount(), 2);
    QCOMPARE(Column(F<QTreeWidget>("twModule"), 0), (QStringList{"System firmware", "FPGA image"}));
    ChooseFiles({Image("main.bin", 120000), Image("fpga.bin", 40000)});
    m_pRecorder->Expect("succeeded: 2, total: 2.");
    QTest::mouseClick(F<QPushButton>("pbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_pRecorder->PendingExpectations(), 0, BATCH_MS);
    QCOMPARE(m_fleet.Records("image").size(), 4);
}

// Would catch a web-server device refused without a word because the form's HTTP agent
// already knew it from the version query after a search.
void TestMainWindowFaults::webServerDeviceDraggedIn()
{
    const QJsonObject first = Device("ZR110-W00031", "10.213.0.34", "tx", "2.1.4");
    QVERIFY(StartFleet({first}, {"discovery", "http"}));
    QVERIFY(Search());
    Types()->setCurrentText("ZR110 Encoder");
    QTreeWidget *pDev = F<QTreeWidget>("twDev");
    QCOMPARE(pDev->topLevelItemCount(), 1);
    // A device switched on later is found by the next search, which asks it for its version.
    QVERIFY(StartFleet({first, Device("ZR110-W00032", "10.213.0.35", "tx", "2.1.4")}, {"discovery", "http"}));
    QVERIFY(Search());
    QTRY_VERIFY_WITH_TIMEOUT(!List()->topLevelItem(Row("ZR110-W00032"))->text(3).isEmpty(), 10000);

    QMimeData mime;
    mime.setData(QDevListWidget::DragFormat(), QDevListWidget::DragPayload(List()->topLevelItem(Row("ZR110-W00032"))));
    const QPoint pt = pDev->viewport()->rect().center();
    QDragEnterEvent enter(pt, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pDev->viewport(), &enter);
    QDropEvent drop(pt, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pDev->viewport(), &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(Column(pDev, 1), (QStringList{"ZR110 Encoder-W00031", "ZR110 Encoder-W00032"}));

    ScopedTimeScale scale(0.2);
    ChooseFiles({Image("fw.bin", 90000)});
    m_pRecorder->Expect("succeeded: 2, total: 2.");
    QTest::mouseClick(F<QPushButton>("pbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_pRecorder->PendingExpectations(), 0, BATCH_MS);
    QCOMPARE(m_fleet.Records("http_upload").size(), 2);
}

// Would catch the Version column filled from a maintenance answer of a web-server model (the
// tail of its XML document), and the device form's version reads and uploads going to the
// address the device had when the form opened.
void TestMainWindowFaults::deviceFormOfWebServerModel()
{
    const QString strHost = "ZR110-W00041";
    QVERIFY(
        StartFleet({Device(strHost, "10.213.0.36", "tx", "2.1.4", {{"vaza", true}})}, {"discovery", "http", "vaza"}));
    QTest::mouseClick(m_pWindow->findChild<QPushButton *>("pbSingleDevice"), Qt::LeftButton);
    QVERIFY(Search());
    QSignalSpy spyVaza(m_pWindow->Agent(), &CMaintainAgent::OnSysInfoNotify);
    ClickDevice(strHost);
    CFormMaintain *pForm = m_pWindow->FindDevForm(strHost);
    QVERIFY(pForm);
    QTreeWidget *pInfo = pForm->findChild<QTreeWidget *>("twSysInfo");
    QTRY_VERIFY_WITH_TIMEOUT(spyVaza.size() == 1 && pInfo->topLevelItemCount() == 2, 15000);
    QVERIFY(!spyVaza.at(0).at(1).toBool());
    QCOMPARE(List()->topLevelItem(Row(strHost))->text(3), QString());

    // The device answers the next search from another address; the open form follows it.
    QVERIFY(
        StartFleet({Device(strHost, "10.213.0.37", "tx", "2.1.4", {{"vaza", true}})}, {"discovery", "http", "vaza"}));
    QVERIFY(Search());
    QCOMPARE(List()->topLevelItem(Row(strHost))->text(2), QString("10.213.0.37"));
    pInfo->clear();
    QTest::mouseClick(pForm->findChild<QPushButton *>("btnReadSysInfo"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Column(pInfo, 0), (QStringList{"build time", "version"}), 10000);

    ScopedTimeScale scale(0.2);
    pForm->findChild<QTabWidget *>("tabWidget")->setCurrentWidget(pForm->findChild<QWidget *>("tabUpgrade"));
    QTreeWidget *pModules = pForm->findChild<QTreeWidget *>("twUpgrade");
    const QString strFile = Image("single.bin", 60000);
    Velmora::SetFileChooser([strFile] { return strFile; });
    QTest::mouseClick(pModules->itemWidget(pModules->topLevelItem(0), 1), Qt::LeftButton);
    Velmora::SetFileChooser({});
    QTest::mouseClick(pForm->findChild<QPushButton *>("btnStartUpgrade"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!pForm->IsBusy(), BATCH_MS);
    QCOMPARE(m_fleet.Records("http_upload").size(), 1);
    QCOMPARE(pModules->topLevelItem(0)->text(3), QString("100%"));
}

// Would catch an exported list that a CSV reader splits wrongly (a name with a comma, a quote
// or Chinese), out of the list's order or without its header; a device rebooted from the list
// left in the batch list (a later batch fails it or uploads to a box that is rebooting); the
// menu's removal without its question or ignoring the answer.
void TestMainWindowFaults::listMenuAgainstBatchList()
{
    const QString strOdd = QString::fromUtf8("Hall 3, \"east\" 东厅");
    QJsonObject odd = Device("ZR410-W00053", "10.213.0.40", "tx", "V3.1.4");
    odd.insert("telnet_name", strOdd);
    QVERIFY(StartFleet({Device("ZR410-W00051", "10.213.0.38", "tx", "V3.1.4"),
                        Device("ZR410-W00052", "10.213.0.39", "tx", "V3.1.4"), odd},
                       {"discovery", "vaza", "telnet"}));
    QVERIFY(Search());
    // Sorted by alias once the search ends.
    QTRY_COMPARE_WITH_TIMEOUT(Column(List(), 0), (QStringList{strOdd, "Lobby encoder", "Stage 52"}), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!Column(List(), 3).contains(QString()), 15000);

    const QString strCsv = m_dir.filePath("site.csv");
    Velmora::SetFileChooser([strCsv] { return strCsv; });
    QVERIFY(ContextMenu("ZR410-W00052", "Export list..."));
    Velmora::SetFileChooser({});
    QFile file(strCsv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QStringList> records = ReadCsv(QString::fromUtf8(file.readAll()));
    QCOMPARE(records.size(), 4);
    QCOMPARE(records.at(0),
             (QStringList{"host name", "name", "model", "kind", "address", "version", "video input", "video timing"}));
    QCOMPARE(records.at(1).mid(0, 6), (QStringList{"ZR410-W00053", strOdd, "ZR410", "tx", "10.213.0.40", "V3.1.4"}));
    for (int i = 1; i < 4; ++i)
        QCOMPARE(records.at(i).at(0), List()->topLevelItem(i - 1)->data(0, Qt::UserRole).toString());

    Types()->setCurrentText("ZR410 Encoder");
    QTreeWidget *pDev = F<QTreeWidget>("twDev");
    QCOMPARE(pDev->topLevelItemCount(), 3);

    QVERIFY(ContextMenu("ZR410-W00052", "Reboot"));
    QCOMPARE(Row("ZR410-W00052"), -1);
    QCOMPARE(Column(pDev, 1), (QStringList{"ZR410 Encoder-W00053", "ZR410 Encoder-W00051"}));
    QCOMPARE(Column(pDev, 0), (QStringList{"1", "2"}));
    QTRY_COMPARE_WITH_TIMEOUT(m_fleet.Records("telnet_reboot").size(), 1, 10000);

    m_pRecorder->Expect("Sure to remove selected devices?", QMessageBox::No);
    QVERIFY(ContextMenu("ZR410-W00053", "Remove"));
    QVERIFY(Row("ZR410-W00053") >= 0);
    QCOMPARE(pDev->topLevelItemCount(), 2);
    m_pRecorder->Expect("Sure to remove selected devices?", QMessageBox::Yes);
    QVERIFY(ContextMenu("ZR410-W00053", "Remove"));
    QCOMPARE(Row("ZR410-W00053"), -1);
    QCOMPARE(Types()->currentText(), QString());
    QCOMPARE(pDev->topLevelItemCount(), 0);
    QCOMPARE(m_pRecorder->PendingExpectations(), 0);
}

QTEST_MAIN(TestMainWindowFaults)
#include "tst_mainwindowfaults.moc"
