#pragma once

#include "simdevice.h"
#include "simmultipart.h"
#include "simrecord.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

// What one HTTP-upgraded device serves, shared by all its connections: it judges an upload
// against the exact form its upgrade CGI is sent, keeps the result file while it installs,
// writes its version page, and says which faults its knobs inject at each step.
class CSimHttpDevice
{
public:
    CSimHttpDevice(const T_SimDevice &dev, CSimRecord *pRecord);

    const T_SimDevice &Device() const { return m_dev; }
    // The boundary an upload's Content-Type announces; the CGI's own when it names none.
    static QByteArray UploadBoundary(const QByteArray &baContentType);
    // A step knob is true, names the step ("poll"), or lists it (["upload", "poll"]).
    bool IsSet(const QString &strKnob, const QString &strStep) const;
    // "http_delay_ms": one number for every step, or {"step": ms}.
    int DelayMs(const QString &strStep) const;

    // Records what arrived and starts the installation when the answer is 200.
    int Upload(CSimMultipartParser &upload, const QByteArray &baBoundary, const QByteArray &baContentType,
               qint64 i64BodyBytes);
    // Answers one poll: true while the result file is still there.
    bool StillInstalling();
    int Polls() const { return m_i32Polls; }
    QByteArray VersionPage() const;

private:
    const T_SimDevice &m_dev;
    CSimRecord *m_pRecord;
    bool m_bInstalling = false;
    int m_i32Polls = 0;
    QElapsedTimer m_installTimer;
};
