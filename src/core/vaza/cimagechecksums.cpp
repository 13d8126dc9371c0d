#include "vaza/cimagechecksums.h"

#include "common/vlog.h"
#include "vaza/vazachecksum.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{
// One piece per job and turn of the event loop: small enough that a batch of uploads keeps
// moving while an image of any size is read.
constexpr int SUM_PIECE = 256 * 1024;
constexpr qint64 NS_PER_S = 1000000000;
} // namespace

CImageChecksums::CImageChecksums(QObject *parent) : QObject(parent)
{
    connect(&m_timerStep, &QTimer::timeout, this, &CImageChecksums::Step);
}

CImageChecksums::~CImageChecksums()
{
    for (const T_Job &stJob : qAsConst(m_hashJobs))
        delete stJob.pFile;
}

CImageChecksums *CImageChecksums::Instance()
{
    // Owned by the application, so its timer goes while there still is an event loop.
    static QPointer<CImageChecksums> s_pInstance;
    if (!s_pInstance)
        s_pInstance = new CImageChecksums(QCoreApplication::instance());
    return s_pInstance;
}

QString CImageChecksums::Key(const QString &strPath)
{
    return QFileInfo(strPath).absoluteFilePath();
}

T_ImageIdentity CImageChecksums::IdentityOf(const QString &strPath)
{
    T_ImageIdentity st;
#ifdef Q_OS_UNIX
    // The inode tells a file moved over the old one (the usual way a build replaces an image)
    // even when size and time agree.
    struct stat stStat {
    };
    if (::stat(QFile::encodeName(strPath).constData(), &stStat) != 0 || !S_ISREG(stStat.st_mode))
        return st;
    st.i64Size = static_cast<qint64>(stStat.st_size);
#ifdef Q_OS_DARWIN
    st.i64MtimeNs = static_cast<qint64>(stStat.st_mtimespec.tv_sec) * NS_PER_S + stStat.st_mtimespec.tv_nsec;
#else
    st.i64MtimeNs = static_cast<qint64>(stStat.st_mtim.tv_sec) * NS_PER_S + stStat.st_mtim.tv_nsec;
#endif
    st.u64Device = static_cast<quint64>(stStat.st_dev);
    st.u64Inode = static_cast<quint64>(stStat.st_ino);
#else
    const QFileInfo info(strPath);
    if (!info.isFile())
        return st;
    st.i64Size = info.size();
    st.i64MtimeNs = info.lastModified().toMSecsSinceEpoch() * (NS_PER_S / 1000);
#endif
    st.bValid = true;
    return st;
}

bool CImageChecksums::Prepare(const QString &strPath, QString *pstrError)
{
    QString strError;
    const bool bOk = Instance()->SumNow(Key(strPath), &strError);
    if (pstrError)
        *pstrError = strError;
    return bOk;
}

bool CImageChecksums::SumNow(const QString &strKey, QString *pstrError)
{
    const T_ImageIdentity stBefore = IdentityOf(strKey);
    const auto it = m_hashSums.find(strKey);
    if (stBefore.bValid && it != m_hashSums.end() && it->stIdentity == stBefore) {
        it->bPrepared = true;
        return true;
    }
    // Whatever was known of this path belongs to another file now.
    m_hashSums.remove(strKey);
    QFile file(strKey);
    if (!stBefore.bValid || !file.open(QIODevice::ReadOnly)) {
        *pstrError = tr("cannot read '%1': %2").arg(strKey, file.errorString());
        return false;
    }
    VLOG(lcVaza) << "summing" << strKey;
    const quint8 u8Sum = XorChecksum(&file);
    *pstrError = Verify(strKey, stBefore, file.pos());
    if (!pstrError->isEmpty())
        return false;
    m_hashSums.insert(strKey, T_Sum{stBefore, u8Sum, true});
    // Sessions waiting for a job on this file take this sum instead; told on the next turn,
    // never from inside the caller's call.
    DropJob(strKey);
    QMetaObject::invokeMethod(
        this, [this, strKey] { emit signalSummed(strKey); }, Qt::QueuedConnection);
    return true;
}

