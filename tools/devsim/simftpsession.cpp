#include "simftpsession.h"

#include "simftpstore.h"

#include <QJsonObject>
#include <QTcpSocket>

namespace
{
constexpr int kMaxLine = 4096; // a control line longer than this ends the session
} // namespace

CSimFtpSession::CSimFtpSession(const T_SimDevice &stDevice, CSimRecord *pRecord, QTcpSocket *pControl, QObject *parent)
    : QObject(parent), m_stDevice(stDevice), m_pRecord(pRecord), m_pControl(pControl),
      m_transfer(stDevice, pRecord, [this](int iCode, const QString &strText) { Reply(iCode, strText); })
{
    m_pControl->setParent(this);
    m_iDelayMs = qMax(0, m_stDevice.Knob(QStringLiteral("ftp_delay_ms"), 0));
    m_timerReply.setSingleShot(true);
    connect(&m_timerReply, &QTimer::timeout, this, &CSimFtpSession::slotFlushReply);
    connect(m_pControl, &QTcpSocket::readyRead, this, &CSimFtpSession::slotControlReadyRead);
    connect(m_pControl, &QTcpSocket::disconnected, this, &CSimFtpSession::slotControlClosed);

    Event(QStringLiteral("ftp_connect"), {{QStringLiteral("peer"), m_pControl->peerAddress().toString()}});
    if (const int iCode = FailCode(QStringLiteral("CONNECT"))) {
        Reply(iCode, QStringLiteral("Simulated failure of CONNECT."));
        CloseAfterReplies();
        return;
    }
    Reply(220, QStringLiteral("Velmora devsim FTP ready."));
}

void CSimFtpSession::Event(const QString &strType, const QJsonObject &fields)
{
    m_pRecord->Event(m_stDevice.strHostName, strType, fields);
}

int CSimFtpSession::FailCode(const QString &strStep) const
{
    return m_stDevice.knobs.value(QStringLiteral("ftp_fail")).toObject().value(strStep).toInt(0);
}

bool CSimFtpSession::InjectFailure(const QString &strStep)
{
    const int iCode = FailCode(strStep);
    if (iCode == 0)
        return false;
    Reply(iCode, QStringLiteral("Simulated failure of %1.").arg(strStep));
    return true;
}

void CSimFtpSession::Reply(int iCode, const QString &strText)
{
    SendRaw(QByteArray::number(iCode) + ' ' + strText.toUtf8() + "\r\n");
}

void CSimFtpSession::SendRaw(const QByteArray &baLines)
{
    if (m_iDelayMs <= 0 && m_lstReplies.isEmpty()) {
        if (baLines.isEmpty())
            m_pControl->disconnectFromHost();
        else
            m_pControl->write(baLines);
        return;
    }
    // A slow server answers each line a delay after the previous answer, in order.
    m_lstReplies.append(baLines);
    if (!m_timerReply.isActive())
        m_timerReply.start(m_iDelayMs);
}

void CSimFtpSession::CloseAfterReplies()
{
    SendRaw(QByteArray());
}

void CSimFtpSession::slotFlushReply()
{
    if (m_lstReplies.isEmpty())
        return;
    const QByteArray ba = m_lstReplies.takeFirst();
    if (ba.isEmpty())
        m_pControl->disconnectFromHost();
    else
        m_pControl->write(ba);
    if (!m_lstReplies.isEmpty())
        m_timerReply.start(m_iDelayMs);
}

