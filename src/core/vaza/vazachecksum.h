#pragma once

#include <QIODevice>

// The image checksum the device checks after an upload: the XOR of every byte.
// XOR of every byte from the current position to the end; leaves the device at its end.
quint8 XorChecksum(QIODevice *pDev);
// XOR of n bytes; images too large to check in one go are folded piece by piece.
quint8 XorChecksum(const char *pData, qint64 i64Len);
