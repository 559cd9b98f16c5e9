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

bool readExactly(QTcpSocket* socket, qint64 count, QByteArray& out, const CancelCheck& cancelled)
{
    out.clear();
    if (count < 1 || !socket)
        return false;
    // The limit applies to each wait for new bytes, as a stalled server is
    // recognised by silence, not by a slow but steady stream.
    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    qint64 lastAvailable = socket->bytesAvailable();
    while (socket->bytesAvailable() < count) {
        if (isCancelled(cancelled))
            return false;
        if (socket->state() != QAbstractSocket::ConnectedState)
            return false;
        if (sinceLastByte.elapsed() >= Constants::kReadTimeoutMs)
            return false;
        socket->waitForReadyRead(Constants::kWaitSliceMs);
        if (socket->bytesAvailable() != lastAvailable) {
            lastAvailable = socket->bytesAvailable();
            sinceLastByte.restart();
        }
    }
    out.reserve(int(count));
    while (out.size() < count) {
        const QByteArray part = socket->read(count - out.size());
        if (part.isEmpty())
            return false;
        out.append(part);
    }
    return true;
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
