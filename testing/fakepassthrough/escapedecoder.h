#pragma once

// Undoes the state insertion of the virtual port driver's own end, as the
// panel does: the escape byte 0x61 followed by 0x00 is one 0x61 of data;
// followed by a record code it starts a state record, which is kept apart
// from the data. Records may be split across reads.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Fake {

struct StateRecord {
    uint8_t code = 0;             // 0x10 RBR, 0x11 RLC, 0x01..0x03 line and modem state
    std::vector<uint8_t> payload; // RBR: baud rate LE32; RLC: data bits, parity, stop bits
};

class EscapeDecoder {
public:
    static constexpr uint8_t kEscape = 0x61;
    static constexpr uint8_t kEscapedEscape = 0x00;
    static constexpr uint8_t kLsrData = 0x01;
    static constexpr uint8_t kLsr = 0x02;
    static constexpr uint8_t kMst = 0x03;
    static constexpr uint8_t kRbr = 0x10;
    static constexpr uint8_t kRlc = 0x11;

    // Data bytes of this chunk; completed records go to records().
    std::vector<uint8_t> feed(const uint8_t* bytes, size_t count);
    const std::vector<StateRecord>& records() const { return m_records; }

    // Payload length after the code byte; -1 for an unknown code.
    static int payloadLength(uint8_t code);

private:
    enum class State { Data, Code, Payload };
    State m_state = State::Data;
    StateRecord m_current;
    int m_need = 0;
    std::vector<StateRecord> m_records;
};

} // namespace Fake
