// upgrade --type TYPE --module ID=FILE ...: a batch upgrade of every device of one type that
// one search finds, through the same engine as the batch form. Every argument and file is
// checked before anything is sent; each device's completion is checked by reading its
// version back; the result can be written as JSON and fed back with --retry-failed.
#include "clicommands.h"
#include "clicommon.h"

#include "batch/cbatchupgrade.h"
#include "http/chttpagent.h"
#include "product/httpmodels.h"
#include "product/productconfig.h"
#include "session/cmaintainagent.h"
#include "sysinfo/csysinforows.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace VelmoraCli;

namespace
{

// One device and one module: a line of the result, and of RESULT.json.
struct T_Result {
    QString strHost;
    QString strAddr;
    QString strModule;
    QString strFile;
    bool bOk = false;
    QString strStep;
    QString strReason;
    QString strVersion;
};

// What the arguments, upgrade.conf and the earlier result ask for.
struct T_Request {
    QString strModel;
    QString strVersion;
    QList<T_ModuleRow> lstModules;     // upgrade.conf order
    QHash<QString, QString> hashFiles; // module id -> absolute path
    QStringList lstHosts;              // --hosts, as given
    // --retry-failed: host -> the module ids that did not succeed; empty otherwise.
    QMap<QString, QStringList> mapRetry;
    bool bRetry = false;
};

QString ModelOfType(const QString &strType)
{
    const QMap<QString, T_ProductInfo> &table = ProductTable();
    if (table.contains(strType))
        return strType;
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        if (it.value().strName == strType)
            return it.key();
    return QString();
}

QJsonObject ResultJson(const T_Result &st)
{
    return QJsonObject{
        {"host", st.strHost}, {"address", st.strAddr}, {"module", st.strModule}, {"file", st.strFile},
        {"ok", st.bOk},       {"step", st.strStep},    {"reason", st.strReason}, {"version", st.strVersion}};
}

// Reads an earlier result: its type and version fill in what the command line leaves out,
// its files serve modules given no --module, and its failures are what is run again.
bool ReadRetry(const QString &strPath, T_Request *pReq, QString *pstrType, QHash<QString, QString> *phashOldFiles,
               QString *pstrError)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *pstrError = QStringLiteral("cannot read '%1': %2").arg(strPath, file.errorString());
        return false;
    }
    QJsonParseError stErr;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &stErr);
    const QJsonArray results = doc.object().value(QStringLiteral("results")).toArray();
    if (!doc.isObject() || results.isEmpty()) {
        *pstrError = QStringLiteral("'%1' is no result of velmora-cli upgrade --json%2")
                         .arg(strPath, stErr.error ? QStringLiteral(": ") + stErr.errorString() : QString());
        return false;
    }
    if (pstrType->isEmpty())
        *pstrType = doc.object().value(QStringLiteral("type")).toString();
    if (pReq->strVersion.isEmpty())
        pReq->strVersion = doc.object().value(QStringLiteral("version")).toString();
    for (const QJsonValue &v : results) {
        const QJsonObject o = v.toObject();
        const QString strHost = o.value(QStringLiteral("host")).toString();
        const QString strModule = o.value(QStringLiteral("module")).toString();
        if (strHost.isEmpty() || strModule.isEmpty()) {
            *pstrError = QStringLiteral("'%1': a result without host or module").arg(strPath);
            return false;
        }
        if (!o.value(QStringLiteral("file")).toString().isEmpty())
            phashOldFiles->insert(strModule, o.value(QStringLiteral("file")).toString());
        if (!o.value(QStringLiteral("ok")).toBool())
            pReq->mapRetry[strHost].append(strModule);
    }
    pReq->bRetry = true;
    return true;
}

// A readable file for the module, as an absolute path (the device is told the name after the last "/").
bool CheckImage(const QString &strModule, const QString &strPath, QString *pstrAbs, QString *pstrError)
{
    const QFileInfo info(strPath);
    QFile file(strPath);
    QString strWhy;
    if (strPath.isEmpty() || !info.exists())
        strWhy = QStringLiteral("no such file");
    else if (!info.isFile())
        strWhy = QStringLiteral("not a file");
    else if (!file.open(QIODevice::ReadOnly))
        strWhy = file.errorString();
    if (!strWhy.isEmpty()) {
        *pstrError = QStringLiteral("module %1: cannot read image '%2': %3").arg(strModule, strPath, strWhy);
        return false;
    }
    *pstrAbs = info.absoluteFilePath();
    return true;
}

