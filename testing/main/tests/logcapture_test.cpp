// The log capture against a thread that the test never joins (a worker that
// its owner gave up on): its lines may come while the program ends, after
// the program's statics are destroyed. Under ThreadSanitizer a capture whose
// lines were such a static was reported at the program's exit.

#include "testing/main/logcapture.h"

#include <QtGlobal>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Outlives the test: the worker is never joined.
std::atomic<bool> g_workerWrote{false};

} // namespace

TEST(LogCapture, ALineFromAThreadLeftRunningIsKeptPastTheProgramsEnd)
{
    TestLog::LogCapture log;
    // A first line here: Qt fills what it keeps for every line (the
    // program's path) on this thread, before the worker starts.
    qInfo("the test's first line");
    EXPECT_TRUE(log.contains("the test's first line"));
    // Relaxed: the test learns that the line was written without ordering
    // anything after it, as an owner that gave up on its worker knows nothing.
    std::thread worker([] {
        qInfo("a worker's last line");
        g_workerWrote.store(true, std::memory_order_relaxed);
    });
    worker.detach();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!g_workerWrote.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    EXPECT_TRUE(g_workerWrote.load(std::memory_order_relaxed));
}
