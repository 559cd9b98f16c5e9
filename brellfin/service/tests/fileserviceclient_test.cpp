#include "brellfin/service/fileserviceclient.h"

#include "brellfin/service/threadholder.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/utils/leftrunning.h"
#include "recordingnotify.h"
#include "servicetestbed.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/main/eventwait.h"
#include "testing/main/logcapture.h"

#include <QCryptographicHash>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// No test listens on this address of the tool's loopback range.
const char* const kNothingListens = "127.60.9.9";

TEST(FileServiceClientOffline, EveryOperationFailsBeforeConnectWithNothingOnTheWire)
{
    Fake::FakeFileService panel;
    FileServiceClient client;
    std::vector<std::string> names{"kept"};
    EXPECT_FALSE(client.isConnected());
    EXPECT_FALSE(client.checkProjectPassword("pw"));
    EXPECT_FALSE(client.projectHasPassword());
    EXPECT_FALSE(client.createFile("/storage/user_dir/a"));
    EXPECT_FALSE(client.createFolder("/storage/user_dir/a"));
    EXPECT_FALSE(client.createUDiskFile("/media/usb0/a"));
    EXPECT_FALSE(client.createUDiskFolder("/media/usb0/a"));
    EXPECT_FALSE(client.removeFileOrFolder("/storage/user_dir/a"));
    EXPECT_FALSE(client.renameFile("/storage/user_dir/a", "/storage/user_dir/b"));
    EXPECT_FALSE(client.hasFileOrFolder("/storage/user_dir"));
    EXPECT_EQ(client.checkFileOrFolder("/storage/user_dir"), std::nullopt);
    EXPECT_FALSE(client.isFile("/storage/user_dir"));
    EXPECT_EQ(client.getFileSize("/storage/user_dir/a"), 0u);
    EXPECT_EQ(client.getFileModifyTime("/storage/user_dir/a"), -1);
    EXPECT_EQ(client.getEnvPath("VEXA_DIR_USER"), "");
    EXPECT_FALSE(client.searchFiles("/storage/user_dir", names));
    EXPECT_FALSE(client.searchFolders("/storage/user_dir", names));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_FALSE(client.startSendToPanel({}, nullptr));
    EXPECT_FALSE(client.startFetchFromPanel({}, nullptr));
    client.cancelTransfers();
    client.disconnect();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(panel.panel().acceptedConnections(), 0);
}

TEST(FileServiceClientOffline, ConnectTwiceMakesOneProbeAndOneClient)
{
    Fake::FakeFileService panel;
    FileServiceClient client;
    const FF::Net::Address address(panel.endpoint().c_str());
    ASSERT_TRUE(client.connect(address));
    EXPECT_EQ(panel.panel().acceptedConnections(), 2); // the probe and the client
    EXPECT_EQ(panel.panel().initRequests(), 1);
    EXPECT_TRUE(client.connect(address));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(panel.panel().acceptedConnections(), 2);
    EXPECT_EQ(panel.panel().initRequests(), 1);
    EXPECT_TRUE(client.isConnected());
}

TEST(FileServiceClientOffline, ConnectElsewhereReleasesTheOldSessionEvenWhenTheProbeFails)
{
    Fake::FakeFileService panel;
    FileServiceClient client;
    ASSERT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
    EXPECT_FALSE(client.connect(FF::Net::Address(kNothingListens, 127)));
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(panel.panel().waitFor([&] { return panel.panel().openConnections() == 0; }, 5s));
}

TEST(FileServiceClientOffline, ServiceOnPort127OfALoopbackAddress)
{
    Fake::FakeFileService panel("127.60.1.28", 127);
    FileServiceClient client;
    ASSERT_TRUE(client.connect(FF::Net::Address("127.60.1.28", 127)));
    EXPECT_TRUE(client.hasFileOrFolder("/storage/user_dir"));
}

class FileServiceClientTest : public ServiceTestBed {};

