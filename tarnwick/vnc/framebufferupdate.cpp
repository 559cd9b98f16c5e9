#include "tarnwick/vnc/framebufferupdate.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncprotocoldispatcher.h"

#include <QtEndian>

namespace VNC {

namespace {

template <typename... Values>
[[noreturn]] void fail(const char* logText, const char* reason, const Values&... values)
{
    failStep("FrameBufferUpdate", logText, reason, values...);
}

} // namespace

void FrameBufferUpdate::run()
{
    for (;;) {
        switch (state) {
        case State::MessageType:
            if (!readMessageType())
                return;
            state = State::UpdateHeader;
            break;
        case State::UpdateHeader:
            if (!readUpdateHeader())
                return;
            state = State::RectangleHeader;
            break;
        case State::RectangleHeader:
            if (rectsLeft == 0) {
                // The update is complete; the run ends with the request for
                // the next one.
                state = State::MessageType;
                answerDue = false;
                sendUpdateRequest(1);
                return;
            }
            if (!readRectHeader())
                return;
            --rectsLeft;
            state = State::RectangleData;
            break;
        case State::RectangleData:
            if (!dispatcher->pixelFormat()->decodeRect(rectHeader, rectsLeft == 0))
                return;
            state = State::RectangleHeader;
            break;
        default: fail(nullptr, "bugging");
        }
    }
}

bool FrameBufferUpdate::readMessageType()
{
    if (answerDue) {
        if (!awaitBytes(1, "FrameBufferUpdate", "get msg type failed", "get msg type failed"))
            return false;
    } else if (!socket || bytesBuffered() < 1) {
        return false;
    }
    const uchar* type = takeBytes(1);
    if (!type)
        fail("get msg type failed", "get msg type failed");
    if (type[0] != Constants::kMsgFramebufferUpdate)
        fail("unkown error ocurred!", "get msg is unknown");
    return true;
}

bool FrameBufferUpdate::readUpdateHeader()
{
    if (!socket)
        return false;
    const bool paddingMissing = bytesBuffered() < 1;
    const char* failure = paddingMissing ? "update frame buffer: get padding failed!"
                                         : "update frame buffer: get retangle number failed!";
    if (!awaitBytes(3, "FrameBufferUpdate", failure, failure))
        return false;
    if (!takeBytes(1))
        fail("update frame buffer: get padding failed!", "update frame buffer: get padding failed!");
    const uchar* count = takeBytes(2);
    if (!count)
        fail("update frame buffer: get retangle number failed!", "update frame buffer: get retangle number failed!");
    rectsLeft = qFromBigEndian<quint16>(count);
    return true;
}

bool FrameBufferUpdate::readRectHeader()
{
    if (!awaitBytes(Constants::kRectHeaderLength, "FrameBufferUpdate", "read frame buffer head failed",
                    "read frame buffer head failed!"))
        return false;
    const uchar* header = takeBytes(Constants::kRectHeaderLength);
    if (!header)
        fail("read frame buffer head failed", "read frame buffer head failed!");
    rectHeader.x = qFromBigEndian<quint16>(header);
    rectHeader.y = qFromBigEndian<quint16>(header + 2);
    rectHeader.width = qFromBigEndian<quint16>(header + 4);
    rectHeader.height = qFromBigEndian<quint16>(header + 6);
    rectHeader.encoding = qFromBigEndian<qint32>(header + 8);
    if (rectHeader.encoding != Constants::kEncodingHextile)
        fail("encoding type is incorrect", "encoding type is incorrect!", rectHeader.encoding);
    return true;
}

} // namespace VNC
