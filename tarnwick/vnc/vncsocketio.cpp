#include "tarnwick/vnc/vncsocketio.h"

#include "tarnwick/vnc/vncconstants.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace VNC {

namespace {

bool isCancelled(const CancelCheck& cancelled)
{
    return cancelled && cancelled();
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
            const qint64 n = socket->read(to + got, max - got);
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
