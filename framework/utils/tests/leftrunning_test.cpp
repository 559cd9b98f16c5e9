#include "framework/utils/leftrunning.h"

#include "testing/main/eventwait.h"
#include "testing/main/logcapture.h"
#include "testing/main/waitgate.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using FF::utils::LeftRunning;

namespace {

// What a test learns of an object's end: whether, where and in what order.
struct Ends {
    std::mutex mutex;
    std::vector<std::string> order;
    std::thread::id thread;
    std::size_t countedMeanwhile = 0;

    void record(const std::string& what)
    {
        const std::size_t counted = LeftRunning::count();
        std::lock_guard<std::mutex> guard(mutex);
        order.push_back(what);
        thread = std::this_thread::get_id();
        countedMeanwhile = counted;
    }
    std::vector<std::string> seen()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return order;
    }
    std::thread::id where()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return thread;
    }
};

// An object that tells its end.
struct Token {
    Token(Ends& ends, std::string name)
        : ends(ends)
        , name(std::move(name))
    {
    }
    ~Token() { ends.record(name); }
    Ends& ends;
    std::string name;
};

// A thread that runs until let go, then uses what it was given once more.
class HeldThread : public QThread {
public:
    HeldThread(TestWait::Gate& gate, std::shared_ptr<Token> uses, Ends& ends)
        : m_gate(gate)
        , m_uses(uses.get())
        , m_ends(ends)
    {
    }
    ~HeldThread() override { m_ends.record("the thread of " + m_uses->name); }

protected:
    void run() override
    {
        m_gate.pass();
        // After its owner gave it up: what it uses must still be there.
        m_lastUse = m_uses->name;
    }

private:
    TestWait::Gate& m_gate;
    Token* m_uses; // kept alive by whoever keeps this thread
    Ends& m_ends;
    std::string m_lastUse;
};

bool countBecomes(std::size_t count)
{
    return TestWait::waitUntil([count] { return LeftRunning::count() == count; }, 10000);
}

} // namespace

TEST(LeftRunning, AnObjectIsFreedOnTheKeepersThreadOnceItsThreadEndsWithNoLaterKeep)
{
    const std::size_t before = LeftRunning::count();
    Ends ends;
    TestWait::Gate gate;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::thread::id workerId;
    std::thread worker([&gate, ended] {
        gate.pass();
        *ended = true;
    });
    workerId = worker.get_id();
    EXPECT_TRUE(LeftRunning::keep(
        std::make_shared<Token>(ends, "object"), [ended] { return ended->load(); }, "a test object"));
    EXPECT_EQ(LeftRunning::count(), before + 1);
    // Several looks later, the thread still runs: the object stays.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * LeftRunning::kLookStepMs));
    EXPECT_TRUE(ends.seen().empty());
    EXPECT_EQ(LeftRunning::count(), before + 1);

    gate.open();
    worker.join();
    ASSERT_TRUE(countBecomes(before));
    EXPECT_EQ(ends.seen(), std::vector<std::string>{"object"});
    EXPECT_NE(ends.where(), std::this_thread::get_id());
    EXPECT_NE(ends.where(), workerId);
    EXPECT_EQ(ends.countedMeanwhile, before + 1) << "counted until its deletion has ended";
}

TEST(LeftRunning, AThreadGoesBeforeWhatItUsesAndNeitherWhileItRuns)
{
    const std::size_t before = LeftRunning::count();
    Ends ends;
    TestWait::Gate gate;
    auto uses = std::make_shared<Token>(ends, "what it uses");
    auto thread = std::make_unique<HeldThread>(gate, uses, ends);
    thread->start();
    EXPECT_TRUE(LeftRunning::keepThread(std::move(thread), std::move(uses), "a test thread"));
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * LeftRunning::kLookStepMs));
    EXPECT_TRUE(ends.seen().empty());
    EXPECT_EQ(LeftRunning::count(), before + 1);

    gate.open();
    ASSERT_TRUE(countBecomes(before));
    EXPECT_EQ(ends.seen(), (std::vector<std::string>{"the thread of what it uses", "what it uses"}));
}

