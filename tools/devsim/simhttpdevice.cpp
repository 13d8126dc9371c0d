#include "simhttpdevice.h"

#include <QJsonArray>
#include <QJsonObject>

namespace
{

const QByteArray kBoundary = "---webkitFormBoundary8ESp7IbP7szByKvn";
const QByteArray kUploadContentType = "multipart/form-data; boundary=---webkitFormBoundary8ESp7IbP7szByKvn";

// Text fitted into a fixed-width field of the version page: cut or padded with spaces.
QByteArray Field(const QString &str, int i32Width)
{
    QByteArray ba = str.toUtf8().left(i32Width);
    return ba + QByteArray(i32Width - ba.size(), ' ');
}

} // namespace

CSimHttpDevice::CSimHttpDevice(const T_SimDevice &dev, CSimRecord *pRecord) : m_dev(dev), m_pRecord(pRecord) {}

QByteArray CSimHttpDevice::UploadBoundary(const QByteArray &baContentType)
{
    QByteArray baBoundary = kBoundary;
    const int iB = baContentType.indexOf("boundary=");
    if (iB >= 0) {
        baBoundary = baContentType.mid(iB + 9).split(';').value(0).trimmed();
        if (baBoundary.size() >= 2 && baBoundary.startsWith('"') && baBoundary.endsWith('"'))
            baBoundary = baBoundary.mid(1, baBoundary.size() - 2);
    }
    return baBoundary;
}

bool CSimHttpDevice::IsSet(const QString &strKnob, const QString &strStep) const
{
    return m_dev.AtStep(strKnob, strStep);
}

int CSimHttpDevice::DelayMs(const QString &strStep) const
{
    const QJsonValue v = m_dev.knobs.value(QStringLiteral("http_delay_ms"));
    if (v.isObject())
        return v.toObject().value(strStep).toInt(0);
    return v.toInt(0);
}

int CSimHttpDevice::Upload(CSimMultipartParser &upload, const QByteArray &baBoundary, const QByteArray &baContentType,
                           qint64 i64BodyBytes)
{
    upload.Finish();
    const QList<CSimMultipartParser::T_Part> &parts = upload.Parts();
    const CSimMultipartParser::T_Part part = parts.value(0);
    QByteArray baDisposition;
    QByteArray baPartType;
    for (const QByteArray &baLine : part.headerLines) {
        if (baLine.startsWith("Content-Disposition:"))
            baDisposition = baLine;
        else if (baLine.startsWith("Content-Type:"))
            baPartType = baLine;
    }
    const QByteArray baPrefix = "Content-Disposition: form-data; name=\"fwfile\"; filename=\"";
    const bool bDispositionOk =
        baDisposition.startsWith(baPrefix) && baDisposition.endsWith('"') && baDisposition.size() > baPrefix.size();
    QByteArray baFileName = baDisposition.mid(baPrefix.size());
    if (baFileName.endsWith('"'))
        baFileName.chop(1);
    const QString strFileName = bDispositionOk ? QString::fromUtf8(baFileName) : QString();
    const bool bPartTypeOk = baPartType == "Content-Type: application/octet-stream";
    const bool bBoundaryOk = baBoundary == kBoundary;
    const bool bTypeOk = baContentType == kUploadContentType;
    const bool bFraming =
        upload.Preamble() == 0 && upload.ClosedWithLineEnd() && upload.Epilogue() == 0 && !upload.Broken();
    const bool bExact = bDispositionOk && bPartTypeOk && bBoundaryOk && bTypeOk && bFraming && parts.size() == 1 &&
                        part.bComplete && part.headerLines.size() == 2;
    const bool bUsable = !parts.isEmpty() && part.bComplete;
    int i32Status = bUsable ? m_dev.Knob(QStringLiteral("http_upload_status"), 200) : 400;

    QJsonArray headerLines;
    for (const QByteArray &ba : part.headerLines)
        headerLines.append(QString::fromUtf8(ba));
    m_pRecord->Event(m_dev.strHostName, QStringLiteral("http_upload"),
                     {{"filename", strFileName},
                      {"size", static_cast<double>(part.i64Size)},
                      {"sha256", QString::fromLatin1(part.baSha256)},
                      {"body_bytes", static_cast<double>(i64BodyBytes)},
                      {"content_type", QString::fromLatin1(baContentType)},
                      {"part_headers", headerLines},
                      {"parts", parts.size()},
                      {"boundary_ok", bBoundaryOk},
                      {"content_type_ok", bTypeOk},
                      {"disposition_ok", bDispositionOk},
                      {"part_type_ok", bPartTypeOk},
                      {"framing_ok", bFraming},
                      {"complete", bUsable},
                      {"exact", bExact},
                      {"status", i32Status}});
    if (i32Status == 200) {
        m_bInstalling = true;
        m_i32Polls = 0;
        m_installTimer.start();
    }
    return i32Status;
}

bool CSimHttpDevice::StillInstalling()
{
    if (!m_bInstalling)
        return false;
    ++m_i32Polls;
    bool bGone = false;
    bool bFailed = false;
    if (m_dev.Flag(QStringLiteral("http_result_stuck"))) {
        bGone = false;
    } else if (m_dev.Flag(QStringLiteral("install_fail"))) {
        bGone = m_i32Polls >= 2;
        bFailed = true;
    } else if (m_dev.knobs.contains(QStringLiteral("http_result_polls"))) {
        bGone = m_i32Polls > m_dev.Knob(QStringLiteral("http_result_polls"), 0);
    } else {
        bGone = m_installTimer.elapsed() >= m_dev.Knob(QStringLiteral("install_ms"), 4000);
    }
    if (!bGone)
        return true;
    m_bInstalling = false;
    m_pRecord->Event(
        m_dev.strHostName, QStringLiteral("http_installed"),
        {{"polls", m_i32Polls}, {"failed", bFailed}, {"ms", static_cast<double>(m_installTimer.elapsed())}});
    return false;
}

QByteArray CSimHttpDevice::VersionPage() const
{
    // Offsets fixed by what the operator's program reads: 6..30 build time, 38..60 version.
    const QString strBuild = m_dev.Text(QStringLiteral("http_build_time"), QStringLiteral("2026-01-15 10:20:30"));
    return "Build:" + Field(strBuild, 25) + "\nVer : " + Field(m_dev.strVersion, 23) + "\n";
}
