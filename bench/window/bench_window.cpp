// The network window driven the way an operator drives it, against simulated devices in the
// namespace runner (scripts/netns-run.sh).
//
// Benchmark:  bench_window --devices 100 [--kib 256] [--scale 1] [--search-only]
//   starts a fleet of its own, searches, picks the type and a file, upgrades every device
//   through the batch form, then the same batch through the engine alone; prints both times,
//   the longest stall of the GUI thread during the search and during the batch, and memory
//   per listed device. Every device has a telnet shell: the search also prints the time until
//   every Alias cell holds the device's own name, beside the search itself, and the most
//   name channels open at once.
// Demo:       bench_window --demo --shot FILE [--batch-shot FILE] [--during-shot FILE]
//                           [--info-shot FILE] [--single-shot FILE --single-during-shot FILE]
//                           [--lang ch] [--rollout N,K,W,F,R] [--size WxH]
//   uses the fleet the runner started (--fleet demo.json): presses "Network" in the start-up
//   dialog and "Search", waits for the list and saves a picture of the screen; with
//   --batch-shot also upgrades the demo's ZR410 encoders with the sample images and saves a
//   picture with the summary on screen; with --single-shot switches to single-device mode,
//   opens an encoder's own form and upgrades its first module with the sample image, with a
//   picture during the upgrade and one after it. --rollout fills the batch form's Rollout
//   group (at most, canary, waves, stop after, retries; empty keeps a field empty) before the
//   start. scripts/demo.sh runs it under Xvfb.
#include "benchsupport.h"
#include "netnsfleet.h"

