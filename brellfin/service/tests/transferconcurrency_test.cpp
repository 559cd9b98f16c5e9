// Both transfer threads and the UI thread's calls on one client at once.
#include "recordingnotify.h"
#include "servicetestbed.h"

#include <chrono>

namespace {

using namespace std::chrono_literals;

constexpr size_t kSize = 64u * 1024 * 1024;

class TransferConcurrency : public ServiceTestBed {};

TEST_F(TransferConcurrency, SixtyFourMebibytesEachWayAtOnceWhileTheUiThreadCalls)
{
    m_panel.setKeepLog(false);
    const auto toPanel = patternBytes(kSize, 11);
    const auto fromPanel = patternBytes(kSize, 22);
    const std::string sendSource = localFile("send.bin");
    const std::string fetchTarget = localFile("fetched.bin");
    writeLocal(sendSource, toPanel);
    m_panel.putFile("/storage/user_dir/remote-source.bin", fromPanel);

    RecordingNotify sending;
    RecordingNotify fetching;
    ASSERT_TRUE(m_client.startSendToPanel({{sendSource, "/storage/user_dir/received.bin"}}, &sending));
    ASSERT_TRUE(m_client.startFetchFromPanel({{"/storage/user_dir/remote-source.bin", fetchTarget}}, &fetching));

    // The UI thread keeps using the same client meanwhile.
    int uiCalls = 0;
    const auto deadline = std::chrono::steady_clock::now() + 280s;
    while (!(sending.waitForEnd(0ms) && fetching.waitForEnd(0ms)) && std::chrono::steady_clock::now() < deadline) {
        EXPECT_TRUE(m_client.hasFileOrFolder("/storage/user_dir"));
        std::vector<std::string> names;
        EXPECT_TRUE(m_client.searchFiles("/storage/user_dir", names));
        EXPECT_EQ(m_client.getFileSize("/storage/user_dir/remote-source.bin"), kSize);
        uiCalls += 3;
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(sending.waitForEnd(1s));
    ASSERT_TRUE(fetching.waitForEnd(1s));
    EXPECT_TRUE(sending.succeeded());
    EXPECT_TRUE(fetching.succeeded());
    EXPECT_GT(uiCalls, 0);
    EXPECT_TRUE(m_panel.fileBytes("/storage/user_dir/received.bin") == toPanel);
    EXPECT_TRUE(readLocal(fetchTarget) == fromPanel);
    EXPECT_EQ(m_panel.openHandles(), 0u);
}

} // namespace
