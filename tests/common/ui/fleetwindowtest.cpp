#include "fleetwindowtest.h"

#include "cformdevicesupgrade.h"
#include "filechooser.h"
#include "qdevlistwidget.h"
#include "runtimefiles.h"
#include "testimage.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

QJsonObject FleetWindowTest::Device(const QString &strHost, const QString &strAddr, const QString &strKind,
                                    const QString &strVersion, QJsonObject knobs)
{
    const bool bHttp = strHost.startsWith("ZR110");
    knobs.insert("install_ms", 0);
    knobs.insert("http_result_polls", 3);
    auto module = [](const char *pszId, const QString &strVer) {
        return QJsonObject{{"addr", pszId}, {"port", 0}, {"version", strVer}};
    };
    return QJsonObject{{"hostname", strHost},
                       {"addr", strAddr},
                       {"kind", strKind},
                       {"version", strVersion},
                       {"channel", bHttp ? "http" : "vaza"},
                       {"telnet_name", strHost.endsWith("1") ? "Lobby encoder" : "Stage " + strHost.right(2)},
                       {"modules", QJsonArray{module("main", strVersion), module("fpga", "F1.0.9")}},
                       {"knobs", knobs}};
}

QStringList FleetWindowTest::Column(const QTreeWidget *pTree, int i32Column)
{
    QStringList lst;
    for (int i = 0; i < pTree->topLevelItemCount(); ++i)
        lst << pTree->topLevelItem(i)->text(i32Column);
    return lst;
}

void FleetWindowTest::initTestCase()
{
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason))
        QSKIP(qPrintable(strReason));
    StageRuntimeFiles();
}

bool FleetWindowTest::StartFleet(const QJsonArray &devices, const QStringList &lstServices)
{
    QString strError;
    if (m_fleet.Start(devices, lstServices, &strError))
        return true;
    qWarning("devsim: %s", qPrintable(strError));
    return false;
}

void FleetWindowTest::init()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    m_pRecorder = new MsgBoxRecorder;
    m_pWindow = new MainWindow;
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
}

void FleetWindowTest::cleanup()
{
    m_pRecorder->Expect("Do you want to close the window?", QMessageBox::Yes);
    m_pWindow->close();
    delete m_pWindow;
    m_pWindow = nullptr;
    m_fleet.Stop();
    const QStringList lstUnexpected = m_pRecorder->Unexpected();
    delete m_pRecorder;
    m_pRecorder = nullptr;
    QVERIFY2(lstUnexpected.isEmpty(), qPrintable(lstUnexpected.join(" | ")));
}

QDevListWidget *FleetWindowTest::List() const
{
    return m_pWindow->findChild<QDevListWidget *>("twDevices");
}

int FleetWindowTest::Row(const QString &strHost) const
{
    for (int i = 0; i < List()->topLevelItemCount(); ++i)
        if (List()->topLevelItem(i)->data(0, Qt::UserRole).toString() == strHost)
            return i;
    return -1;
}

bool FleetWindowTest::Search()
{
    QPushButton *pSearch = m_pWindow->findChild<QPushButton *>("btnSearchDevices");
    QTest::mouseClick(pSearch, Qt::LeftButton);
    if (m_pWindow->isEnabled())
        return false; // the window is locked for the whole search
    return QTest::qWaitFor([this] { return m_pWindow->isEnabled(); }, 10000);
}

QString FleetWindowTest::Image(const QString &strName, int i32Size)
{
    const QByteArray baSha = WriteImage(m_dir.filePath(strName), RandomBytes(i32Size, static_cast<quint32>(i32Size)));
    m_hashSha.insert(QStringLiteral("/") + strName, baSha);
    return baSha.isEmpty() ? QString() : m_dir.filePath(strName);
}

void FleetWindowTest::ChooseFiles(const QStringList &lstFiles)
{
    QTreeWidget *pModules = F<QTreeWidget>("twModule");
    QCOMPARE(pModules->topLevelItemCount(), lstFiles.size());
    for (int i = 0; i < lstFiles.size(); ++i) {
        const QString strFile = lstFiles.at(i);
        Velmora::SetFileChooser([strFile] { return strFile; });
        QTest::mouseClick(pModules->itemWidget(pModules->topLevelItem(i), 1), Qt::LeftButton);
    }
    Velmora::SetFileChooser({});
}

void FleetWindowTest::ClickDevice(const QString &strHost)
{
    QTreeWidgetItem *pItem = List()->topLevelItem(Row(strHost));
    List()->scrollToItem(pItem);
    const QRect rect = List()->visualRect(List()->model()->index(Row(strHost), 0));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 10, rect.center().y()));
}

bool FleetWindowTest::ContextMenu(const QString &strHost, const QString &strAction)
{
    ClickDevice(strHost);
    const QRect rect = List()->visualRect(List()->model()->index(Row(strHost), 0));
    const QPoint pt(rect.left() + 10, rect.center().y());
    bool bOffered = false;
    // The menu runs its own loop: its entry is picked from inside it.
    QTimer::singleShot(0, List(), [&] {
        auto *pMenu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!pMenu)
            return;
        for (QAction *pAction : pMenu->actions())
            if (pAction->text() == strAction && pAction->isEnabled()) {
                bOffered = true;
                pMenu->setActiveAction(pAction);
            }
        QTest::keyClick(pMenu, bOffered ? Qt::Key_Return : Qt::Key_Escape);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pt, List()->viewport()->mapToGlobal(pt));
    QCoreApplication::sendEvent(List(), &event);
    return bOffered;
}
