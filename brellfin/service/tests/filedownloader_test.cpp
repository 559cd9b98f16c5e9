// PC to panel: the space check, resume, pieces, the MD5 proof and its retry,
// the method pair per path, refusals and cancel, against the fake file service.
#include "brellfin/service/filedownloader.h"

#include "recordingnotify.h"
#include "servicetestbed.h"

#include <chrono>

namespace {

using namespace std::chrono_literals;
using Event = RecordingNotify::Event;
using Pairs = std::vector<std::pair<std::string, std::string>>;

const std::string kRemote = "/storage/user_dir/target.bin";

class SendToPanel : public ServiceTestBed {
protected:
    // Sends the batch and waits for its end, reported to notify or m_notify.
    void send(const Pairs& pairs, RecordingNotify* notify = nullptr)
    {
        RecordingNotify& to = notify ? *notify : m_notify;
        ASSERT_TRUE(m_client.startSendToPanel(pairs, &to));
        ASSERT_TRUE(to.waitForEnd());
    }
    std::string localWith(const std::vector<uint8_t>& bytes, const std::string& name = "source.bin")
    {
        const std::string path = localFile(name);
        writeLocal(path, bytes);
        return path;
    }
    std::vector<uint64_t> pieceOffsets() const { return numbersOf("download2", 1); }
    std::vector<size_t> pieceSizes() const
    {
        std::vector<size_t> sizes;
        for (const auto& call : m_panel.log())
            if (call.method == "download2")
                sizes.push_back(call.args.at(2).bytes.size());
        return sizes;
    }

    RecordingNotify m_notify;
};

TEST_F(SendToPanel, MatchingHeldPartResumesWhereThePanelStopped)
{
    const auto bytes = patternBytes(20000);
    const std::string local = localWith(bytes);
    m_panel.putFile(kRemote, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10000));
    send({{local, kRemote}});

    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{10000, 14096, 18192}));
    EXPECT_EQ(pieceSizes(), (std::vector<size_t>{4096, 4096, 1808}));
    const auto progress = m_notify.progress();
    ASSERT_GE(progress.size(), 2u);
    ASSERT_LE(progress.size(), 4u);
    EXPECT_DOUBLE_EQ(progress.front(), 0.5);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_EQ(numbersOf("getFileCRC32", 2), std::vector<uint64_t>{10000});
    EXPECT_EQ(m_panel.fileBytes(kRemote), bytes);
    const auto events = m_notify.events();
    EXPECT_EQ(events.front().kind, Event::Started);
    EXPECT_EQ(events.front().path, local);
    EXPECT_EQ(m_notify.count(Event::FileDone), 1);
    EXPECT_EQ(m_panel.openHandles(), 0u);
}

TEST_F(SendToPanel, MismatchingHeldPartStartsAgainFromZero)
{
    const auto bytes = patternBytes(20000);
    auto held = std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10000);
    held[5000] ^= 1;
    m_panel.putFile(kRemote, held);
    send({{localWith(bytes), kRemote}});

    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(numbersOf("startDownload2", 2), (std::vector<uint64_t>{20000, 0}));
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{0, 4096, 8192, 12288, 16384}));
    EXPECT_DOUBLE_EQ(m_notify.progress().front(), 0.0);
    EXPECT_EQ(m_panel.fileBytes(kRemote), bytes);
}

TEST_F(SendToPanel, CompleteHeldFileGetsNoPieceOnlyFinishAndDigest)
{
    const auto bytes = patternBytes(9000);
    m_panel.putFile(kRemote, bytes);
    send({{localWith(bytes), kRemote}});
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_panel.count("download2"), 0u);
    EXPECT_EQ(m_panel.count("getFileCRC32"), 0u);
    EXPECT_EQ(m_panel.count("finishDownload2"), 1u);
    EXPECT_EQ(m_panel.count("getFileMD5"), 1u);
    EXPECT_EQ(m_notify.progress(), std::vector<double>{1.0});
}

TEST_F(SendToPanel, LongerOlderPanelFileIsReplacedFromZero)
{
    const auto bytes = patternBytes(20000);
    m_panel.putFile(kRemote, patternBytes(30000, 99));
    send({{localWith(bytes), kRemote}});
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(numbersOf("startDownload2", 2), (std::vector<uint64_t>{20000, 0}));
    EXPECT_EQ(pieceOffsets().front(), 0u);
    EXPECT_EQ(m_panel.fileBytes(kRemote), bytes);
}