TEST(LeftRunning, ObjectsOfThreadsThatEndInAnyOrderAreEachFreedAtTheirEnd)
{
    const std::size_t before = LeftRunning::count();
    Ends ends;
    constexpr int kThreads = 8;
    std::vector<std::unique_ptr<TestWait::Gate>> gates;
    for (int i = 0; i < kThreads; ++i) {
        gates.push_back(std::make_unique<TestWait::Gate>());
        auto uses = std::make_shared<Token>(ends, std::to_string(i));
        auto thread = std::make_unique<HeldThread>(*gates.back(), uses, ends);
        thread->start();
        ASSERT_TRUE(LeftRunning::keepThread(std::move(thread), std::move(uses), "a test thread"));
    }
    ASSERT_EQ(LeftRunning::count(), before + kThreads);
    // The last to start ends first, and so on.
    std::vector<std::string> expected;
    for (int i = kThreads - 1; i >= 0; --i) {
        gates[i]->open();
        ASSERT_TRUE(countBecomes(before + i)) << i;
        expected.push_back("the thread of " + std::to_string(i));
        expected.push_back(std::to_string(i));
        EXPECT_EQ(ends.seen(), expected);
    }
}

TEST(LeftRunning, WhatADestructorKeepsOnTheKeepersThreadIsKeptAndFreedToo)
{
    const std::size_t before = LeftRunning::count();
    Ends ends;
    TestWait::Gate gate;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::thread worker([&gate, ended] {
        gate.pass();
        *ended = true;
    });
    // The outer object's destructor hands the keeper an object of its own,
    // whose thread has ended by then.
    struct Outer {
        explicit Outer(Ends& ends)
            : ends(ends)
        {
        }
        ~Outer()
        {
            LeftRunning::keep(
                std::make_shared<Token>(ends, "inner"), [] { return true; }, "an inner object");
            ends.record("outer");
        }
        Ends& ends;
    };
    ASSERT_TRUE(LeftRunning::keep(
        std::make_shared<Outer>(ends), [ended] { return ended->load(); }, "an outer object"));
    gate.open();
    worker.join();
    ASSERT_TRUE(countBecomes(before));
    EXPECT_EQ(ends.seen(), (std::vector<std::string>{"outer", "inner"}));
}

// Past the bound nothing is kept and nothing is freed: the object stays
// allocated, with its thread, for good. Run in a child of its own, which
// ends without the leak check that would rightly report that object.
TEST(LeftRunningDeathTest, BeyondItsBoundAnObjectIsLoggedAndLeftToItsThreadNeverFreed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::size_t before = LeftRunning::count();
            Ends ends;
            auto ended = std::make_shared<std::atomic<bool>>(false);
            bool kept = true;
            for (std::size_t i = before; i < LeftRunning::kLimit; ++i)
                kept = LeftRunning::keep(
                           std::make_shared<int>(0), [ended] { return ended->load(); }, "a filler")
                       && kept;
            const bool keptFull = LeftRunning::count() == LeftRunning::kLimit;
            const bool refused = !LeftRunning::keep(
                std::make_shared<Token>(ends, "one more"), [] { return true; }, "one object more");
            const bool countStays = LeftRunning::count() == LeftRunning::kLimit;
            // The others go as ever once their threads end; the one refused never does.
            *ended = true;
            const bool emptied = countBecomes(before);
            std::this_thread::sleep_for(std::chrono::milliseconds(3 * LeftRunning::kLookStepMs));
            const bool neverFreed = ends.seen().empty();
            std::_Exit(kept && keptFull && refused && countStays && emptied && neverFreed ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "LeftRunning: 1024 objects wait for their threads to end already: one object more is left to its thread, "
        "never freed");
}
