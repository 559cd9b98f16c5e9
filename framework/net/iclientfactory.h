#pragma once

// Makes clients; the dispatch client reconnects through it.

#include "framework/net/address.h"

namespace FF {
namespace Net {

class IClient;

class IClientFactory {
public:
    virtual ~IClientFactory() = default;
    // A new connected client, owned by the caller; throws when the address
    // cannot be reached.
    virtual IClient* create(const Address& address) = 0;
};

} // namespace Net
} // namespace FF
