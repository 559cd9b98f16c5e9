#include "testing/fakepanel/framecodec.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/wirewriter.h"

#include <algorithm>
#include <cstring>

namespace Fake {

uint64_t encodeFrameHeader(uint64_t bodyLength)
{
    const uint64_t length = bodyLength & kFrameLengthMask;
    return length | ((length % kFrameCheckModulus) << kFrameCheckShift);
}

std::optional<uint64_t> decodeFrameHeader(uint64_t header)
{
    const uint64_t length = header & kFrameLengthMask;
    if ((header >> kFrameCheckShift) != length % kFrameCheckModulus)
        return std::nullopt;
    return length;
}

std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& body)
{
    WireWriter out;
    out.u64(encodeFrameHeader(body.size())).raw(body);
    return out.take();
}

std::vector<uint8_t> encodeFrameWithBadCheck(const std::vector<uint8_t>& body)
{
    const uint64_t length = body.size();
    const uint64_t wrongCheck = (length % kFrameCheckModulus + 1) % kFrameCheckModulus;
    WireWriter out;
    out.u64(length | (wrongCheck << kFrameCheckShift)).raw(body);
    return out.take();
}

FrameAssembler::FrameAssembler(uint64_t maxBody)
    : m_maxBody(maxBody)
{
}

bool FrameAssembler::feed(const uint8_t* bytes, size_t count)
{
    while (count > 0 && m_state != State::Broken) {
        if (m_state == State::Header) {
            const size_t n = std::min(count, sizeof(m_header) - m_headerFill);
            std::memcpy(m_header + m_headerFill, bytes, n);
            m_headerFill += n;
            bytes += n;
            count -= n;
            if (m_headerFill == sizeof(m_header))
                onHeaderComplete();
        } else {
            // The body grows with the bytes that arrived, never ahead of them.
            const size_t n = std::min<uint64_t>(count, m_bodyLength - m_body.size());
            m_body.insert(m_body.end(), bytes, bytes + n);
            bytes += n;
            count -= n;
            if (m_body.size() == m_bodyLength) {
                m_ready.push_back(std::move(m_body));
                m_body = {};
                m_state = State::Header;
            }
        }
    }
    return m_state != State::Broken;
}

void FrameAssembler::onHeaderComplete()
{
    uint64_t header = 0;
    for (int i = 7; i >= 0; --i)
        header = (header << 8) | m_header[i];
    m_headerFill = 0;
    const std::optional<uint64_t> length = decodeFrameHeader(header);
    if (!length || *length == 0 || *length > m_maxBody) {
        m_state = State::Broken;
        return;
    }
    m_bodyLength = *length;
    m_body.clear();
    m_state = State::Body;
}

std::vector<uint8_t> FrameAssembler::takeFrame()
{
    std::vector<uint8_t> frame = std::move(m_ready.front());
    m_ready.pop_front();
    return frame;
}

} // namespace Fake
