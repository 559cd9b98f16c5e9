// Panel to PC: resume at whole blocks, pieces sized by the panel, the MD5
// proof and its retry, hostile piece sizes and local write failures.
#include "brellfin/service/fileupdater.h"

#include "recordingnotify.h"
#include "servicetestbed.h"
#include "testing/main/filesizelimit.h"

#include <QFileInfo>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using Event = RecordingNotify::Event;

const std::string kRemote = "/storage/user_dir/source.bin";

class FetchFromPanel : public ServiceTestBed {
protected:
    // Fetches remote into local and waits for the end, reported to notify or m_notify.
    void fetch(const std::string& local, const std::string& remote = kRemote, RecordingNotify* notify = nullptr)
    {
        RecordingNotify& to = notify ? *notify : m_notify;
        ASSERT_TRUE(m_client.startFetchFromPanel({{remote, local}}, &to));
        ASSERT_TRUE(to.waitForEnd());
    }
    std::vector<uint64_t> pieceOffsets() const { return numbersOf("update2", 1); }
    qint64 localSize(const std::string& path) const { return QFileInfo(QString::fromStdString(path)).size(); }

    RecordingNotify m_notify;
};

TEST_F(FetchFromPanel, MatchingLocalPartResumesAtItsLastWholeBlock)
{
    const auto bytes = patternBytes(20000);
    m_panel.putFile(kRemote, bytes);
    const std::string local = localFile("target.bin");
    writeLocal(local, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10000));
    fetch(local);

    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(numbersOf("getFileCRC32", 2), std::vector<uint64_t>{8192});
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{8192, 12288, 16384}));
    const auto progress = m_notify.progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.front(), 0.4096);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_EQ(readLocal(local), bytes);
    EXPECT_EQ(m_panel.openHandles(), 0u);
}

TEST_F(FetchFromPanel, ShortLocalPartStartsFromZeroWithoutCrc)
{
    const auto bytes = patternBytes(20000);
    m_panel.putFile(kRemote, bytes);
    const std::string local = localFile("target.bin");
    writeLocal(local, patternBytes(3000, 5));
    fetch(local);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_panel.count("getFileCRC32"), 0u);
    EXPECT_EQ(pieceOffsets().front(), 0u);
    EXPECT_EQ(readLocal(local), bytes);
}

TEST_F(FetchFromPanel, MismatchingLocalPartIsEmptiedAndFetchedAnew)
{
    const auto bytes = patternBytes(20000);
    m_panel.putFile(kRemote, bytes);
    const std::string local = localFile("target.bin");
    auto held = std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12000);
    held[100] ^= 1;
    writeLocal(local, held);
    fetch(local);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(numbersOf("getFileCRC32", 2), std::vector<uint64_t>{8192});
    EXPECT_EQ(pieceOffsets().front(), 0u);
    EXPECT_EQ(readLocal(local), bytes);
}

TEST_F(FetchFromPanel, LongerLocalFileIsEmptiedAndFetchedAnew)
{
    const auto bytes = patternBytes(5000);
    m_panel.putFile(kRemote, bytes);
    const std::string local = localFile("target.bin");
    writeLocal(local, patternBytes(9000, 3));
    fetch(local);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{0, 4096}));
    EXPECT_EQ(readLocal(local), bytes);
}

TEST_F(FetchFromPanel, CompleteLocalFileIsOnlyVerifiedAndAMismatchRetriesWhole)
{
    const auto bytes = patternBytes(6000);
    m_panel.putFile(kRemote, bytes);
    const std::string local = localFile("target.bin");
    writeLocal(local, bytes);
    fetch(local);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_panel.count("update2"), 0u);

    auto wrong = bytes;
    wrong[10] ^= 1;
    writeLocal(local, wrong);
    m_panel.clearLog();
    RecordingNotify second;
    fetch(local, kRemote, &second);
    EXPECT_TRUE(second.succeeded());
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{0, 4096}));
    EXPECT_EQ(m_panel.count("createUpdater2"), 2u);
    EXPECT_EQ(readLocal(local), bytes);
}

