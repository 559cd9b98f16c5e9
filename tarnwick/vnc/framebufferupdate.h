#pragma once

// The last step of a connection: reads every server message, hands each
// Hextile rectangle to the pixel format, and asks for the next update once an
// update is complete.

#include "tarnwick/vnc/vncpixelformat.h"
#include "tarnwick/vnc/vncprotocol.h"

namespace VNC {

class FrameBufferUpdate : public VncProtocol
{
public:
    void run() override;

private:
    bool readMessageType();
    bool readUpdateHeader();
    bool readRectHeader();

    quint32 state = 0; // 0 message type, 1 update header, 2 rectangle header
    quint32 rectsLeft = 0;
    VncRectHeader rectHeader;
};

} // namespace VNC
