#include "clicommon.h"

#include "http/chttpupgrade.h"

#include "common/timescale.h"
#include "discovery/chostconfirm.h"
#include "discovery/qdevicesearcher.h"
#include "product/productconfig.h"
#include "sysinfo/csysinforows.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cstdio>

namespace VelmoraCli
{

namespace
{

// The main window searches with two passes; the command line does the same per search.
constexpr int kPassesPerSearch = 2;

void WriteTo(FILE *pFile, const QByteArray &ba)
{
    std::fwrite(ba.constData(), 1, static_cast<size_t>(ba.size()), pFile);
    std::fflush(pFile);
}

} // namespace

int ParseArgs(QCommandLineParser &parser, const QStringList &args, const QString &strDescription,
              const QString &strSyntax, int iMinArgs, int iMaxArgs)
{
    const QString strCommand = args.value(0);
    parser.setApplicationDescription(strDescription);
    // The subcommand's name is the first positional argument, so the usage line reads
    // "velmora-cli [options] info HOST".
    parser.addPositionalArgument(strCommand, QString(), strCommand + QLatin1Char(' ') + strSyntax);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on this command."));
    parser.addOption(help);
    QStringList lstArgs = args;
    lstArgs.prepend(QCoreApplication::applicationFilePath());
    if (!parser.parse(lstArgs)) {
        PrintError(parser.errorText());
        PrintError(QStringLiteral("usage: velmora-cli %1 %2 (--help for more)").arg(strCommand, strSyntax));
        return EXIT_USAGE;
    }
    if (parser.isSet(help)) {
        // The subcommand's own name is no argument worth a section of its own.
        QString strHelp = parser.helpText();
        const int iArgs = strHelp.lastIndexOf(QStringLiteral("\nArguments:"));
        if (iArgs >= 0)
            strHelp.truncate(iArgs + 1);
        PrintOut(strHelp);
        return EXIT_OK;
    }
    const int iCount = parser.positionalArguments().size() - 1;
    if (iCount < iMinArgs || (iMaxArgs >= 0 && iCount > iMaxArgs)) {
        PrintError(QStringLiteral("usage: velmora-cli %1 %2 (--help for more)").arg(strCommand, strSyntax));
        return EXIT_USAGE;
    }
    return -1;
}

QString ExeDir()
{
    return QCoreApplication::applicationDirPath();
}

bool LoadConfig()
{
    const QString strPath = ExeDir() + QStringLiteral("/config.xml");
    QString strWhy;
    if (LoadProductConfig(strPath, &strWhy))
        return true;
    PrintError(QStringLiteral("cannot read the product table '%1': %2").arg(strPath, strWhy));
    return false;
}

QList<T_BaseDevInfo> SearchDevices(int iSearches)
{
    QList<T_BaseDevInfo> lstDevices;
    QList<T_BaseDevInfo> lstThisSearch;
    QDeviceSearcher searcher(kPassesPerSearch);
    const auto add = [&lstThisSearch](QByteArray strIpAddr, QByteArray strHostName) {
        T_BaseDevInfo stDev;
        stDev.strHostName = QString::fromUtf8(strHostName);
        stDev.strDispName = GetProductName(stDev.strHostName);
        if (stDev.strDispName.isEmpty())
            return; // a model this installation does not handle
        stDev.strAddr = QString::fromLatin1(strIpAddr);
        stDev.u32Port = kMaintainPort;
        stDev.strKind = GetProductType(stDev.strHostName);
        lstThisSearch.append(stDev);
    };
    // Boxes sharing a host name are all kept: a command by that name must see that it is not
    // enough (FindOneDevice), and discover lists each.
    QObject::connect(
        &searcher, &QDeviceSearcher::OnFoundDevice,
        [&add](QString, QByteArray strIpAddr, QByteArray strHostName, QByteArray) { add(strIpAddr, strHostName); });
    QObject::connect(&searcher, &QDeviceSearcher::OnSharedHostName,
                     [&add](QByteArray strIpAddr, QByteArray strHostName, QByteArray) { add(strIpAddr, strHostName); });
    for (int i = 0; i < iSearches; ++i) {
        lstThisSearch.clear();
        // The searcher always ends a search itself; the watchdog only guards against a stall.
        CRequestWatch watch;
        QObject::connect(&searcher, &QDeviceSearcher::OnStop, [&watch] { watch.Finish(); });
        searcher.Start();
        if (!watch.Wait())
            searcher.slotSearchDone();
        QObject::disconnect(&searcher, &QDeviceSearcher::OnStop, nullptr, nullptr);
        // A host name found again takes the addresses of the newer search, in its old place.
        QList<T_BaseDevInfo> lstMerged;
        QSet<QString> setPlaced;
        for (const T_BaseDevInfo &stKnown : qAsConst(lstDevices)) {
            if (AddressesOf(lstThisSearch, stKnown.strHostName).isEmpty()) {
                lstMerged << stKnown;
            } else if (!setPlaced.contains(stKnown.strHostName)) {
                setPlaced << stKnown.strHostName;
                for (const T_BaseDevInfo &stNew : qAsConst(lstThisSearch))
                    if (stNew.strHostName == stKnown.strHostName)
                        lstMerged << stNew;
            }
        }
        for (const T_BaseDevInfo &stNew : qAsConst(lstThisSearch))
            if (AddressesOf(lstDevices, stNew.strHostName).isEmpty())
                lstMerged << stNew;
        lstDevices = lstMerged;
    }
    return lstDevices;
}

int FindDevice(const QList<T_BaseDevInfo> &lstDevices, const QString &strName)
{
    // Host names first: a display name may repeat another device's host name text.
    for (int i = 0; i < lstDevices.size(); ++i) {
        if (lstDevices.at(i).strHostName == strName)
            return i;
    }
    for (int i = 0; i < lstDevices.size(); ++i) {
        if (lstDevices.at(i).strDispName == strName)
            return i;
    }
    for (int i = 0; i < lstDevices.size(); ++i) {
        if (lstDevices.at(i).strAddr == strName)
            return i;
    }
    return -1;
}

QStringList AddressesOf(const QList<T_BaseDevInfo> &lstDevices, const QString &strHostName)
{
    QStringList lstAddrs;
    for (const T_BaseDevInfo &stDev : lstDevices)
        if (stDev.strHostName == strHostName)
            lstAddrs << stDev.strAddr;
    return lstAddrs;
}

QString SharedHostNameText(const QList<T_BaseDevInfo> &lstDevices, const QString &strHostName, const QString &strPick)
{
    QStringList lstAddrs = AddressesOf(lstDevices, strHostName);
    // In address order, not in the order the answers happened to come.
    std::sort(lstAddrs.begin(), lstAddrs.end(), [](const QString &a, const QString &b) {
        return QHostAddress(a).toIPv4Address() < QHostAddress(b).toIPv4Address();
    });
    return QStringLiteral("%1 devices answer to this host name, at %2: name one by its address (%3)")
        .arg(lstAddrs.size())
        .arg(lstAddrs.join(QStringLiteral(", ")), strPick);
}

int FindOneDevice(const QList<T_BaseDevInfo> &lstDevices, const QString &strName)
{
    const int i = FindDevice(lstDevices, strName);
    if (i < 0 || lstDevices.at(i).strAddr == strName)
        return i;
    return AddressesOf(lstDevices, lstDevices.at(i).strHostName).size() > 1 ? -2 : i;
}

bool DeviceAt(const QString &strHostName, const QString &strAddr, T_BaseDevInfo *pstDev, QString *pstrError)
{
    T_BaseDevInfo stDev;
    stDev.strHostName = strHostName;
    stDev.strDispName = GetProductName(strHostName);
    if (stDev.strDispName.isEmpty()) {
        *pstrError = QStringLiteral("'%1' is no host name of a model in config.xml").arg(strHostName);
        return false;
    }
    const QHostAddress addr(strAddr);
    if (addr.protocol() != QAbstractSocket::IPv4Protocol) {
        *pstrError = QStringLiteral("'%1' is no IPv4 address").arg(strAddr);
        return false;
    }
    stDev.strAddr = addr.toString();
    stDev.u32Port = kMaintainPort;
    stDev.strKind = GetProductType(strHostName);
    *pstDev = stDev;
    return true;
}

int ResolveDevice(const QString &strName, const QString &strAddr, T_BaseDevInfo *pstDev)
{
    if (!strAddr.isEmpty()) {
        QString strError;
        if (!DeviceAt(strName, strAddr, pstDev, &strError)) {
            PrintError(strError);
            return EXIT_USAGE;
        }
        return ConfirmHostAt(*pstDev);
    }
    const QList<T_BaseDevInfo> lstDevices = SearchDevices(1);
    const int iIndex = FindOneDevice(lstDevices, strName);
    if (iIndex == -2) {
        const QString strHost = lstDevices.at(FindDevice(lstDevices, strName)).strHostName;
        PrintDeviceError(strHost, QStringLiteral("search"),
                         SharedHostNameText(lstDevices, strHost, QStringLiteral("HOST --addr A")));
        return EXIT_FAILED;
    }
    if (iIndex < 0) {
        // Most often a device that is off or on another network: a device failure, not a typo
        // we could tell apart.
        PrintDeviceError(strName, QStringLiteral("search"), QStringLiteral("not found"));
        return EXIT_FAILED;
    }
    *pstDev = lstDevices.at(iIndex);
    return -1;
}

int ConfirmHostAt(const T_BaseDevInfo &stDev)
{
    // The confirmation ends by itself; the watch only guards against a stall.
    CRequestWatch watch;
    CHostConfirm confirm;
    QObject::connect(&confirm, &CHostConfirm::finished, [&watch] { watch.Finish(); });
    confirm.Start(stDev.strHostName, stDev.strAddr);
    const bool bEnded = watch.Wait();
    if (bEnded && confirm.Result() == CHostConfirm::HOST_CONFIRMED)
        return -1;
    // The box that answers at the address is not the one named: most often a changed address,
    // so it counts as not found rather than as a mistake in the arguments.
    PrintDeviceError(stDev.strHostName, QStringLiteral("search"),
                     bEnded ? confirm.RefusalText() : QStringLiteral("time out"));
    return EXIT_FAILED;
}

void AddAddrOption(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("addr"),
                      QStringLiteral("The device's IPv4 address: skip the search (HOST must be its host name)."),
                      QStringLiteral("A")});
}

