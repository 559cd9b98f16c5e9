// The queue tab's pause, continue, delete and delete all on a batch from the
// PC-side list, against a fake file service slow enough to stop mid-file.
#include "brellfin/ui/tests/lists/listsfixture.h"

#include "brellfin/ui/brellfinresources.h"
#include "brellfin/ui/sharedtexts.h"
#include "brellfin/ui/transinfotab.h"

#include <chrono>

namespace {

using namespace BrellfinLists;

constexpr int kPieces = 40;

class SlowQueue : public ListsFixture {
protected:
    void SetUp() override
    {
        ListsFixture::SetUp();
        for (const char* name : {"a.bin", "b.bin", "c.bin"})
            writeFile(pc(QString("send/") + name), QByteArray(kPieces * 4096, name[0]));
        showRemote("/storage/user_dir");
        showLocal(pc("send"));
    }
    CListCtrl& queue() { return dialog().transInfoTab()->listPage().list(); }
    void queueCommand(UINT command, int row)
    {
        for (int r = 0; r < queue().GetItemCount(); ++r)
            queue().SetItemState(r, r == row ? LVIS_SELECTED : 0, LVIS_SELECTED);
        m_menuAnswer = [command](const Mfc::MenuCall&) { return command; };
        queue().simulateClick(NM_RCLICK, row, 0);
        m_menuAnswer = nullptr;
    }
    void sendSlowly(const QStringList& which)
    {
        m_panel->setCallDelay("download2", std::chrono::milliseconds(20));
        commandOn(local(), which, kCmdTransport);
        ASSERT_TRUE(waitUntil([&] { return m_panel->count("download2") >= 3; }, 20000));
    }
    bool logHas(const QString& text) { return logLines().join("\n").contains(text); }
    int logCount(const QString& text) { return logLines().join("\n").count(text); }
};

TEST_F(SlowQueue, PauseThenContinueResumesPastTheStart)
{
    sendSlowly({"a.bin"});
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(205); }, 5000));
    queueCommand(BrellfinUi::kCmdPause, 0);
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(206); }, 20000));
    EXPECT_TRUE(logHas(pc("send/a.bin") + "  " + text(195)));
    EXPECT_FALSE(logHas(text(176)));
    const size_t beforeResume = m_panel->count("download2");
    ASSERT_GE(beforeResume, 3u);

    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    queueCommand(BrellfinUi::kCmdContinue, 0);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/a.bin"), bytesOf(QByteArray(kPieces * 4096, 'a')));
    EXPECT_EQ(queue().GetItemText(0, 2), "100%");
    EXPECT_EQ(queue().GetItemText(0, 1), text(207));
    // Resumed where the panel's part ended, not from the first byte.
    EXPECT_LT(m_panel->count("download2"), size_t(kPieces) + beforeResume - 1);
}

TEST_F(SlowQueue, DeletingTheOngoingRowLeavesNoFailureAndTheOthersComplete)
{
    sendSlowly({"a.bin", "b.bin", "c.bin"});
    ASSERT_EQ(queue().GetItemCount(), 3);
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(205); }, 5000));
    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    queueCommand(BrellfinUi::kCmdDelete, 0);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    // Let any late report of the stopped batch arrive.
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(logHas(text(176)));
    EXPECT_TRUE(logHas(pc("send/a.bin") + " " + text(157)));
    EXPECT_EQ(queue().GetItemCount(), 2);
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/b.bin"), bytesOf(QByteArray(kPieces * 4096, 'b')));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/c.bin"), bytesOf(QByteArray(kPieces * 4096, 'c')));
    EXPECT_EQ(column(queue(), 1), QStringList({text(207), text(207)}));
}

TEST_F(SlowQueue, DeleteAllLogsOnceAndANewBatchStartsAtOnce)
{
    sendSlowly({"a.bin"});
    queueCommand(BrellfinUi::kCmdDeleteAll, 0);
    EXPECT_FALSE(local().isTransferring());
    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    // A new batch at once, before the stopped one has reported.
    commandOn(local(), "b.bin", kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring() && logCount(text(175)) >= 1; }, 20000));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(logCount(text(175)), 1);
    EXPECT_FALSE(logHas(text(176)));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/b.bin"), bytesOf(QByteArray(kPieces * 4096, 'b')));
    EXPECT_EQ(queue().GetItemText(0, 2), "100%");
}

TEST_F(SlowQueue, TheProgressCellChangesAtMostOncePerTick)
{
    sendSlowly({"a.bin"});
    // No tick: no progress text beyond the first record's "0%".
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(queue().GetItemText(0, 2), "0%");
    local().setProgressTick();
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 2) != "0%"; }, 5000));
    const QString once = queue().GetItemText(0, 2);
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(queue().GetItemText(0, 2), once);
    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(queue().GetItemText(0, 2), "100%");
}

} // namespace
