#pragma once

#include "session/maintaintypes.h"

#include <QList>
#include <QString>

// One firmware module of a batch, in upgrade order. A module without a file is skipped.
struct T_BatchModule {
    QString strId;   // module identifier; sent as strDevAddr of the upgrade
    QString strName; // what the operator sees
    QString strFilePath;
    // The version this module's image carries, read back after it completes; empty: the
    // batch's own (SetVersionCheck). Modules of one device may carry different versions.
    QString strVersion = QString();
};

// The modules of a batch in upgrade order and what is made sure of their images before the
// first is sent: which carry a file, that none is empty, and each checksum summed once for all.
class CModuleList
{
public:
    void Set(const QList<T_BatchModule> &lstModules) { m_lstModules = lstModules; }
    const QList<T_BatchModule> &List() const { return m_lstModules; }

    // The first module from i32From on that has a file; -1 when none has.
    int NextWithFile(int i32From) const;
    // The first module's file that is there but empty; empty when there is none.
    QString EmptyFile() const;
    // Every Vaza session tells its device the image's checksum: summed here once for all of
    // them, and each upload is held to the file as it was now. One that cannot be read is
    // left to the sessions, which fail each device with the reason.
    void PrepareChecksums() const;
    // What a device is sent for module i32Module.
    T_UpgradeInfo UpgradeInfo(int i32Module) const;
    // The version module i32Module's image carries: its own, else strBatchVersion.
    QString ExpectedVersion(int i32Module, const QString &strBatchVersion) const;

private:
    QList<T_BatchModule> m_lstModules;
};
