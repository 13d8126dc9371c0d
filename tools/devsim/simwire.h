#pragma once

#include <QByteArray>

// The simulator's own reading and writing of the big-endian fields of the maintenance
// messages, shared by its network and serial services and kept apart from the product's
// codec, so one misunderstanding cannot make both sides agree.
namespace SimWire
{
void PutU32(QByteArray &ba, quint32 u32);
// A text with its 4-byte length prefix, which counts the prefix itself.
void PutStr(QByteArray &ba, const QByteArray &baText);
// 0 when the field does not fit.
quint32 U32At(const QByteArray &ba, int i32Pos);
// Reads a prefixed text at *pPos and moves past it; empty when it does not fit.
QByteArray StrAt(const QByteArray &ba, int *pPos);
} // namespace SimWire
