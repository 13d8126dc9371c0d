#include "benchsupport.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <sys/resource.h>

qint64 BenchSupport::ProcStatusKiB(const char *pszKey)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &baLine : file.readAll().split('\n'))
        if (baLine.startsWith(pszKey))
            return baLine.mid(static_cast<int>(qstrlen(pszKey))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool BenchSupport::ResetPeakRss()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

bool BenchSupport::WriteRandomFile(const QString &strPath, qint64 i64Size)
{
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray baBlock(64 * 1024, Qt::Uninitialized);
    for (qint64 i64Done = 0; i64Done < i64Size; i64Done += baBlock.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(baBlock.data()), baBlock.size() / 4);
        const qint64 i64Part = qMin<qint64>(baBlock.size(), i64Size - i64Done);
        if (file.write(baBlock.constData(), i64Part) != i64Part)
            return false;
    }
    return true;
}

void BenchSupport::RaiseFileLimit()
{
    rlimit stLimit{};
    if (getrlimit(RLIMIT_NOFILE, &stLimit) == 0) {
        stLimit.rlim_cur = stLimit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &stLimit);
    }
}

double BenchSupport::Ratio(qint64 a, qint64 b)
{
    return a > 0 && b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0.0;
}
