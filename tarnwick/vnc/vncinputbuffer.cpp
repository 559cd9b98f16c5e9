#include "tarnwick/vnc/vncinputbuffer.h"

#include <algorithm>
#include <cstring>

namespace VNC {

VncInputBuffer::VncInputBuffer(Source source, qint64 readAhead, int silenceLimitMs)
    : m_source(std::move(source))
    , m_readAhead(std::max<qint64>(readAhead, 0))
    , m_silenceLimitMs(std::max(silenceLimitMs, 0))
{
    m_silence.start();
}

void VncInputBuffer::setSource(Source source)
{
    m_source = std::move(source);
    m_begin = 0;
    m_end = 0;
    m_wanted = 0;
    m_consumedTotal = 0;
    m_ended = false;
    m_silence.start();
}

qint64 VncInputBuffer::available()
{
    pull(0);
    return held();
}

bool VncInputBuffer::ensure(qint64 count)
{
    if (held() < count)
        pull(count - held());
    if (held() >= count) {
        m_wanted = 0;
        return true;
    }
    // The server is given the whole limit from here: the time the reader
    // spent elsewhere since the last byte (a password dialog, a slow write)
    // is no silence of the server's.
    if (m_wanted == 0)
        m_silence.restart();
    m_wanted = count;
    return false;
}

bool VncInputBuffer::failed() const
{
    return m_ended || !m_source || silenceLeftMs() == 0;
}

qint64 VncInputBuffer::silenceLeftMs() const
{
    if (m_silenceLimitMs <= 0)
        return -1;
    return std::max<qint64>(m_silenceLimitMs - m_silence.elapsed(), 0);
}

void VncInputBuffer::consume(qint64 count)
{
    count = std::clamp<qint64>(count, 0, held());
    m_begin += count;
    m_consumedTotal += quint64(count);
    m_wanted = 0;
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

void VncInputBuffer::pull(qint64 needed)
{
    if (!m_source || m_ended)
        return;
    if (m_storage.empty())
        m_storage.resize(size_t(std::max(m_readAhead, needed)));
    // The held bytes go to the front when what is needed does not fit after
    // them, or when more than half of the storage before them is used up;
    // the storage grows only for what is needed, never for reading ahead.
    const qint64 size = qint64(m_storage.size());
    if (m_begin > 0 && (size - m_end < needed || m_begin >= size / 2)) {
        std::memmove(m_storage.data(), m_storage.data() + m_begin, size_t(held()));
        m_end -= m_begin;
        m_begin = 0;
    }
    if (qint64(m_storage.size()) - m_end < needed)
        m_storage.resize(size_t(m_end + std::max(needed, m_readAhead)));
    const qint64 space = qint64(m_storage.size()) - m_end;
    if (space == 0)
        return;
    const qint64 got = m_source(reinterpret_cast<char*>(m_storage.data() + m_end), space);
    if (got < 0) {
        m_ended = true;
        return;
    }
    if (got > 0) {
        m_end += std::min(got, space);
        m_silence.restart();
    }
}

} // namespace VNC