QString HostHelp()
{
    return QStringLiteral(" HOST is a host name, display name or address that one search finds, or a host name "
                          "with --addr.");
}

int ResolveHostArgument(const QCommandLineParser &parser, T_BaseDevInfo *pstDev)
{
    if (!LoadConfig())
        return EXIT_USAGE;
    return ResolveDevice(parser.positionalArguments().at(1), parser.value(QStringLiteral("addr")), pstDev);
}

bool ReadHttpVersionPage(const T_BaseDevInfo &stDev, const QString &strStep, QByteArray *pbaPage)
{
    CRequestWatch watch; // outlives the upgrader whose signal finishes it
    CHttpUpgrade http(stDev);
    bool bError = true;
    QObject::connect(&http, &CHttpUpgrade::signalHttpVersionNotify,
                     [&](T_BaseDevInfo, bool bErr, CBaseMaintainSession::E_InfoDataType, QByteArray strData) {
                         bError = bErr;
                         *pbaPage = strData;
                         watch.Finish();
                     });
    QString strReason;
    if (!http.QueryVersion())
        strReason = QStringLiteral("request refused");
    else if (!watch.Wait())
        strReason = QStringLiteral("time out");
    else if (bError)
        strReason = http.LastError().isEmpty() ? QString::fromUtf8(*pbaPage) : http.LastError();
    if (strReason.isEmpty())
        return true;
    http.Abort();
    PrintDeviceError(stDev.strHostName, strStep, strReason);
    return false;
}

