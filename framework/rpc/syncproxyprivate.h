#pragma once

// The call proxy's hand-over between the calling thread and the dispatch
// client's receive threads: atomics and one semaphore. The dispatch client
// shares the proxy (registered by SyncProxy), so that a call of it that runs
// on another thread keeps it alive when its caller has let it go. While it waits, the
// calling thread reads its reply off the connection itself when it can, so
// that a reply that comes soon needs no other thread woken.

#include "framework/net/netbuffer.h"
#include "framework/rpc/idispatchhandler.h"
#include "framework/utils/countingsemaphore.h"
#include "framework/utils/ffstring.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

namespace FF {
namespace RPC {

class DispatchClient;

class __SyncProxy : public IDispatchHandler {
public:
    // Not registered yet: SyncProxy registers the shared proxy.
    explicit __SyncProxy(DispatchClient* client);
    ~__SyncProxy() override;

    void onReply(FF::utils::IBuffer* message, std::uint32_t callNumber) override;
    void onReplyFailed(std::uint32_t callNumber) override;
    void onDisconnected() override;
    void onTimerCheck() override;
    void onWake() override;
    std::uint32_t handlerId() const override { return m_handlerId; }
    DispatchClient* client() const { return m_client; }

    FF::utils::IBuffer* argsBuffer(const FF::utils::String& methodName);
    void setTimeOut(unsigned int ms);
    void setWaitWork(std::function<void()> work) { m_waitWork = std::move(work); }
    std::uint64_t timeOut() const { return m_timeOut; }
    void sync();
    FF::utils::IBuffer* resultBuffer() { return &m_reply; }

private:
    static constexpr std::uint64_t kNotPending = ~std::uint64_t(0);

    // The one who takes the armed flag ends the call; the others leave it.
    bool disarm();
    void finish(int status);
    // Reads the status word and takes the results; the status the call ends with.
    int takeReply(FF::utils::IBuffer* message);
    // Ends the pending call as "ConnectionTimeOut" unless something else did.
    void timeOutNow();
    // Looks at the connection for the reply for a few tens of microseconds.
    void spinWhileWaiting();
    // One wait of at most stepMs: on the connection for the reply, or on the
    // semaphore while another thread reads for this call or none can.
    void waitStep(std::uint32_t stepMs);

    const std::uint32_t m_handlerId;
    std::atomic<std::uint64_t> m_startTick{kNotPending};
    std::atomic<std::uint64_t> m_timeOut;
    std::atomic<int> m_callNumber{0};
    std::atomic<int> m_sendTokens{0};
    std::atomic<int> m_armed{0};
    std::atomic<int> m_status{0};
    DispatchClient* const m_client;
    FF::Net::NetBuffer m_request;
    FF::Net::NetBuffer m_reply;
    FF::utils::CountingSemaphore m_semaphore;
    std::function<void()> m_waitWork; // the caller's alone
};

} // namespace RPC
} // namespace FF