TEST_F(FetchFromPanel, OffsetsFollowTheBytesReceived)
{
    const auto bytes = patternBytes(3500);
    m_panel.putFile(kRemote, bytes);
    m_panel.setUpdatePieceSize(1000);
    const std::string local = localFile("target.bin");
    fetch(local);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{0, 1000, 2000, 3000}));
    // The first and the last report always come; those between only as
    // time passes, each of a stored state.
    const auto progress = m_notify.progress();
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 1.0);
    for (size_t i = 1; i + 1 < progress.size(); ++i)
        EXPECT_TRUE(progress[i] == 1000 / 3500.0 || progress[i] == 2000 / 3500.0 || progress[i] == 3000 / 3500.0);
    EXPECT_EQ(readLocal(local), bytes);
}

TEST_F(FetchFromPanel, OversizedPieceFailsAndTheLocalFileNeverOutgrowsTheRemote)
{
    m_panel.putFile(kRemote, patternBytes(6000));
    m_panel.setUpdateOversize(5000);
    const std::string local = localFile("target.bin");
    fetch(local);
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_LE(localSize(local), 6000);
    EXPECT_EQ(m_panel.count("createUpdater2"), 1u);
    EXPECT_EQ(m_panel.count("finishUpdate2"), 0u);
    EXPECT_EQ(m_panel.openHandles(), 0u);
}

TEST_F(FetchFromPanel, EarlyEmptyPieceRetriesOnceThenFailsWithTheCodeAsItStood)
{
    m_panel.putFile(kRemote, patternBytes(20000));
    m_panel.setUpdateEmptyFrom(8192);
    const std::string local = localFile("target.bin");
    fetch(local);
    EXPECT_EQ(m_notify.failureCode(), 0);
    EXPECT_EQ(m_panel.count("createUpdater2"), 2u);
    EXPECT_EQ(m_panel.count("finishUpdate2"), 2u);
    EXPECT_EQ(m_panel.count("getFileMD5"), 1u);
}

TEST_F(FetchFromPanel, FailingLocalWriteFailsWithoutASecondDownloadOrAPieceReportedDone)
{
    m_panel.putFile(kRemote, patternBytes(10000));
    fetch("/dev/full");
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_EQ(m_panel.count("createUpdater2"), 1u);
    EXPECT_EQ(m_panel.count("finishUpdate2"), 0u);
    EXPECT_EQ(m_notify.count(Event::FileDone), 0);
    EXPECT_EQ(m_notify.progress(), std::vector<double>{0.0});
}

TEST_F(FetchFromPanel, AFullDiskFailsBeforeAnUnstoredPieceIsReportedAndTheStoredPartResumes)
{
    constexpr size_t kSize = 4 * 1024 * 1024;
    constexpr size_t kRoom = 3 * 1024 * 1024 + 1000;
    const auto bytes = patternBytes(kSize);
    m_panel.putFile(kRemote, bytes);
    const std::string local = localFile("target.bin");
    {
        // The fake only reads while the PC side writes: the limit meets the PC's file alone.
        TestLimits::FileSizeLimit limit(kRoom);
        ASSERT_TRUE(limit.active());
        fetch(local);
    }
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_EQ(m_notify.count(Event::FileDone), 0);
    EXPECT_EQ(m_panel.count("finishUpdate2"), 0u);
    const qint64 stored = localSize(local);
    EXPECT_LE(stored, qint64(kRoom));
    // No report claims a byte the file did not take.
    for (double fraction : m_notify.progress())
        EXPECT_LE(fraction * kSize, double(stored));
    EXPECT_EQ(readLocal(local), std::vector<uint8_t>(bytes.begin(), bytes.begin() + stored));

    // With room again, the stored part is proven and kept: one attempt from
    // its last whole block, whose digest matches the panel's at once.
    m_panel.clearLog();
    RecordingNotify next;
    fetch(local, kRemote, &next);
    EXPECT_TRUE(next.succeeded());
    EXPECT_EQ(pieceOffsets().front(), uint64_t(stored) - uint64_t(stored) % 4096);
    EXPECT_EQ(m_panel.count("createUpdater2"), 1u);
    EXPECT_EQ(readLocal(local), bytes);
}