bool CImageChecksums::Find(const QString &strPath, T_Sum *pstSum) const
{
    const auto it = m_hashSums.constFind(Key(strPath));
    if (it == m_hashSums.constEnd())
        return false;
    *pstSum = it.value();
    return true;
}

void CImageChecksums::Request(const QString &strPath)
{
    const QString strKey = Key(strPath);
    const T_ImageIdentity stNow = IdentityOf(strKey);
    // A prepared sum is never replaced behind the batch's back: its sessions refuse the file.
    const auto itSum = m_hashSums.constFind(strKey);
    if (itSum != m_hashSums.constEnd() && (itSum->bPrepared || itSum->stIdentity == stNow))
        return;
    const auto itJob = m_hashJobs.constFind(strKey);
    if (itJob != m_hashJobs.constEnd() && itJob->stIdentity == stNow)
        return;
    DropJob(strKey);
    auto *pFile = new QFile(strKey);
    if (!stNow.bValid || !pFile->open(QIODevice::ReadOnly)) {
        const QString strReason = tr("cannot read '%1': %2").arg(strKey, pFile->errorString());
        delete pFile;
        QMetaObject::invokeMethod(
            this, [this, strKey, strReason] { emit signalSumFailed(strKey, strReason); }, Qt::QueuedConnection);
        return;
    }
    VLOG(lcVaza) << "summing" << strKey << "piece by piece";
    T_Job stJob;
    stJob.pFile = pFile;
    stJob.stIdentity = stNow;
    m_hashJobs.insert(strKey, stJob);
    m_timerStep.start(0);
}

void CImageChecksums::DropJob(const QString &strKey)
{
    const auto it = m_hashJobs.find(strKey);
    if (it == m_hashJobs.end())
        return;
    delete it->pFile;
    m_hashJobs.erase(it);
    if (m_hashJobs.isEmpty())
        m_timerStep.stop();
}

QString CImageChecksums::Verify(const QString &strKey, const T_ImageIdentity &stBefore, qint64 i64Read) const
{
    // Bytes written while the file was being read may have been read in part.
    if (i64Read != stBefore.i64Size || IdentityOf(strKey) != stBefore)
        return tr("the image '%1' changed while its checksum was taken").arg(strKey);
    return QString();
}

void CImageChecksums::Step()
{
    m_baBlock.resize(SUM_PIECE);
    QStringList lstSummed;
    QList<QPair<QString, QString>> lstFailed;
    for (const QString &strKey : m_hashJobs.keys()) {
        T_Job &stJob = m_hashJobs[strKey];
        const qint64 i64Read = stJob.pFile->read(m_baBlock.data(), m_baBlock.size());
        if (i64Read > 0) {
            stJob.u8Sum ^= XorChecksum(m_baBlock.constData(), i64Read);
            stJob.i64Read += i64Read;
            continue;
        }
        const QString strReason = i64Read < 0 ? tr("cannot read '%1': %2").arg(strKey, stJob.pFile->errorString())
                                              : Verify(strKey, stJob.stIdentity, stJob.i64Read);
        if (strReason.isEmpty()) {
            m_hashSums.insert(strKey, T_Sum{stJob.stIdentity, stJob.u8Sum, false});
            lstSummed << strKey;
        } else {
            lstFailed << qMakePair(strKey, strReason);
        }
        DropJob(strKey);
    }
    if (m_hashJobs.isEmpty())
        m_baBlock.clear();
    // Told once the books are straight: a receiver may ask for another sum at once.
    for (const QString &strKey : qAsConst(lstSummed))
        emit signalSummed(strKey);
    for (const auto &pair : qAsConst(lstFailed))
        emit signalSumFailed(pair.first, pair.second);
}
