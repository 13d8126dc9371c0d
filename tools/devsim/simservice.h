#pragma once

#include "simdevice.h"
#include "simrecord.h"

#include <QObject>

#include <functional>

// One protocol's device side for the whole fleet (a discovery responder answers for
// every device; a TCP service opens one listener per device address).
// Services register themselves with SIM_REGISTER_SERVICE in their own .cpp file.
class CSimService : public QObject
{
    Q_OBJECT
public:
    CSimService(const T_SimFleet &fleet, CSimRecord *pRecord, QObject *parent)
        : QObject(parent), m_fleet(fleet), m_pRecord(pRecord)
    {
    }
    // Binds sockets; false (with a reason) stops the simulator at start-up.
    virtual bool Start(QString &strError) = 0;

protected:
    const T_SimFleet &m_fleet;
    CSimRecord *m_pRecord;
};

using SimServiceFactory = std::function<CSimService *(const T_SimFleet &, CSimRecord *, QObject *)>;

struct T_SimServiceEntry {
    QString strName;
    SimServiceFactory factory;
};
QList<T_SimServiceEntry> &SimServiceRegistry();

struct CSimServiceRegistrar {
    CSimServiceRegistrar(const char *pszName, SimServiceFactory factory)
    {
        SimServiceRegistry().append({QString::fromLatin1(pszName), std::move(factory)});
    }
};

#define SIM_REGISTER_SERVICE(name, cls)                                                                                \
    static CSimServiceRegistrar s_registrar_##cls(                                                                     \
        name, [](const T_SimFleet &f, CSimRecord *r, QObject *p) -> CSimService * { return new cls(f, r, p); })