TEST_F(FileServiceClientTest, OperationsReachTheirMethods)
{
    EXPECT_TRUE(m_client.createFolder("/storage/user_dir/项目"));
    EXPECT_TRUE(m_client.createFile("/storage/user_dir/项目/a.txt"));
    EXPECT_FALSE(m_client.createFile("/storage/user_dir/项目/a.txt"));
    EXPECT_TRUE(m_client.createUDiskFolder("/media/usb0/d"));
    EXPECT_TRUE(m_client.createUDiskFile("/media/usb0/d/f"));
    EXPECT_TRUE(m_client.renameFile("/storage/user_dir/项目/a.txt", "/storage/user_dir/项目/b.txt"));
    EXPECT_TRUE(m_client.isFile("/storage/user_dir/项目/b.txt"));
    EXPECT_TRUE(m_client.hasFileOrFolder("/storage/user_dir/项目"));
    std::vector<std::string> names;
    ASSERT_TRUE(m_client.searchFiles("/storage/user_dir/项目", names));
    EXPECT_EQ(names, std::vector<std::string>{"b.txt"});
    ASSERT_TRUE(m_client.searchFolders("/storage/user_dir", names));
    EXPECT_EQ(names, std::vector<std::string>{"项目"});
    m_panel.putFile("/storage/user_dir/s", std::vector<uint8_t>(777));
    EXPECT_EQ(m_client.getFileSize("/storage/user_dir/s"), 777u);
    EXPECT_GT(m_client.getFileModifyTime("/storage/user_dir/s"), 0);
    // A missing file's time is whatever the panel answers (this one says -1 too).
    EXPECT_EQ(m_client.getFileModifyTime("/storage/user_dir/none"), -1);
    EXPECT_EQ(m_client.getEnvPath("VEXA_DIR_USER"), "/storage/user_dir");
    EXPECT_TRUE(m_client.removeFileOrFolder("/storage/user_dir/项目"));
    EXPECT_FALSE(m_client.hasFileOrFolder("/storage/user_dir/项目"));
    // Paths that leave the panel's areas touch nothing.
    EXPECT_FALSE(m_client.removeFileOrFolder("/storage/user_dir/../../"));
    EXPECT_FALSE(m_client.removeFileOrFolder("/storage/user_dir"));
}

TEST_F(FileServiceClientTest, AnExistenceCheckWithoutAnAnswerIsNeitherPresentNorAbsent)
{
    m_panel.putFile("/storage/user_dir/there.txt", {1});
    EXPECT_EQ(m_client.checkFileOrFolder("/storage/user_dir/there.txt"), std::optional<bool>(true));
    EXPECT_EQ(m_client.checkFileOrFolder("/storage/user_dir/missing.txt"), std::optional<bool>(false));

    // The panel refuses the call.
    m_panel.panel().setForcedStatus(2);
    EXPECT_EQ(m_client.checkFileOrFolder("/storage/user_dir/there.txt"), std::nullopt);
    EXPECT_FALSE(m_client.hasFileOrFolder("/storage/user_dir/there.txt")); // the failed value, as it was
    m_panel.panel().setForcedStatus(std::nullopt);

    // The panel answers too late for the call's limit: the call gives up at
    // that limit, not at the default one.
    m_client.setCallTimeOut(300);
    m_panel.setCallDelay("hasFileOrFolder", 5s);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_client.checkFileOrFolder("/storage/user_dir/there.txt"), std::nullopt);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 4s);
    // The limit holds for every later call too, and 0 sets the default back.
    EXPECT_EQ(m_client.checkFileOrFolder("/storage/user_dir/there.txt"), std::nullopt);
    m_panel.setCallDelay("hasFileOrFolder", 600ms);
    m_client.setCallTimeOut(0);
    EXPECT_EQ(m_client.checkFileOrFolder("/storage/user_dir/there.txt"), std::optional<bool>(true));
}

TEST_F(FileServiceClientTest, APasswordQuestionWithoutAnAnswerIsNeitherYesNorNo)
{
    EXPECT_EQ(m_client.projectPasswordRequired(), std::optional<bool>(false));
    m_panel.setProjectPassword("right");
    EXPECT_EQ(m_client.projectPasswordRequired(), std::optional<bool>(true));
    EXPECT_EQ(m_client.projectPasswordAccepted("right"), std::optional<bool>(true));
    EXPECT_EQ(m_client.projectPasswordAccepted("wrong"), std::optional<bool>(false));

    // Refused, then answered too late for the call's limit: no answer, which
    // the plain operations read as no password and a wrong one, as they did.
    m_panel.panel().setForcedStatus(2);
    EXPECT_EQ(m_client.projectPasswordRequired(), std::nullopt);
    EXPECT_EQ(m_client.projectPasswordAccepted("right"), std::nullopt);
    EXPECT_FALSE(m_client.projectHasPassword());
    EXPECT_FALSE(m_client.checkProjectPassword("right"));
    m_panel.panel().setForcedStatus(std::nullopt);
    m_client.setCallTimeOut(300);
    m_panel.setCallDelay("projectCheckPassword", 5s);
    m_panel.setCallDelay("projectHasPassword", 5s);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_client.projectPasswordAccepted("right"), std::nullopt);
    EXPECT_EQ(m_client.projectPasswordRequired(), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);

    // No session: no answer, without traffic.
    m_client.disconnect();
    m_panel.clearLog();
    EXPECT_EQ(m_client.projectPasswordAccepted("right"), std::nullopt);
    EXPECT_EQ(m_client.projectPasswordRequired(), std::nullopt);
    EXPECT_TRUE(m_panel.methods().empty());
}