// Per-device lines: rewritten in place on a terminal, otherwise one line per step.
class CProgressView
{
public:
    CProgressView(const QStringList &lstHosts, bool bQuiet)
        : m_lstHosts(lstHosts), m_bQuiet(bQuiet), m_bTty(!bQuiet && isatty(fileno(stdout)) == 1)
    {
        for (int i = 0; i < lstHosts.size(); ++i)
            m_lstLines << QString();
        if (m_bTty)
            for (const QString &strHost : m_lstHosts)
                PrintOut(strHost + QLatin1Char('\n'));
    }
    void Show(const QString &strHost, const QString &strText, bool bStepChanged)
    {
        const int i = m_lstHosts.indexOf(strHost);
        if (m_bQuiet || i < 0)
            return;
        // Device texts may hold control characters; they never reach the terminal raw.
        QString strLine = strHost + QStringLiteral(": ") + strText;
        for (QChar &c : strLine)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char(' ');
        if (strLine == m_lstLines.at(i))
            return;
        m_lstLines[i] = strLine;
        if (!m_bTty) {
            if (bStepChanged)
                PrintOut(strLine + QLatin1Char('\n'));
            return;
        }
        // A line that wraps would throw every cursor movement off by one.
        struct winsize stSize = {};
        if (ioctl(fileno(stdout), TIOCGWINSZ, &stSize) == 0 && stSize.ws_col > 1)
            strLine.truncate(stSize.ws_col - 1);
        const int iUp = m_lstHosts.size() - i;
        PrintOut(QStringLiteral("\x1b[%1A\r\x1b[2K%2\x1b[%1B\r").arg(iUp).arg(strLine));
    }
    // On a terminal the lines above are still being rewritten: errors wait for the end.
    void Error(const QString &strHost, const QString &strStep, const QString &strReason)
    {
        if (m_bTty)
            m_lstErrors << QStringList{strHost, strStep, strReason};
        else
            PrintDeviceError(strHost, strStep, strReason);
    }
    void FlushErrors()
    {
        for (const QStringList &lst : qAsConst(m_lstErrors))
            PrintDeviceError(lst.at(0), lst.at(1), lst.at(2));
        m_lstErrors.clear();
    }

private:
    QStringList m_lstHosts;
    bool m_bQuiet;
    bool m_bTty;
    QStringList m_lstLines;
    QList<QStringList> m_lstErrors;
};

