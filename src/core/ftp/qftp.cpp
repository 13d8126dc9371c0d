#include "ftp/qftp.h"

#include "common/vlog.h"
#include "ftp/qftppi.h"

#include <QTimer>

#include <atomic>

namespace
{
// Ids are unique across every client of the process, so a slot serving several clients
// can never mistake one client's command for another's.
std::atomic<int> s_i32NextId{1};

bool HasLineBreak(const QString &str)
{
    return str.contains(QLatin1Char('\r')) || str.contains(QLatin1Char('\n'));
}

QString TypeLine(QFtp::TransferType eType)
{
    return eType == QFtp::Binary ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A");
}
} // namespace

QFtp::QFtp(QObject *parent) : QObject(parent), m_pPi(new QFtpPI(this))
{
    connect(m_pPi, &QFtpPI::connectState, this, &QFtp::slotPiConnectState);
    connect(m_pPi, &QFtpPI::finished, this, &QFtp::slotPiFinished);
    connect(m_pPi, &QFtpPI::error, this, &QFtp::slotPiError);
    connect(&m_pPi->Dtp(), &QFtpDTP::readyRead, this, &QFtp::readyRead);
    connect(&m_pPi->Dtp(), &QFtpDTP::dataTransferProgress, this, &QFtp::dataTransferProgress);
}

QFtp::~QFtp()
{
    m_pPi->disconnect(this);
    m_pPi->Dtp().disconnect(this);
    if (!m_lstCommands.isEmpty()) {
        // Going away with work queued: tell the server to stop the running transfer and
        // cut an upload's data connection. The goodbye that would follow is never sent,
        // the control connection goes away with us.
        VLOG(lcFtp) << "aborting" << m_lstCommands.size() << "queued commands";
        m_lstCommands.clear();
        m_pPi->AbortTransfer();
    }
}

int QFtp::AddCommand(T_Command stCommand)
{
    stCommand.i32Id = s_i32NextId.fetch_add(1);
    const int i32Id = stCommand.i32Id;
    m_lstCommands.append(std::move(stCommand));
    if (!m_bRunning)
        ScheduleStart();
    return i32Id;
}

void QFtp::ScheduleStart()
{
    // Never from inside the caller's own call: calls made in a row are all queued before
    // the first line is sent, and commandStarted() reaches slots connected after the call.
    if (m_bStartScheduled)
        return;
    m_bStartScheduled = true;
    QTimer::singleShot(0, this, &QFtp::slotStartNextCommand);
}

int QFtp::setTransferMode(TransferMode eMode)
{
    T_Command st;
    st.eCommand = SetTransferMode;
    st.eMode = eMode;
    return AddCommand(st);
}

int QFtp::connectToHost(const QString &strHost, quint16 u16Port)
{
    T_Command st;
    st.eCommand = ConnectToHost;
    st.strHost = strHost;
    st.u16Port = u16Port;
    return AddCommand(st);
}

int QFtp::login(const QString &strUser, const QString &strPassword)
{
    T_Command st;
    st.eCommand = Login;
    const QString strU = strUser.isNull() ? QStringLiteral("anonymous") : strUser;
    const QString strP = strPassword.isNull() ? QStringLiteral("anonymous@") : strPassword;
    st.bBadArgument = HasLineBreak(strU) || HasLineBreak(strP);
    st.lstLines << QStringLiteral("USER ") + strU << QStringLiteral("PASS ") + strP;
    return AddCommand(st);
}

int QFtp::close()
{
    T_Command st;
    st.eCommand = Close;
    st.lstLines << QStringLiteral("QUIT");
    return AddCommand(st);
}

int QFtp::get(const QString &strFile, QIODevice *pDevice, TransferType eType)
{
    T_Command st;
    st.eCommand = Get;
    st.pDevice = pDevice;
    st.bHadDevice = pDevice != nullptr;
    st.bBadArgument = HasLineBreak(strFile);
    // "PASV" becomes "PORT" for active mode when the command starts.
    st.lstLines << TypeLine(eType) << QStringLiteral("SIZE ") + strFile << QStringLiteral("PASV")
                << QStringLiteral("RETR ") + strFile;
    return AddCommand(st);
}

int QFtp::put(QIODevice *pDevice, const QString &strFile, TransferType eType)
{
    T_Command st;
    st.eCommand = Put;
    st.pDevice = pDevice;
    st.bHadDevice = pDevice != nullptr;
    st.bBadArgument = HasLineBreak(strFile);
    st.lstLines << TypeLine(eType) << QStringLiteral("PASV");
    // A file knows its size; let the server reserve the space first. A pipe does not.
    if (pDevice && !pDevice->isSequential())
        st.lstLines << QStringLiteral("ALLO %1").arg(pDevice->size());
    st.lstLines << QStringLiteral("STOR ") + strFile;
    return AddCommand(st);
}

qint64 QFtp::bytesAvailable() const
{
    return m_pPi->Dtp().BytesAvailable();
}

QByteArray QFtp::read(qint64 i64MaxLen)
{
    return m_pPi->Dtp().Read(i64MaxLen);
}

QByteArray QFtp::readAll()
{
    return m_pPi->Dtp().Read(bytesAvailable());
}

int QFtp::currentId() const
{
    return m_bRunning ? m_lstCommands.first().i32Id : 0;
}

QFtp::Command QFtp::currentCommand() const
{
    return m_bRunning ? m_lstCommands.first().eCommand : None;
}

