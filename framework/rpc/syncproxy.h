#pragma once

// One synchronous RPC call by method name over a dispatch client: build the
// arguments into argsBuffer, sync(), then read the results.

#include "framework/utils/ffstring.h"
#include "framework/utils/ibuffer.h"

#include <functional>
#include <memory>

namespace FF {
namespace RPC {

class DispatchClient;
class __SyncProxy;

class SyncProxy {
public:
    // Registers with client, which must outlive the proxy; a null client
    // throws ("Proxy.Proxy", "no matched service"). The destructor
    // unregisters it and never waits: a reply or a tick the client is
    // handing it on another thread keeps the proxy's inside for that call.
    explicit SyncProxy(DispatchClient* client);
    ~SyncProxy();
    SyncProxy(const SyncProxy&) = delete;
    SyncProxy& operator=(const SyncProxy&) = delete;

    // A fresh request holding the call header; the caller appends the
    // argument count and the typed arguments.
    FF::utils::IBuffer* argsBuffer(const FF::utils::String& methodName);
    // Time-out of the next call, at least 100 ms; every call puts it back to 100000.
    void setTimeOut(unsigned int ms);
    std::uint64_t timeOut() const;
    // Work for the next sync() to do on the calling thread while its request
    // is on its way (once it is sent, before the wait for the reply), such as
    // hashing the bytes the request carries. sync() takes it and runs it once,
    // whatever the call's outcome; an exception from it leaves sync() once
    // the call has ended (unless the call failed, whose exception wins).
    void setWaitWork(std::function<void()> work);
    // Blocks until the reply, the time-out or the end of the connection.
    // Returns only for status 0; otherwise throws ("Proxy.sync", <status
    // name>) or ("Proxy.sync", "send failed") when the client is offline.
    void sync();
    // The results of the last successful call, from read position 0.
    FF::utils::IBuffer* resultBuffer();

private:
    std::shared_ptr<__SyncProxy> m_impl; // shared with the client while registered
};

} // namespace RPC
} // namespace FF
