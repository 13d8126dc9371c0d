#include "simrecord.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>

bool CSimRecord::Open(const QString &strPath)
{
    if (strPath.isEmpty())
        return true;
    m_file.setFileName(strPath);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void CSimRecord::Event(const QString &strDevice, const QString &strType, QJsonObject fields)
{
    if (!m_file.isOpen())
        return;
    fields.insert(QStringLiteral("device"), strDevice);
    fields.insert(QStringLiteral("type"), strType);
    fields.insert(QStringLiteral("ms"), QDateTime::currentMSecsSinceEpoch());
    m_file.write(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
    m_file.flush();
}

void CSimRecord::Image(const QString &strDevice, const QString &strName, const QByteArray &baContent)
{
    QJsonObject fields;
    fields.insert(QStringLiteral("name"), strName);
    fields.insert(QStringLiteral("size"), static_cast<double>(baContent.size()));
    fields.insert(QStringLiteral("sha256"),
                  QString::fromLatin1(QCryptographicHash::hash(baContent, QCryptographicHash::Sha256).toHex()));
    Event(strDevice, QStringLiteral("image"), fields);
}
