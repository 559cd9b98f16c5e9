#include "brellfin/service/piecewriter.h"

#include <algorithm>
#include <cstring>

PieceWriter::PieceWriter(QFile& file, std::size_t capacity)
    : m_file(file)
    , m_buffer(capacity)
{
}

PieceWriter::~PieceWriter()
{
    flush();
}

bool PieceWriter::add(const void* bytes, std::size_t count)
{
    const char* from = static_cast<const char*>(bytes);
    while (count > 0 && !m_failed) {
        const std::size_t n = std::min(count, m_buffer.size() - m_held);
        std::memcpy(m_buffer.data() + m_held, from, n);
        m_held += n;
        from += n;
        count -= n;
        if (m_held == m_buffer.size())
            flush();
    }
    return !m_failed;
}

bool PieceWriter::flush()
{
    if (m_failed)
        return false;
    if (m_held == 0)
        return true;
    const qint64 written = m_file.write(m_buffer.data(), qint64(m_held));
    if (written != qint64(m_held)) {
        // Whatever part did go in stays; the rest is lost with the failure.
        m_stored += written > 0 ? std::uint64_t(written) : 0;
        m_held = 0;
        m_failed = true;
        return false;
    }
    m_stored += m_held;
    m_held = 0;
    return true;
}

void PieceWriter::discard()
{
    m_held = 0;
    m_stored = 0;
    m_failed = false;
}
