#include "tarnwick/vnc/vncsocketio.h"

#include "tarnwick/vnc/vncconstants.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace VNC {

namespace {

bool isCancelled(const CancelCheck& cancelled)
{
    return cancelled && cancelled();
}

// What the system holds for the socket, taken straight into `to` without
// waiting: one copy instead of two through Qt's buffer. Only once Qt's
// buffer is empty, so that the bytes keep their order. -1 at the end of the
// stream (which the system keeps reporting, so Qt sees it too).
qint64 readFromSystem(QTcpSocket* socket, char* to, qint64 max)
{
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0 || socket->state() != QAbstractSocket::ConnectedState)
        return 0;
    for (;;) {
        const ssize_t n = ::recv(int(descriptor), to, size_t(max), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return -1;
        return n > 0 ? qint64(n) : 0;
    }
}

} // namespace

qint64 readArrived(QTcpSocket* socket, char* to, qint64 max)
{
    if (!socket)
        return -1;
    qint64 got = 0;
    if (socket->bytesAvailable() > 0)
        got = std::max<qint64>(socket->read(to, max), 0);
    if (got < max && socket->bytesAvailable() == 0) {
        const qint64 n = readFromSystem(socket, to + got, max - got);
        if (n > 0)
            got += n;
        else if (n < 0 && got == 0)
            return -1;
    }
    if (got == 0 && socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    return got;
}

bool waitAllWritten(QTcpSocket* socket, const CancelCheck& cancelled)
{
    if (!socket)
        return false;
    // Most messages leave at once: no wait, and no poll, for those.
    if (socket->bytesToWrite() > 0)
        socket->flush();
    QElapsedTimer waited;
    waited.start();
    while (socket->bytesToWrite() > 0) {
        if (isCancelled(cancelled))
            return false;
        if (socket->state() != QAbstractSocket::ConnectedState)
            return false;
        if (waited.elapsed() >= Constants::kWriteTimeoutMs)
            return false;
        socket->waitForBytesWritten(Constants::kWaitSliceMs);
    }
    return true;
}

} // namespace VNC
