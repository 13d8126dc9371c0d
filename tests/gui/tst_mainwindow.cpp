// The main window offscreen, fed the way the searcher and the agent feed it: which devices
// are listed and how often, the version and video columns, device text as plain text, the
// batch form's type list, the broken product table, the remembered layout, and closing. No
// device is contacted.
#include "cformdevicesupgrade.h"
#include "fleetwindowtest.h"
#include "mainwindow.h"
#include "msgboxrecorder.h"
#include "product/productconfig.h"
#include "qdevlistwidget.h"
#include "runtimefiles.h"
#include "windowlayout.h"

#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
QByteArray Xml(const QString &strVersion, const QString &strSelect = "HDMI", const QString &strTiming = "1080p60")
{
    return QStringLiteral("<sysinfo><items><item name=\"VISelect\">%1</item><item name=\"VITiming\">%2</item>"
                          "<item name=\"Version\">IRoIP %3 build7</item></items></sysinfo>")
        .arg(strSelect.toHtmlEscaped(), strTiming.toHtmlEscaped(), strVersion.toHtmlEscaped())
        .toUtf8();
}

T_BaseDevInfo Dev(const QString &strHost, const QString &strDisp)
{
    T_BaseDevInfo st;
    st.strHostName = strHost;
    st.strDispName = strDisp;
    return st;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void devicesListedOnceAcrossSearches();
    void infoColumns_data();
    void infoColumns();
    void deviceTextStaysPlain();
    void typeAndVersionAddMatchingDevices();
    void removingTwoOfThreeLeavesRemainingType();
    void closeAsksFirst();
    void brokenConfigSaid();
    void layoutRemembered();

private:
    QDevListWidget *List() const { return m_pWindow->findChild<QDevListWidget *>("twDevices"); }
    QComboBox *Combo(const char *pszName) const { return m_pWindow->BatchForm()->findChild<QComboBox *>(pszName); }
    QTreeWidget *FormList() const { return m_pWindow->BatchForm()->findChild<QTreeWidget *>("twDev"); }
    void Found(const char *pszHost, const char *pszAddr)
    {
        m_pWindow->slotOnFoundDevice(QString(), pszAddr, pszHost, "ready");
    }
    QStringList Column(int i32Column) const { return FleetWindowTest::Column(List(), i32Column); }
    QStringList FormRows() const
    {
        QStringList lst;
        for (int i = 0; i < FormList()->topLevelItemCount(); ++i)
            lst << FormList()->topLevelItem(i)->text(0) + " " + FormList()->topLevelItem(i)->text(1);
        return lst;
    }

    // A new window after the operator closed this one (the recorder answers Yes).
    void Reopen()
    {
        QVERIFY(m_pWindow->close());
        delete m_pWindow;
        m_pWindow = new MainWindow;
        m_pWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
    }

    // The user's configuration directory: the layout a window leaves goes here, not to the
    // real user's.
    QTemporaryDir m_config;
    MsgBoxRecorder *m_pRecorder = nullptr;
    MainWindow *m_pWindow = nullptr;
};

void TestMainWindow::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    StageRuntimeFiles();
}

void TestMainWindow::init()
{
    QFile::remove(Velmora::WindowLayoutPath());
    m_pRecorder = new MsgBoxRecorder;
    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
}

void TestMainWindow::cleanup()
{
    // The window may already be gone (closed with Yes, delete on close is not set).
    m_pRecorder->Expect("Do you want to close the window?", QMessageBox::Yes);
    m_pWindow->close();
    delete m_pWindow;
    m_pWindow = nullptr;
    const QStringList lstUnexpected = m_pRecorder->Unexpected();
    delete m_pRecorder;
    QVERIFY2(lstUnexpected.isEmpty(), qPrintable(lstUnexpected.join(" | ")));
}

