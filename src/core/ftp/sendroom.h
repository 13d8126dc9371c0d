#pragma once

#include <QtGlobal>

// How many more bytes the system takes on a connected TCP socket now without refusing
// any: its send buffer less what is queued in it. -1 where the system cannot tell.
//
// An unbuffered QTcpSocket copies whatever the system refuses into a queue of its own. An
// upload that writes only what fits keeps that queue empty, so a hundred uploads at once do
// not each hold a refused remainder of up to a piece.
qint64 SendRoom(qintptr hSocket);
