#include "platform/dispatch/messagequeue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Notes every run and deletion, in order, from any thread.
class Journal {
public:
    void add(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }
    std::vector<std::string> all()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    bool waitForSize(size_t size)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_events.size() >= size; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

class Msg {
public:
    Msg(Journal& journal, std::string name, std::function<void()> work = nullptr)
        : m_journal(journal)
        , m_name(std::move(name))
        , m_work(std::move(work))
    {
    }
    virtual ~Msg()
    {
        m_journal.add("deleted " + m_name);
        if (m_onDelete)
            m_onDelete();
    }
    virtual void Run()
    {
        if (m_work)
            m_work();
        m_journal.add("run " + m_name);
    }
    std::function<void()> m_onDelete;

private:
    Journal& m_journal;
    std::string m_name;
    std::function<void()> m_work;
};

using Queue = platform::MessageQueue<Msg>;

// The queue's loop on a thread of its own, stopped and emptied at the end.
class Loop {
public:
    explicit Loop(Queue& queue)
        : m_queue(queue)
        , m_thread([&queue] { queue.run(); })
    {
    }
    ~Loop() { stop(); }
    void stop()
    {
        if (!m_thread.joinable())
            return;
        m_queue.requestStop();
        m_thread.join();
        m_queue.dropQueued();
    }

private:
    Queue& m_queue;
    std::thread m_thread;
};

// Blocks a Run until released.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
    void pass()
    {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    bool waitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [this] { return entered; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
};

} // namespace

TEST(MessageQueue, PostsOfTwoThreadsRunOneAtATimeEachDeletedBeforeTheNext)
{
    Journal journal;
    Queue queue;
    Loop loop(queue);
    auto poster = [&](const std::string& who) {
        for (int i = 0; i < 300; ++i)
            queue.post(std::make_unique<Msg>(journal, who + std::to_string(i)));
    };
    std::thread a(poster, "a");
    std::thread b(poster, "b");
    a.join();
    b.join();
    ASSERT_TRUE(journal.waitForSize(1200));
    const std::vector<std::string> events = journal.all();
    int next[2] = {0, 0};
    for (size_t i = 0; i < events.size(); i += 2) {
        const std::string name = events[i].substr(4);
        ASSERT_EQ(events[i], "run " + name);
        ASSERT_EQ(events[i + 1], "deleted " + name) << "a message ran before the previous one was deleted";
        const int who = name[0] == 'a' ? 0 : 1;
        ASSERT_EQ(name.substr(1), std::to_string(next[who]++)) << "out of posting order";
    }
}

TEST(MessageQueue, StopLetsTheRunningMessageEndAndTheDropDeletesTheRestUnrun)
{
    Journal journal;
    Queue queue;
    Loop loop(queue);
    Gate gate;
    queue.post(std::make_unique<Msg>(journal, "running", [&gate] { gate.pass(); }));
    ASSERT_TRUE(gate.waitEntered());
    queue.post(std::make_unique<Msg>(journal, "second"));
    queue.post(std::make_unique<Msg>(journal, "third"));
    queue.requestStop();
    gate.release();
    loop.stop();
    EXPECT_EQ(journal.all(),
              (std::vector<std::string>{"run running", "deleted running", "deleted second", "deleted third"}));

    // Posted while no loop runs: kept, neither run nor lost, until the next drop.
    queue.post(std::make_unique<Msg>(journal, "late"));
    EXPECT_EQ(journal.all().size(), 4u);
    queue.dropQueued();
    EXPECT_EQ(journal.all().back(), "deleted late");
}

TEST(MessageQueue, AMessageThatPostsFromItsDestructorOrItsRunDoesNotBlockTheQueue)
{
    Journal journal;
    Queue queue;
    auto dropped = std::make_unique<Msg>(journal, "dropped");
    dropped->m_onDelete = [&] { queue.post(std::make_unique<Msg>(journal, "from a destructor")); };
    queue.post(std::move(dropped));
    queue.dropQueued();
    EXPECT_EQ(journal.all(), (std::vector<std::string>{"deleted dropped"}));

    Loop loop(queue);
    queue.post(std::make_unique<Msg>(journal, "poster",
                                     [&] { queue.post(std::make_unique<Msg>(journal, "posted in a run")); }));
    ASSERT_TRUE(journal.waitForSize(7));
    EXPECT_EQ(journal.all(), (std::vector<std::string>{"deleted dropped", "run from a destructor",
                                                       "deleted from a destructor", "run poster", "deleted poster",
                                                       "run posted in a run", "deleted posted in a run"}));
}

TEST(MessageQueue, ARunThatThrowsIsDeletedAndTheNextMessageRuns)
{
    Journal journal;
    Queue queue;
    Loop loop(queue);
    queue.post(std::make_unique<Msg>(journal, "throwing", [] { throw std::runtime_error("broken"); }));
    queue.post(std::make_unique<Msg>(journal, "thrown int", [] { throw 42; }));
    queue.post(std::make_unique<Msg>(journal, "next"));
    ASSERT_TRUE(journal.waitForSize(4));
    EXPECT_EQ(journal.all(),
              (std::vector<std::string>{"deleted throwing", "deleted thrown int", "run next", "deleted next"}));
}

TEST(MessageQueue, JobResultIsTheJobsValueOrMinusOne)
{
    Journal journal;
    Msg msg(journal, "job");
    EXPECT_EQ(platform::jobResult<Msg>([](Msg*) { return 7; }, &msg), 7);
    EXPECT_EQ(platform::jobResult<Msg>(nullptr, &msg), -1);
    EXPECT_EQ(platform::jobResult<Msg>([](Msg*) -> int { throw std::runtime_error("x"); }, &msg), -1);
    EXPECT_EQ(platform::jobResult<Msg>([](Msg* self) { return self == nullptr ? 0 : 1; }, &msg), 1);
}
