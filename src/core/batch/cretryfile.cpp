#include "cretryfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

CRetryFile::E_Status CRetryFile::Read(const QString &strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(READ_UNREADABLE, file.errorString());
    return Parse(file.readAll());
}

CRetryFile::E_Status CRetryFile::Parse(const QByteArray &baJson)
{
    *this = CRetryFile();
    QJsonParseError stErr;
    const QJsonDocument doc = QJsonDocument::fromJson(baJson, &stErr);
    const QJsonObject top = doc.object();
    const QJsonArray results = top.value(QStringLiteral("results")).toArray();
    // An empty list is no result either: a run always reports on the devices it started with.
    if (!doc.isObject() || results.isEmpty())
        return Fail(READ_NOT_A_RESULT, stErr.error ? stErr.errorString() : QString());
    m_strType = top.value(QStringLiteral("type")).toString();
    m_strVersion = top.value(QStringLiteral("version")).toString();
    const QJsonObject versions = top.value(QStringLiteral("versions")).toObject();
    for (auto it = versions.constBegin(); it != versions.constEnd(); ++it)
        if (!it.value().toString().isEmpty())
            m_hashVersions.insert(it.key(), it.value().toString());
    for (const QJsonValue &v : results) {
        const QJsonObject o = v.toObject();
        const QString strHost = o.value(QStringLiteral("host")).toString();
        const QString strModule = o.value(QStringLiteral("module")).toString();
        if (strHost.isEmpty() || strModule.isEmpty())
            return Fail(READ_INCOMPLETE_ROW);
        const QString strFile = o.value(QStringLiteral("file")).toString();
        if (!strFile.isEmpty())
            m_hashFiles.insert(strModule, strFile);
        if (!o.value(QStringLiteral("ok")).toBool())
            m_mapFailures[strHost].append(strModule);
    }
    m_eStatus = READ_OK;
    return m_eStatus;
}

QString CRetryFile::ErrorText(const QString &strPath) const
{
    switch (m_eStatus) {
    case READ_OK:
        break;
    case READ_UNREADABLE:
        return QStringLiteral("cannot read '%1': %2").arg(strPath, m_strDetail);
    case READ_NOT_A_RESULT:
        return QStringLiteral("'%1' is no result of velmora-cli upgrade --json%2")
            .arg(strPath, m_strDetail.isEmpty() ? QString() : QStringLiteral(": ") + m_strDetail);
    case READ_INCOMPLETE_ROW:
        return QStringLiteral("'%1': a result without host or module").arg(strPath);
    }
    return QString();
}

QStringList CRetryFile::FailedModules() const
{
    QStringList lstIds;
    for (const QStringList &lstHost : m_mapFailures)
        for (const QString &strId : lstHost)
            if (!lstIds.contains(strId))
                lstIds << strId;
    return lstIds;
}

CRetryFile::E_Status CRetryFile::Fail(E_Status eStatus, const QString &strDetail)
{
    *this = CRetryFile();
    m_eStatus = eStatus;
    m_strDetail = strDetail;
    return eStatus;
}