TEST_F(FileServiceClientTest, TheWaitHookFramesEachOperationThatHoldsTheCallerOnce)
{
    std::vector<std::string> told;
    m_client.setWaitHook([&](bool waiting) {
        // Told before the call leaves: the panel has not seen it yet.
        told.push_back((waiting ? "wait " : "done ") + std::to_string(m_panel.count("isFile")));
    });
    const auto tells = [&](const std::vector<std::string>& expected) {
        EXPECT_EQ(told, expected);
        told.clear();
    };
    EXPECT_TRUE(m_client.isConnected());
    m_client.cancelTransfers();
    tells({});
    m_client.isFile("/storage/user_dir");
    tells({"wait 0", "done 1"});
    // The session kept: nothing waits.
    EXPECT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
    tells({});
    RecordingNotify notify;
    EXPECT_TRUE(m_client.startSendToPanel({}, &notify));
    tells({"wait 1", "done 1"});
    m_client.disconnect();
    tells({"wait 1", "done 1"});
    m_client.disconnect();
    m_client.isFile("/storage/user_dir");
    tells({});
    // A connect that releases nothing, and one that releases a session first: once each.
    EXPECT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
    tells({"wait 1", "done 1"});
    EXPECT_FALSE(m_client.connect(FF::Net::Address(kNothingListens, 127)));
    tells({"wait 1", "done 1"});
}

TEST_F(FileServiceClientTest, ProjectPasswordTravelsAsLowerCaseHexMd5)
{
    EXPECT_FALSE(m_client.projectHasPassword());
    m_panel.setProjectPassword(std::string("s3cret"));
    EXPECT_TRUE(m_client.projectHasPassword());
    EXPECT_TRUE(m_client.checkProjectPassword("s3cret"));
    EXPECT_FALSE(m_client.checkProjectPassword("S3CRET"));
    const auto log = m_panel.log();
    ASSERT_FALSE(log.empty());
    ASSERT_EQ(log.back().method, "projectCheckPassword");
    ASSERT_EQ(log.back().args.size(), 1u);
    EXPECT_EQ(log.back().args[0].text,
              QCryptographicHash::hash("S3CRET", QCryptographicHash::Md5).toHex().toStdString());
    for (const auto& call : log)
        for (const auto& arg : call.args)
            EXPECT_EQ(arg.text.find("s3cret"), std::string::npos);
}

TEST_F(FileServiceClientTest, HostileNamesAndFailuresKeepTheOutListOrFail)
{
    const std::vector<std::string> hostile{"..", "../../etc", std::string(5000, 'n'), "a/b", "名字", ""};
    m_panel.setSearchNames(hostile, std::vector<std::string>{});
    std::vector<std::string> names{"old"};
    ASSERT_TRUE(m_client.searchFiles("/storage/user_dir", names));
    EXPECT_EQ(names, hostile);
    ASSERT_TRUE(m_client.searchFolders("/storage/user_dir", names));
    EXPECT_TRUE(names.empty());

    names = {"old"};
    m_panel.setWrongResultTypeName(std::string("std::vector<std::string>"));
    EXPECT_FALSE(m_client.searchFiles("/storage/user_dir", names));
    EXPECT_EQ(names, std::vector<std::string>{"old"});
    EXPECT_FALSE(m_client.isFile("/storage/user_dir"));
    EXPECT_EQ(m_client.getFileSize("/storage/user_dir"), 0u);
    EXPECT_EQ(m_client.getFileModifyTime("/storage/user_dir"), -1);
    EXPECT_EQ(m_client.getEnvPath("VEXA_DIR_USER"), "");
    m_panel.setWrongResultTypeName(std::nullopt);
    EXPECT_TRUE(m_client.hasFileOrFolder("/storage/user_dir"));
    EXPECT_TRUE(m_client.isConnected());
}