TEST_F(SendToPanel, RefusedPieceFailsWithFileErrorWithoutFinish)
{
    m_panel.setRefusedPiece(2);
    send({{localWith(patternBytes(20000)), kRemote}, {localWith(patternBytes(10), "second"), kRemote + "2"}});
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_EQ(m_panel.count("download2"), 2u);
    EXPECT_EQ(m_panel.count("finishDownload2"), 0u);
    EXPECT_EQ(m_panel.count("destroyDownloader2"), 1u);
    EXPECT_FALSE(m_panel.exists(kRemote + "2"));
}

TEST_F(SendToPanel, CorruptedOnceIsSentAgainWholeAndArrives)
{
    const auto bytes = patternBytes(10000);
    m_panel.setCorruption(Fake::FakeFileService::Corruption::Once);
    send({{localWith(bytes), kRemote}});
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_panel.count("createDownloader2"), 2u);
    EXPECT_EQ(numbersOf("startDownload2", 2), (std::vector<uint64_t>{10000, 0}));
    EXPECT_EQ(m_panel.count("finishDownload2"), 2u);
    EXPECT_EQ(pieceOffsets(), (std::vector<uint64_t>{0, 4096, 8192, 0, 4096, 8192}));
    EXPECT_EQ(m_panel.fileBytes(kRemote), bytes);
}

TEST_F(SendToPanel, AlwaysCorruptedFailsWithCheckErrorAfterTwoAttempts)
{
    m_panel.setCorruption(Fake::FakeFileService::Corruption::Always);
    send({{localWith(patternBytes(5000)), kRemote}});
    EXPECT_EQ(m_notify.failureCode(), 2);
    EXPECT_EQ(m_panel.count("finishDownload2"), 2u);
    EXPECT_EQ(m_panel.count("getFileMD5"), 2u);
    EXPECT_EQ(m_notify.count(Event::FileDone), 0);
}

TEST_F(SendToPanel, WrongOrEmptyPanelDigestIsACheckError)
{
    m_panel.setMd5Answer(std::vector<uint8_t>{});
    send({{localWith(patternBytes(5000)), kRemote}});
    EXPECT_EQ(m_notify.failureCode(), 2);
}

TEST_F(SendToPanel, FreeSpaceMustHoldTheBatchAndFourMebibytes)
{
    const Pairs batch{{localWith(patternBytes(1000), "a"), "/storage/user_dir/a"},
                      {localWith(patternBytes(2000), "b"), "/storage/user_dir/b"}};
    m_panel.setFreeSpace(3000 + 4194304);
    send(batch);
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_panel.log().front().args.at(0).text, "/storage/user_dir");

    m_panel.clearLog();
    RecordingNotify second;
    m_panel.setFreeSpace(3000 + 4194304 - 1);
    send(batch, &second);
    EXPECT_EQ(second.failureCode(), 5);
    EXPECT_EQ(second.count(Event::Started), 0);
    EXPECT_EQ(m_panel.methods(), std::vector<std::string>{"getFreeDiskSize"});
}

TEST_F(SendToPanel, FailingFreeDiskSizeAsksTheDataVolume)
{
    m_panel.setFailFreeDiskSize(true);
    send({{localWith(patternBytes(100)), "/media/usb0/f"}});
    EXPECT_TRUE(m_notify.succeeded());
    const auto methods = m_panel.methods();
    ASSERT_GE(methods.size(), 2u);
    EXPECT_EQ(methods[0], "getFreeDiskSize");
    EXPECT_EQ(methods[1], "getDiskFreeSize");
    EXPECT_EQ(m_panel.log().front().args.at(0).text, "/media/usb0/");
}

TEST_F(SendToPanel, MethodPairFollowsTheRemotePath)
{
    const auto bytes = patternBytes(5000);
    const std::string local = localWith(bytes);
    send({{local, "/STORAGE/USER_DIR/x"}});
    EXPECT_TRUE(m_notify.succeeded());
    for (const char* name :
         {"createDownloader2", "startDownload2", "download2", "finishDownload2", "destroyDownloader2"})
        EXPECT_EQ(m_panel.count(name), name == std::string("download2") ? 2u : 1u) << name;
    EXPECT_EQ(m_panel.count("UDiskdownload"), 0u);
    EXPECT_EQ(m_panel.fileBytes("/storage/user_dir/x"), bytes);

    m_panel.clearLog();
    RecordingNotify usb;
    send({{local, "/media/usb0/x"}}, &usb);
    EXPECT_TRUE(usb.succeeded());
    for (const char* name :
         {"createUDiskDownloader", "startUDiskDownload", "finishUDiskDownload", "destroyUDiskDownloader"})
        EXPECT_EQ(m_panel.count(name), 1u) << name;
    EXPECT_EQ(m_panel.count("UDiskdownload"), 2u);
    EXPECT_EQ(m_panel.count("download2"), 0u);
    EXPECT_EQ(m_panel.fileBytes("/media/usb0/x"), bytes);
}