void CSimFtpSession::slotControlReadyRead()
{
    m_baLine += m_pControl->readAll();
    int iEol;
    while ((iEol = m_baLine.indexOf('\n')) >= 0) {
        QByteArray baLine = m_baLine.left(iEol);
        m_baLine.remove(0, iEol + 1);
        if (baLine.endsWith('\r'))
            baLine.chop(1);
        const QString strLine = QString::fromUtf8(baLine);
        const QString strVerb = strLine.section(QLatin1Char(' '), 0, 0).toUpper();
        const QString strArg = strLine.section(QLatin1Char(' '), 1);
        Event(QStringLiteral("ftp_command"), {{QStringLiteral("line"), strLine}});
        Handle(strVerb, strArg);
        if (m_pControl->state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (m_baLine.size() > kMaxLine) {
        Event(QStringLiteral("ftp_line_too_long"));
        m_pControl->abort();
    }
}

void CSimFtpSession::Handle(const QString &strVerb, const QString &strArg)
{
    if (strVerb == QLatin1String("USER")) {
        if (InjectFailure(strVerb))
            return;
        m_bLoggedIn = false;
        m_strUser = strArg;
        Reply(331, QStringLiteral("Please specify the password."));
        return;
    }
    if (strVerb == QLatin1String("PASS")) {
        if (InjectFailure(strVerb))
            return;
        const QJsonValue user = m_stDevice.knobs.value(QStringLiteral("ftp_user"));
        const QJsonValue password = m_stDevice.knobs.value(QStringLiteral("ftp_password"));
        if ((user.isString() && user.toString() != m_strUser) ||
            (password.isString() && password.toString() != strArg)) {
            Reply(530, QStringLiteral("Login incorrect."));
            return;
        }
        m_bLoggedIn = true;
        Reply(230, QStringLiteral("Login successful."));
        return;
    }
    if (strVerb == QLatin1String("QUIT")) {
        if (!InjectFailure(strVerb))
            Reply(221, QStringLiteral("Goodbye."));
        CloseAfterReplies();
        return;
    }
    if (strVerb == QLatin1String("ABOR")) {
        if (m_transfer.Busy()) {
            Event(QStringLiteral("ftp_abort"), {{QStringLiteral("path"), m_transfer.Path()}});
            m_transfer.Abort();
            Reply(426, QStringLiteral("Connection closed; transfer aborted."));
            Reply(226, QStringLiteral("ABOR successful."));
        } else {
            Reply(225, QStringLiteral("No transfer to ABOR."));
        }
        return;
    }
    if (strVerb == QLatin1String("NOOP")) {
        Reply(200, QStringLiteral("NOOP ok."));
        return;
    }
    if (!m_bLoggedIn) {
        Reply(530, QStringLiteral("Please login with USER and PASS."));
        return;
    }
    if (InjectFailure(strVerb))
        return;

    if (strVerb == QLatin1String("TYPE")) {
        const QString strType = strArg.trimmed().toUpper();
        if (strType == QLatin1String("I"))
            Reply(200, QStringLiteral("Switching to Binary mode."));
        else if (strType == QLatin1String("A"))
            Reply(200, QStringLiteral("Switching to ASCII mode."));
        else
            Reply(504, QStringLiteral("Unrecognised TYPE command."));
    } else if (strVerb == QLatin1String("SIZE")) {
        const CSimFtpStore &store = CSimFtpStore::Instance();
        if (m_stDevice.Flag(QStringLiteral("ftp_refuse_size")) ||
            !store.Contains(m_stDevice.strHostName, Resolve(strArg)))
            Reply(550, QStringLiteral("Could not get file size."));
        else
            Reply(213, QString::number(store.File(m_stDevice.strHostName, Resolve(strArg)).i64Size));
    } else if (strVerb == QLatin1String("ALLO")) {
        if (m_stDevice.Flag(QStringLiteral("ftp_refuse_allo"))) {
            Reply(502, QStringLiteral("ALLO not implemented."));
        } else {
            bool bOk = false;
            const qint64 i64 = strArg.trimmed().toLongLong(&bOk);
            m_transfer.SetAnnounced(bOk && i64 >= 0 ? i64 : -1);
            Reply(200, QStringLiteral("ALLO command successful."));
        }
    } else if (strVerb == QLatin1String("PASV") || strVerb == QLatin1String("EPSV")) {
        m_transfer.OpenPassive(strVerb == QLatin1String("EPSV"), m_pControl->localAddress());
    } else if (strVerb == QLatin1String("PORT") || strVerb == QLatin1String("EPRT")) {
        if (m_transfer.SetActive(strVerb, strArg, m_pControl->peerAddress()))
            Reply(200, QStringLiteral("%1 command successful.").arg(strVerb));
        else
            Reply(500, QStringLiteral("Illegal %1 command.").arg(strVerb));
    } else if (strVerb == QLatin1String("STOR")) {
        m_transfer.BeginStore(Resolve(strArg));
    } else if (strVerb == QLatin1String("RETR")) {
        if (!CSimFtpStore::Instance().Contains(m_stDevice.strHostName, Resolve(strArg))) {
            Reply(550, QStringLiteral("Failed to open file."));
            return;
        }
        m_transfer.BeginRetrieve(Resolve(strArg));
    } else if (strVerb == QLatin1String("PWD")) {
        Reply(257, QStringLiteral("\"%1\" is the current directory").arg(m_strCwd));
    } else if (strVerb == QLatin1String("CWD")) {
        // curl walks into a file's directory first: keep a current directory for names.
        m_strCwd = Resolve(strArg);
        Reply(250, QStringLiteral("Directory successfully changed."));
    } else if (strVerb == QLatin1String("SYST")) {
        Reply(215, QStringLiteral("UNIX Type: L8"));
    } else if (strVerb == QLatin1String("FEAT")) {
        SendRaw("211-Features:\r\n EPSV\r\n PASV\r\n SIZE\r\n211 End\r\n");
    } else {
        Reply(502, QStringLiteral("Command not implemented."));
    }
}

QString CSimFtpSession::Resolve(const QString &strName) const
{
    QString strPath = strName.startsWith(QLatin1Char('/'))  ? strName
                      : m_strCwd.endsWith(QLatin1Char('/')) ? m_strCwd + strName
                                                            : m_strCwd + QLatin1Char('/') + strName;
    // "/a/../b" and "/./b" name "/b"; nothing climbs above the root.
    QStringList lstParts;
    for (const QString &strPart : strPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (strPart == QLatin1String("..")) {
            if (!lstParts.isEmpty())
                lstParts.removeLast();
        } else if (strPart != QLatin1String("."))
            lstParts << strPart;
    }
    return QLatin1Char('/') + lstParts.join(QLatin1Char('/'));
}

void CSimFtpSession::slotControlClosed()
{
    if (m_transfer.Busy())
        Event(QStringLiteral("ftp_abandoned"), {{QStringLiteral("path"), m_transfer.Path()}});
    m_transfer.Close();
    Event(QStringLiteral("ftp_disconnect"));
    deleteLater();
}
