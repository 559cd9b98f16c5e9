#pragma once

// Blocking reads and write waits on the connection's socket. They wait in
// short slices, so that a caller asking to stop (the viewer closing, a new
// connect request) ends a wait within a slice instead of after the whole
// time limit.

#include <QtGlobal>

#include <functional>

class QTcpSocket;

namespace VNC {

using CancelCheck = std::function<bool()>;

// Reads at least min and at most max bytes into `to` and returns how many;
// waits while fewer than min are there (with min 0 it never waits). -1
// without a socket, on a closed connection, when no byte arrived within the
// read time limit, and when cancelled() turns true while waiting.
qint64 readAtLeast(QTcpSocket* socket, char* to, qint64 min, qint64 max, const CancelCheck& cancelled);

// Waits until the socket's write buffer has left (the write time limit at
// most). True when nothing is left to write.
bool waitAllWritten(QTcpSocket* socket, const CancelCheck& cancelled);

} // namespace VNC
