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

namespace {
QString ImageKey(const QString &strDevice, const QString &strName)
{
    return strDevice + QLatin1Char('\n') + strName.section(QLatin1Char('/'), -1);
}
} // namespace

void CSimRecord::Image(const QString &strDevice, const QString &strName, const QByteArray &baContent)
{
    T_SimImage stImage;
    stImage.i64Size = baContent.size();
    stImage.baSha256 = QCryptographicHash::hash(baContent, QCryptographicHash::Sha256).toHex();
    for (const char c : baContent)
        stImage.u8Xor ^= static_cast<quint8>(c);
    m_images.insert(ImageKey(strDevice, strName), stImage);

    QJsonObject fields;
    fields.insert(QStringLiteral("name"), strName);
    fields.insert(QStringLiteral("size"), static_cast<double>(baContent.size()));
    fields.insert(QStringLiteral("sha256"), QString::fromLatin1(stImage.baSha256));
    Event(strDevice, QStringLiteral("image"), fields);
}

bool CSimRecord::LastImage(const QString &strDevice, const QString &strName, T_SimImage &stImage) const
{
    auto it = m_images.constFind(ImageKey(strDevice, strName));
    if (it == m_images.constEnd())
        return false;
    stImage = it.value();
    return true;
}
