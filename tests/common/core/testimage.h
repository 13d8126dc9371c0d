#pragma once

#include <QByteArray>
#include <QString>

// Random image bytes, not periodic: with a short period every read-back piece would XOR to
// zero and a checksum that forgets all but the last piece would still come out right.
QByteArray RandomBytes(int i32Size, quint32 u32Seed);

// Writes the bytes to strPath; their SHA-256 in hex as devsim records it, or empty when the
// file could not be written.
QByteArray WriteImage(const QString &strPath, const QByteArray &ba);