QByteArray VisibleControls(const QByteArray &ba, QByteArray *pbaCarry, bool bLast)
{
    const QByteArray baIn = *pbaCarry + ba;
    pbaCarry->clear();
    QByteArray baOut;
    baOut.reserve(baIn.size());
    for (int i = 0; i < baIn.size(); ++i) {
        const auto u8 = static_cast<unsigned char>(baIn.at(i));
        const bool bAtEnd = i + 1 == baIn.size();
        if ((u8 == '\r' || u8 == 0xC2) && bAtEnd && !bLast) {
            *pbaCarry = baIn.mid(i);
            break;
        }
        const auto u8Next = bAtEnd ? 0 : static_cast<unsigned char>(baIn.at(i + 1));
        if (u8 == '\n' || u8 == '\t' || (u8 == '\r' && u8Next == '\n')) {
            baOut += static_cast<char>(u8);
        } else if (u8 < 0x20 || u8 == 0x7F) {
            baOut += '^';
            baOut += static_cast<char>(u8 ^ 0x40);
        } else if (u8 == 0xC2 && u8Next >= 0x80 && u8Next <= 0x9F) {
            // A C1 control such as CSI: some terminals act on it as on ESC [.
            baOut += "M-^";
            baOut += static_cast<char>((u8Next - 0x80) ^ 0x40);
            ++i;
        } else {
            baOut += static_cast<char>(u8);
        }
    }
    return baOut;
}

void PrintDeviceError(const QString &strHost, const QString &strStep, const QString &strReason)
{
    // Host names and reasons may come from the device: no control sequence reaches the terminal.
    WriteTo(stderr,
            QStringLiteral("%1: %2: %3\n").arg(PrintableText(strHost), strStep, PrintableText(strReason)).toUtf8());
}

void PrintError(const QString &strText)
{
    WriteTo(stderr, QStringLiteral("velmora-cli: %1\n").arg(strText).toUtf8());
}

int Usage(const QString &strText)
{
    PrintError(strText);
    return EXIT_USAGE;
}

void PrintOut(const QString &strText)
{
    WriteTo(stdout, strText.toUtf8());
}

void PrintJson(const QJsonValue &value)
{
    const QJsonDocument doc = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    WriteTo(stdout, doc.toJson(QJsonDocument::Indented));
}

CRequestWatch::CRequestWatch(int iTimeoutMs) : m_iTimeoutMs(iTimeoutMs)
{
    m_watchdog.setSingleShot(true);
    QObject::connect(&m_watchdog, &QTimer::timeout, &m_loop, [this] { m_loop.exit(1); });
}

void CRequestWatch::Finish()
{
    m_bFinished = true;
    m_watchdog.stop();
    m_loop.exit(0);
}

void CRequestWatch::Restart()
{
    if (!m_bFinished)
        m_watchdog.start(Velmora::ScaledMs(m_iTimeoutMs));
}

bool CRequestWatch::Wait()
{
    if (m_bFinished)
        return true;
    m_watchdog.start(Velmora::ScaledMs(m_iTimeoutMs));
    return m_loop.exec() == 0 && m_bFinished;
}

} // namespace VelmoraCli