// Runs one batch to its end and fills the results of its devices and modules.
void RunBatch(CMaintainAgent *pAgent, CHttpAgent *pHttp, const QList<T_BaseDevInfo> &lstDevices,
              const QList<T_BatchModule> &lstModules, const QString &strVersion, CProgressView *pView,
              QMap<QString, T_Result> *pmapResults, int *piSucceeded, int *piTotal)
{
    auto key = [](const QString &strHost, const QString &strModule) { return strHost + QLatin1Char('\n') + strModule; };
    CBatchUpgrade engine(pAgent, pHttp);
    engine.SetDevices(lstDevices);
    engine.SetModules(lstModules);
    // "Completed" is never taken on trust: the version is read back before a module counts.
    engine.SetVersionCheck(true, strVersion);
    QEventLoop loop;
    QHash<QString, QString> hashStep;
    QObject::connect(&engine, &CBatchUpgrade::signalDeviceProgress,
                     [&](T_BaseDevInfo st, int i, QString strStep, int iPct, bool bErr, bool) {
                         const QString strModule = lstModules.at(i).strId;
                         const bool bChanged = hashStep.value(st.strHostName) != strModule + strStep;
                         hashStep.insert(st.strHostName, strModule + strStep);
                         pView->Show(st.strHostName,
                                     QStringLiteral("%1: %2%3")
                                         .arg(strModule, bErr ? QStringLiteral("failed at ") + strStep : strStep,
                                              !bErr && iPct >= 0 ? QStringLiteral(" %1%").arg(iPct) : QString()),
                                     bChanged);
                     });
    QObject::connect(&engine, &CBatchUpgrade::signalDeviceVersion, [&](T_BaseDevInfo st, int i, QString strVer) {
        (*pmapResults)[key(st.strHostName, lstModules.at(i).strId)].strVersion = strVer;
    });
    QObject::connect(&engine, &CBatchUpgrade::signalDeviceSucceeded, [&](T_BaseDevInfo st, int i) {
        T_Result &stRes = (*pmapResults)[key(st.strHostName, lstModules.at(i).strId)];
        stRes.bOk = true;
        stRes.strStep = QStringLiteral("Upgrade completed");
        stRes.strReason.clear();
        pView->Show(st.strHostName,
                    QStringLiteral("%1: completed, version %2%3")
                        .arg(stRes.strModule,
                             stRes.strVersion.isEmpty() ? QStringLiteral("unreadable") : stRes.strVersion,
                             strVersion.isEmpty() ? QString() : QStringLiteral(" (expected %1)").arg(strVersion)),
                    true);
    });
    QObject::connect(
        &engine, &CBatchUpgrade::signalDeviceFailed, [&](T_BaseDevInfo st, int i, QString strStep, QString strReason) {
            const QString strModule = lstModules.value(i).strId;
            T_Result &stRes = (*pmapResults)[key(st.strHostName, strModule)];
            stRes.bOk = false;
            stRes.strStep = strStep;
            stRes.strReason = strReason;
            pView->Show(st.strHostName, QStringLiteral("%1: failed: %2").arg(strModule, strReason), true);
            pView->Error(st.strHostName, strStep.isEmpty() ? strModule : strModule + QStringLiteral(": ") + strStep,
                         strReason);
        });
    QObject::connect(&engine, &CBatchUpgrade::signalBatchFinished, [&](int iOk, int iTotal, QStringList) {
        *piSucceeded += iOk;
        *piTotal += iTotal;
        loop.quit();
    });
    QObject::connect(&engine, &CBatchUpgrade::signalReplyTimeOut, [&] {
        PrintError(QStringLiteral("upgrade failed: no device reported within %1 s")
                       .arg(CBatchUpgrade::REPLY_TIMEOUT_MS / 1000));
        loop.quit();
    });
    QObject::connect(&engine, &CBatchUpgrade::signalModuleNotStarted, [&] { loop.quit(); });
    if (engine.Start() == CBatchUpgrade::START_OK)
        loop.exec();
}

int Usage(const QString &strText)
{
    PrintError(strText);
    return EXIT_USAGE;
}

QString ResultKey(const QString &strHost, const QString &strModule)
{
    return strHost + QLatin1Char('\n') + strModule;
}

// The version each device reports now for each of its modules (empty: no answer), all asked at once.
QHash<QString, QString> ReadVersions(CMaintainAgent *pAgent, CHttpAgent *pHttp, const QList<T_BaseDevInfo> &lstDevices,
                                     const QMap<QString, QStringList> &mapModules)
{
    QHash<QString, QString> hashVersions;
    QSet<QString> setAsked;
    CRequestWatch watch;
    auto answer = [&](const QString &strKey, const QString &strVersion) {
        if (!setAsked.remove(strKey))
            return;
        hashVersions.insert(strKey, strVersion);
        if (setAsked.isEmpty())
            watch.Finish();
    };
    // Taken down before the locals they use go: a late answer finds nobody listening.
    QList<QMetaObject::Connection> lstConnections;
    lstConnections << QObject::connect(
        pHttp, &CHttpAgent::signalHttpVersionNotify,
        [&](T_BaseDevInfo st, bool bErr, CBaseMaintainSession::E_InfoDataType, QByteArray baPage) {
            const QString strModule = mapModules.value(st.strHostName).value(0);
            answer(ResultKey(st.strHostName, strModule),
                   bErr ? QString() : HttpVersionRows(baPage).value(1).strValue.trimmed());
        });
    for (const T_BaseDevInfo &st : lstDevices) {
        if (Velmora::IsHttpHostModel(st.strHostName)) {
            setAsked.insert(ResultKey(st.strHostName, mapModules.value(st.strHostName).value(0)));
            pHttp->QueryVersion(st);
            continue;
        }
        CBaseMaintainSession *pSession = pAgent->GetSession(st.strHostName);
        if (!pSession)
            continue;
        lstConnections << QObject::connect(
            pSession, &CBaseMaintainSession::OnVersionQueryNotify,
            [&, strHost = st.strHostName](T_BaseDevInfo, bool bErr, QByteArray baAddr, UInt32, QByteArray baVersion) {
                answer(ResultKey(strHost, QString::fromUtf8(baAddr.trimmed())),
                       bErr ? QString() : QString::fromUtf8(baVersion).trimmed());
            });
        for (const QString &strModule : mapModules.value(st.strHostName)) {
            setAsked.insert(ResultKey(st.strHostName, strModule));
            pSession->QueryVersion(strModule.toUtf8(), 0);
        }
    }
    if (!setAsked.isEmpty())
        watch.Wait();
    for (const QMetaObject::Connection &con : lstConnections)
        QObject::disconnect(con);
    return hashVersions;
}

