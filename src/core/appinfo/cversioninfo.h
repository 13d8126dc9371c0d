#pragma once

#include <QByteArray>
#include <QString>

// Reads string entries ("AppTitle") of an executable's version resource.
// On Windows this is the real resource; elsewhere there is none, and a title
// fixed at build time (VELMORA_APP_TITLE) stands in for it when one was given.
class CVersionInfo
{
public:
    CVersionInfo() = default;
    ~CVersionInfo() { Free(); }
    CVersionInfo(const CVersionInfo &) = delete;
    CVersionInfo &operator=(const CVersionInfo &) = delete;

    bool Load(const QString &strFilePath);
    // translation = language id * 65536 + code page; 0 uses the first one found by Load.
    QString Value(const QString &strKey, quint32 u32Translation = 0) const;
    void Free();

    quint32 Translation() const { return m_u32Translation; }

private:
    QByteArray m_baBlock;
    bool m_bLoaded = false;
    quint32 m_u32Translation = 0;
};