#include "batch/cbatchupgrade.h"
#include "cdlgselect.h"
#include "cformdevicesupgrade.h"
#include "cmsgbox.h"
#include "common/timescale.h"
#include "filechooser.h"
#include "formmaintain.h"
#include "http/chttpagent.h"
#include "mainwindow.h"
#include "qdevlistwidget.h"
#include "session/cmaintainagent.h"
#include "telnet/cbasecomm.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace
{
QString Arg(const QStringList &args, const QString &strName, const QString &strDefault = QString())
{
    const int i = args.indexOf(strName);
    return i > 0 && i + 1 < args.size() ? args.at(i + 1) : strDefault;
}

bool WaitFor(const std::function<bool()> &done, int i32Ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > i32Ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Pause(int i32Ms)
{
    WaitFor([] { return false; }, i32Ms);
}

// The longest time the GUI thread did not get round to a 5 ms timer.
class CStallMeter : public QObject
{
public:
    CStallMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { m_i64Max = qMax(m_i64Max, m_clock.restart()); });
    }
    void Start()
    {
        m_i64Max = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 Stop()
    {
        m_timer.stop();
        return m_i64Max;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_i64Max = 0;
};

qint64 RssKib()
{
    return qMax<qint64>(0, BenchSupport::ProcStatusKiB("VmRSS:"));
}

bool Shot(const QString &strPath)
{
    QCoreApplication::processEvents();
    const bool bOk = QGuiApplication::primaryScreen()->grabWindow(0).save(strPath);
    std::printf("bench_window: screenshot %s\n", qPrintable(strPath));
    std::fflush(stdout);
    return bOk;
}

bool Search(MainWindow &window, int i32Ms)
{
    window.findChild<QPushButton *>(QStringLiteral("btnSearchDevices"))->click();
    return WaitFor([&] { return window.isEnabled(); }, i32Ms);
}

QStringList Column(const QTreeWidget *pTree, int i32Column)
{
    QStringList lst;
    for (int i = 0; i < pTree->topLevelItemCount(); ++i)
        lst << pTree->topLevelItem(i)->text(i32Column);
    return lst;
}

// Each "Open..." button of the module list takes the next file.
void ChooseFiles(CFormDevicesUpgrade *pForm, const QStringList &lstFiles)
{
    QTreeWidget *pModules = pForm->findChild<QTreeWidget *>(QStringLiteral("twModule"));
    for (int i = 0; i < pModules->topLevelItemCount() && i < lstFiles.size(); ++i) {
        const QString strFile = lstFiles.at(i);
        Velmora::SetFileChooser([strFile] { return strFile; });
        qobject_cast<QPushButton *>(pModules->itemWidget(pModules->topLevelItem(i), 1))->click();
    }
    Velmora::SetFileChooser({});
}

// Single-device mode: the first encoder's own form upgrades its first module.
bool RunSingleDemo(MainWindow &window, QTreeWidget *pList, const QString &strDuringShot, const QString &strShot)
{
    window.findChild<QPushButton *>(QStringLiteral("pbSingleDevice"))->click();
    Pause(500);
    QTreeWidgetItem *pItem = nullptr;
    for (int i = 0; i < pList->topLevelItemCount() && !pItem; ++i)
        if (pList->topLevelItem(i)->data(0, Qt::UserRole).toString().startsWith(QLatin1String("ZR410-")))
            pItem = pList->topLevelItem(i);
    if (!pItem)
        return false;
    pList->setCurrentItem(pItem);
    CFormMaintain *pForm = window.FindDevForm(pItem->data(0, Qt::UserRole).toString());
    if (!pForm)
        return false;
    WaitFor([&] { return !pForm->IsBusy(); }, 10000);
    auto *pTabs = pForm->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    pTabs->setCurrentWidget(pForm->findChild<QWidget *>(QStringLiteral("tabUpgrade")));
    QTreeWidget *pModules = pForm->findChild<QTreeWidget *>(QStringLiteral("twUpgrade"));
    if (pModules->topLevelItemCount() == 0)
        return false;
    const QString strFile = QCoreApplication::applicationDirPath() + QStringLiteral("/samples/main.bin");
    Velmora::SetFileChooser([strFile] { return strFile; });
    qobject_cast<QPushButton *>(pModules->itemWidget(pModules->topLevelItem(0), 1))->click();
    Velmora::SetFileChooser({});
    Pause(500);
    pForm->findChild<QPushButton *>(QStringLiteral("btnStartUpgrade"))->click();
    WaitFor([&] { return pModules->topLevelItem(0)->text(3).contains(QLatin1Char('%')); }, 20000);
    Pause(1500);
    Shot(strDuringShot);
    const bool bEnded = WaitFor([&] { return !pForm->IsBusy(); }, 240000);
    Pause(500);
    Shot(strShot);
    std::printf("bench_window: single-device upgrade of %s %s: %s\n", qPrintable(pItem->text(1)),
                bEnded ? "ended" : "did not end", qPrintable(pModules->topLevelItem(0)->text(2)));
    return bEnded;
}

int RunDemo(const QStringList &args)
{
    const QString strShot = Arg(args, QStringLiteral("--shot"));
    const QString strBatchShot = Arg(args, QStringLiteral("--batch-shot"));
    const QString strDuringShot = Arg(args, QStringLiteral("--during-shot"));
    const bool bChinese = Arg(args, QStringLiteral("--lang")) == QLatin1String("ch");

    int i32Mode = 0;
    {
        CDlgSelect dlg;
        // The language first, then "Network", as an operator would.
        QTimer::singleShot(800, &dlg, [&dlg, bChinese] {
            dlg.findChild<QComboBox *>(QStringLiteral("cbLanguage"))->setCurrentIndex(bChinese ? 1 : 0);
        });
        QTimer::singleShot(1600, &dlg, [&dlg] { dlg.findChild<QPushButton *>(QStringLiteral("ButNetwork"))->click(); });
        i32Mode = dlg.RunModal();
    }
    if (i32Mode != CDlgSelect::MODE_NETWORK)
        return 1;
    MainWindow window;
    const QStringList lstSize = Arg(args, QStringLiteral("--size")).split(QLatin1Char('x'));
    if (lstSize.size() == 2)
        window.resize(lstSize.at(0).toInt(), lstSize.at(1).toInt());
    window.show();
    Pause(800);
    if (!Search(window, 15000))
        return 1;
    QTreeWidget *pList = window.findChild<QTreeWidget *>(QStringLiteral("twDevices"));
    WaitFor([&] { return !Column(pList, 3).contains(QString()); }, 8000);
    // The boxes' own names replace the product names in the Alias column.
    WaitFor(
        [&] {
            for (int i = 0; i < pList->topLevelItemCount(); ++i)
                if (pList->topLevelItem(i)->text(0) == pList->topLevelItem(i)->text(1))
                    return false;
            return true;
        },
        8000);
    Pause(500);
    std::printf("bench_window: %d devices listed\n", pList->topLevelItemCount());
    if (!strShot.isEmpty())
        Shot(strShot);
    const QString strSingleShot = Arg(args, QStringLiteral("--single-shot"));
    if (!strSingleShot.isEmpty()) {
        const bool bOk = RunSingleDemo(window, pList, Arg(args, QStringLiteral("--single-during-shot")), strSingleShot);
        CMsgBox::SetHandler([](const CMsgBox::T_Request &) { return QMessageBox::Yes; });
        return bOk ? 0 : 1;
    }
    if (strBatchShot.isEmpty())
        return 0;

    CFormDevicesUpgrade *pForm = window.BatchForm();
    auto *pTabs = pForm->findChild<QTabWidget *>(QStringLiteral("tab"));
    pTabs->setCurrentWidget(pForm->findChild<QWidget *>(QStringLiteral("tab_Upgrade")));
    Pause(300);
    QComboBox *pType = pForm->findChild<QComboBox *>(QStringLiteral("cbDevType"));
    pType->setCurrentIndex(pType->findData(QStringLiteral("ZR410")));
    const QString strSamples = QCoreApplication::applicationDirPath() + QStringLiteral("/samples/");
    ChooseFiles(pForm, {strSamples + QStringLiteral("main.bin"), strSamples + QStringLiteral("fpga.bin")});
    const QStringList lstRollout = Arg(args, QStringLiteral("--rollout")).split(QLatin1Char(','));
    const char *apszRollout[] = {"leMaxParallel", "leCanary", "leWave", "leMaxFailures", "leRetries"};
    for (int i = 0; i < lstRollout.size() && i < 5; ++i)
        pForm->findChild<QLineEdit *>(QLatin1String(apszRollout[i]))->setText(lstRollout.at(i));
    Pause(500);
    pForm->findChild<QPushButton *>(QStringLiteral("pbStart"))->click();
    QTreeWidget *pDev = pForm->findChild<QTreeWidget *>(QStringLiteral("twDev"));
    if (!strDuringShot.isEmpty()) {
        WaitFor([&] { return Column(pDev, 3).join(QString()).contains(QLatin1Char('%')); }, 20000);
        Pause(1500);
        Shot(strDuringShot);
    }
    // The summary is a real modal box: picture it, then close it as the operator would.
    bool bSummary = false;
    QTimer poll;
    poll.setInterval(200);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *pBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!pBox || bSummary)
            return;
        bSummary = true;
        QTimer::singleShot(700, pBox, [pBox, strBatchShot] {
            Shot(strBatchShot);
            pBox->accept();
        });
    });
    poll.start();
    const bool bEnded = WaitFor([&] { return bSummary && !QApplication::activeModalWidget(); }, 240000);
    poll.stop();
    std::printf("bench_window: batch %s: %s\n", bEnded ? "ended" : "did not end",
                qPrintable(Column(pDev, 1).join(QStringLiteral(", "))));
    const QString strInfoShot = Arg(args, QStringLiteral("--info-shot"));
    if (!strInfoShot.isEmpty()) {
        // A click on a device and Refresh: its system information in the form's first tab.
        QTreeWidgetItem *pItem = nullptr;
        for (int i = 0; i < pList->topLevelItemCount(); ++i)
            if (pList->topLevelItem(i)->data(0, Qt::UserRole).toString().startsWith(QLatin1String("ZR420-")))
                pItem = pList->topLevelItem(i);
        if (pItem) {
            pList->setCurrentItem(pItem);
            emit pList->clicked(pList->currentIndex());
            pForm->findChild<QPushButton *>(QStringLiteral("btnReadSysInfo"))->click();
            QTreeWidget *pInfo = pForm->findChild<QTreeWidget *>(QStringLiteral("twSysInfo"));
            WaitFor([&] { return pInfo->topLevelItemCount() > 1; }, 10000);
            Pause(500);
            Shot(strInfoShot);
        }
    }
    CMsgBox::SetHandler([](const CMsgBox::T_Request &) { return QMessageBox::Yes; });
    return bEnded ? 0 : 1;
}

