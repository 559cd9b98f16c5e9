// The MD5 of a byte stream fed in order, hashed in blocks on a worker thread
// of its own, so that the feeder (a transfer waiting for the panel's answer
// to each piece) goes on meanwhile. One object serves any number of
// streams, one after another; the worker starts with the first full block.
#pragma once

#include "framework/utils/fftypes.h"

#include <QCryptographicHash>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class RunningMd5 {
public:
    RunningMd5();
    ~RunningMd5();
    RunningMd5(const RunningMd5&) = delete;
    RunningMd5& operator=(const RunningMd5&) = delete;

    // A new stream: whatever was fed before is forgotten.
    void reset();
    void add(const void* bytes, std::size_t count);
    // Bytes fed since the last reset.
    std::uint64_t size() const { return m_size; }
    // The 16-byte digest of the stream fed so far; waits for the worker.
    std::vector<FF::byte> result();

private:
    using Block = std::vector<char>;

    // Hands the filled block to the worker and takes an empty one.
    void handOver();
    // Returns when the worker has hashed every block handed over.
    void waitIdle();
    void work();

    // Touched by the feeder only.
    Block m_fill;
    std::size_t m_filled = 0;
    std::uint64_t m_size = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block> m_queue;
    std::vector<Block> m_spare;
    bool m_busy = false;
    bool m_stop = false;
    // Hashed by the worker while blocks are queued or in its hands, by the
    // feeder only when the worker is idle.
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    std::thread m_worker;
};
