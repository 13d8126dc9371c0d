#include "simftpstore.h"

#include <QCryptographicHash>

CSimFtpStore &CSimFtpStore::Instance()
{
    static CSimFtpStore s_store;
    return s_store;
}

QString CSimFtpStore::NormalizePath(const QString &strPath)
{
    return strPath.startsWith(QLatin1Char('/')) ? strPath : QLatin1Char('/') + strPath;
}

void CSimFtpStore::Put(const QString &strDevice, const QString &strPath, const QByteArray &baContent)
{
    T_SimFtpFile st;
    st.baContent = baContent;
    st.i64Size = baContent.size();
    st.baSha256 = QCryptographicHash::hash(baContent, QCryptographicHash::Sha256);
    for (const char c : baContent)
        st.u8Xor ^= static_cast<quint8>(c);
    m_files[strDevice].insert(NormalizePath(strPath), st);
}

void CSimFtpStore::PutFile(const QString &strDevice, const QString &strPath, const T_SimFtpFile &stFile)
{
    m_files[strDevice].insert(NormalizePath(strPath), stFile);
}

bool CSimFtpStore::Contains(const QString &strDevice, const QString &strPath) const
{
    return m_files.value(strDevice).contains(NormalizePath(strPath));
}

T_SimFtpFile CSimFtpStore::File(const QString &strDevice, const QString &strPath) const
{
    return m_files.value(strDevice).value(NormalizePath(strPath));
}

QStringList CSimFtpStore::Paths(const QString &strDevice) const
{
    return m_files.value(strDevice).keys();
}

void CSimFtpStore::Remove(const QString &strDevice, const QString &strPath)
{
    auto it = m_files.find(strDevice);
    if (it != m_files.end())
        it->remove(NormalizePath(strPath));
}
