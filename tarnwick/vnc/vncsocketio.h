#pragma once

// Reading what has arrived on the connection's socket without waiting, and
// the bounded wait for written bytes to leave. A write wait goes in short
// slices, so that a caller asking to stop (the viewer closing, a new connect
// request) ends it within a slice instead of after the whole time limit.

#include <QtGlobal>

#include <functional>

class QTcpSocket;

namespace VNC {

using CancelCheck = std::function<bool()>;

// Takes at most max bytes of what has arrived for the socket into `to`
// without waiting, and returns how many (0: nothing new). -1 without a
// socket, and once the connection has closed and every byte of it is taken.
qint64 readArrived(QTcpSocket* socket, char* to, qint64 max);

// Waits until the socket's write buffer has left (the write time limit at
// most). True when nothing is left to write.
bool waitAllWritten(QTcpSocket* socket, const CancelCheck& cancelled);

} // namespace VNC