// Would catch rows duplicated by a second search, versions lost on an update, unknown models
// listed, and the wrong status line.
void TestMainWindow::devicesListedOnceAcrossSearches()
{
    QVERIFY(m_pWindow->BatchForm());
    QCOMPARE(m_pWindow->findChild<QLabel *>("label_Num")->text(), QString());
    for (int iSearch = 0; iSearch < 2; ++iSearch) {
        const QByteArray baLast = iSearch == 0 ? "127.0.0.13" : "127.0.0.23";
        Found("ZR410-A00001", "127.0.0.10");
        Found("ZR410-A00002", "127.0.0.11");
        Found("ZR430-A00003", "127.0.0.12");
        Found("ZR420-A00004", baLast);
        Found("QX900-A00005", "127.0.0.14"); // a model the product table does not know
        Found("ZR410", "127.0.0.15");        // no "-": no identity
        if (iSearch == 0)
            m_pWindow->slotOnSysInfoNotify(Dev("ZR420-A00004", "ZR420 Decoder-A00004"), false,
                                           CBaseMaintainSession::INFO_XML, Xml("V2.0.1"));
    }
    QCOMPARE(Column(1), (QStringList{"ZR410 Encoder-A00001", "ZR410 Encoder-A00002", "ZR430 Encoder-A00003",
                                     "ZR420 Decoder-A00004"}));
    QCOMPARE(Column(2).last(), QString("127.0.0.23"));
    QCOMPARE(Column(3).last(), QString("V2.0.1"));
    QCOMPARE(List()->topLevelItem(3)->data(0, Qt::UserRole).toString(), QString("ZR420-A00004"));
    QVERIFY(List()->topLevelItem(3)->toolTip(0).contains("IP Address: 127.0.0.23"));
    QCOMPARE(m_pWindow->Agent()->DeviceCount(), 4);
    QCOMPARE(m_pWindow->Agent()->DeviceAt(3).strAddr, QString("127.0.0.23"));
    QVERIFY(!List()->isSortingEnabled());

    m_pWindow->slotStop();
    QCOMPARE(m_pWindow->findChild<QLabel *>("label_Num")->text(), QString("TX:3 RX:1 Total:4"));
    QVERIFY(List()->isSortingEnabled());
    QCOMPARE(Combo("cbDevType")->count(), 4); // the empty entry and three types
}

void TestMainWindow::infoColumns_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("page"); // the answer to a version-page request
    QTest::addColumn<bool>("error");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("columns"); // 3, 4, 5
    const int XML = CBaseMaintainSession::INFO_XML;
    const int JSON = CBaseMaintainSession::INFO_JSON;
    // How the answers are read is the core's (tst_devlist); here, that they reach the row.
    QTest::newRow("xml") << "ZR410-B00001" << false << false << XML << Xml("V3.1.4", "SDI", "720p50")
                         << QStringList{"V3.1.4", "SDI", "720p50"};
    QTest::newRow("error") << "ZR410-B00001" << false << true << XML << Xml("V3.1.4") << QStringList{"", "", ""};
    QTest::newRow("json") << "ZR410-B00001" << false << false << JSON << Xml("V3.1.4") << QStringList{"", "", ""};
    QTest::newRow("http page") << "ZR110-B00002" << true << false << XML
                               << QByteArray("Build:2026-12-07 01:02:03 x    \nVer : 2.1.4\n")
                               << QStringList{"2.1.4", "", ""};
    QTest::newRow("web-server model's document")
        << "ZR110-B00002" << false << false << XML << Xml("V3.1.4") << QStringList{"", "", ""};
}

// Would catch answers reaching the wrong columns or a row found by anything but the host name
// (the answer here names no display name), and answers that should change nothing filling
// the columns.
void TestMainWindow::infoColumns()
{
    QFETCH(QString, host);
    QFETCH(bool, page);
    QFETCH(bool, error);
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, columns);
    Found(host.toLatin1().constData(), "127.0.0.30");
    if (page)
        m_pWindow->slotOnHttpVersion(Dev(host, QString()), error, CBaseMaintainSession::E_InfoDataType(type), data);
    else
        m_pWindow->slotOnSysInfoNotify(Dev(host, QString()), error, CBaseMaintainSession::E_InfoDataType(type), data);
    // An answer for a device that is not listed lands nowhere.
    m_pWindow->slotOnSysInfoNotify(Dev("ZR410-NOPE", "ZR410 Encoder-NOPE"), false, CBaseMaintainSession::INFO_XML,
                                   Xml("V9"));
    QCOMPARE((QStringList{Column(3).value(0), Column(4).value(0), Column(5).value(0)}), columns);
}

