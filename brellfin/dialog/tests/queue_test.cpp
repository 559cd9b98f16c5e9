// The queue tab's pause, continue, delete and delete all on a batch from the
// PC-side list, against a fake file service slow enough to stop mid-file.
#include "brellfin/dialog/tests/listsfixture.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/transinfotab.h"
#include "brellfin/ui/sharedtexts.h"

#include <chrono>

using BrellfinUi::StringId;

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
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(StringId::StateOngoing); }, 5000));
    queueCommand(BrellfinUi::kCmdPause, 0);
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(StringId::StatePaused); }, 20000));
    EXPECT_TRUE(logHas(pc("send/a.bin") + "  " + text(StringId::DownloadSuspended)));
    EXPECT_FALSE(logHas(text(StringId::DownloadFailedReason)));
    const size_t beforeResume = m_panel->count("download2");
    ASSERT_GE(beforeResume, 3u);

    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    queueCommand(BrellfinUi::kCmdContinue, 0);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/a.bin"), bytesOf(QByteArray(kPieces * 4096, 'a')));
    EXPECT_EQ(queue().GetItemText(0, 2), "100%");
    EXPECT_EQ(queue().GetItemText(0, 1), text(StringId::StateCompleted));
    // Resumed where the panel's part ended, not from the first byte.
    EXPECT_LT(m_panel->count("download2"), size_t(kPieces) + beforeResume - 1);
}

TEST_F(SlowQueue, DeletingTheOngoingRowLeavesNoFailureAndTheOthersComplete)
{
    sendSlowly({"a.bin", "b.bin", "c.bin"});
    ASSERT_EQ(queue().GetItemCount(), 3);
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(StringId::StateOngoing); }, 5000));
    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    queueCommand(BrellfinUi::kCmdDelete, 0);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    // Let any late report of the stopped batch arrive.
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(logHas(text(StringId::DownloadFailedReason)));
    EXPECT_TRUE(logHas(pc("send/a.bin") + " " + text(StringId::DownloadCancelled)));
    EXPECT_EQ(queue().GetItemCount(), 2);
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/b.bin"), bytesOf(QByteArray(kPieces * 4096, 'b')));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/c.bin"), bytesOf(QByteArray(kPieces * 4096, 'c')));
    EXPECT_EQ(column(queue(), 1), QStringList({text(StringId::StateCompleted), text(StringId::StateCompleted)}));
}

TEST_F(SlowQueue, DeleteAllLogsOnceAndANewBatchStartsAtOnce)
{
    sendSlowly({"a.bin"});
    queueCommand(BrellfinUi::kCmdDeleteAll, 0);
    EXPECT_FALSE(local().isTransferring());
    m_panel->setCallDelay("download2", std::chrono::milliseconds(0));
    // A new batch at once, before the stopped one has reported.
    commandOn(local(), "b.bin", kCmdTransport);
    ASSERT_TRUE(waitUntil(
        [&] { return !local().isTransferring() && logCount(text(StringId::DownloadTasksDeleted)) >= 1; }, 20000));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(logCount(text(StringId::DownloadTasksDeleted)), 1);
    EXPECT_FALSE(logHas(text(StringId::DownloadFailedReason)));
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

// Delete the running batch, start another, lose the panel: the second
// batch's failure shows in its row and the log, and once the panel is back a
// third transfer starts. Run for both directions.
class DeleteThenLosePanel : public SlowQueue, public ::testing::WithParamInterface<bool> {
protected:
    bool fromPanel() const { return GetParam(); }
    // The list whose batch runs, and the panel method of its pieces.
    bool transferring() { return fromPanel() ? remote().isTransferring() : local().isTransferring(); }
    const char* pieceMethod() const { return fromPanel() ? "update2" : "download2"; }
    void transfer()
    {
        if (fromPanel())
            commandOn(remote(), "big.bin", kCmdTransport);
        else
            commandOn(local(), "a.bin", kCmdTransport);
    }
};

TEST_P(DeleteThenLosePanel, TheNextBatchsFailureIsShownAndATransferStartsAfterReconnecting)
{
    const QByteArray big(kPieces * 4096, 'z');
    m_panel->putFile("/storage/user_dir/big.bin", bytesOf(big));
    showRemote("/storage/user_dir");
    QDir().mkpath(pc("in"));
    if (fromPanel())
        showLocal(pc("in"));
    m_panel->setCallDelay(pieceMethod(), std::chrono::milliseconds(20));

    // The first batch, deleted while it runs.
    transfer();
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(StringId::StateOngoing); }, 20000));
    ASSERT_TRUE(waitUntil([&] { return m_panel->count(pieceMethod()) >= 2; }, 20000));
    queueCommand(BrellfinUi::kCmdDelete, 0);
    EXPECT_FALSE(transferring());
    EXPECT_EQ(queue().GetItemCount(), 0);

    // The second batch (the same file again, covering it) loses the panel.
    m_panel->clearLog();
    transfer();
    ASSERT_TRUE(transferring());
    ASSERT_TRUE(waitUntil([&] { return m_panel->count(pieceMethod()) >= 2; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return queue().GetItemText(0, 1) == text(StringId::StateOngoing); }, 20000));
    m_panel->panel().stop();
    ASSERT_TRUE(waitUntil([&] { return !transferring(); }, 30000));
    EXPECT_EQ(queue().GetItemText(0, 1), text(StringId::NetworkError));
    if (fromPanel())
        EXPECT_TRUE(logHas("/big.bin " + text(StringId::UploadFailedReason) + text(StringId::NetworkError)))
            << logLines().join("\n").toStdString();
    else
        EXPECT_TRUE(
            logHas(pc("send/a.bin") + " " + text(StringId::DownloadFailedReason) + " " + text(StringId::NetworkError)))
            << logLines().join("\n").toStdString();

    // Reconnected, a third transfer reaches the panel and completes.
    m_panel->panel().restart();
    ASSERT_TRUE(dialog().fileService()->connect(FF::Net::Address(m_panel->endpoint().c_str())));
    m_panel->setCallDelay(pieceMethod(), std::chrono::milliseconds(0));
    showRemote("/storage/user_dir");
    m_panel->clearLog();
    transfer();
    ASSERT_TRUE(waitUntil([&] { return !transferring(); }, 30000));
    EXPECT_GT(m_panel->count(pieceMethod()), 0u);
    EXPECT_EQ(queue().GetItemText(0, 1), text(StringId::StateCompleted));
    if (fromPanel())
        EXPECT_EQ(readFile(pc("in/big.bin")), big);
    else
        EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/a.bin"), bytesOf(QByteArray(kPieces * 4096, 'a')));
}

INSTANTIATE_TEST_SUITE_P(BothDirections, DeleteThenLosePanel, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("PanelToPc") : std::string("PcToPanel");
                         });

} // namespace
