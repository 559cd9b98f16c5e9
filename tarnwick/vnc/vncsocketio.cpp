#include "tarnwick/vnc/vncsocketio.h"

#include "tarnwick/vnc/vncconstants.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <sys/socket.h>

#include <cerrno>

namespace VNC {

namespace {

bool isCancelled(const CancelCheck& cancelled)
{
    return cancelled && cancelled();
}

// What the system holds for the socket, taken straight into `to` without
// waiting: one copy instead of two through Qt's buffer. Only once Qt's
// buffer is empty, so that the bytes keep their order. The end of the stream
// is left for Qt to see.
qint64 readFromSystem(QTcpSocket* socket, char* to, qint64 max)
{
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0 || socket->state() != QAbstractSocket::ConnectedState)
        return 0;
    for (;;) {
        const ssize_t n = ::recv(int(descriptor), to, size_t(max), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0 ? qint64(n) : 0;
    }
}

} // namespace

qint64 readAtLeast(QTcpSocket* socket, char* to, qint64 min, qint64 max, const CancelCheck& cancelled)
{
    if (!socket)
        return -1;
    qint64 got = 0;
    // The limit applies to each wait for new bytes, as a stalled server is
    // recognised by silence, not by a slow but steady stream.
    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    for (;;) {
        if (got < max) {
            qint64 n = socket->read(to + got, max - got);
            if (n >= 0 && got + n < max && socket->bytesAvailable() == 0)
                n += readFromSystem(socket, to + got + n, max - got - n);
            if (n > 0) {
                got += n;
                sinceLastByte.restart();
            }
        }
        if (got >= min)
            return got;
        if (isCancelled(cancelled))
            return -1;
        if (socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            return -1;
        if (sinceLastByte.elapsed() >= Constants::kReadTimeoutMs)
            return -1;
        socket->waitForReadyRead(Constants::kWaitSliceMs);
    }
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
