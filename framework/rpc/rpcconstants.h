#pragma once

// Message type words, result codes and time limits of the RPC layer.

#include <cstdint>

namespace FF {
namespace RPC {

// The first u32 of every message body.
constexpr std::uint32_t kMessageCall = 0xAAAAAAA0; // call out, reply in
constexpr std::uint32_t kMessagePing = 0xAAAAAAA1;
constexpr std::uint32_t kMessagePong = 0xAAAAAAA2;
constexpr std::uint32_t kMessageInit = 0xAAAAAAA3;   // request out, client key in
constexpr std::uint32_t kMessageReInit = 0xAAAAAAA4; // old local address out, client key in

// Dispatch client states.
enum DispatchState : int {
    StateInitializing = 0,
    StateOnline = 1,
    StateOffline = 2,
    StateReconnecting = 3,
};

// Result codes of a call (the status word of a reply).
enum CallStatus : int {
    StatusSucceed = 0,
    StatusArgsLess = 1,
    StatusInvokingFailed = 2,
    StatusNoRegisteredFunction = 3,
    StatusRecvDataError = 4,
    StatusConnectionInterrupted = 5,
    StatusConnectionTimeOut = 6,
    StatusWaiting = 7,
    // A reply carrying the waiting value itself ends the call as "Unknown".
    StatusUnknown = -1,
};

// The what-text of a call that ended with status.
const char* statusName(int status);

constexpr std::uint64_t kPingIntervalMs = 2000;
constexpr std::uint64_t kPingGiveUpFactor = 3;
constexpr std::uint64_t kReconnectDelayMs = 1000;
constexpr int kDefaultRetryMax = 3;
constexpr std::uint64_t kDispatchTickMs = 200;
// The constructor waits this long for the service's init reply.
constexpr std::uint64_t kInitWaitMs = 6000;
// After closing its connections, stop() waits this long at most for a
// reconnection attempt that runs on a thread it no longer holds, and for
// the handlers it told of the end (each on a thread of the client's own).
constexpr std::uint64_t kStopLoopLimitMs = 1000;

constexpr std::uint64_t kDefaultCallTimeOutMs = 100000;
constexpr std::uint64_t kMinCallTimeOutMs = 100;
// A waiting caller wakes this often to resend after a reconnection.
constexpr int kCallWaitStepMs = 100;
// A caller looks for its reply this long before it parks on its semaphore.
constexpr int kCallSpinUs = 50;

} // namespace RPC
} // namespace FF
