#pragma once

// Wire constants and limits of the fake panel service, in one place.

#include <cstddef>
#include <cstdint>

namespace Fake {

// Message type words, the first u32 of every frame body.
constexpr uint32_t kMsgCall = 0xAAAAAAA0; // call to the service, reply from it
constexpr uint32_t kMsgPing = 0xAAAAAAA1;
constexpr uint32_t kMsgPong = 0xAAAAAAA2;
constexpr uint32_t kMsgInit = 0xAAAAAAA3;   // request: nothing; reply: client key
constexpr uint32_t kMsgReinit = 0xAAAAAAA4; // request: 8-byte address; reply: client key

// Reply status words.
constexpr uint32_t kStatusSucceed = 0;
constexpr uint32_t kStatusArgsLess = 1;
constexpr uint32_t kStatusInvokingFailed = 2;
constexpr uint32_t kStatusNoRegisteredFunction = 3;
constexpr uint32_t kStatusRecvDataError = 4;

// Frame header: bits 0..56 body length, bits 57..63 the length mod 127.
constexpr int kFrameHeaderSize = 8;
constexpr int kFrameCheckShift = 57;
constexpr uint64_t kFrameLengthMask = (uint64_t(1) << kFrameCheckShift) - 1;
constexpr uint64_t kFrameCheckModulus = 127;
// The service refuses larger bodies and drops the connection, as the client does.
constexpr uint64_t kMaxFrameBody = 64ull * 1024 * 1024;

// Type names the panels send and expect.
constexpr const char* kTypeUInt = "unsigned int";
constexpr const char* kTypeInt = "int";
constexpr const char* kTypeBool = "bool";
constexpr const char* kTypeLongLong = "long long";
constexpr const char* kTypeULongLong = "unsigned long long";
constexpr const char* kTypeString = "FF::utils::String";
constexpr const char* kTypeHandle = "FF::Handle";
constexpr const char* kTypeBytes = "std::vector<FF::byte>";
constexpr const char* kTypeStringVector = "std::vector<FF::String>";
constexpr const char* kTypeStdStringVector = "std::vector<std::string>";
constexpr const char* kTypeStringIntPairs = "std::vector<std::pair<std::string, int>>";
constexpr const char* kTypeStringPair = "std::pair<FF::String, FF::String>";

// Poll step of the service's threads: the longest a stop waits for a thread to notice.
constexpr int kPollStepMs = 50;

} // namespace Fake
