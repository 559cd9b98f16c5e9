#include "tarnwick/vnc/vncprotocol.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "tarnwick/vnc/vncprotocoldispatcher.h"

#include <QDebug>
#include <QTcpSocket>

namespace VNC {

VncProtocol::~VncProtocol() = default;

bool VncProtocol::attach(QTcpSocket* s, VncProtocolDispatcher* d)
{
    if (!s || !d)
        return false;
    socket = s;
    dispatcher = d;
    return true;
}

void VncProtocol::setNext(std::unique_ptr<VncProtocol> step)
{
    if (!step)
        return;
    if (socket && dispatcher)
        step->attach(socket, dispatcher);
    // Without a dispatcher the step has nowhere to run and ends here.
    if (dispatcher)
        dispatcher->setStep(std::move(step));
}

bool VncProtocol::awaitBytes(qint64 count, const char* step, const char* logText, const char* reason)
{
    if (!socket || !dispatcher)
        return false;
    VncInputBuffer& input = dispatcher->input();
    if (input.ensure(count))
        return true;
    if (input.failed())
        failStep(step, logText, reason);
    return false;
}

bool VncProtocol::readBytes(int count, QByteArray& out)
{
    if (count < 1 || !socket || !dispatcher)
        return false;
    return dispatcher->input().read(count, out);
}

const uchar* VncProtocol::takeBytes(int count)
{
    if (count < 1 || !socket || !dispatcher)
        return nullptr;
    VncInputBuffer& input = dispatcher->input();
    if (!input.ensure(count))
        return nullptr;
    const uchar* bytes = input.data();
    input.consume(count);
    return bytes;
}

qint64 VncProtocol::writeBytes(const QByteArray& data)
{
    if (!socket)
        return 0;
    return socket->write(data);
}

bool VncProtocol::waitWritten()
{
    if (!socket)
        return false;
    if (!waitAllWritten(socket, dispatcher ? dispatcher->cancelCheck() : CancelCheck())) {
        qDebug() << "wait for byte written failed";
        return false;
    }
    return true;
}

std::string VncProtocol::password()
{
    return dispatcher ? dispatcher->password() : std::string();
}

void VncProtocol::sendUpdateRequest(quint8 incremental)
{
    const int width = dispatcher ? dispatcher->width() : 0;
    const int height = dispatcher ? dispatcher->height() : 0;
    QByteArray request(Constants::kUpdateRequestLength, '\0');
    request[0] = char(Constants::kMsgFramebufferUpdateRequest);
    request[1] = char(incremental);
    request[6] = char((width >> 8) & 0xFF);
    request[7] = char(width & 0xFF);
    request[8] = char((height >> 8) & 0xFF);
    request[9] = char(height & 0xFF);
    writeBytes(request);
    if (!waitWritten())
        failStep("VncProtocol", "send fb update request failed", "send FB update request");
}

qint64 VncProtocol::bytesBuffered() const
{
    if (!socket)
        return 0;
    return dispatcher ? dispatcher->input().available() : socket->bytesAvailable();
}

} // namespace VNC