// Would catch markup rendered, a line break or escape growing a row, and tool tips read as
// rich text.
void TestMainWindow::deviceTextStaysPlain()
{
    Found("ZR410-N00001", "127.0.0.40");
    Found("ZR410-<b>big</b>\x1b[31m\n", "127.0.0.41");
    QCOMPARE(List()->topLevelItemCount(), 2);
    QTreeWidgetItem *pItem = List()->topLevelItem(1);
    QCOMPARE(pItem->text(1), QString("ZR410 Encoder-<b>big</b> [31m "));
    QCOMPARE(pItem->data(0, Qt::UserRole).toString(), QString("ZR410-<b>big</b>\x1b[31m\n"));
    QVERIFY(pItem->toolTip(0).contains("&lt;b&gt;big&lt;/b&gt;"));
    const QString strLong = QString(3000, QChar('W')) + "\r\n\t<i>x</i>";
    m_pWindow->slotOnSysInfoNotify(Dev(pItem->data(0, Qt::UserRole).toString(), "ZR410 Encoder-<b>big</b>\x1b[31m\n"),
                                   false, CBaseMaintainSession::INFO_XML, Xml(strLong, "<b>HDMI</b>\n2"));
    QCOMPARE(pItem->text(4), QString("<b>HDMI</b> 2"));
    QVERIFY(!pItem->text(3).contains('\n'));
    QCOMPARE(List()->visualItemRect(pItem).height(), List()->visualItemRect(List()->topLevelItem(0)).height());
    // The long version widens nothing but its own column.
    QCOMPARE(m_pWindow->width(), 958);
}

// Would catch devices of another type or version added, a version choice that adds all, and
// a host name whose suffix holds a "-" taken for a type of its own.
void TestMainWindow::typeAndVersionAddMatchingDevices()
{
    Found("ZR410-C00001", "127.0.0.50");
    Found("ZR420-C00002", "127.0.0.51");
    Found("ZR410-C00003", "127.0.0.52");
    Found("ZR410-C00004", "127.0.0.53");
    Found("ZR410-C-0005", "127.0.0.54");
    const QStringList lstVersions{"V1.0", "V9.9", "V2.0", "V1.0", "V2.0"};
    for (int i = 0; i < 5; ++i) {
        const QTreeWidgetItem *pItem = List()->topLevelItem(i);
        m_pWindow->slotOnSysInfoNotify(Dev(pItem->data(0, Qt::UserRole).toString(), pItem->text(1)), false,
                                       CBaseMaintainSession::INFO_XML, Xml(lstVersions.at(i)));
    }
    // The empty entry and two types: ZR410-C-0005 is a ZR410 like the others.
    QCOMPARE(Combo("cbDevType")->count(), 3);
    Combo("cbDevType")->setCurrentText("ZR410 Encoder");
    QCOMPARE(FormRows(), (QStringList{"1 ZR410 Encoder-C00001", "2 ZR410 Encoder-C00003", "3 ZR410 Encoder-C00004",
                                      "4 ZR410 Encoder-C-0005"}));
    QComboBox *pVersion = Combo("cbDevVersion");
    QVERIFY(pVersion->isEnabled());
    QCOMPARE(pVersion->itemText(0), QString("all"));
    QCOMPARE(pVersion->count(), 3);
    pVersion->setCurrentText("V1.0");
    QCOMPARE(FormRows(), (QStringList{"1 ZR410 Encoder-C00001", "2 ZR410 Encoder-C00004"}));
    pVersion->setCurrentIndex(0);
    QCOMPARE(FormRows().size(), 4);
    // A row dragged from the device list in is the listed device itself, not its drag text.
    FormList()->clear();
    QMetaObject::invokeMethod(m_pWindow->BatchForm(), "slotDropToAddDev",
                              Q_ARG(QByteArray, QDevListWidget::DragPayload(List()->topLevelItem(2))));
    QCOMPARE(FormRows(), QStringList{"1 ZR410 Encoder-C00003"});
    QCOMPARE(FormList()->topLevelItem(0)->data(0, Qt::UserRole).toString(), QString("ZR410-C00003"));
    // Modules of the type's model, from the shipped upgrade.conf.
    QTreeWidget *pModules = m_pWindow->BatchForm()->findChild<QTreeWidget *>("twModule");
    QCOMPARE(pModules->topLevelItemCount(), 2);
    QCOMPARE(pModules->topLevelItem(0)->data(0, Qt::UserRole).toString(), QString("main"));
}

