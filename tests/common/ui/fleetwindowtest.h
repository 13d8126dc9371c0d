#pragma once

#include "cformdevicesupgrade.h"
#include "mainwindow.h"
#include "msgboxrecorder.h"
#include "netnsfleet.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

class QDevListWidget;
class QTreeWidget;

// The base of the tests that drive the real main window against simulated devices in the
// namespace runner: the window, the message box recorder, the fleet, and what an operator
// does with them (search, click a row, pick files, use the list's context menu).
class FleetWindowTest : public QObject
{
    Q_OBJECT
public:
    // A device as these tests list it: ZR110 host names are web-server models, the others
    // speak Vaza; installation takes no time and every name is read over telnet.
    static QJsonObject Device(const QString &strHost, const QString &strAddr, const QString &strKind,
                              const QString &strVersion, QJsonObject knobs = {});
    static QStringList Column(const QTreeWidget *pTree, int i32Column);

protected slots:
    // Skipped outside the namespace runner; the shipped configuration beside the test, as
    // the program finds it beside itself.
    void initTestCase();
    // A fresh window per test; closing it stops the fleet and fails on any box no test expected.
    void init();
    void cleanup();

protected:
    // Starts the fleet with only these services; says why on failure.
    bool StartFleet(const QJsonArray &devices, const QStringList &lstServices);

    template <typename T> T *F(const char *pszName) const { return m_pWindow->BatchForm()->findChild<T *>(pszName); }
    QDevListWidget *List() const;
    int Row(const QString &strHost) const;
    // Search and wait until the window is unlocked again; false when it never locked.
    bool Search();
    // A file of random bytes, its SHA-256 kept under "/<name>" as devsim records it.
    QString Image(const QString &strName, int i32Size);
    // One file per module row of the batch form, through its "Open..." buttons.
    void ChooseFiles(const QStringList &lstFiles);
    void ClickDevice(const QString &strHost);
    // Right-clicks the row and picks the context menu's entry of that text; false when the
    // menu does not offer it enabled.
    bool ContextMenu(const QString &strHost, const QString &strAction);

    // The user's configuration directory of these windows: their layout stays here.
    QTemporaryDir m_config;
    NetnsFleet m_fleet;
    QTemporaryDir m_dir;
    QHash<QString, QByteArray> m_hashSha;
    MsgBoxRecorder *m_pRecorder = nullptr;
    MainWindow *m_pWindow = nullptr;
};
