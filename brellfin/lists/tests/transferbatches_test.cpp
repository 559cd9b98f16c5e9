#include "brellfin/lists/transferbatches.h"

#include "brellfin/ui/transferrecord.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records every call with the thread it ran on.
class RecordingTarget : public BatchNotifyTarget {
public:
    void batchStarted(int batch, const std::string& path) override { add(batch, "started " + path); }
    void batchProgress(int batch, const std::string& path, double fraction) override
    {
        add(batch, "progress " + path + " " + std::to_string(int(fraction * 100)));
    }
    void batchFileDone(int batch, const std::string& path) override { add(batch, "done " + path); }
    void batchAllDone(int batch) override { add(batch, "all done"); }
    void batchFailed(int batch, unsigned int code) override { add(batch, "failed " + std::to_string(code)); }

    std::vector<std::string> calls;
    bool allOnMainThread = true;

private:
    void add(int batch, const std::string& text)
    {
        allOnMainThread = allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        calls.push_back(std::to_string(batch) + " " + text);
    }
};

TEST(FileNotifyPoster, CallsArriveOnTheGuiThreadInOrderWithoutBlockingTheSender)
{
    QObject context;
    RecordingTarget target;
    FileNotifyPoster poster(&context, &target, 7);
    // The GUI thread does not run its events while the sender works: a
    // poster that waited for them would never let the sender finish.
    std::thread sender([&] {
        for (int i = 0; i < 1000; ++i) {
            poster.onTransferStarted("/pc/f" + std::to_string(i));
            poster.onTransferProgress("/pc/f" + std::to_string(i), 0.5);
            poster.onTransferFileDone("/pc/f" + std::to_string(i));
        }
        poster.onTransferAllDone();
        poster.onTransferFailed(3);
    });
    sender.join();
    EXPECT_TRUE(target.calls.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(target.calls.size(), 3002u);
    EXPECT_EQ(target.calls[0], "7 started /pc/f0");
    EXPECT_EQ(target.calls[1], "7 progress /pc/f0 50");
    EXPECT_EQ(target.calls[2], "7 done /pc/f0");
    EXPECT_EQ(target.calls[2999], "7 done /pc/f999");
    EXPECT_EQ(target.calls[3000], "7 all done");
    EXPECT_EQ(target.calls[3001], "7 failed 3");
    EXPECT_TRUE(target.allOnMainThread);
}

TEST(FileNotifyPoster, PostsToADestroyedListAreDropped)
{
    RecordingTarget target;
    auto context = std::make_unique<QObject>();
    FileNotifyPoster poster(context.get(), &target, 1);
    poster.onTransferStarted("/pc/a");
    poster.onTransferFailed(0);
    context.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(target.calls.empty());
}

// A list's batches, reporting to a recording target on this thread.
class TransferBatchesTest : public ::testing::Test {
protected:
    QObject context;
    RecordingTarget target;
    TransferBatches batches{&context, &target};
};

TEST_F(TransferBatchesTest, OnlyTheCurrentBatchIsHeard)
{
    EXPECT_EQ(batches.current(), 0);
    EXPECT_FALSE(batches.isCurrent(0));
    IFileNotify* first = batches.begin();
    IFileNotify* second = batches.begin();
    EXPECT_NE(first, second);
    EXPECT_EQ(batches.current(), 2);
    EXPECT_FALSE(batches.isCurrent(1));
    EXPECT_TRUE(batches.isCurrent(2));
    first->onTransferAllDone();
    second->onTransferAllDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.calls, std::vector<std::string>({"1 all done", "2 all done"}));
    // An old batch's real failure is dropped; the current one's is a real
    // failure, whatever the queue's command of the moment.
    EXPECT_EQ(batches.failureAction(1), kDroppedReport);
    EXPECT_EQ(batches.failureAction(2), PendingNone);
}

TEST_F(TransferBatchesTest, AStoppedBatchKeepsItsCommandForItsFailure)
{
    // Delete all: a new batch starts at once; the old failure still reads
    // "delete all", once.
    batches.begin();
    batches.cancelCurrent(PendingDeleteAll);
    batches.begin();
    EXPECT_EQ(batches.failureAction(1), PendingDeleteAll);
    EXPECT_EQ(batches.failureAction(1), kDroppedReport);

    // Delete restarts the rest: the old batch's failure is a delete, the new
    // batch is untouched.
    batches.cancelCurrent(PendingDelete);
    batches.begin();
    EXPECT_EQ(batches.failureAction(2), PendingDelete);
    EXPECT_EQ(batches.failureAction(3), PendingNone);

    // Pause keeps the batch current; its failure is the pause.
    batches.begin();
    batches.cancelCurrent(PendingPause);
    EXPECT_EQ(batches.failureAction(4), PendingPause);

    // Other commands keep nothing.
    batches.begin();
    batches.cancelCurrent(PendingContinue);
    batches.cancelCurrent(PendingNone);
    EXPECT_EQ(batches.failureAction(5), PendingNone);
}

TEST_F(TransferBatchesTest, ACommandEndsWithItsBatch)
{
    // A delete that left nothing to send: its batch's failure reads the
    // delete, and the next batch's failure is a real one again.
    batches.begin();
    batches.cancelCurrent(PendingDelete);
    EXPECT_EQ(batches.failureAction(1), PendingDelete);
    batches.begin();
    EXPECT_EQ(batches.failureAction(2), PendingNone);

    // A pause given just as the batch ended complete is forgotten with it.
    batches.begin();
    batches.cancelCurrent(PendingPause);
    batches.end(3);
    batches.begin();
    EXPECT_EQ(batches.failureAction(4), PendingNone);

    // A command on a batch that has ended (a paused one being deleted)
    // is kept for nobody.
    batches.begin();
    batches.cancelCurrent(PendingPause);
    EXPECT_EQ(batches.failureAction(5), PendingPause);
    EXPECT_FALSE(batches.currentRunning());
    batches.cancelCurrent(PendingDelete);
    EXPECT_EQ(batches.failureAction(5), PendingNone);
}

TEST_F(TransferBatchesTest, CancelBeforeAnyBatchKeepsNothing)
{
    batches.cancelCurrent(PendingDeleteAll);
    batches.begin();
    EXPECT_EQ(batches.failureAction(1), PendingNone);
}

} // namespace
