#pragma once

#include <QByteArray>
#include <QString>

// One server reply: "ddd text", or several lines from "ddd-first" to "ddd last".
// i32Code is 0 and bMalformed true for a line that is not a reply at all.
struct T_FtpReply {
    int i32Code = 0;
    QString strText; // the lines without their codes, joined by '\n'
    bool bMalformed = false;
};

// Splits the control connection's bytes into replies. Any input ends in a reply, a
// malformed line or a wait for more bytes; memory stays bounded by the line and text
// limits whatever the server sends.
class CFtpReplyParser
{
public:
    static constexpr int kMaxLine = 8192;  // longer lines are cut there, the rest dropped
    static constexpr int kMaxText = 65536; // further lines of a multi-line reply are dropped

    void Append(const char *pData, qint64 i64Size);
    void Append(const QByteArray &ba) { Append(ba.constData(), ba.size()); }
    // Takes the next complete reply; false while more bytes are needed.
    bool Next(T_FtpReply &stReply);
    void Clear();

private:
    // Takes one line out of m_baPending; false when no complete line is there.
    bool TakeLine(QByteArray &baLine);
    bool ProcessLine(const QByteArray &baLine, T_FtpReply &stReply);

    QByteArray m_baPending;
    int m_i32Pos = 0;          // start of the unread part of m_baPending
    bool m_bSkipToEol = false; // dropping the rest of an over-long line
    int m_i32MultiCode = 0;    // code of the multi-line reply being read, 0 outside one
    QString m_strMultiText;
};

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the first six comma-separated numbers.
bool ParsePasvReply(const QString &strText, QString &strHost, quint16 &u16Port);
// "229 Entering Extended Passive Mode (|||6446|)": the port between the delimiters.
bool ParseEpsvReply(const QString &strText, quint16 &u16Port);
// "213 1048576": the file size, false when the text is not a size.
bool ParseSizeReply(const QString &strText, qint64 &i64Size);
