#include "brellfin/service/runningmd5.h"

#include "brellfin/service/serviceconstants.h"

#include <QThread>

#include <algorithm>
#include <cstring>

using BrellfinService::kDigestBlocksBehind;
using BrellfinService::kDigestBlockSize;

RunningMd5::RunningMd5()
    : m_own(Md5State())
{
}

RunningMd5::~RunningMd5()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_queued.notify_all();
    if (m_worker)
        m_worker->wait();
}

void RunningMd5::reset()
{
    if (!m_own) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_epoch;
        for (Block& block : m_queue)
            recycle(block, m_spare);
        m_queue.clear();
    }
    for (Block& block : m_pending)
        recycle(block, m_ownSpare);
    m_pending.clear();
    m_own = Md5State();
    m_filled = 0;
    m_size = 0;
}

void RunningMd5::add(const void* bytes, std::size_t count)
{
    const char* from = static_cast<const char*>(bytes);
    m_size += count;
    while (count > 0) {
        if (!m_fill) {
            if (m_ownSpare.empty()) {
                m_fill = std::make_shared<std::vector<char>>(kDigestBlockSize);
            } else {
                m_fill = std::move(m_ownSpare.back());
                m_ownSpare.pop_back();
            }
            m_filled = 0;
        }
        const std::size_t n = std::min(count, m_fill->size() - m_filled);
        std::memcpy(m_fill->data() + m_filled, from, n);
        m_filled += n;
        from += n;
        count -= n;
        if (m_filled == m_fill->size())
            handOver();
    }
}

void RunningMd5::addNow(const void* bytes, std::size_t count)
{
    catchUp(true);
    if (m_fill && m_filled > 0) {
        m_own->add(m_fill->data(), m_filled);
        m_filled = 0;
    }
    m_own->add(bytes, count);
    m_size += count;
}

std::vector<FF::byte> RunningMd5::result()
{
    catchUp(true);
    Md5State state = *m_own;
    if (m_fill)
        state.add(m_fill->data(), m_filled);
    const auto digest = state.result();
    return std::vector<FF::byte>(digest.begin(), digest.end());
}

void RunningMd5::handOver()
{
    m_pending.push_back(std::move(m_fill));
    m_fill.reset();
    // Blocking only when the worker seems stuck with the lock for long.
    std::unique_lock<std::mutex> lock(m_mutex, std::defer_lock);
    if (m_pending.size() > 4 * kDigestBlocksBehind)
        lock.lock();
    else if (!lock.try_lock()) {
        if (m_own && m_pending.size() > kDigestBlocksBehind)
            catchUp(false);
        return;
    }
    if (m_own) {
        // Nothing is queued while the feeder holds the stream.
        m_state = *m_own;
        m_own.reset();
    }
    for (Block& block : m_pending)
        m_queue.push_back(std::move(block));
    m_pending.clear();
    const bool behind = m_queue.size() > kDigestBlocksBehind;
    while (!m_spare.empty() && m_ownSpare.size() < kDigestBlocksBehind) {
        m_ownSpare.push_back(std::move(m_spare.back()));
        m_spare.pop_back();
    }
    if (!m_worker) {
        m_worker.reset(QThread::create([this] { work(); }));
        m_worker->start(QThread::IdlePriority);
    }
    lock.unlock();
    m_queued.notify_one();
    // No idle processor took the blocks: the feeder hashes them now rather
    // than let them pile up.
    if (behind)
        catchUp(false);
}

bool RunningMd5::catchUp(bool wait)
{
    if (!m_own) {
        std::unique_lock<std::mutex> lock(m_mutex, std::defer_lock);
        if (wait)
            lock.lock();
        else if (!lock.try_lock())
            return false;
        ++m_epoch;
        m_own = m_state;
        // In stream order: the queued blocks, then those still pending.
        for (auto block = m_queue.rbegin(); block != m_queue.rend(); ++block)
            m_pending.push_front(std::move(*block));
        m_queue.clear();
    }
    for (Block& block : m_pending) {
        m_own->add(block->data(), block->size());
        recycle(block, m_ownSpare);
    }
    m_pending.clear();
    return true;
}

void RunningMd5::recycle(Block& block, std::vector<Block>& spare)
{
    // The worker's release of the block it read orders its reads before
    // the block's reuse; one still in its hands is left to it.
    if (m_inHands.load(std::memory_order_acquire) != block.get() && spare.size() < kDigestBlocksBehind)
        spare.push_back(std::move(block));
    block.reset();
}

void RunningMd5::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [&] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        Block block = m_queue.front();
        m_inHands.store(block.get(), std::memory_order_relaxed);
        Md5State state = m_state;
        const std::uint64_t epoch = m_epoch;
        lock.unlock();
        state.add(block->data(), block->size());
        m_inHands.store(nullptr, std::memory_order_release);
        lock.lock();
        block.reset();
        // Handed in only when the feeder did not take the stream back meanwhile.
        if (epoch == m_epoch) {
            m_state = state;
            recycle(m_queue.front(), m_spare);
            m_queue.pop_front();
        }
    }
}
