#include "testing/fakepassthrough/escapedecoder.h"

namespace Fake {

int EscapeDecoder::payloadLength(uint8_t code)
{
    switch (code) {
    case kLsrData: return 2;
    case kLsr:
    case kMst: return 1;
    case kRbr: return 4;
    case kRlc: return 3;
    default: return -1;
    }
}

std::vector<uint8_t> EscapeDecoder::feed(const uint8_t* bytes, size_t count)
{
    std::vector<uint8_t> data;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        switch (m_state) {
        case State::Data:
            if (byte == kEscape)
                m_state = State::Code;
            else
                data.push_back(byte);
            break;
        case State::Code: {
            if (byte == kEscapedEscape) {
                data.push_back(kEscape);
                m_state = State::Data;
                break;
            }
            const int need = payloadLength(byte);
            if (need < 0) {
                // Not a sequence the driver makes: hand both bytes on as data.
                data.push_back(kEscape);
                data.push_back(byte);
                m_state = State::Data;
                break;
            }
            m_current = StateRecord{byte, {}};
            m_need = need;
            m_state = State::Payload;
            break;
        }
        case State::Payload:
            m_current.payload.push_back(byte);
            if (--m_need == 0) {
                m_records.push_back(m_current);
                m_state = State::Data;
            }
            break;
        }
    }
    return data;
}

} // namespace Fake
