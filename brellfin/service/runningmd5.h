#pragma once

// The MD5 of a byte stream fed in order, with the count of bytes fed: a
// transfer hashes each piece as it passes instead of reading the file again
// for its digest. The pieces are gathered into blocks, which a worker thread
// of idle priority hashes when a processor would otherwise stand still, so
// that it never takes time from the transfer's own threads; whatever the
// worker has not hashed when the digest is asked for, or when it falls
// behind, the feeder hashes itself, from the last state the worker handed
// in. The feeder never waits for the worker (it only tries for the lock the
// worker shares, but for the digest and a reset while the worker holds the
// stream): a busy machine hashes on the feeder, a quiet one beside it. One
// object serves any number of streams, one after another.

#include "brellfin/service/md5state.h"
#include "framework/utils/fftypes.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QThread;

class RunningMd5 {
public:
    RunningMd5();
    // Stops the worker, letting it end the block in its hands.
    ~RunningMd5();
    RunningMd5(const RunningMd5&) = delete;
    RunningMd5& operator=(const RunningMd5&) = delete;

    // A new stream: whatever was fed before is forgotten.
    void reset();
    void add(const void* bytes, std::size_t count);
    // The same, hashed on the calling thread at once together with whatever
    // it has not hashed yet: for a feeder with time to spare, such as a
    // transfer thread waiting for its panel's answer.
    void addNow(const void* bytes, std::size_t count);
    // Bytes fed since the last reset.
    std::uint64_t size() const { return m_size; }
    // The 16-byte digest of the stream fed so far.
    std::vector<FF::byte> result();

private:
    // Shared with the worker while it hashes one.
    using Block = std::shared_ptr<std::vector<char>>;

    // Passes the filled block on towards the worker and takes an empty one.
    void handOver();
    // Takes the stream back from the worker (waiting for the lock only when
    // wait is set) and hashes every block not yet hashed; false when the
    // lock was taken. A block in the worker's hands is hashed again here and
    // the worker's result dropped.
    bool catchUp(bool wait);
    // Keeps block for reuse unless the worker still reads it.
    void recycle(Block& block, std::vector<Block>& spare);
    void work();

    // The feeder's alone.
    Block m_fill;
    std::size_t m_filled = 0;
    std::uint64_t m_size = 0;
    // Filled blocks not yet queued (the lock was taken when they were).
    std::deque<Block> m_pending;
    // Set while the feeder holds the stream: the state before m_pending,
    // with nothing queued for the worker.
    std::optional<Md5State> m_own;
    std::vector<Block> m_ownSpare;

    std::mutex m_mutex;
    std::condition_variable m_queued;
    // Unless the feeder holds the stream: the state before the first queued block.
    Md5State m_state;
    std::deque<Block> m_queue;
    std::vector<Block> m_spare;
    // Counts the feeder's take-overs: a worker's block begun before one is dropped.
    std::uint64_t m_epoch = 0;
    // The block the worker reads, set under the lock when it takes one and
    // cleared (outside it) once it has read it; the feeder, which takes
    // blocks back without waiting for the worker, reuses no other. Its
    // shared reference keeps a block alive, but would tell its end only by
    // a count read without ordering.
    std::atomic<const std::vector<char>*> m_inHands{nullptr};
    bool m_stop = false;
    std::unique_ptr<QThread> m_worker;
};
