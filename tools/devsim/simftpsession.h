#pragma once

#include "simdevice.h"
#include "simftptransfer.h"
#include "simrecord.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One client's control connection to a simulated device's FTP server: login, working
// directory, commands and their replies (delayed in order for a slow server), with the
// faults the device's knobs inject per command (see fleets/README.md, "FTP service").
// The data connection and the transfers themselves belong to its CSimFtpTransfer.
class CSimFtpSession : public QObject
{
    Q_OBJECT
public:
    CSimFtpSession(const T_SimDevice &stDevice, CSimRecord *pRecord, QTcpSocket *pControl, QObject *parent);

private slots:
    void slotControlReadyRead();
    void slotControlClosed();
    void slotFlushReply();

private:
    void Handle(const QString &strVerb, const QString &strArg);
    void Reply(int iCode, const QString &strText);
    void SendRaw(const QByteArray &baLines);
    void CloseAfterReplies();
    // The code injected for this step, 0 when none.
    int FailCode(const QString &strStep) const;
    bool InjectFailure(const QString &strStep);
    void Event(const QString &strType, const QJsonObject &fields = QJsonObject());
    // The absolute path a name in a command stands for.
    QString Resolve(const QString &strName) const;

    T_SimDevice m_stDevice;
    CSimRecord *m_pRecord;
    QTcpSocket *m_pControl;
    QByteArray m_baLine;
    QList<QByteArray> m_lstReplies; // waiting for the slow-server delay; an empty entry closes
    QTimer m_timerReply;
    int m_iDelayMs;

    bool m_bLoggedIn = false;
    QString m_strUser;
    QString m_strCwd = QStringLiteral("/");

    CSimFtpTransfer m_transfer;
};
