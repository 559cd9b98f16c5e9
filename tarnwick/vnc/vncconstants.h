#pragma once

// Wire constants, limits and time limits of the VNC viewer, in one place.

#include <QtGlobal>

namespace VNC {
namespace Constants {

// The panel's VNC server.
constexpr quint16 kServerPort = 5900;

// ProtocolVersion: the server greets with "RFB 003.00" and a minor digit; we
// always answer 3.3.
constexpr int kVersionLength = 12;
constexpr char kVersionPrefix[] = "RFB 003.00";
constexpr int kVersionPrefixLength = 10;
constexpr char kClientVersion[] = "RFB 003.003\n";

// Security types and results.
constexpr quint32 kSecurityInvalid = 0;
constexpr quint32 kSecurityNone = 1;
constexpr quint32 kSecurityVncAuth = 2;
constexpr int kChallengeLength = 16;
constexpr quint32 kSecurityResultOk = 0;

// ClientInit: share the desktop with other clients.
constexpr char kClientInitShared = 0x01;

// ServerInit.
constexpr int kServerInitFixedLength = 24;
constexpr int kPixelFormatLength = 16;
// A desktop name or a frame buffer larger than these is a broken or hostile
// server, not a panel: a frame buffer is at most 8192 pixels wide or high and
// 16 Mi pixels in all (64 MiB of RGBA).
constexpr quint32 kMaxDesktopNameLength = 1024 * 1024;
constexpr int kMaxFrameBufferSide = 8192;
constexpr qint64 kMaxFrameBufferPixels = 16 * 1024 * 1024;

// Client to server message types.
constexpr quint8 kMsgSetPixelFormat = 0;
constexpr quint8 kMsgSetEncodings = 2;
constexpr quint8 kMsgFramebufferUpdateRequest = 3;
constexpr quint8 kMsgKeyEvent = 4;
constexpr quint8 kMsgPointerEvent = 5;

// Server to client message types.
constexpr quint8 kMsgFramebufferUpdate = 0;

constexpr int kSetPixelFormatLength = 20;
constexpr int kUpdateRequestLength = 10;
constexpr int kRectHeaderLength = 12;
constexpr int kPointerEventLength = 6;
constexpr int kKeyEventLength = 8;

// Hextile is the only encoding we announce and accept.
constexpr qint32 kEncodingHextile = 5;

// Hextile sub-encoding bits.
constexpr quint8 kHextileRaw = 1;
constexpr quint8 kHextileBackgroundSpecified = 2;
constexpr quint8 kHextileForegroundSpecified = 4;
constexpr quint8 kHextileAnySubrects = 8;
constexpr quint8 kHextileSubrectsColoured = 16;
constexpr int kHextileTileSize = 16;

// Frame buffer size before ServerInit, and the size reported while no
// connection context exists.
constexpr int kDefaultWidth = 1024;
constexpr int kDefaultHeight = 600;
constexpr int kIdleWidth = 800;
constexpr int kIdleHeight = 480;

// Server bytes are read into the connection's buffer in pieces of up to this
// many beyond what a step needs at the moment.
constexpr qint64 kReadAheadBytes = 256 * 1024;

// Time limits (ms).
constexpr int kReadTimeoutMs = 30000;  // server silence while a read waits
constexpr int kWriteTimeoutMs = 30000; // one wait for bytes to leave
constexpr int kWaitSliceMs = 100;      // waits go in slices so that a close stops them
constexpr int kReconnectIntervalMs = 5000;
constexpr int kConnectTimeoutMs = 5000;       // a first answer to the connection attempt
constexpr int kInputHandOverTimeoutMs = 1000; // GUI wait for a key or pointer event to leave

// Keysym sent for keys without a mapping.
constexpr quint32 kUnmappedKeysym = 5000;

} // namespace Constants
} // namespace VNC
