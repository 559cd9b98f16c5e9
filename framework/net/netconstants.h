// Wire constants and time limits of the framework's transport, in one place.
#pragma once

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

// The client's receive time-out paces both the idle count and the tick.
constexpr std::uint32_t kClientRecvTimeoutMs = 100;
constexpr std::uint64_t kIdleStepMs = 100;
constexpr std::uint32_t kConnectTimeoutMs = 5000;
constexpr std::uint64_t kDefaultTickIntervalMs = 1000;
// close() stops waiting for the peer's close after this much silence.
constexpr std::uint64_t kCloseIdleLimitMs = 1000;
// The reachability probe's receive time-out: a connected, silent service.
constexpr std::uint32_t kProbeRecvTimeoutMs = 10;

} // namespace Net
} // namespace FF
