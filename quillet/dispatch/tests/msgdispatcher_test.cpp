#include "quillet/dispatch/msgdispatcher.h"
#include "testing/main/eventwait.h"
#include "testing/main/logcapture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <mutex>
#include <semaphore.h>
#include <string>
#include <vector>

namespace {

// Keeps the order of events seen on any thread.
struct Journal {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> all()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
};

// A message that notes its run and its deletion.
class JournalMsg : public UiMsg {
public:
    JournalMsg(Journal& journal, std::string name, Job job)
        : UiMsg(std::move(job))
        , m_journal(journal)
        , m_name(std::move(name))
    {
    }
    ~JournalMsg() override { m_journal.add("deleted " + m_name); }

private:
    Journal& m_journal;
    std::string m_name;
};

std::unique_ptr<UiMsg> journalMsg(Journal& journal, const std::string& name, int result = 0)
{
    return std::make_unique<JournalMsg>(journal, name, [&journal, name, result](UiMsg*) {
        journal.add("run " + name);
        return result;
    });
}

using TestWait::waitUntil;

} // namespace

TEST(QuilletDispatcher, PostsRunInOrderEachDeletedBeforeTheNextStarts)
{
    Journal journal;
    MsgDispatcher dispatcher;
    dispatcher.start();
    for (const char* name : {"a", "b", "c"}) {
        std::unique_ptr<UiMsg> msg = journalMsg(journal, name);
        dispatcher.post(msg);
        EXPECT_EQ(msg, nullptr);
    }
    ASSERT_TRUE(waitUntil([&] { return journal.all().size() == 6; }, 5000));
    EXPECT_EQ(journal.all(),
              (std::vector<std::string>{"run a", "deleted a", "run b", "deleted b", "run c", "deleted c"}));
    dispatcher.stop();
}

TEST(QuilletDispatcher, StopFinishesTheRunningItemAndDropsTheQueuedOnes)
{
    Journal journal;
    MsgDispatcher dispatcher;
    dispatcher.start();
    sem_t started;
    sem_t release;
    sem_init(&started, 0, 0);
    sem_init(&release, 0, 0);
    std::unique_ptr<UiMsg> running = std::make_unique<JournalMsg>(journal, "running", [&](UiMsg*) {
        sem_post(&started);
        sem_wait(&release);
        journal.add("run running");
        return 0;
    });
    dispatcher.post(running);
    sem_wait(&started);
    std::unique_ptr<UiMsg> second = journalMsg(journal, "second");
    std::unique_ptr<UiMsg> third = journalMsg(journal, "third");
    dispatcher.post(second);
    dispatcher.post(third);
    std::thread releaser([&] {
        QThread::msleep(200);
        sem_post(&release);
    });
    dispatcher.stop();
    releaser.join();
    EXPECT_EQ(journal.all(),
              (std::vector<std::string>{"run running", "deleted running", "deleted second", "deleted third"}));
    EXPECT_TRUE(dispatcher.isFinished());
    sem_destroy(&started);
    sem_destroy(&release);
}

TEST(QuilletDispatcher, PostsAfterStopWaitForTheNextStartWhichDropsThem)
{
    Journal journal;
    MsgDispatcher dispatcher;
    dispatcher.start();
    dispatcher.stop();
    std::unique_ptr<UiMsg> late = journalMsg(journal, "late");
    dispatcher.post(late);
    QThread::msleep(50);
    EXPECT_TRUE(journal.all().empty());
    dispatcher.start();
    EXPECT_EQ(journal.all(), (std::vector<std::string>{"deleted late"}));
    std::unique_ptr<UiMsg> fresh = journalMsg(journal, "fresh");
    dispatcher.post(fresh);
    ASSERT_TRUE(waitUntil([&] { return journal.all().size() == 3; }, 5000));
    EXPECT_EQ(journal.all().back(), "deleted fresh");
}

TEST(QuilletDispatcher, StopGivesUpOnAnItemThatOutlastsItsLimitAndNamesIt)
{
    Journal journal;
    auto dispatcher = std::make_unique<MsgDispatcher>();
    dispatcher->start();
    sem_t started;
    sem_init(&started, 0, 0);
    std::atomic<bool> release{false};
    std::unique_ptr<UiMsg> endless = std::make_unique<JournalMsg>(journal, "endless", [&](UiMsg*) {
        sem_post(&started);
        while (!release)
            QThread::msleep(5);
        return 0;
    });
    endless->setObjectName("held call");
    dispatcher->post(endless);
    sem_wait(&started);
    std::unique_ptr<UiMsg> queued = journalMsg(journal, "queued");
    dispatcher->post(queued);

    TestLog::LogCapture log;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(dispatcher->stop(300));
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, 250);
    EXPECT_LT(took, 3000);
    EXPECT_TRUE(log.contains("Quillet dispatcher: UiMsg \"held call\" still runs 300 ms after the dispatcher's stop"))
        << log.all();
    EXPECT_TRUE(dispatcher->isRunning()) << "the item was left running";
    EXPECT_EQ(journal.all(), (std::vector<std::string>{"deleted queued"})) << "what had not run is dropped";

    // Once the item ends, the thread ends with it and the dispatcher may go.
    release = true;
    // Released, the Run returns and the thread ends: a stop now joins it
    // (isFinished() is already true while the thread is still finishing).
    EXPECT_TRUE(dispatcher->stop(10000));
    dispatcher.reset();
    EXPECT_EQ(journal.all(), (std::vector<std::string>{"deleted queued", "deleted endless"}));
    sem_destroy(&started);
}
