#pragma once

// What a dispatch client tells a registered call proxy: its reply, the end
// of the connection, the periodic tick and the return of the connection.
//
// Calls come on the client's threads: onReply, onReplyFailed, onTimerCheck,
// onWake and onDisconnected on a connection's receive thread, onReply and
// onReplyFailed also on a caller's thread that reads replies itself
// (IClient::readAside): that caller passes on every reply it reads, its own
// and those of other handlers' calls, and onDisconnected, after stop() or
// breakConnection(), on a short-lived thread of the client's own. Calls may
// overlap, so a handler locks what it shares. The client holds no lock of
// its own while it calls a handler, and it keeps the handler alive for the
// call (DispatchClient::registerHandler). onReply and onReplyFailed must not
// block: one that does holds up the caller whose thread it runs on, however
// long that caller's own call may wait. Any other callback that does not
// return holds up only its own thread: the client's stop and its callers
// keep their limits, and the thread is left running (see
// DispatchClient::stop). onDisconnected is told once to each handler
// registered when the client went offline.

#include "framework/utils/ibuffer.h"

#include <cstdint>

namespace FF {
namespace RPC {

class IDispatchHandler {
public:
    virtual ~IDispatchHandler() = default;
    // message is read up to just after the call number.
    virtual void onReply(FF::utils::IBuffer* message, std::uint32_t callNumber) = 0;
    // The reply to callNumber came, but onReply threw on it: the call ends
    // at once as "RecvDataError" rather than waiting out its time-out.
    virtual void onReplyFailed(std::uint32_t callNumber) = 0;
    // The dispatch client gave up.
    virtual void onDisconnected() = 0;
    // Every tick of the connection (200 ms).
    virtual void onTimerCheck() = 0;
    // Online again after a reconnection.
    virtual void onWake() = 0;
    // Unique among the live handlers of the process; written into calls.
    virtual std::uint32_t handlerId() const = 0;
};

} // namespace RPC
} // namespace FF
