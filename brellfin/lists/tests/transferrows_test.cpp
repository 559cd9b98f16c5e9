#include "brellfin/lists/transferrows.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TransferRecord record(const QString& localPath, TransferState state = TransferState::Ready)
{
    TransferRecord r;
    r.localPath = localPath;
    r.name = localPath.mid(localPath.lastIndexOf('/') + 1);
    r.progress = "0%";
    r.state = state;
    return r;
}

TEST(TransferRows, StartFindsTheExactLocalPath)
{
    TransferRows rows;
    rows.records() = {record("/pc/a/x.bin"), record("/pc/b/x.bin"), record("/pc/B/x.bin")};
    EXPECT_EQ(rows.start("/pc/b/x.bin"), 1);
    EXPECT_EQ(rows.records()[1].state, TransferState::Ongoing);
    EXPECT_EQ(rows.start("/pc/B/x.bin"), 2);
    // No record: the current row stays and is marked again.
    EXPECT_EQ(rows.start("/pc/c/x.bin"), 2);
    EXPECT_EQ(rows.records()[0].state, TransferState::Ready);
}

TEST(TransferRows, ReportsAboutRowsThatAreGoneChangeNothing)
{
    TransferRows rows;
    EXPECT_EQ(rows.start("/pc/a"), -1);
    EXPECT_EQ(rows.fileDone(), -1);
    EXPECT_EQ(rows.pause(), -1);
    EXPECT_EQ(rows.current(), nullptr);
    rows.records() = {record("/pc/a"), record("/pc/b"), record("/pc/c")};
    EXPECT_EQ(rows.start("/pc/c"), 2);
    const std::vector<TransferRecord> removed = rows.remove({2, 7, -1});
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].localPath, "/pc/c");
    EXPECT_EQ(rows.records().size(), 2u);
    EXPECT_EQ(rows.currentRow(), 0);
    rows.records().clear();
    EXPECT_EQ(rows.pause(), -1);
    EXPECT_EQ(rows.fileDone(), -1);
}

TEST(TransferRows, ProgressReachesTheQueueOncePerTick)
{
    TransferRows rows;
    EXPECT_EQ(rows.progressText(0.5), QString());
    rows.setProgressTick();
    EXPECT_EQ(rows.progressText(0.999), "99%");
    EXPECT_EQ(rows.progressText(0.999), QString());
    rows.setProgressTick();
    EXPECT_EQ(rows.progressText(1.0), "100%");
    rows.setProgressTick();
    EXPECT_EQ(rows.progressText(std::numeric_limits<double>::quiet_NaN()), "0%");
    rows.setProgressTick();
    EXPECT_EQ(rows.progressText(7.5), "100%");
    rows.setProgressTick();
    EXPECT_EQ(rows.progressText(-1), "0%");
}

TEST(TransferRows, DoneAndPauseMarkTheCurrentRecord)
{
    TransferRows rows;
    rows.records() = {record("/pc/a"), record("/pc/b")};
    EXPECT_EQ(rows.start("/pc/b"), 1);
    EXPECT_EQ(rows.fileDone(), 1);
    EXPECT_EQ(rows.records()[1].state, TransferState::Completed);
    EXPECT_EQ(rows.records()[1].progress, "100%");
    EXPECT_EQ(rows.currentRow(), 0);
    EXPECT_EQ(rows.start("/pc/a"), 0);
    EXPECT_EQ(rows.pause(), 0);
    EXPECT_EQ(rows.records()[0].state, TransferState::Paused);
    const std::vector<TransferRecord> left = rows.unfinished();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].localPath, "/pc/a");
}

} // namespace