QIODevice *QFtp::currentDevice() const
{
    return m_bRunning ? m_lstCommands.first().pDevice.data() : nullptr;
}

QString QFtp::dataConnectionCommand() const
{
    return m_pPi->LastDataCommand();
}

bool QFtp::hasPendingCommands() const
{
    return m_lstCommands.size() > (m_bRunning ? 1 : 0);
}

void QFtp::clearPendingCommands()
{
    while (m_lstCommands.size() > (m_bRunning ? 1 : 0))
        m_lstCommands.removeLast();
}

void QFtp::SetState(State eState)
{
    if (m_eState == eState)
        return;
    m_eState = eState;
    emit stateChanged(eState);
}

QString QFtp::FailureText(Command eCommand, const QString &strDetail) const
{
    switch (eCommand) {
    case ConnectToHost:
        return tr("Connecting to host failed:\n%1").arg(strDetail);
    case Login:
        return tr("Login failed:\n%1").arg(strDetail);
    case Get:
        return tr("Downloading file failed:\n%1").arg(strDetail);
    case Put:
        return tr("Uploading file failed:\n%1").arg(strDetail);
    default:
        return strDetail;
    }
}

void QFtp::slotStartNextCommand()
{
    m_bStartScheduled = false;
    if (m_bRunning || m_lstCommands.isEmpty())
        return;
    m_bRunning = true;
    m_eError = NoError;
    m_strError.clear();
    const int i32Id = m_lstCommands.first().i32Id;
    QPointer<QFtp> guard(this);
    emit commandStarted(i32Id);
    if (!guard || !m_bRunning || m_lstCommands.isEmpty())
        return;
    const T_Command st = m_lstCommands.first();
    VLOG(lcFtp) << "command" << st.i32Id << "kind" << st.eCommand;

    if (st.bBadArgument) {
        // A line break would let the text append FTP commands of its own.
        slotPiError(UnknownError, tr("The command contains a line break"));
        return;
    }
    switch (st.eCommand) {
    case SetTransferMode:
        m_eMode = st.eMode;
        FinishCurrent(false);
        return;
    case ConnectToHost:
        SetState(HostLookup);
        m_pPi->ConnectToHost(st.strHost, st.u16Port);
        return;
    case Close:
        if (!m_pPi->IsConnected()) {
            // Nothing to close is not a failure.
            m_pPi->CloseConnection();
            SetState(Unconnected);
            FinishCurrent(false);
            return;
        }
        SetState(Closing);
        m_pPi->SendCommands(st.lstLines);
        return;
    default:
        break;
    }

    if (!m_pPi->IsConnected()) {
        slotPiError(NotConnected, tr("Not connected"));
        return;
    }
    QStringList lstLines = st.lstLines;
    if (st.eCommand == Get || st.eCommand == Put) {
        if (m_eMode == Active) {
            for (QString &strLine : lstLines)
                if (strLine == QLatin1String("PASV"))
                    strLine = QStringLiteral("PORT");
        }
        if (st.eCommand == Put) {
            QIODevice *pDevice = st.pDevice.data();
            if (!pDevice || !pDevice->isReadable()) {
                slotPiError(UnknownError, tr("The file is not open for reading"));
                return;
            }
            m_pPi->Dtp().Prepare(true, pDevice, pDevice->size());
        } else {
            if (st.bHadDevice && (!st.pDevice || !st.pDevice->isWritable())) {
                slotPiError(UnknownError, tr("The file is not open for writing"));
                return;
            }
            m_pPi->Dtp().Prepare(false, st.pDevice.data(), 0);
        }
    }
    m_pPi->SendCommands(lstLines);
}

void QFtp::slotPiConnectState(int iState)
{
    switch (iState) {
    case QFtpPI::CsHostFound:
        SetState(Connecting);
        break;
    case QFtpPI::CsConnected:
        SetState(Connected);
        break;
    default:
        SetState(Unconnected);
        break;
    }
}

void QFtp::slotPiFinished(const QString &strText)
{
    if (!m_bRunning)
        return;
    if (!strText.isEmpty())
        VLOG(lcFtp) << strText;
    switch (m_lstCommands.first().eCommand) {
    case Login:
        SetState(LoggedIn);
        break;
    case Close:
        m_pPi->CloseConnection();
        SetState(Unconnected);
        break;
    default:
        break;
    }
    FinishCurrent(false);
}

void QFtp::slotPiError(int iError, const QString &strText)
{
    if (!m_bRunning)
        return;
    const Command eCommand = m_lstCommands.first().eCommand;
    m_eError = static_cast<Error>(iError);
    m_strError = m_eError == UnknownError ? FailureText(eCommand, strText) : strText;
    VLOG(lcFtp) << "error" << m_eError << m_strError;
    if (eCommand == ConnectToHost || m_eError == ConnectionClosed)
        SetState(Unconnected);
    m_pPi->ClearPendingCommands();
    FinishCurrent(true);
}

void QFtp::FinishCurrent(bool bError)
{
    const int i32Id = m_lstCommands.takeFirst().i32Id;
    m_bRunning = false;
    if (bError)
        m_lstCommands.clear();
    QPointer<QFtp> guard(this);
    emit commandFinished(i32Id, bError);
    if (!guard)
        return;
    if (bError) {
        emit done(true);
        return;
    }
    // Slots may have queued more work; it starts on the next turn.
    if (m_lstCommands.isEmpty() && !m_bRunning)
        emit done(false);
    else if (!m_bRunning)
        ScheduleStart();
}
