#pragma once

// Wire constants and time limits of the framework's transport, in one place.

#include <cstddef>
#include <cstdint>

namespace FF {
namespace Net {

// Frame header: one little-endian u64, the body length in bits 0-56 and the
// length mod 127 in bits 57-63.
constexpr unsigned kFrameCheckShift = 57;
constexpr std::uint64_t kFrameLengthMask = (std::uint64_t(1) << kFrameCheckShift) - 1;
constexpr std::uint64_t kFrameCheckModulus = 127;
constexpr std::uint64_t kFrameHeaderSize = 8;
// A sender never frames 2^31 bytes or more.
constexpr std::uint64_t kMaxSendFrame = std::uint64_t(1) << 31;
// A received header announcing a larger body is an illegal connection.
constexpr std::uint64_t kMaxReceiveBody = std::uint64_t(64) << 20;
// A body is received into a block that grows with the bytes that arrived,
// starting at this size (which holds every usual message at once), so a
// header alone never allocates more than this beyond the bytes that came.
constexpr std::uint64_t kReceiveChunk = std::uint64_t(64) << 10;
// Each connection reads into one block of this size that it keeps: one
// receive takes whatever has arrived, and every whole frame in it is cut out
// without another call. A frame that does not fit goes straight into its message.
constexpr std::size_t kReadAheadSize = std::size_t(64) << 10;

// The client's receive time-out, and the receive thread's longest wait:
// the step that paces both the idle count and the tick.
constexpr std::uint32_t kClientRecvTimeoutMs = 100;
constexpr std::uint64_t kIdleStepMs = 100;
// While callers read their own replies, and this long after the last one
// did, the receive thread does not wait on the socket (a reply would wake it
// for nothing): it looks at it once a step, unless a caller waits for its
// reply to be passed on.
constexpr std::uint64_t kAsideQuietMs = 1000;
// Receive calls the receive thread makes in one turn before it lets its
// callers and its tick in again.
constexpr int kReceivesPerTurn = 16;
constexpr std::uint32_t kConnectTimeoutMs = 5000;
constexpr std::uint64_t kDefaultTickIntervalMs = 1000;
// close() stops waiting for the peer's close after this much silence, and
// after this long in all, however the peer keeps talking.
constexpr std::uint64_t kCloseIdleLimitMs = 1000;
constexpr std::uint64_t kCloseWaitLimitMs = 1500;
// Once told to stop, the receive loop ends within a step and callers reading
// aside leave within one; close() waits this long for them, then leaves a
// handler that has not returned running.
constexpr std::uint64_t kCloseEndLimitMs = 2000;
// A send waiting for room looks this often whether its connection still runs.
constexpr std::uint32_t kSendWaitStepMs = 100;
// A receive thread never waits to start a frame (a ping or an answer that
// cannot leave at once is skipped), but one it has started may take this
// long to finish before the connection is given up as no longer framed.
constexpr std::uint64_t kReceiveThreadSendMs = 200;
// A send without a deadline of its own.
constexpr std::uint64_t kNoDeadline = ~std::uint64_t(0);
// The reachability probe's receive time-out: a connected, silent service.
// A refused or failed attempt is made again after the same pause until the
// probe's window has passed.
constexpr std::uint32_t kProbeRecvTimeoutMs = 10;
constexpr std::uint32_t kProbeRetryPauseMs = 10;

} // namespace Net
} // namespace FF
