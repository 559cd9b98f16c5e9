#pragma once

// How much of the heap this process holds, so that a test can show that
// what many ended objects held was given back rather than kept. The count is
// the allocator's own of the bytes handed out and not yet freed, not the
// resident memory: glibc keeps what was freed in per-thread arenas, which a
// round of many threads spreads over up to eight arenas a processor and
// returns to the system on a schedule of its own, so the resident memory of
// a later round says as much of the arenas as of the program. Under a
// sanitizer the sanitizer's allocator counts (AddressSanitizer counts a
// block freed as it enters its quarantine); without one, glibc's mallinfo2.
// Beside it, the count of the process's threads, the record of a round of
// many objects given up on threads that still run, and the judgement of such
// rounds.

#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace TestMemory {

// What a round may keep of each object before it counts as a leak: well
// above what glibc's arena bookkeeping adds when a later round's threads
// meet an arena that the first round did not make (a few hundred bytes an
// object at most), and below the few KiB that a leaked buffer, connection or
// thread record would hold.
constexpr long kKeptBytesPerObject = 1024;

// The heap in use in KiB.
inline long heapInUseKiB()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
#endif
}

// The threads of this process; 0 without /proc.
inline int threadCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

// Whether the second of two like rounds of `count` objects left the heap
// where the first did: the first round brings the process to what any such
// round needs once (thread bookkeeping, Qt's and the C++ library's own
// structures); what a later round keeps beyond the allowance is a leak.
inline bool staysFlat(long firstAfterKiB, long secondAfterKiB, std::size_t count)
{
    return (secondAfterKiB - firstAfterKiB) * 1024 < kKeptBytesPerObject * static_cast<long>(count);
}

// How many times text stands in lines.
inline int occurrences(const std::string& lines, const std::string& text)
{
    int found = 0;
    for (std::size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1))
        ++found;
    return found;
}

// What one round of many objects given up on threads that still run left:
// the count of kept objects (the test takes it from the keeper) and the heap
// in use before the round, at its peak (every object given up, every thread
// still held) and once every thread of the round has ended (a thread that
// still ends, its objects given back, frees what it holds a moment later).
struct GivenUpRound {
    static constexpr int kThreadsEndLimitMs = 20000;

    std::size_t keptBefore = 0;
    std::size_t keptAtPeak = 0;
    std::size_t keptAfter = 0;
    long heapBefore = 0;
    long heapAtPeak = 0;
    long heapAfter = 0;
    bool held = false;  // every thread was where the round holds it
    int loggedLeft = 0; // log lines that named what was left running
    bool freed = false; // the count came back
    int threadsBefore = 0;
    bool threadsEnded = false; // every thread the round started has ended
    // A planted leak: blocks the round holds as if each object had kept
    // them, to show that the judgement sees a leak of that size.
    std::vector<std::unique_ptr<char[]>> planted;

    // Before the round: what is kept, the threads and the heap in use.
    void atStart(std::size_t kept)
    {
        keptBefore = kept;
        // A sanitizer starts a thread of its own with the process's first
        // thread: one started and joined first makes it count as before.
        std::thread([] {}).join();
        threadsBefore = threadCount();
        heapBefore = heapInUseKiB();
    }
    // Every object given up: what is kept and the heap in use now, and how many
    // lines of log named what was left running.
    void atPeak(std::size_t kept, const std::string& log, const std::string& leftText)
    {
        keptAtPeak = kept;
        heapAtPeak = heapInUseKiB();
        loggedLeft = occurrences(log, leftText);
    }
    // Once the count came back: the round's threads end by themselves (none
    // waits for the calling thread's events), within kThreadsEndLimitMs.
    void atEnd(std::size_t kept)
    {
        keptAfter = kept;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kThreadsEndLimitMs);
        while (!(threadsEnded = threadCount() <= threadsBefore) && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        heapAfter = heapInUseKiB();
    }
    // One object's share of the planted leak, `bytes` long (none when 0).
    void plant(std::size_t bytes)
    {
        if (bytes == 0)
            return;
        planted.push_back(std::make_unique<char[]>(bytes));
        std::memset(planted.back().get(), 1, bytes);
    }
    void print(const char* name) const
    {
        std::printf("%s: kept before %zu, at peak %zu, after %zu; heap before %ld KiB, at peak %ld KiB, after %ld "
                    "KiB\n",
                    name, keptBefore, keptAtPeak, keptAfter, heapBefore, heapAtPeak, heapAfter);
    }
};

// A round of a planted leak of this many bytes an object: a few KiB, which
// the judgement must see.
constexpr std::size_t kPlantedBytesPerObject = 4096;

// Three like rounds of `count` objects each, the last with a planted leak:
// each round held them all and kept each one, said what it left running (at
// least `loggedLeft` lines), and got every one back once its thread had
// ended; the second left the heap where the first did, and the judgement
// sees the third's planted leak.
inline void expectFreedAndFlat(const GivenUpRound& first, const GivenUpRound& second, const GivenUpRound& planted,
                               std::size_t count, int loggedLeft = 1)
{
    for (const GivenUpRound* round : {&first, &second, &planted}) {
        EXPECT_TRUE(round->held);
        EXPECT_EQ(round->keptAtPeak, round->keptBefore + count);
        EXPECT_GE(round->loggedLeft, loggedLeft);
        EXPECT_TRUE(round->freed);
        EXPECT_TRUE(round->threadsEnded) << threadCount() << " threads, " << round->threadsBefore << " before";
        EXPECT_EQ(round->keptAfter, round->keptBefore);
    }
    EXPECT_TRUE(staysFlat(first.heapAfter, second.heapAfter, count))
        << "the second round kept " << second.heapAfter - first.heapAfter << " KiB of " << count << " objects";
    EXPECT_EQ(planted.planted.size(), count);
    EXPECT_FALSE(staysFlat(second.heapAfter, planted.heapAfter, count))
        << "a leak of " << kPlantedBytesPerObject << " bytes an object went unseen: the planted round kept "
        << planted.heapAfter - second.heapAfter << " KiB";
}

// Ends every object at once, each on a thread of its own (each end may wait
// out its own limits), and lets it go there.
template <class Object, class End>
void endEachAtOnce(std::vector<std::unique_ptr<Object>>& objects, End end)
{
    std::vector<std::thread> enders;
    for (auto& object : objects)
        enders.emplace_back([&object, &end] {
            end(*object);
            object.reset();
        });
    for (auto& ender : enders)
        ender.join();
}

} // namespace TestMemory