// Would catch removed devices' types left offered, and the wrong rows removed.
void TestMainWindow::removingTwoOfThreeLeavesRemainingType()
{
    Found("ZR410-D00001", "127.0.0.60");
    Found("ZR420-D00002", "127.0.0.61");
    Found("ZR430-D00003", "127.0.0.62");
    m_pWindow->slotStop();
    List()->topLevelItem(0)->setSelected(true);
    List()->topLevelItem(2)->setSelected(true);
    m_pRecorder->Expect("Sure to remove selected devices?", QMessageBox::No);
    m_pWindow->slotRemoveDev();
    QCOMPARE(List()->topLevelItemCount(), 3);
    m_pRecorder->Expect("Sure to remove selected devices?", QMessageBox::Yes);
    m_pWindow->slotRemoveDev();
    QCOMPARE(Column(1), QStringList{"ZR420 Decoder-D00002"});
    QCOMPARE(m_pWindow->Agent()->DeviceCount(), 1);
    QCOMPARE(m_pWindow->Agent()->DeviceAt(0).strHostName, QString("ZR420-D00002"));
    QComboBox *pType = Combo("cbDevType");
    QCOMPARE(pType->count(), 2);
    QCOMPARE(pType->itemText(1), QString("ZR420 Decoder"));
    QCOMPARE(pType->itemData(1).toString(), QString("ZR420"));
    QCOMPARE(pType->currentText(), QString());
}

void TestMainWindow::closeAsksFirst()
{
    m_pRecorder->Expect("Do you want to close the window?", QMessageBox::No);
    QVERIFY(!m_pWindow->close());
    QVERIFY(m_pWindow->isVisible());
    QVERIFY(m_pWindow->BatchForm());
    QCOMPARE(m_pWindow->findChild<QMdiArea *>("mdiArea")->subWindowList().size(), 1);
    QCOMPARE(m_pRecorder->Shown().last().strTitle, QString("close window"));
    m_pRecorder->Expect("Do you want to close the window?", QMessageBox::Yes);
    QVERIFY(m_pWindow->close());
    QVERIFY(!m_pWindow->BatchForm());
}

// Would catch a product table that breaks without a word in the window (the console program
// says it too): a search would then list nothing and the operator would not know why.
void TestMainWindow::brokenConfigSaid()
{
    const QString strConfig = QCoreApplication::applicationDirPath() + "/config.xml";
    QFile file(strConfig);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<tavprod>\n  <product id=\"ZR410\" name=\"ZR410 Encoder\" type=\"tx\"/>\n  <product id=\"ZR4\n");
    file.close();
    QString strWhy;
    QVERIFY(!LoadProductConfig(strConfig, &strWhy));
    QVERIFY2(strWhy.startsWith("line 4"), qPrintable(strWhy));
    m_pRecorder->Expect("Do you want to close the window?", QMessageBox::Yes);
    m_pRecorder->Expect(QString("Product config file '%1' is invalid: %2").arg(strConfig, strWhy));
    Reopen();
    QTRY_COMPARE(m_pRecorder->PendingExpectations(), 0);
    QCOMPARE(m_pRecorder->Shown().last().eIcon, QMessageBox::Critical);
    // What came before the break is still listed.
    Found("ZR410-E00001", "127.0.0.60");
    QCOMPARE(List()->topLevelItemCount(), 1);
    StageRuntimeFiles();
    QVERIFY(LoadProductConfig(strConfig));
}

// Would catch the window, the splitter or the list's columns back at their first-start sizes
// after the operator widened them, and a first start that is not 958 x 700.
void TestMainWindow::layoutRemembered()
{
    QCOMPARE(m_pWindow->size(), QSize(958, 700));
    auto *pSplitter = m_pWindow->findChild<QSplitter *>("splitter");
    const int i32List = pSplitter->sizes().at(0);
    m_pWindow->resize(780, 560);
    pSplitter->setSizes({i32List - 60, 780 - i32List + 60});
    const QList<int> lstSizes = pSplitter->sizes();
    List()->setColumnWidth(3, 140);
    m_pRecorder->Expect("Do you want to close the window?", QMessageBox::Yes);
    Reopen();
    QCOMPARE(m_pWindow->size(), QSize(780, 560));
    QCOMPARE(m_pWindow->findChild<QSplitter *>("splitter")->sizes(), lstSizes);
    QCOMPARE(List()->columnWidth(3), 140);
    QVERIFY(QFile::exists(m_config.filePath("velmora/window.ini")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
