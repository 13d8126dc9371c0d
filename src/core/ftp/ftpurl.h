#pragma once

#include <QByteArray>
#include <QString>

// The parts of an FTP URL a device hands out for an upload or a log download.
// Limits are in bytes of the URL text; a longer field makes the URL fail.
struct T_FtpUrl {
    static constexpr int kMaxUser = 127;
    static constexpr int kMaxPassword = 127;
    static constexpr int kMaxHost = 23;
    static constexpr int kMaxPath = 255; // including the leading '/'
    static constexpr int kDefaultPort = 21;

    QString strUser;
    QString strPassword;
    QString strHost;
    QString strPath;
    int i32Port = kDefaultPort;
};

// Splits "ftp://[user:password@]host[:port]/path" into its parts. The scheme is matched in
// any letter case; the URL ends at its first zero byte, and the path is the rest of it (blanks
// inside kept, blanks at the end dropped); a line break in any field fails the URL.
// Patterns are tried in this order, first complete match wins:
//   user:password@host:port path  |  host:port path  |  user:password@host/path  |  host/path
// Clears stUrl first; on failure it stays cleared (port 21) and false is returned.
bool ParseFtpUrl(const QByteArray &baUrl, T_FtpUrl &stUrl);
bool ParseFtpUrl(const char *pszUrl, T_FtpUrl &stUrl);