int RunUpgradeRequest(const T_Request &req, bool bJson, bool bSkipCurrent)
{
    // One search; nothing is sent before every named device has been found.
    const QList<T_BaseDevInfo> lstFound = SearchDevices(1);
    QList<T_BaseDevInfo> lstOfType;
    for (const T_BaseDevInfo &st : lstFound)
        if (Velmora::ModelOfHostName(st.strHostName) == req.strModel)
            lstOfType << st;
    QList<T_BaseDevInfo> lstDevices;
    bool bMissing = false;
    for (const QString &strName : req.lstHosts) {
        const int i = FindDevice(lstFound, strName);
        if (i < 0) {
            PrintDeviceError(strName, QStringLiteral("search"), QStringLiteral("not found"));
            bMissing = true;
        } else if (Velmora::ModelOfHostName(lstFound.at(i).strHostName) != req.strModel) {
            return Usage(QStringLiteral("%1 is a %2, not a %3")
                             .arg(strName, Velmora::ModelOfHostName(lstFound.at(i).strHostName), req.strModel));
        } else if (FindDevice(lstDevices, lstFound.at(i).strHostName) < 0) {
            lstDevices << lstFound.at(i);
        }
    }
    if (req.lstHosts.isEmpty())
        lstDevices = lstOfType;
    if (req.bRetry) {
        QList<T_BaseDevInfo> lstRetry;
        for (auto it = req.mapRetry.constBegin(); it != req.mapRetry.constEnd(); ++it) {
            const int i = FindDevice(lstOfType, it.key());
            if (i < 0) {
                PrintDeviceError(it.key(), QStringLiteral("search"), QStringLiteral("not found"));
                bMissing = true;
            } else if (req.lstHosts.isEmpty() || FindDevice(lstDevices, it.key()) >= 0) {
                lstRetry << lstOfType.at(i);
            }
        }
        lstDevices = lstRetry;
    }
    if (bMissing)
        return EXIT_FAILED;
    if (lstDevices.isEmpty()) {
        PrintError(QStringLiteral("no device of type %1 found").arg(req.strModel));
        return EXIT_FAILED;
    }

    CMaintainAgent agent;
    CHttpAgent http;
    QMap<QString, QStringList> mapModules; // host -> module ids to upgrade, in upgrade.conf order
    QMap<QString, T_Result> mapResults;
    for (const T_BaseDevInfo &st : lstDevices) {
        agent.AddDevice(st);
        if (Velmora::IsHttpHostModel(st.strHostName))
            http.AddDevice(st);
        for (const T_ModuleRow &stRow : req.lstModules) {
            if (!req.hashFiles.contains(stRow.strId) ||
                (req.bRetry && !req.mapRetry.value(st.strHostName).contains(stRow.strId)))
                continue;
            mapModules[st.strHostName] << stRow.strId;
            T_Result &stRes = mapResults[ResultKey(st.strHostName, stRow.strId)];
            stRes = T_Result{st.strHostName,
                             st.strAddr,
                             stRow.strId,
                             req.hashFiles.value(stRow.strId),
                             false,
                             QString(),
                             QStringLiteral("not upgraded: an earlier module failed"),
                             QString()};
        }
    }
    if (bSkipCurrent) {
        const QHash<QString, QString> hashNow = ReadVersions(&agent, &http, lstDevices, mapModules);
        for (auto it = mapModules.begin(); it != mapModules.end();) {
            const QString strHost = it.key();
            const bool bCurrent = std::all_of(it.value().begin(), it.value().end(), [&](const QString &strModule) {
                return hashNow.value(ResultKey(strHost, strModule)) == req.strVersion;
            });
            if (!bCurrent) {
                ++it;
                continue;
            }
            for (const QString &strModule : it.value()) {
                T_Result &stRes = mapResults[ResultKey(strHost, strModule)];
                stRes.bOk = true;
                stRes.strStep = QStringLiteral("skipped");
                stRes.strReason = QStringLiteral("already at %1").arg(req.strVersion);
                stRes.strVersion = req.strVersion;
            }
            if (!bJson)
                PrintOut(QStringLiteral("%1: skipped, already at %2\n").arg(strHost, req.strVersion));
            it = mapModules.erase(it);
        }
    }

    // Devices that need the same modules go in one batch; a retry may need several.
    QMap<QStringList, QList<T_BaseDevInfo>> mapGroups;
    QStringList lstShown;
    for (const T_BaseDevInfo &st : lstDevices)
        if (mapModules.contains(st.strHostName)) {
            mapGroups[mapModules.value(st.strHostName)] << st;
            lstShown << st.strHostName;
        }
    CProgressView view(lstShown, bJson);
    int iSucceeded = 0;
    int iTotal = 0;
    for (auto it = mapGroups.constBegin(); it != mapGroups.constEnd(); ++it) {
        QList<T_BatchModule> lstBatchModules;
        for (const T_ModuleRow &stRow : req.lstModules)
            lstBatchModules << T_BatchModule{stRow.strId, stRow.strName,
                                             it.key().contains(stRow.strId) ? req.hashFiles.value(stRow.strId)
                                                                            : QString()};
        RunBatch(&agent, &http, it.value(), lstBatchModules, req.strVersion, &view, &mapResults, &iSucceeded, &iTotal);
    }
    view.FlushErrors();

    bool bAllOk = true;
    QJsonArray results;
    for (const T_BaseDevInfo &st : lstDevices)
        for (const T_ModuleRow &stRow : req.lstModules) {
            const auto it = mapResults.constFind(ResultKey(st.strHostName, stRow.strId));
            if (it == mapResults.constEnd())
                continue;
            bAllOk = bAllOk && it->bOk;
            results.append(ResultJson(*it));
        }
    if (bJson) {
        PrintJson(QJsonObject{{"type", req.strModel},
                              {"version", req.strVersion},
                              {"succeeded", iSucceeded},
                              {"total", iTotal},
                              {"results", results}});
    } else {
        PrintOut(QStringLiteral("succeeded: %1, total: %2.\n").arg(iSucceeded).arg(iTotal));
    }
    return bAllOk ? EXIT_OK : EXIT_FAILED;
}

} // namespace

