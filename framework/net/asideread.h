#pragma once

// How a caller's look at its connection ended (IClient::readAside).

namespace FF {
namespace Net {

enum class AsideRead {
    Read,       // bytes arrived; every frame they made whole went out
    Nothing,    // nothing arrived within the wait
    Busy,       // another thread is reading the connection now
    Stopped,    // the connection no longer runs
    Unavailable // the client cannot be read by its callers
};

} // namespace Net
} // namespace FF
