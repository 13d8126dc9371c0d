#include "cmodulelist.h"

#include "common/vlog.h"
#include "vaza/cimagechecksums.h"

#include <QFileInfo>

int CModuleList::NextWithFile(int i32From) const
{
    for (int i = qMax(0, i32From); i < m_lstModules.size(); ++i)
        if (!m_lstModules.at(i).strFilePath.isEmpty())
            return i;
    return -1;
}

QString CModuleList::EmptyFile() const
{
    // An empty image would go to every box and most would report it installed.
    for (const T_BatchModule &stModule : m_lstModules) {
        const QFileInfo info(stModule.strFilePath);
        if (!stModule.strFilePath.isEmpty() && info.isFile() && info.size() == 0)
            return stModule.strFilePath;
    }
    return QString();
}

void CModuleList::PrepareChecksums() const
{
    for (const T_BatchModule &stModule : m_lstModules) {
        QString strError;
        if (!stModule.strFilePath.isEmpty() && !CImageChecksums::Prepare(stModule.strFilePath, &strError))
            VLOG(lcSession) << strError;
    }
}

T_UpgradeInfo CModuleList::UpgradeInfo(int i32Module) const
{
    const T_BatchModule &stModule = m_lstModules.at(i32Module);
    T_UpgradeInfo stInfo;
    stInfo.strDevAddr = stModule.strId;
    stInfo.u32DevPort = 0;
    stInfo.strFilePath = stModule.strFilePath;
    return stInfo;
}

QString CModuleList::ExpectedVersion(int i32Module, const QString &strBatchVersion) const
{
    const QString strModule = m_lstModules.value(i32Module).strVersion;
    return strModule.isEmpty() ? strBatchVersion : strModule;
}