int RunBench(const QStringList &args)
{
    const int i32Devices = Arg(args, QStringLiteral("--devices"), QStringLiteral("100")).toInt();
    const int i32Kib = Arg(args, QStringLiteral("--kib"), QStringLiteral("256")).toInt();
    QString strReason;
    if (!NetnsFleet::InsideRunner(&strReason)) {
        std::printf("bench_window: skipped: %s\n", qPrintable(strReason));
        return 0;
    }
    QTemporaryDir dir;
    QByteArray baImage(i32Kib * 1024, Qt::Uninitialized);
    for (char &ch : baImage)
        ch = static_cast<char>(QRandomGenerator::global()->generate());
    const QString strImage = dir.filePath(QStringLiteral("main.bin"));
    QFile file(strImage);
    if (!file.open(QIODevice::WriteOnly) || file.write(baImage) != baImage.size())
        return 1;
    file.close();

    QJsonArray devices;
    for (int i = 0; i < i32Devices; ++i)
        devices.append(
            QJsonObject{{"hostname", QStringLiteral("ZR410-B%1").arg(i, 5, 10, QLatin1Char('0'))},
                        {"addr", QStringLiteral("10.213.%1.%2").arg(1 + i / 200).arg(10 + i % 200)},
                        {"kind", "tx"},
                        {"version", "V3.1.4"},
                        {"channel", "vaza"},
                        {"telnet_name", QStringLiteral("Room %1").arg(i)},
                        {"modules", QJsonArray{QJsonObject{{"addr", "main"}, {"port", 0}, {"version", "V3.1.4"}}}},
                        {"knobs", QJsonObject{{"install_ms", 0}}}});
    NetnsFleet fleet;
    if (!fleet.Start(devices, {"discovery", "vaza", "ftp", "telnet"}, &strReason,
                     QJsonObject{{"ftp", QJsonObject{{"keep_files", false}}}})) {
        std::fprintf(stderr, "bench_window: %s\n", qPrintable(strReason));
        return 1;
    }
    QStringList lstBoxes;
    CMsgBox::SetHandler([&lstBoxes](const CMsgBox::T_Request &st) {
        lstBoxes << st.strText;
        return st.eDefault != QMessageBox::NoButton ? st.eDefault : QMessageBox::Ok;
    });

    CStallMeter meter;
    auto *pWindow = new MainWindow;
    pWindow->show();
    Pause(300);
    const qint64 i64RssBefore = RssKib();
    // The search on the real clock: a loaded machine's simulator answers within its passes.
    meter.Start();
    QElapsedTimer searchClock;
    searchClock.start();
    if (!Search(*pWindow, 60000))
        return 1;
    const qint64 i64SearchMs = searchClock.elapsed();
    QTreeWidget *pList = pWindow->findChild<QTreeWidget *>(QStringLiteral("twDevices"));
    const bool bNamed = WaitFor(
        [&] {
            for (const QString &strAlias : Column(pList, 0))
                if (!strAlias.startsWith(QLatin1String("Room ")))
                    return false;
            return pList->topLevelItemCount() > 0;
        },
        120000);
    const qint64 i64NamesMs = searchClock.elapsed();
    WaitFor([&] { return !Column(pList, 3).contains(QString()); }, 30000);
    const qint64 i64SearchStall = meter.Stop();
    const qint64 i64RssListed = RssKib();
    WaitFor([] { return CBaseComm::LiveCount() == 0; }, 30000);
    std::printf("bench_window: names of %d listed devices: every Alias named after %lld ms%s (the search itself: "
                "%lld ms), at most %d name channels open at once, %d left open afterwards\n",
                pList->topLevelItemCount(), static_cast<long long>(i64NamesMs), bNamed ? "" : " (not all named)",
                static_cast<long long>(i64SearchMs), pWindow->NameReader().PeakOpen(), CBaseComm::LiveCount());
    if (args.contains(QStringLiteral("--search-only"))) {
        std::printf("bench_window: search of %d devices: %d listed, longest GUI stall %lld ms (goal under 100), "
                    "%.1f KiB per listed device\n",
                    i32Devices, pList->topLevelItemCount(), static_cast<long long>(i64SearchStall),
                    pList->topLevelItemCount() ? double(i64RssListed - i64RssBefore) / pList->topLevelItemCount()
                                               : 0.0);
        delete pWindow;
        CMsgBox::SetHandler({});
        return 0;
    }
    // Both batches on one clock; a scaled one shortens the installation poll, but also the
    // 7 s answer limit, which a hundred devices on one simulator then overrun.
    const double dScale = Arg(args, QStringLiteral("--scale"), QStringLiteral("1")).toDouble();
    Velmora::SetTimeScale(dScale);

    CFormDevicesUpgrade *pForm = pWindow->BatchForm();
    QComboBox *pType = pForm->findChild<QComboBox *>(QStringLiteral("cbDevType"));
    pType->setCurrentIndex(pType->findData(QStringLiteral("ZR410")));
    ChooseFiles(pForm, {strImage});
    const int i32Listed = pForm->findChild<QTreeWidget *>(QStringLiteral("twDev"))->topLevelItemCount();
    QElapsedTimer clock;
    meter.Start();
    clock.start();
    pForm->findChild<QPushButton *>(QStringLiteral("pbStart"))->click();
    const bool bFormEnded = WaitFor([&] { return !pForm->IsRunning(); }, 600000);
    const qint64 i64FormMs = clock.elapsed();
    const qint64 i64BatchStall = meter.Stop();
    const QString strSummary = lstBoxes.value(lstBoxes.size() - 1);

    // The engine alone over its own agent, the same devices and file.
    CMaintainAgent agent;
    CHttpAgent httpAgent;
    QList<T_BaseDevInfo> lstDevices;
    for (int i = 0; i < pWindow->Agent()->DeviceCount(); ++i) {
        T_BaseDevInfo st = pWindow->Agent()->DeviceAt(i);
        agent.AddDevice(st);
        lstDevices << st;
    }
    pWindow->Agent()->ClearSessions();
    CBatchUpgrade engine(&agent, &httpAgent);
    engine.SetDevices(lstDevices);
    engine.SetModules({T_BatchModule{QStringLiteral("main"), QStringLiteral("main"), strImage},
                       T_BatchModule{QStringLiteral("fpga"), QStringLiteral("fpga"), QString()}});
    QMap<QString, int> mapReasons; // why devices failed in the engine's run, so a figure can be read
    QObject::connect(&engine, &CBatchUpgrade::signalDeviceFailed,
                     [&](T_BaseDevInfo, int, QString strStep, QString strReason) {
                         ++mapReasons[strStep + QStringLiteral(": ") + strReason.left(80)];
                     });
    int i32EngineOk = -1;
    QObject::connect(&engine, &CBatchUpgrade::signalBatchFinished,
                     [&](int i32Ok, int, QStringList) { i32EngineOk = i32Ok; });
    clock.restart();
    engine.Start();
    const bool bEngineEnded = WaitFor([&] { return !engine.IsRunning(); }, 600000);
    const qint64 i64EngineMs = clock.elapsed();

    std::printf("bench_window: %d devices, %d KiB image, time scale %.2f\n", i32Devices, i32Kib, dScale);
    std::printf("  search: %d listed, longest GUI stall %lld ms\n", pList->topLevelItemCount(),
                static_cast<long long>(i64SearchStall));
    std::printf("  memory per listed device: %.1f KiB (RSS %lld -> %lld KiB)\n",
                pList->topLevelItemCount() ? double(i64RssListed - i64RssBefore) / pList->topLevelItemCount() : 0.0,
                static_cast<long long>(i64RssBefore), static_cast<long long>(i64RssListed));
    std::printf("  batch form: %d devices, %lld ms%s, \"%s\", longest GUI stall %lld ms\n", i32Listed,
                static_cast<long long>(i64FormMs), bFormEnded ? "" : " (did not end)", qPrintable(strSummary),
                static_cast<long long>(i64BatchStall));
    std::printf("  engine alone: %lld ms%s, %d succeeded\n", static_cast<long long>(i64EngineMs),
                bEngineEnded ? "" : " (did not end)", i32EngineOk);
    for (auto it = mapReasons.constBegin(); it != mapReasons.constEnd(); ++it)
        std::printf("    failed %d: %s\n", it.value(), qPrintable(it.key()));
    std::printf("  form / engine: %.2f (target at most 1.25)\n",
                i64EngineMs ? double(i64FormMs) / double(i64EngineMs) : 0.0);
    delete pWindow;
    CMsgBox::SetHandler({});
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    Velmora::RegisterMaintainMetaTypes();
    const QStringList args = app.arguments();
    return args.contains(QStringLiteral("--demo")) ? RunDemo(args) : RunBench(args);
}
