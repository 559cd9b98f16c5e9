#pragma once

// One received message and the connection it came on.

#include "framework/net/address.h"
#include "framework/utils/ibuffer.h"

namespace FF {
namespace Net {

class NetBuffer;

class ISession {
public:
    virtual ~ISession() = default;
    // Answers on the connection the message came from.
    virtual bool send(NetBuffer& buffer) = 0;
    virtual void closeNow() = 0;
    virtual void close() = 0;
    // The message, read position 0.
    virtual FF::utils::IBuffer* buffer() = 0;
    virtual Address peerAddress() = 0;
    // Hands the message to the handler; returns the sessions still being dispatched.
    virtual int dispatch() = 0;
};

} // namespace Net
} // namespace FF
