// Whatever a device sends to a session in any state ends its command at most once, never
// crashes, and leaves a session that takes the next command. No event loop runs, so nothing
// the bytes name (FTP hosts) is ever contacted, and the session's own socket has no address.
#include "vaza/cvazamaintainsession.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdlib>

namespace
{
class CFuzzSession : public CVazaMaintainSession
{
public:
    using CVazaMaintainSession::CVazaMaintainSession;
    void Feed(const QByteArray &ba) { OnReadData(ba); }
};

QTemporaryFile *g_pImage = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    static QCoreApplication app(*pArgc, *pArgv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    g_pImage = new QTemporaryFile;
    g_pImage->open();
    g_pImage->write("firmware image");
    g_pImage->flush();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t uSize)
{
    if (uSize < 1)
        return 0;
    T_BaseDevInfo stDev;
    stDev.strHostName = QStringLiteral("ZR430-FUZZ");
    stDev.u32Port = 9; // no address: the connect fails without leaving the machine
    CFuzzSession session(stDev);
    int i32Finals = 0;
    QObject::connect(&session, &CBaseMaintainSession::OnSysInfoNotify, [&] { ++i32Finals; });
    QObject::connect(&session, &CBaseMaintainSession::OnDownloadLogNotify,
                     [&](T_BaseDevInfo, QByteArray, bool bError, bool bFinished) { i32Finals += bError || bFinished; });
    QObject::connect(
        &session, &CBaseMaintainSession::OnUpgradeNotify,
        [&](T_BaseDevInfo, T_UpgradeInfo, QString, bool bError, bool bFinished) { i32Finals += bError || bFinished; });
    if (pData[0] % 4 == 1)
        session.GetSysInfo();
    else if (pData[0] % 4 == 2)
        session.DownloadLog();
    else if (pData[0] % 4 == 3)
        session.StartUpgrade(T_UpgradeInfo{QStringLiteral("main"), 1, g_pImage->fileName()});
    const QByteArray baStream(reinterpret_cast<const char *>(pData + 1), static_cast<int>(uSize - 1));
    const int i32Chunk = 1 + pData[0] / 4;
    for (int i = 0; i < baStream.size(); i += i32Chunk)
        session.Feed(baStream.mid(i, i32Chunk));
    // At most one ending; a busy session can be aborted; then it takes the next command.
    if (i32Finals > 1 || (session.IsBusy() && session.AbortCmd() == CUR_NONE) || session.GetSysInfo() != CMD_OK)
        std::abort();
    return 0;
}
