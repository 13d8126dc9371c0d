// upgrade --type TYPE --module ID=FILE ...: a batch upgrade of every device of one type that
// one search finds, through the same engine as the batch form. Every argument and file is
// checked before anything is sent; each device's completion is checked by reading its
// version back; the result can be written as JSON and fed back with --retry-failed.
#include "clicommands.h"
#include "clicommon.h"
#include "upgraderun.h"

#include "batch/cretryfile.h"
#include "product/hostmodel.h"
#include "product/productconfig.h"
#include "upgradeconf/cupgradeconfig.h"

#include <QFile>
#include <QFileInfo>

#include <tuple>

using namespace VelmoraCli;

namespace
{

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
    else if (info.size() == 0)
        strWhy = QStringLiteral("the image is empty");
    if (!strWhy.isEmpty()) {
        *pstrError = QStringLiteral("module %1: cannot read image '%2': %3").arg(strModule, strPath, strWhy);
        return false;
    }
    *pstrAbs = info.absoluteFilePath();
    return true;
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
                                                       "this version after the upgrade. ID=V gives module ID a "
                                                       "version of its own; repeat per module."),
                                        QStringLiteral("V|ID=V"));
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
                                     QStringLiteral("Leave out each module that already reads its --version; "
                                                    "a device whose modules all do is skipped."));
    const QCommandLineOption optRetry(QStringLiteral("retry-failed"),
                                      QStringLiteral("Upgrade again only the devices and modules that failed in an "
                                                     "earlier --json result (its type, version and files are "
                                                     "used unless given here)."),
                                      QStringLiteral("RESULT.json"));
    const QCommandLineOption optParallel(QStringLiteral("max-parallel"),
                                         QStringLiteral("At most N devices work on a module at once; the others "
                                                        "wait (default: all at once)."),
                                         QStringLiteral("N"));
    const QCommandLineOption optCanary(QStringLiteral("canary"),
                                       QStringLiteral("The first K devices go first, through every module; if any "
                                                      "fails, no other device is touched."),
                                       QStringLiteral("K"));
    const QCommandLineOption optWave(QStringLiteral("wave"),
                                     QStringLiteral("After the canary, devices go in waves of W; the next wave starts "
                                                    "only while the failures stay within --max-failures."),
                                     QStringLiteral("W"));
    const QCommandLineOption optMaxFail(QStringLiteral("max-failures"),
                                        QStringLiteral("The failures allowed before no further wave starts: a count, "
                                                       "or a share of the devices tried so far (10%)."),
                                        QStringLiteral("N|P%"));
    const QCommandLineOption optRetries(QStringLiteral("retries"),
                                        QStringLiteral("Try a device again up to R times when it failed before it "
                                                       "took the image (refused, timed out, dropped during the "
                                                       "upload); never after installing began."),
                                        QStringLiteral("R"));
    const QCommandLineOption optDelay(QStringLiteral("retry-delay"),
                                      QStringLiteral("The wait before the first retry; each later one waits twice as "
                                                     "long, give or take a fifth (default: 5)."),
                                      QStringLiteral("SECONDS"));
    for (const QCommandLineOption &opt : {optType, optVersion, optHosts, optModule, optJson, optSkip, optRetry,
                                          optParallel, optCanary, optWave, optMaxFail, optRetries, optDelay})
        parser.addOption(opt);
    const int iParsed = ParseArgs(parser, args,
                                  QStringLiteral("Upgrade every device of one type, module after module, each module "
                                                 "on all devices at once."),
                                  QStringLiteral("--type TYPE --module ID=FILE... [options]"), 0, 0);
    if (iParsed >= 0)
        return iParsed;

    // Everything is checked before anything is sent. An option given twice is a mistake in a
    // script (the first value would be lost without a word); an empty --hosts is one too, as
    // it would otherwise mean every device of the type.
    for (const QCommandLineOption &opt :
         {optType, optHosts, optRetry, optParallel, optCanary, optWave, optMaxFail, optRetries, optDelay})
        if (parser.values(opt).size() > 1)
            return Usage(QStringLiteral("--%1 given more than once").arg(opt.names().first()));
    if (parser.isSet(optHosts) && parser.value(optHosts).split(QLatin1Char(','), Qt::SkipEmptyParts).isEmpty())
        return Usage(QStringLiteral("--hosts names no device"));
    T_Request req;
    // Whole numbers of at least iMin; anything else is a mistake to refuse, not to guess at.
    auto number = [&](const QCommandLineOption &opt, int iMin, int *piValue) {
        if (!parser.isSet(opt))
            return true;
        bool bOk = false;
        const int i = parser.value(opt).toInt(&bOk);
        if (!bOk || i < iMin)
            return false;
        *piValue = i;
        return true;
    };
    T_RolloutOptions &stRoll = req.stRollout;
    int iDelayS = stRoll.i32RetryDelayMs / 1000;
    for (const auto &t :
         {std::make_tuple(&optParallel, 1, &stRoll.i32MaxParallel), std::make_tuple(&optCanary, 1, &stRoll.i32Canary),
          std::make_tuple(&optWave, 1, &stRoll.i32Wave), std::make_tuple(&optRetries, 0, &stRoll.i32Retries),
          std::make_tuple(&optDelay, 0, &iDelayS)})
        if (!number(*std::get<0>(t), std::get<1>(t), std::get<2>(t)))
            return Usage(QStringLiteral("--%1 takes a whole number of at least %2, not '%3'")
                             .arg(std::get<0>(t)->names().first())
                             .arg(std::get<1>(t))
                             .arg(parser.value(*std::get<0>(t))));
    if (iDelayS > 3600)
        return Usage(QStringLiteral("--retry-delay takes at most 3600 seconds"));
    stRoll.i32RetryDelayMs = iDelayS * 1000;
    if (parser.isSet(optMaxFail)) {
        QString strLimit = parser.value(optMaxFail);
        const bool bPercent = strLimit.endsWith(QLatin1Char('%'));
        if (bPercent)
            strLimit.chop(1);
        bool bOk = false;
        const int i = strLimit.toInt(&bOk);
        if (!bOk || i < 0 || (bPercent && i > 100))
            return Usage(QStringLiteral("--max-failures takes a count or a percentage (10%), not '%1'")
                             .arg(parser.value(optMaxFail)));
        (bPercent ? stRoll.i32MaxFailPercent : stRoll.i32MaxFailures) = i;
    }
    QStringList lstModuleVersions; // ID=V, checked once upgrade.conf is read
    for (const QString &strArg : parser.values(optVersion)) {
        if (strArg.contains(QLatin1Char('='))) {
            lstModuleVersions << strArg;
        } else {
            if (!req.strVersion.isEmpty())
                return Usage(QStringLiteral("--version V given more than once (ID=V gives a module its own)"));
            req.strVersion = strArg;
        }
    }
    QString strType = parser.value(optType);
    CRetryFile retry;
    if (parser.isSet(optRetry)) {
        if (retry.Read(parser.value(optRetry)) != CRetryFile::READ_OK)
            return Usage(retry.ErrorText(parser.value(optRetry)));
        if (strType.isEmpty())
            strType = retry.Type();
        if (req.strVersion.isEmpty())
            req.strVersion = retry.Version();
        if (lstModuleVersions.isEmpty())
            req.hashVersions = retry.Versions();
        req.mapRetry = retry.Failures();
        req.bRetry = true;
    }
    if (strType.isEmpty())
        return Usage(QStringLiteral("--type is required (see --help)"));
    if (!LoadConfig())
        return EXIT_USAGE;
    req.strModel = ModelOfType(strType);
    if (req.strModel.isEmpty())
        return Usage(QStringLiteral("unknown device type '%1': not a model or product name in config.xml "
                                    "(models: %2)")
                         .arg(strType, QStringList(ProductTable().keys()).join(QStringLiteral(", "))));
    const T_UpgradeConf stConf = ReadUpgradeConf(DefaultUpgradeConfPath(), req.strModel);
    if (stConf.eStatus != E_UpgradeConfStatus::Ok)
        return Usage(UpgradeConfErrorText(stConf));
    if (!stConf.bDeviceFound || stConf.lstModules.isEmpty())
        return Usage(QStringLiteral("'%1' lists no modules for type %2").arg(stConf.strPath, req.strModel));
    req.lstModules = stConf.lstModules;
    QStringList lstIds;
    for (const T_ModuleRow &stRow : stConf.lstModules)
        lstIds << stRow.strId;
    for (const QString &strArg : qAsConst(lstModuleVersions)) {
        const int iEq = strArg.indexOf(QLatin1Char('='));
        const QString strId = strArg.left(iEq);
        if (iEq <= 0 || iEq == strArg.size() - 1)
            return Usage(QStringLiteral("--version takes V or ID=V, not '%1'").arg(strArg));
        if (!lstIds.contains(strId))
            return Usage(QStringLiteral("--version: unknown module '%1' for type %2 (upgrade.conf has: %3)")
                             .arg(strId, req.strModel, lstIds.join(QStringLiteral(", "))));
        if (req.hashVersions.contains(strId))
            return Usage(QStringLiteral("--version for module '%1' given more than once").arg(strId));
        req.hashVersions.insert(strId, strArg.mid(iEq + 1));
    }
    QString strError;
    for (const QString &strArg : parser.values(optModule)) {
        const int iEq = strArg.indexOf(QLatin1Char('='));
        const QString strId = strArg.left(iEq);
        if (iEq <= 0)
            return Usage(QStringLiteral("--module takes ID=FILE, not '%1'").arg(strArg));
        if (!lstIds.contains(strId))
            return Usage(QStringLiteral("unknown module '%1' for type %2 (upgrade.conf has: %3)")
                             .arg(strId, req.strModel, lstIds.join(QStringLiteral(", "))));
        if (req.hashFiles.contains(strId))
            return Usage(QStringLiteral("module '%1' given more than once").arg(strId));
        QString strAbs;
        if (!CheckImage(strId, strArg.mid(iEq + 1), &strAbs, &strError))
            return Usage(strError);
        req.hashFiles.insert(strId, strAbs);
    }
    if (req.bRetry) {
        // Modules given no new file keep the file of the earlier run, if it is still readable.
        for (const QString &strId : retry.FailedModules()) {
            if (req.hashFiles.contains(strId))
                continue;
            if (!lstIds.contains(strId))
                return Usage(QStringLiteral("%1: module '%2' is not in upgrade.conf for type %3")
                                 .arg(parser.value(optRetry), strId, req.strModel));
            QString strAbs;
            if (!CheckImage(strId, retry.Files().value(strId), &strAbs, &strError))
                return Usage(strError);
            req.hashFiles.insert(strId, strAbs);
        }
    }
    // Everything in the earlier run succeeded: a retry has nothing to send, and needs no image.
    if (req.bRetry && req.mapRetry.isEmpty()) {
        if (parser.isSet(optJson))
            PrintEmptyResult(req, QString());
        else
            PrintOut(QStringLiteral("nothing to retry: nothing failed in '%1'\n").arg(parser.value(optRetry)));
        return EXIT_OK;
    }
    if (req.hashFiles.isEmpty())
        return Usage(QStringLiteral("no image given: --module ID=FILE (modules of %1: %2)")
                         .arg(req.strModel, lstIds.join(QStringLiteral(", "))));
    // Skipping is decided per module against its own version: every module sent needs one.
    if (parser.isSet(optSkip)) {
        if (req.strVersion.isEmpty() && req.hashVersions.isEmpty())
            return Usage(QStringLiteral("--skip-current needs --version"));
        for (const T_ModuleRow &stRow : qAsConst(req.lstModules))
            if (req.hashFiles.contains(stRow.strId) && req.Version(stRow.strId).isEmpty())
                return Usage(QStringLiteral("--skip-current: no --version for module '%1' (give --version V or "
                                            "--version %1=V)")
                                 .arg(stRow.strId));
    }
    for (const QString &strHost : parser.value(optHosts).split(QLatin1Char(','), Qt::SkipEmptyParts))
        req.lstHosts << strHost.trimmed();

    return RunUpgradeRequest(req, parser.isSet(optJson), parser.isSet(optSkip));
}
