#include "tarnwick/vnc/framebufferupdate.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncprotocoldispatcher.h"

#include <QDebug>

namespace VNC {

void FrameBufferUpdate::run()
{
    switch (state) {
    case 0:
        if (!readMessageType())
            return;
        state = 1;
        [[fallthrough]];
    case 1:
        if (!readUpdateHeader())
            return;
        state = 2;
        [[fallthrough]];
    case 2:
        for (;;) {
            if (rectsLeft == 0) {
                state = 0;
                sendUpdateRequest(1);
                return;
            }
            if (!readRectHeader())
                return;
            --rectsLeft;
            dispatcher->pixelFormat()->decodeRect(rectHeader, rectsLeft == 0);
            state = 2;
        }
    default:
        throw VncProException("FrameBufferUpdate", "bugging");
    }
}

bool FrameBufferUpdate::readMessageType()
{
    if (!socket || bytesBuffered() < 1)
        return false;
    QByteArray data;
    if (!readBytes(1, data)) {
        qDebug() << "get msg type failed";
        throw VncProException("FrameBufferUpdate", "get msg type failed");
    }
    if (quint8(data[0]) != Constants::kMsgFramebufferUpdate) {
        qDebug() << "unkown error ocurred!";
        throw VncProException("FrameBufferUpdate", "get msg is unknown");
    }
    return true;
}

bool FrameBufferUpdate::readUpdateHeader()
{
    if (!socket || bytesBuffered() < 3)
        return false;
    QByteArray data;
    if (!readBytes(1, data)) {
        qDebug() << "update frame buffer: get padding failed!";
        throw VncProException("FrameBufferUpdate", "update frame buffer: get padding failed!");
    }
    if (!readBytes(2, data)) {
        qDebug() << "update frame buffer: get retangle number failed!";
        throw VncProException("FrameBufferUpdate", "update frame buffer: get retangle number failed!");
    }
    rectsLeft = (quint32(quint8(data[0])) << 8) | quint8(data[1]);
    return true;
}

bool FrameBufferUpdate::readRectHeader()
{
    if (!socket || bytesBuffered() < Constants::kRectHeaderLength)
        return false;
    QByteArray data;
    if (!readBytes(Constants::kRectHeaderLength, data)) {
        qDebug() << "read frame buffer head failed";
        throw VncProException("FrameBufferUpdate", "read frame buffer head failed!");
    }
    auto u16 = [&data](int at) { return quint16((quint8(data[at]) << 8) | quint8(data[at + 1])); };
    rectHeader.x = u16(0);
    rectHeader.y = u16(2);
    rectHeader.width = u16(4);
    rectHeader.height = u16(6);
    rectHeader.encoding = qint32((quint32(quint8(data[8])) << 24) | (quint32(quint8(data[9])) << 16)
                                 | (quint32(quint8(data[10])) << 8) | quint32(quint8(data[11])));
    if (rectHeader.encoding != Constants::kEncodingHextile) {
        qDebug() << "encoding type is incorrect" << rectHeader.encoding;
        throw VncProException("FrameBufferUpdate", "encoding type is incorrect!");
    }
    return true;
}

} // namespace VNC
