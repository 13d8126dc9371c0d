// velmora-devsim: simulated fleet of devices for tests, the demo and benchmarks.
//   velmora-devsim --fleet FILE [--record FILE] [--services a,b,...]
// Prints "velmora-devsim: ready" on stdout once every service listens.

#include "simdevice.h"
#include "simrecord.h"
#include "simservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <QTimer>

#include <csignal>

#include <sys/resource.h>

namespace
{
// Only a flag may be touched from a signal handler; the event loop polls it.
volatile std::sig_atomic_t g_stopRequested = 0;
void OnStopSignal(int)
{
    g_stopRequested = 1;
}

// A thousand devices hold a listener per service each, plus a control and a data
// connection per transfer: several thousand descriptors, far past the usual soft limit
// of 1024. The hard limit is ours to take.
void RaiseDescriptorLimit()
{
    rlimit stLimit{};
    if (getrlimit(RLIMIT_NOFILE, &stLimit) == 0 && stLimit.rlim_cur < stLimit.rlim_max) {
        stLimit.rlim_cur = stLimit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &stLimit);
    }
}
} // namespace

QList<T_SimServiceEntry> &SimServiceRegistry()
{
    static QList<T_SimServiceEntry> s_registry;
    return s_registry;
}

int main(int argc, char *argv[])
{
    RaiseDescriptorLimit();
    // With a thousand devices several thousand sockets wait at once; the GLib dispatcher
    // walks lists of all of them for every notifier change and every turn, which made the
    // simulator the slowest party of a large batch. The plain Unix dispatcher has no such
    // cost and we need nothing GLib offers.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-devsim"));
    // A test or the namespace runner ends us with SIGTERM; leave through the event loop
    // so the record file is flushed and closed.
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &app, [] {
        if (g_stopRequested)
            QCoreApplication::quit();
    });
    stopPoll.start(100);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Velmora device fleet"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("fleet"), QStringLiteral("Fleet file (JSON)."), QStringLiteral("file")});
    parser.addOption({QStringLiteral("record"), QStringLiteral("Record file (JSON lines)."), QStringLiteral("file")});
    parser.addOption(
        {QStringLiteral("services"), QStringLiteral("Only these services (comma-separated)."), QStringLiteral("list")});
    // The namespace runner asks which addresses to put on the device side.
    parser.addOption({QStringLiteral("print-addresses"), QStringLiteral("Print each device address once and exit.")});
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    if (!parser.isSet(QStringLiteral("fleet"))) {
        err << "velmora-devsim: --fleet FILE is required\n";
        return 2;
    }
    T_SimFleet fleet;
    QString strError;
    if (!LoadFleet(parser.value(QStringLiteral("fleet")), fleet, strError)) {
        err << "velmora-devsim: " << strError << "\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("print-addresses"))) {
        QStringList addrs;
        for (const T_SimDevice &dev : fleet.devices)
            if (!addrs.contains(dev.strAddr))
                addrs.append(dev.strAddr);
        for (const QString &strAddr : addrs)
            out << strAddr << "\n";
        return 0;
    }
    CSimRecord record;
    if (!record.Open(parser.value(QStringLiteral("record")))) {
        err << "velmora-devsim: cannot write the record file\n";
        return 2;
    }

    const QStringList only = parser.value(QStringLiteral("services")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const T_SimServiceEntry &entry : SimServiceRegistry()) {
        if (!only.isEmpty() && !only.contains(entry.strName))
            continue;
        CSimService *pService = entry.factory(fleet, &record, &app);
        if (!pService->Start(strError)) {
            err << "velmora-devsim: service " << entry.strName << ": " << strError << "\n";
            return 1;
        }
        out << "velmora-devsim: service " << entry.strName << " started\n";
    }
    out << "velmora-devsim: ready, " << fleet.devices.size() << " devices" << Qt::endl;
    return app.exec();
}
