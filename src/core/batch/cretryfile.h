#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

class QByteArray;

// An earlier upgrade result (the JSON document "velmora-cli upgrade --json" prints) read back
// for a retry: its type and version fill in what the operator leaves out, its files serve
// modules given no new image, and its failures are what is run again. It only reads; whether
// the files are still there is the caller's to check.
class CRetryFile
{
public:
    enum E_Status {
        READ_OK = 0,
        READ_UNREADABLE,     // the file cannot be opened; ErrorDetail() says why
        READ_NOT_A_RESULT,   // no JSON object, or no results in it; ErrorDetail() holds a parse error
        READ_INCOMPLETE_ROW, // a result without host or module
    };

    // Reads the file at strPath. A failed read keeps nothing but the status and its detail.
    E_Status Read(const QString &strPath);
    // The same on bytes already in memory.
    E_Status Parse(const QByteArray &baJson);

    E_Status Status() const { return m_eStatus; }
    // The open error or the JSON parse error; empty when there is nothing more to say.
    QString ErrorDetail() const { return m_strDetail; }
    // The English text for a failed read of strPath, for the console program; empty after a
    // good read. The window keeps its own translatable texts.
    QString ErrorText(const QString &strPath) const;

    // Device type and version of the earlier run; empty when it named none.
    QString Type() const { return m_strType; }
    QString Version() const { return m_strVersion; }
    // Module id -> the version the earlier run wanted of that module, where it gave one of its own.
    QHash<QString, QString> Versions() const { return m_hashVersions; }
    // Module id -> the image file the earlier run was given (the last row that names one).
    QHash<QString, QString> Files() const { return m_hashFiles; }
    // Host name -> the module ids that did not succeed, in result order; empty when all did.
    QMap<QString, QStringList> Failures() const { return m_mapFailures; }
    // Every module id that failed on some device, once, in the order of Failures().
    QStringList FailedModules() const;

private:
    E_Status Fail(E_Status eStatus, const QString &strDetail = QString());

    E_Status m_eStatus = READ_UNREADABLE;
    QString m_strDetail;
    QString m_strType;
    QString m_strVersion;
    QHash<QString, QString> m_hashVersions;
    QHash<QString, QString> m_hashFiles;
    QMap<QString, QStringList> m_mapFailures;
};
