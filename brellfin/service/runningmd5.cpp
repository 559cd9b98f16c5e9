#include "brellfin/service/runningmd5.h"

#include "brellfin/service/serviceconstants.h"

#include <algorithm>
#include <cstring>

using BrellfinService::kDigestBlockSize;
using BrellfinService::kDigestBlocksInFlight;

RunningMd5::RunningMd5() : m_fill(kDigestBlockSize) {}

RunningMd5::~RunningMd5()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void RunningMd5::reset()
{
    waitIdle();
    m_hash.reset();
    m_filled = 0;
    m_size = 0;
}

void RunningMd5::add(const void* bytes, std::size_t count)
{
    const char* from = static_cast<const char*>(bytes);
    m_size += count;
    while (count > 0) {
        const std::size_t n = std::min(count, m_fill.size() - m_filled);
        std::memcpy(m_fill.data() + m_filled, from, n);
        m_filled += n;
        from += n;
        count -= n;
        if (m_filled == m_fill.size())
            handOver();
    }
}

std::vector<FF::byte> RunningMd5::result()
{
    waitIdle();
    // The worker is idle: the rest of the stream is hashed here.
    if (m_filled > 0) {
        m_hash.addData(m_fill.data(), int(m_filled));
        m_filled = 0;
    }
    const QByteArray digest = m_hash.result();
    return std::vector<FF::byte>(digest.begin(), digest.end());
}

void RunningMd5::handOver()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_worker.joinable())
        m_worker = std::thread([this] { work(); });
    // Memory stays bounded when the worker falls behind.
    m_changed.wait(lock, [&] { return m_queue.size() < kDigestBlocksInFlight; });
    m_queue.push_back(std::move(m_fill));
    if (m_spare.empty()) {
        m_fill = Block(kDigestBlockSize);
    } else {
        m_fill = std::move(m_spare.back());
        m_spare.pop_back();
    }
    m_filled = 0;
    lock.unlock();
    m_changed.notify_all();
}

void RunningMd5::waitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_queue.empty() && !m_busy; });
}

void RunningMd5::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Block block = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        m_changed.notify_all();
        m_hash.addData(block.data(), int(block.size()));
        lock.lock();
        m_busy = false;
        m_spare.push_back(std::move(block));
        m_changed.notify_all();
    }
}
