#pragma once

// How much of this process's memory is resident, as the kernel counts it
// (VmRSS), so that a test can show that what many ended objects held was
// given back rather than kept. AddressSanitizer holds freed memory back (its
// quarantine, up to 256 MiB) before it reuses or returns it: under it, the
// quarantine is drained and the freed memory returned first, through the
// sanitizer's own interface, so that the count shows what is still in use.
// Beside it, the record of a round of many objects given up on threads that
// still run, and the judgement of two such rounds.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __sanitizer_purge_allocator();
#endif

namespace TestMemory {

// VmRSS of /proc/self/status in KiB; 0 without /proc.
inline long residentKiB()
{
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_purge_allocator();
#endif
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    long kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kib = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

// Whether the second of two like rounds of work left the resident memory
// where the first did: it grew by less than a quarter of what the round took
// at its peak. The first round brings the process to what any such round
// needs once (thread bookkeeping, the allocator's own structures); what a
// later round holds on to is the allocator's margin, or a leak. Under
// ThreadSanitizer the figure says nothing of the program's memory: the
// sanitizer keeps the history of every thread that has ended and the shadow
// of what was freed on a schedule of its own, and cannot be asked to give
// them back; there the figures are for the log only.
inline bool staysFlat(long firstAfter, long secondBefore, long secondAtPeak, long secondAfter)
{
#if defined(__SANITIZE_THREAD__)
    static_cast<void>(firstAfter);
    static_cast<void>(secondBefore);
    static_cast<void>(secondAtPeak);
    static_cast<void>(secondAfter);
    return true;
#else
    return secondAfter - firstAfter < (secondAtPeak - secondBefore) / 4;
#endif
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
// the count of kept objects (the test takes it from the keeper) and the
// resident memory before the round, at its peak (every object given up,
// every thread still held) and once every thread has ended.
struct GivenUpRound {
    std::size_t keptBefore = 0;
    std::size_t keptAtPeak = 0;
    std::size_t keptAfter = 0;
    long residentBefore = 0;
    long residentAtPeak = 0;
    long residentAfter = 0;
    bool held = false;  // every thread was where the round holds it
    int loggedLeft = 0; // log lines that named what was left running
    bool freed = false; // the count came back

    // Every object given up: what is kept and resident now, and how many
    // lines of log named what was left running.
    void atPeak(std::size_t kept, const std::string& log, const std::string& leftText)
    {
        keptAtPeak = kept;
        residentAtPeak = residentKiB();
        loggedLeft = occurrences(log, leftText);
    }
    void print(const char* name) const
    {
        std::printf("%s: kept before %zu, at peak %zu, after %zu; VmRSS before %ld KiB, at peak %ld KiB, after %ld "
                    "KiB\n",
                    name, keptBefore, keptAtPeak, keptAfter, residentBefore, residentAtPeak, residentAfter);
    }
};

// Two like rounds of `count` objects each: each round held them all and kept
// each one, said what it left running (at least `loggedLeft` lines), and got
// every one back once its thread had ended; the second left the resident
// memory where the first did.
inline void expectFreedAndFlat(const GivenUpRound& first, const GivenUpRound& second, std::size_t count,
                               int loggedLeft = 1)
{
    for (const GivenUpRound* round : {&first, &second}) {
        EXPECT_TRUE(round->held);
        EXPECT_EQ(round->keptAtPeak, round->keptBefore + count);
        EXPECT_GE(round->loggedLeft, loggedLeft);
        EXPECT_TRUE(round->freed);
        EXPECT_EQ(round->keptAfter, round->keptBefore);
    }
    EXPECT_TRUE(staysFlat(first.residentAfter, second.residentBefore, second.residentAtPeak, second.residentAfter));
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
