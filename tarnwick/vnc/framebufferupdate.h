#pragma once

// The last step of a connection: reads every server message, hands each
// Hextile rectangle to the pixel format, and asks for the next update once an
// update is complete. Like every step it reads only what has arrived, and
// goes on where it stopped on its next run, also inside a rectangle.
// The server owes an answer to the first request (it is not incremental) and
// the rest of every message it has begun; after an incremental request it
// may stay silent as long as its screen does not change.

#include "tarnwick/vnc/vncpixelformat.h"
#include "tarnwick/vnc/vncprotocol.h"

namespace VNC {

class FrameBufferUpdate : public VncProtocol {
public:
    void run() override;

private:
    bool readMessageType();
    bool readUpdateHeader();
    bool readRectHeader();

    // What the step waits for next.
    enum class State : quint32 {
        MessageType = 0,
        UpdateHeader = 1,
        RectangleHeader = 2,
        RectangleData = 3, // the rest of a rectangle's tiles
    };

    State state = State::MessageType;
    // Until the first update has come: the answer to the request for the
    // whole frame buffer.
    bool answerDue = true;
    quint32 rectsLeft = 0;
    VncRectHeader rectHeader;
};

} // namespace VNC
