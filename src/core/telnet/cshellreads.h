#pragma once

#include <QByteArray>
#include <QString>

// Follows the value reads a device shell answers (a parameter, an option, a configuration):
// the shell's echo of a read names what the next prompt completes, and the value stands on
// that prompt's line or on the line before. It keeps which reads wait; the channel (CBaseComm)
// hands in each line with the one before it and reports what completes.
class CShellReads
{
public:
    enum E_Read { READ_NONE, READ_PARAM, READ_OPTION, READ_CONFIG };
    struct T_Read {
        E_Read eRead = READ_NONE;
        QByteArray baName;
        QByteArray baValue;
        bool bOk = false; // false: the device has no such value ("... not defined")
    };

    CShellReads(const QString &strCmdPrefix, const QString &strTarget);

    // Reads one line: true when it is a read's echo or completes a waiting read (stDone). Every
    // prompt counts in iPrompts, whether or not a read waits for it: each kind of read looks
    // for its own prompt in turn until one takes the line, so a root prompt nobody waits for
    // counts once for each kind.
    bool TakeLine(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone);
    // A parameter read whose echo came is no longer waited for.
    void ForgetParam() { m_baParamName.clear(); }

private:
    bool TakeParam(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone);
    bool TakeOption(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone);
    bool TakeConfig(const QByteArray &baLine, const QByteArray &baLastLine, int &iPrompts, T_Read &stDone);

    QByteArray m_baEchoParam;   // the echo of a read of the value in effect, up to the name
    QByteArray m_baEchoParamRo; // and of one from the read-only store
    QByteArray m_baEchoGet;
    QByteArray m_baEchoConfig;
    QByteArray m_baParamName;
    QByteArray m_baParamEcho; // the echo that named it
    QByteArray m_baOptionName;
    QByteArray m_baConfigName;
};