int RunUpgrade(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption optType(QStringLiteral("type"),
                                     QStringLiteral("Device type: its product name as discover shows it "
                                                    "(\"ZR410 Encoder\") or its model (\"ZR410\")."),
                                     QStringLiteral("TYPE"));
    const QCommandLineOption optVersion(QStringLiteral("version"),
                                        QStringLiteral("The version the images carry: each module must read back "
                                                       "this version after the upgrade."),
                                        QStringLiteral("V"));
    const QCommandLineOption optHosts(QStringLiteral("hosts"),
                                      QStringLiteral("Only these devices (host names, display names or addresses); "
                                                     "each must be found."),
                                      QStringLiteral("H1,H2,..."));
    const QCommandLineOption optModule(QStringLiteral("module"),
                                       QStringLiteral("Image FILE for module ID of upgrade.conf; repeat per module. "
                                                      "Modules without a file are skipped."),
                                       QStringLiteral("ID=FILE"));
    const QCommandLineOption optJson(QStringLiteral("json"),
                                     QStringLiteral("Print one JSON document with a result per device and module."));
    const QCommandLineOption optSkip(QStringLiteral("skip-current"),
                                     QStringLiteral("Skip devices whose modules already read --version."));
    const QCommandLineOption optRetry(QStringLiteral("retry-failed"),
                                      QStringLiteral("Upgrade again only the devices and modules that failed in an "
                                                     "earlier --json result (its type, version and files are "
                                                     "used unless given here)."),
                                      QStringLiteral("RESULT.json"));
    for (const QCommandLineOption &opt : {optType, optVersion, optHosts, optModule, optJson, optSkip, optRetry})
        parser.addOption(opt);
    const int iParsed = ParseArgs(parser, args,
                                  QStringLiteral("Upgrade every device of one type, module after module, each module "
                                                 "on all devices at once."),
                                  QStringLiteral("--type TYPE --module ID=FILE... [options]"), 0, 0);
    if (iParsed >= 0)
        return iParsed;

    // Everything is checked before anything is sent.
    T_Request req;
    req.strVersion = parser.value(optVersion);
    QString strType = parser.value(optType);
    QHash<QString, QString> hashOldFiles;
    QString strError;
    if (parser.isSet(optRetry) && !ReadRetry(parser.value(optRetry), &req, &strType, &hashOldFiles, &strError))
        return Usage(strError);
    if (strType.isEmpty())
        return Usage(QStringLiteral("--type is required (see --help)"));
    if (parser.isSet(optSkip) && req.strVersion.isEmpty())
        return Usage(QStringLiteral("--skip-current needs --version"));
    if (!LoadConfig())
        return EXIT_USAGE;
    req.strModel = ModelOfType(strType);
    if (req.strModel.isEmpty())
        return Usage(
            QStringLiteral("unknown device type '%1': not a model or product name in config.xml").arg(strType));
    const T_UpgradeConf stConf = ReadUpgradeConf(DefaultUpgradeConfPath(), req.strModel, E_MatchRule::Exact);
    if (stConf.eStatus != E_UpgradeConfStatus::Ok)
        return Usage(UpgradeConfErrorText(stConf));
    if (!stConf.bDeviceFound || stConf.lstModules.isEmpty())
        return Usage(QStringLiteral("'%1' lists no modules for type %2").arg(stConf.strPath, req.strModel));
    req.lstModules = stConf.lstModules;
    QStringList lstIds;
    for (const T_ModuleRow &stRow : stConf.lstModules)
        lstIds << stRow.strId;
    for (const QString &strArg : parser.values(optModule)) {
        const int iEq = strArg.indexOf(QLatin1Char('='));
        const QString strId = strArg.left(iEq);
        if (iEq <= 0)
            return Usage(QStringLiteral("--module takes ID=FILE, not '%1'").arg(strArg));
        if (!lstIds.contains(strId))
            return Usage(QStringLiteral("unknown module '%1' for type %2 (upgrade.conf has: %3)")
                             .arg(strId, req.strModel, lstIds.join(QStringLiteral(", "))));
        QString strAbs;
        if (!CheckImage(strId, strArg.mid(iEq + 1), &strAbs, &strError))
            return Usage(strError);
        req.hashFiles.insert(strId, strAbs);
    }
    if (req.bRetry) {
        // Modules given no new file keep the file of the earlier run, if it is still readable.
        for (auto it = req.mapRetry.constBegin(); it != req.mapRetry.constEnd(); ++it)
            for (const QString &strId : it.value()) {
                if (req.hashFiles.contains(strId))
                    continue;
                if (!lstIds.contains(strId))
                    return Usage(QStringLiteral("%1: module '%2' is not in upgrade.conf for type %3")
                                     .arg(parser.value(optRetry), strId, req.strModel));
                QString strAbs;
                if (!CheckImage(strId, hashOldFiles.value(strId), &strAbs, &strError))
                    return Usage(strError);
                req.hashFiles.insert(strId, strAbs);
            }
    }
    if (req.hashFiles.isEmpty())
        return Usage(QStringLiteral("no image given: --module ID=FILE (modules of %1: %2)")
                         .arg(req.strModel, lstIds.join(QStringLiteral(", "))));
    if (req.bRetry && req.mapRetry.isEmpty()) {
        PrintOut(QStringLiteral("nothing failed in '%1': nothing to do\n").arg(parser.value(optRetry)));
        return EXIT_OK;
    }
    for (const QString &strHost : parser.value(optHosts).split(QLatin1Char(','), Qt::SkipEmptyParts))
        req.lstHosts << strHost.trimmed();

    return RunUpgradeRequest(req, parser.isSet(optJson), parser.isSet(optSkip));
}
