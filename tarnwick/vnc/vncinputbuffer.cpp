#include "tarnwick/vnc/vncinputbuffer.h"

#include <algorithm>
#include <cstring>

namespace VNC {

VncInputBuffer::VncInputBuffer(Source source, qint64 readAhead)
    : m_source(std::move(source))
    , m_readAhead(std::max<qint64>(readAhead, 0))
{
}

void VncInputBuffer::setSource(Source source)
{
    m_source = std::move(source);
    m_begin = 0;
    m_end = 0;
    m_consumedTotal = 0;
}

qint64 VncInputBuffer::available()
{
    fill(0);
    return held();
}

bool VncInputBuffer::ensure(qint64 count)
{
    if (held() >= count)
        return true;
    return fill(count - held()) && held() >= count;
}

void VncInputBuffer::consume(qint64 count)
{
    count = std::clamp<qint64>(count, 0, held());
    m_begin += count;
    m_consumedTotal += quint64(count);
    if (m_begin == m_end)
        m_begin = m_end = 0;
}

bool VncInputBuffer::read(qint64 count, QByteArray& out)
{
    if (count < 1 || !ensure(count)) {
        out.clear();
        return false;
    }
    out.resize(int(count));
    std::memcpy(out.data(), data(), size_t(count));
    consume(count);
    return true;
}

bool VncInputBuffer::fill(qint64 min)
{
    if (!m_source)
        return min <= 0;
    if (m_storage.empty())
        m_storage.resize(size_t(std::max(m_readAhead, min)));
    // The held bytes go to the front when what is needed does not fit after
    // them, or when more than half of the storage before them is used up;
    // the storage grows only for what is needed, never for reading ahead.
    const qint64 size = qint64(m_storage.size());
    if (m_begin > 0 && (size - m_end < min || m_begin >= size / 2)) {
        std::memmove(m_storage.data(), m_storage.data() + m_begin, size_t(held()));
        m_end -= m_begin;
        m_begin = 0;
    }
    if (qint64(m_storage.size()) - m_end < min)
        m_storage.resize(size_t(m_end + std::max(min, m_readAhead)));
    const qint64 space = qint64(m_storage.size()) - m_end;
    if (space == 0)
        return min <= 0;
    const qint64 got = m_source(reinterpret_cast<char*>(m_storage.data() + m_end), min, space);
    if (got < 0)
        return false;
    m_end += std::min(got, space);
    return got >= min;
}

} // namespace VNC
