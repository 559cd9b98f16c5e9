#pragma once

// Blocking reads and write waits on the connection's socket. They wait in
// short slices, so that a caller asking to stop (the viewer closing, a new
// connect request) ends a wait within a slice instead of after the whole
// time limit.

#include <QByteArray>

#include <functional>

class QTcpSocket;

namespace VNC {

using CancelCheck = std::function<bool()>;

// Reads exactly count bytes into out (cleared first). False for a count below
// 1, without a socket, on a closed connection, when no byte arrived within the
// read time limit, and when cancelled() turns true while waiting.
bool readExactly(QTcpSocket* socket, qint64 count, QByteArray& out, const CancelCheck& cancelled);

// Waits until the socket's write buffer has left (the write time limit at
// most). True when nothing is left to write.
bool waitAllWritten(QTcpSocket* socket, const CancelCheck& cancelled);

} // namespace VNC
