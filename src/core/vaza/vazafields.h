#pragma once

#include <QByteArray>
#include <QIODevice>

// Big-endian integers and length-prefixed strings of the Vaza message bodies.
// Reads past the end never fail: integers read as 0 and strings as empty.
// Each works on any device, at its current position.
void WriteUInt32(QIODevice *pDev, quint32 u32Value);
// u32 (text length + 4), then the text without terminator.
void WriteString(QIODevice *pDev, const char *pszText);
void WriteByteArray(QIODevice *pDev, const QByteArray &baData);
// 0 (and nothing consumed) when fewer than 4 bytes remain.
quint32 ReadUInt32(QIODevice *pDev);
quint8 ReadUInt8(QIODevice *pDev);
// Empty when the prefix is 3 or less, or when the announced bytes are not all there
// (they are then left unread). pu32Len receives the text length (or the short prefix).
QByteArray ReadByteArray(QIODevice *pDev, quint32 *pu32Len = nullptr);
