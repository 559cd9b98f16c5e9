#pragma once

// The steps of an RFB 3.3 session from the version greeting to the first
// framebuffer update request, in the order they run.

#include "tarnwick/vnc/vncprotocol.h"

#include <QtGlobal>

namespace VNC {

// ProtocolVersion: accepts servers of 3.3, 3.7 and 3.8, answers 3.3.
class VncVersionHandShake : public VncProtocol {
public:
    void run() override;
};

// Security type, the VNC challenge when asked for, the result, ClientInit.
class VncAuthentication : public VncProtocol {
public:
    void run() override;

private:
    bool readSecurityType();
    bool answerChallenge();
    bool readSecurityResult();

    // What the step waits for next.
    enum class State : quint16 {
        SecurityType = 0,
        Challenge = 1,
        Result = 2,
    };

    State state = State::SecurityType;
};

// ServerInit: frame buffer size, the server's pixel format, the desktop name.
class VncInit : public VncProtocol {
public:
    void run() override;

private:
    quint32 nameLength = 0;
    quint16 waitingForName = 0;
};

// SetEncodings: Hextile only.
class VncEncodingSet : public VncProtocol {
public:
    void run() override;
};

// SetPixelFormat of the chosen image quality.
class VncPixelFormatSet : public VncProtocol {
public:
    void run() override;
};

// The first, non-incremental FramebufferUpdateRequest.
class VncUpdateRequestAll : public VncProtocol {
public:
    void run() override;
};

} // namespace VNC
