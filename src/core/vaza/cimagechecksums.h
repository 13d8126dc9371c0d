#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

class QFile;

// Which file a path named when its checksum was taken. A file with another identity may hold
// other bytes; one with the same identity is taken to hold the same ones.
struct T_ImageIdentity {
    bool bValid = false;
    qint64 i64Size = -1;
    qint64 i64MtimeNs = 0; // whole seconds times 10^9 where the platform gives no finer time
    quint64 u64Device = 0; // device and inode: 0 where only QFileInfo is at hand
    quint64 u64Inode = 0;

    bool operator==(const T_ImageIdentity &o) const
    {
        return bValid == o.bValid && i64Size == o.i64Size && i64MtimeNs == o.i64MtimeNs && u64Device == o.u64Device &&
               u64Inode == o.u64Inode;
    }
    bool operator!=(const T_ImageIdentity &o) const { return !(*this == o); }
};

// The XOR checksum of every image the process uploads, read once per file identity and shared
// by every session (one object per process, used from the main thread). A batch sums its images
// up front with Prepare(); a session that finds no sum asks for one with Request(), and a
// single job reads the file piece by piece on the event loop for everyone who asks meanwhile.
// Results are announced by signal, never from inside the call that asked for them.
class CImageChecksums : public QObject
{
    Q_OBJECT
public:
    struct T_Sum {
        T_ImageIdentity stIdentity;
        quint8 u8Sum = 0;
        bool bPrepared = false; // summed for a batch: a file that differs now was changed after it began
    };

    static CImageChecksums *Instance();
    // The key the sums are kept under: the absolute path.
    static QString Key(const QString &strPath);
    // The file as it is now; not valid when it cannot be examined.
    static T_ImageIdentity IdentityOf(const QString &strPath);
    // Sums the image now, on the caller's thread (nothing is read when it is summed as it is), and
    // holds every later upload of it to this file. False with a reason when it cannot be read.
    static bool Prepare(const QString &strPath, QString *pstrError);

    bool Find(const QString &strPath, T_Sum *pstSum) const;
    // Starts reading the file as it is now, unless its sum is known or being taken already.
    void Request(const QString &strPath);

signals:
    void signalSummed(const QString &strKey);
    void signalSumFailed(const QString &strKey, const QString &strReason);

private:
    struct T_Job {
        QFile *pFile = nullptr;
        T_ImageIdentity stIdentity;
        qint64 i64Read = 0;
        quint8 u8Sum = 0;
    };

    explicit CImageChecksums(QObject *parent);
    ~CImageChecksums() override;
    bool SumNow(const QString &strKey, QString *pstrError);
    void DropJob(const QString &strKey);
    void Step();
    // A sum is good only if the file it came from is still the one whose identity was noted.
    QString Verify(const QString &strKey, const T_ImageIdentity &stBefore, qint64 i64Read) const;

    QHash<QString, T_Sum> m_hashSums;
    QHash<QString, T_Job> m_hashJobs;
    QTimer m_timerStep;
    QByteArray m_baBlock;
};
