#include "appinfo/cversioninfo.h"

#include "appinfo/velmoraversion.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool CVersionInfo::Load(const QString &strFilePath)
{
    Free();
#ifdef Q_OS_WIN
    const std::wstring wPath = strFilePath.toStdWString();
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeW(wPath.c_str(), &dwHandle);
    if (dwSize == 0)
        return false;
    m_baBlock.resize(static_cast<int>(dwSize));
    if (!GetFileVersionInfoW(wPath.c_str(), 0, dwSize, m_baBlock.data())) {
        Free();
        return false;
    }
    void *pValue = nullptr;
    UINT uLen = 0;
    if (VerQueryValueW(m_baBlock.constData(), L"\\VarFileInfo\\Translation", &pValue, &uLen) && uLen >= 4) {
        const WORD *pWords = static_cast<const WORD *>(pValue);
        m_u32Translation = (quint32(pWords[0]) << 16) | pWords[1];
        m_bLoaded = true;
        return true;
    }
    Free();
    return false;
#else
    Q_UNUSED(strFilePath);
    // No version resources here: a build-time title plays the "AppTitle" entry.
    if (QByteArray(VELMORA_APP_TITLE).isEmpty())
        return false;
    m_u32Translation = 0x040904B0; // US English, Unicode: what a Windows resource would carry
    m_bLoaded = true;
    return true;
#endif
}

QString CVersionInfo::Value(const QString &strKey, quint32 u32Translation) const
{
    if (!m_bLoaded)
        return QString();
    const quint32 u32Trans = u32Translation ? u32Translation : m_u32Translation;
    const QString strSubBlock =
        QStringLiteral("\\StringFileInfo\\%1\\%2").arg(u32Trans, 8, 16, QLatin1Char('0')).arg(strKey);
#ifdef Q_OS_WIN
    void *pValue = nullptr;
    UINT uLen = 0;
    const std::wstring wSub = strSubBlock.toStdWString();
    if (!VerQueryValueW(m_baBlock.constData(), wSub.c_str(), &pValue, &uLen) || !pValue)
        return QString();
    return QString::fromWCharArray(static_cast<const wchar_t *>(pValue));
#else
    Q_UNUSED(strSubBlock);
    if (strKey == QLatin1String("AppTitle"))
        return QString::fromUtf8(VELMORA_APP_TITLE);
    return QString();
#endif
}

void CVersionInfo::Free()
{
    m_baBlock.clear();
    m_bLoaded = false;
    m_u32Translation = 0;
}
