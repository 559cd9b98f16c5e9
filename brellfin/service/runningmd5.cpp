#include "brellfin/service/runningmd5.h"

#include <algorithm>
#include <limits>

void RunningMd5::reset()
{
    m_hash.reset();
    m_size = 0;
}

void RunningMd5::add(const void* bytes, std::size_t count)
{
    const char* from = static_cast<const char*>(bytes);
    m_size += count;
    // addData takes an int count.
    while (count > 0) {
        const std::size_t n = std::min<std::size_t>(count, std::numeric_limits<int>::max());
        m_hash.addData(from, int(n));
        from += n;
        count -= n;
    }
}

std::vector<FF::byte> RunningMd5::result() const
{
    const QByteArray digest = m_hash.result();
    return std::vector<FF::byte>(digest.begin(), digest.end());
}