TEST_F(FetchFromPanel, EmptyRemoteFileLeavesAnEmptyLocalFile)
{
    m_panel.putFile(kRemote, {});
    const std::string local = localFile("target.bin");
    writeLocal(local, patternBytes(500));
    fetch(local);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_notify.progress(), std::vector<double>{1.0});
    EXPECT_EQ(m_notify.count(Event::FileDone), 1);
    EXPECT_EQ(m_panel.count("update2"), 0u);
    EXPECT_EQ(m_panel.count("getFileMD5"), 0u);
    EXPECT_EQ(localSize(local), 0);
}

TEST_F(FetchFromPanel, RefusedSourceOrMissingDigestIsAFileError)
{
    const std::string local = localFile("target.bin");
    fetch(local, "/storage/user_dir/missing");
    EXPECT_EQ(m_notify.failureCode(), 1);

    m_panel.putFile(kRemote, patternBytes(100));
    m_panel.setMd5Answer(std::vector<uint8_t>{});
    RecordingNotify second;
    fetch(local, kRemote, &second);
    EXPECT_EQ(second.failureCode(), 1);
    EXPECT_EQ(m_panel.count("update2"), 0u);
}

TEST_F(FetchFromPanel, WrongPanelDigestFailsWithCheckErrorAfterTheRetry)
{
    m_panel.putFile(kRemote, patternBytes(5000));
    m_panel.setMd5Answer(std::vector<uint8_t>(16, 0xAB));
    const std::string local = localFile("target.bin");
    fetch(local);
    EXPECT_EQ(m_notify.failureCode(), 2);
    EXPECT_EQ(m_panel.count("createUpdater2"), 2u);
}

TEST_F(FetchFromPanel, UncreatableLocalFileIsAFileError)
{
    m_panel.putFile(kRemote, patternBytes(100));
    fetch(localFile("no-such-folder/target.bin"));
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_EQ(m_panel.count("createUpdater2"), 0u);
}

TEST_F(FetchFromPanel, CancelStopsBeforeTheNextPieceAndKeepsThePartialFile)
{
    const auto bytes = patternBytes(40000);
    m_panel.putFile(kRemote, bytes);
    m_panel.setCallDelay("update2", 800ms);
    const std::string local = localFile("target.bin");
    ASSERT_TRUE(m_client.startFetchFromPanel({{kRemote, local}}, &m_notify));
    ASSERT_TRUE(m_panel.panel().waitFor([&] { return m_panel.count("update2") == 2; }, 30s));
    m_client.cancelTransfers();
    ASSERT_TRUE(m_notify.waitForEnd());
    EXPECT_EQ(m_notify.failureCode(), 3);
    EXPECT_EQ(m_panel.count("finishUpdate2"), 0u);
    EXPECT_EQ(localSize(local), 8192);

    m_panel.setCallDelay("update2", 0ms);
    m_panel.clearLog();
    RecordingNotify next;
    fetch(local, kRemote, &next);
    EXPECT_TRUE(next.succeeded());
    EXPECT_EQ(pieceOffsets().front(), 8192u);
    EXPECT_EQ(readLocal(local), bytes);
}

TEST(FileUpdater, WithoutNotifyOrClientNothingStarts)
{
    __FileUpdater thread(nullptr, nullptr);
    thread.addJob("/storage/user_dir/x", "/tmp/x");
    thread.startTransfer();
    EXPECT_FALSE(thread.isRunning());
}

} // namespace
