#pragma once

// What the frame receiver needs of the connection it receives for: marking it
// stopped, the activity step after every receive call, and the peer's name.

#include "framework/net/address.h"

#include <cstddef>

namespace FF {
namespace Net {

class IReceiveControl {
public:
    virtual ~IReceiveControl() = default;

    // The peer closed, the connection broke or spoke illegally.
    virtual void markStopped() = 0;
    // Runs after every receive call with the bytes it brought (0 for none);
    // false once the connection no longer runs, which ends the receive.
    virtual bool afterReceive(std::size_t bytes) = 0;
    virtual Address peerAddress() const = 0;
};

} // namespace Net
} // namespace FF
