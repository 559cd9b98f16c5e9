#pragma once

// The frame layer as the service sees it: an 8-byte little-endian header
// (body length in bits 0..56, the length mod 127 in bits 57..63) and the body.
// FrameAssembler gathers whole bodies from a byte stream that arrives in
// pieces of any size; the pure functions encode and check single headers.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace Fake {

uint64_t encodeFrameHeader(uint64_t bodyLength);
// The body length, or nothing when the check bits disagree with the length.
std::optional<uint64_t> decodeFrameHeader(uint64_t header);
// Header and body, ready to send.
std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& body);
// A frame whose check bits are off by one: a conforming peer must drop it.
std::vector<uint8_t> encodeFrameWithBadCheck(const std::vector<uint8_t>& body);

class FrameAssembler {
public:
    enum class State { Header, Body, Broken };

    explicit FrameAssembler(uint64_t maxBody);

    // Takes the next bytes of the stream; false once the stream broke the frame
    // rules (bad check bits, a body over the limit, an empty body).
    bool feed(const uint8_t* bytes, size_t count);
    bool hasFrame() const { return !m_ready.empty(); }
    std::vector<uint8_t> takeFrame();
    State state() const { return m_state; }

private:
    void onHeaderComplete();

    uint64_t m_maxBody;
    State m_state = State::Header;
    uint8_t m_header[8] = {};
    size_t m_headerFill = 0;
    uint64_t m_bodyLength = 0;
    std::vector<uint8_t> m_body;
    std::deque<std::vector<uint8_t>> m_ready;
};

} // namespace Fake