TEST_F(SendToPanel, CancelDuringASlowPieceLetsItCompleteAndTheNextBatchResumes)
{
    const auto bytes = patternBytes(40000);
    const std::string local = localWith(bytes);
    m_panel.setCallDelay("download2", 800ms);
    ASSERT_TRUE(m_client.startSendToPanel({{local, kRemote}}, &m_notify));
    ASSERT_TRUE(m_panel.panel().waitFor([&] { return m_panel.count("download2") == 2; }, 30s));
    m_client.cancelTransfers();
    ASSERT_TRUE(m_notify.waitForEnd());
    EXPECT_EQ(m_notify.failureCode(), 3);
    EXPECT_EQ(m_panel.count("download2"), 2u);
    EXPECT_EQ(m_panel.count("finishDownload2"), 0u);
    EXPECT_EQ(m_panel.count("destroyDownloader2"), 1u);
    EXPECT_EQ(m_panel.fileBytes(kRemote).size(), 8192u);

    m_panel.setCallDelay("download2", 0ms);
    m_panel.clearLog();
    RecordingNotify next;
    send({{local, kRemote}}, &next);
    EXPECT_TRUE(next.succeeded());
    EXPECT_EQ(pieceOffsets().front(), 8192u);
    EXPECT_EQ(m_panel.fileBytes(kRemote), bytes);
}

TEST_F(SendToPanel, EmptyFileArrivesEmptyWithoutPieces)
{
    m_panel.putFile(kRemote, patternBytes(100));
    send({{localWith({}), kRemote}});
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_EQ(m_notify.progress(), std::vector<double>{1.0});
    EXPECT_EQ(m_panel.count("download2"), 0u);
    EXPECT_EQ(m_panel.count("finishDownload2"), 0u);
    EXPECT_EQ(m_panel.count("getFileMD5"), 0u);
    EXPECT_TRUE(m_panel.exists(kRemote));
    EXPECT_TRUE(m_panel.fileBytes(kRemote).empty());
}

TEST_F(SendToPanel, RefusedStartFailsEvenForAnEmptyFile)
{
    m_panel.setRefuseStart(true);
    send({{localWith({}), kRemote}});
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_EQ(m_notify.count(Event::FileDone), 0);

    RecordingNotify full;
    send({{localWith(patternBytes(10)), kRemote}}, &full);
    EXPECT_EQ(full.failureCode(), 1);
}

TEST_F(SendToPanel, MissingLocalFileStopsTheBatchThere)
{
    const auto bytes = patternBytes(100);
    send({{localWith(bytes, "first"), "/storage/user_dir/1"},
          {localFile("missing"), "/storage/user_dir/2"},
          {localWith(bytes, "third"), "/storage/user_dir/3"}});
    EXPECT_EQ(m_notify.failureCode(), 1);
    EXPECT_EQ(m_panel.fileBytes("/storage/user_dir/1"), bytes);
    EXPECT_FALSE(m_panel.exists("/storage/user_dir/3"));
    EXPECT_EQ(m_notify.count(Event::FileDone), 1);
}

TEST_F(SendToPanel, LostConnectionIsANetworkError)
{
    m_panel.dropConnectionAfterCalls(5);
    send({{localWith(patternBytes(40000)), kRemote}});
    EXPECT_EQ(m_notify.failureCode(), 0);
}

TEST_F(SendToPanel, EmptyBatchReportsCompletionAtOnce)
{
    send({});
    EXPECT_TRUE(m_notify.succeeded());
    EXPECT_TRUE(m_panel.methods().empty());
}

TEST(FileDownloader, WithoutNotifyOrClientNothingStarts)
{
    __FileDownloader thread(nullptr, nullptr);
    thread.addJob("/tmp/x", "/storage/user_dir/x");
    thread.startTransfer();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_TRUE(thread.wait(1000));
}

} // namespace