TEST_F(FileServiceClientTest, EndlessFolderDepthIsAnsweredOneLevelAtATime)
{
    m_panel.setEndlessFolders(true);
    std::string path = "/storage/user_dir";
    std::vector<std::string> names;
    for (int level = 0; level < 50; ++level) {
        ASSERT_TRUE(m_client.searchFolders(path, names));
        ASSERT_EQ(names, std::vector<std::string>{"deeper"});
        path += "/" + names[0];
    }
    EXPECT_TRUE(m_client.hasFileOrFolder(path));
    EXPECT_FALSE(m_client.isFile(path));
}

TEST_F(FileServiceClientTest, DroppedLinkFailsTheNextCallAndEndsTheSession)
{
    EXPECT_TRUE(m_client.hasFileOrFolder("/storage/user_dir"));
    m_panel.dropConnectionAfterCalls(0);
    EXPECT_FALSE(m_client.hasFileOrFolder("/storage/user_dir"));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (m_client.isConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(m_client.isConnected());
    EXPECT_FALSE(m_client.hasFileOrFolder("/storage/user_dir"));
    // A new connect to the same address replaces the dead session.
    EXPECT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
    EXPECT_TRUE(m_client.hasFileOrFolder("/storage/user_dir"));
}

// A transfer whose piece the panel never answers, either way: the panel
// still answers pings, or it reads nothing more at all (frozen).
struct StuckPiece {
    bool fromPanel;
    bool frozen;
};

class UnansweredPiece : public ServiceTestBed, public ::testing::WithParamInterface<StuckPiece> {
protected:
    void SetUp() override
    {
        ServiceTestBed::SetUp();
        m_local = localFile("held.bin");
        m_bytes = patternBytes(40 * 4096 + 100, 3);
        if (GetParam().fromPanel)
            m_panel.putFile(kRemote, m_bytes);
        else
            writeLocal(m_local, m_bytes);
    }
    const char* pieceMethod() const { return GetParam().fromPanel ? "update2" : "download2"; }
    bool start(RecordingNotify& notify)
    {
        return GetParam().fromPanel ? m_client.startFetchFromPanel({{kRemote, m_local}}, &notify)
                                    : m_client.startSendToPanel({{m_local, kRemote}}, &notify);
    }

    const std::string kRemote = "/storage/user_dir/held.bin";
    std::string m_local;
    std::vector<uint8_t> m_bytes;
};

TEST_P(UnansweredPiece, DisconnectEndsTheCallAtOnceAndTheFileResumesByItsCrc)
{
    RecordingNotify notify;
    RecordingNotify second;
    // The threads report to the two above: they end first, also when a check fails.
    struct Release {
        FileServiceClient& client;
        ~Release() { client.disconnect(); }
    } release{m_client};

    // Five pieces are answered; the sixth never is.
    m_panel.setCallDelayFrom(pieceMethod(), 6, std::chrono::hours(1));
    ASSERT_TRUE(start(notify));
    ASSERT_TRUE(m_panel.panel().waitFor([&] { return m_panel.count(pieceMethod()) == 6; }, 30s));
    if (GetParam().frozen)
        m_panel.panel().setReading(false);
    std::this_thread::sleep_for(200ms);
    ASSERT_FALSE(notify.waitForEnd(0ms));
    EXPECT_EQ(m_panel.count(pieceMethod()), 6u);

    const auto disconnecting = std::chrono::steady_clock::now();
    m_client.disconnect();
    const auto took = std::chrono::steady_clock::now() - disconnecting;
    RecordProperty("disconnect_ms", int(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_LT(took, 1s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    ASSERT_TRUE(notify.waitForEnd(0ms));
    EXPECT_EQ(notify.failureCode(), 3);
    EXPECT_FALSE(m_client.isConnected());

    // The part that arrived is proven by its CRC-32 and the rest moved.
    m_panel.panel().setReading(true);
    m_panel.setCallDelay(pieceMethod(), 0ms);
    ASSERT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
    m_panel.clearLog();
    ASSERT_TRUE(start(second));
    ASSERT_TRUE(second.waitForEnd());
    EXPECT_TRUE(second.succeeded());
    EXPECT_EQ(m_panel.count("getFileCRC32"), 1u);
    const auto offsets = numbersOf(pieceMethod(), 1);
    ASSERT_FALSE(offsets.empty());
    EXPECT_GE(offsets.front(), 4096u) << "resumed, not started anew";
    if (GetParam().fromPanel)
        EXPECT_EQ(readLocal(m_local), m_bytes);
    else
        EXPECT_EQ(m_panel.fileBytes(kRemote), m_bytes);
}

INSTANTIATE_TEST_SUITE_P(BothWays, UnansweredPiece,
                         ::testing::Values(StuckPiece{false, false}, StuckPiece{false, true}, StuckPiece{true, false},
                                           StuckPiece{true, true}),
                         [](const ::testing::TestParamInfo<StuckPiece>& info) {
                             return std::string(info.param.fromPanel ? "Fetched" : "Sent")
                                    + (info.param.frozen ? "FromAFrozenPanel" : "WhilePingsAreAnswered");
                         });

TEST_F(FileServiceClientTest, SlowReplyStillArrives)
{
    m_panel.setCallDelay("isFile", 300ms);
    m_panel.putFile("/storage/user_dir/f", {1});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(m_client.isFile("/storage/user_dir/f"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

// A transfer that outlasts the holder's limit: it runs until it is let go,
// or, when it heeds a cancel, until it is cancelled; then it uses its
// client, if it has one, once more.
class LongThread : public QThread {
public:
    explicit LongThread(bool heedsCancel, FF::RPC::DispatchClient* client = nullptr)
        : m_heedsCancel(heedsCancel)
        , m_client(client)
    {
    }
    void cancel()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
        m_changed.notify_all();
    }
    void letGo()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_letGo = true;
        m_changed.notify_all();
    }
    bool cancelled()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cancelled;
    }

protected:
    void run() override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_letGo || (m_heedsCancel && m_cancelled); });
        if (m_client)
            m_wasOnline = m_client->online();
    }

private:
    const bool m_heedsCancel;
    FF::RPC::DispatchClient* const m_client;
    bool m_wasOnline = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;
    bool m_letGo = false;
};

// A new LongThread, started and held by holder.
LongThread* startHeld(ThreadHolder<LongThread>& holder, bool heedsCancel, FF::RPC::DispatchClient* client = nullptr)
{
    auto* thread = new LongThread(heedsCancel, client);
    holder.reset(thread);
    thread->start();
    return thread;
}

TEST(ThreadHolder, ThreadThatEndsInTimeIsWaitedForAndNeverCancelled)
{
    TestLog::LogCapture log;
    ThreadHolder<LongThread> holder(10000, 10000);
    LongThread* thread = startHeld(holder, true);
    std::thread ender([thread] {
        std::this_thread::sleep_for(100ms);
        thread->letGo();
    });
    EXPECT_TRUE(holder.reset());
    ender.join();
    EXPECT_FALSE(holder);
    EXPECT_FALSE(log.contains("transfer thread")) << log.all(); // neither late nor cancelled
}

TEST(ThreadHolder, ThreadThatOutlastsTheLimitIsCancelledAndLogged)
{
    TestLog::LogCapture log;
    ThreadHolder<LongThread> holder(100, 10000);
    startHeld(holder, true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(holder.reset());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(log.contains("transfer thread still running after 100 ms: cancelling it")) << log.all();
    EXPECT_FALSE(log.contains("left running")) << log.all();
}

// A thread that ignores its cancel is left running, never deleted under
// itself, with a share of the client it calls through: once it ends, the
// keeper frees both, the thread first, with nobody's later call.
TEST(ThreadHolder, AThreadLeftRunningIsFreedWithTheClientItUsesOnceItEnds)
{
    Fake::FakeFileService panel;
    auto client = std::make_shared<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                            FF::Net::TCPClient::NewFactory());
    const std::weak_ptr<FF::RPC::DispatchClient> watched = client;
    const std::size_t keptBefore = FF::utils::LeftRunning::count();
    TestLog::LogCapture log;
    LongThread* thread = nullptr;
    {
        ThreadHolder<LongThread> holder(100, 100, client);
        thread = startHeld(holder, false, client.get());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(holder.reset());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_FALSE(holder);
    }               // the holder goes; the thread it left is not deleted under it
    client.reset(); // nor is the client, which the session lets go of
    EXPECT_TRUE(thread->cancelled());
    EXPECT_TRUE(thread->isRunning());
    EXPECT_FALSE(watched.expired());
    EXPECT_EQ(FF::utils::LeftRunning::count(), keptBefore + 1);
    EXPECT_TRUE(log.contains("transfer thread still running 100 ms after its cancel: left running")) << log.all();

    // From here on the keeper may free the thread at any time.
    thread->letGo();
    EXPECT_TRUE(
        TestWait::waitUntil([&] { return FF::utils::LeftRunning::count() == keptBefore && watched.expired(); }, 10000));
}

} // namespace
