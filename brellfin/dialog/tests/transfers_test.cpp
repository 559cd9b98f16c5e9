// Transfers between the two lists, against the fake file service.
#include "brellfin/dialog/tests/listsfixture.h"

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

using BrellfinUi::StringId;

namespace {

using namespace BrellfinLists;

class Transfers : public ListsFixture {};

TEST_F(Transfers, AFetchedPanelTreeArrivesWhole)
{
    m_panel->putFile("/storage/user_dir/t/top.bin", std::vector<uint8_t>(5000, 1));
    m_panel->putFile("/storage/user_dir/t/a/mid.bin", std::vector<uint8_t>(9000, 2));
    m_panel->putFile("/storage/user_dir/t/a/b/low.bin", std::vector<uint8_t>(100, 3));
    showLocal(pc());
    showRemote("/storage/user_dir");
    commandOn(remote(), "t", kCmdTransport);
    ASSERT_EQ(remote().queueRecords().size(), 3u);
    EXPECT_EQ(remote().queueRecords()[0].name, "top.bin");
    ASSERT_TRUE(waitUntil([&] { return !remote().isTransferring(); }, 20000));
    EXPECT_EQ(readFile(pc("t/top.bin")), QByteArray(5000, 1));
    EXPECT_EQ(readFile(pc("t/a/mid.bin")), QByteArray(9000, 2));
    EXPECT_EQ(readFile(pc("t/a/b/low.bin")), QByteArray(100, 3));
}

// A panel folder whose listing gets no answer is not fetched in part: the
// folder's failure line says "Network error", and nothing of it arrives.
TEST_F(Transfers, AFolderWhoseListingGetsNoAnswerIsNotFetchedInPart)
{
    m_panel->putFile("/storage/user_dir/t/top.bin", std::vector<uint8_t>(5000, 1));
    m_panel->putFile("/storage/user_dir/t/a/mid.bin", std::vector<uint8_t>(9000, 2));
    m_panel->putFile("/storage/user_dir/u.bin", std::vector<uint8_t>(10, 4));
    showLocal(pc());
    showRemote("/storage/user_dir");
    dialog().fileService()->setCallTimeOut(400);
    // The listing of t is answered, that of t/a is held.
    m_panel->setCallDelayFrom("searchFiles", 2, std::chrono::seconds(5));
    commandOn(remote(), QStringList{"t", "u.bin"}, kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return !remote().isTransferring(); }, 20000));
    EXPECT_EQ(readFile(pc("u.bin")), QByteArray(10, 4));
    EXPECT_EQ(readFile(pc("t/top.bin")), "<missing>");
    EXPECT_EQ(readFile(pc("t/a/mid.bin")), "<missing>");
    const QString log = logLines().join("\n");
    EXPECT_TRUE(log.contains("/t " + text(StringId::UploadFailedReason) + text(StringId::NetworkError)))
        << log.toStdString();
    EXPECT_FALSE(log.contains(text(StringId::FileError))) << log.toStdString();
}

TEST_F(Transfers, HostileNamesLandNowhereAndAreLogged)
{
    m_panel->putFile("/storage/user_dir/h/ok.txt", {1, 2, 3});
    QDir().mkpath(pc("in"));
    showLocal(pc("in"));
    showRemote("/storage/user_dir");
    select(remote(), {"h"});
    remote().simulateClick(NM_RCLICK, rowOf(remote(), "h"), 0);
    m_panel->setSearchNames(std::vector<std::string>{"..", "a/../../x", "ok.txt"}, std::vector<std::string>{".."});
    remote().OnCommand(kCmdTransport, 0);
    m_panel->setSearchNames(std::nullopt, std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return !remote().isTransferring(); }, 20000));
    EXPECT_EQ(readFile(pc("in/h/ok.txt")), QByteArray("\x01\x02\x03"));
    EXPECT_EQ(QDir(pc()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"in"}));
    EXPECT_EQ(QDir(pc("in")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"h"}));
    const QString log = logLines().join("\n");
    EXPECT_EQ(log.count(text(StringId::UploadFailedReason) + text(StringId::FileError)), 3);
}

TEST_F(Transfers, ASentFolderKeepsItsShapeAndItsLevelsAreMadeOnce)
{
    writeFile(pc("sub/in/b.bin"), QByteArray(7000, 9));
    writeFile(pc("sub/a.txt"), "a");
    writeFile(pc("sub/.hidden/no.txt"), "no");
    writeFile(pc("sub/.seen.txt"), "yes");
    m_panel->putFile("/storage/user_dir/x/placeholder", {0});
    showRemote("/storage/user_dir/x");
    showLocal(pc());
    m_panel->clearLog();
    commandOn(local(), "sub", kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/x/sub/in/b.bin"), std::vector<uint8_t>(7000, 9));
    EXPECT_TRUE(m_panel->exists("/storage/user_dir/x/sub/.seen.txt"));
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/x/sub/.hidden"));
    const std::vector<std::string> made = calls("createFolder");
    EXPECT_EQ(made, std::vector<std::string>(
                        {"createFolder /storage", "createFolder /storage/user_dir", "createFolder /storage/user_dir/x",
                         "createFolder /storage/user_dir/x/sub", "createFolder /storage/user_dir/x/sub/in"}));
}

TEST_F(Transfers, ALinkLoopAndAFifoEndTheBatchUnread)
{
    writeFile(pc("tree/plain.txt"), "plain");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pc("tree/pipe")).constData(), 0600), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(pc("tree")).constData(), QFile::encodeName(pc("tree/loop")).constData()), 0);
    showRemote("/storage/user_dir");
    showLocal(pc());
    commandOn(local(), "tree", kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    ASSERT_EQ(local().queueRecords().size(), 1u);
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/tree/plain.txt"), bytesOf("plain"));
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/tree/pipe"));
    EXPECT_FALSE(m_panel->exists("/storage/user_dir/tree/loop"));
}

TEST_F(Transfers, CopyInOnePanePasteInTheOther)
{
    m_panel->putFile("/storage/user_dir/from/r.txt", bytesOf("remote"));
    writeFile(pc("from/l.txt"), "local");
    QDir().mkpath(pc("to"));
    m_panel->putFile("/storage/user_dir/to/keep", {1});

    // Panel to PC: copied in the panel pane, pasted in the PC pane.
    showRemote("/storage/user_dir/from");
    commandOn(remote(), "r.txt", kCmdCopy);
    showLocal(pc("to"));
    local().simulateClick(NM_RCLICK, -1, -1);
    local().OnCommand(kCmdAreaPaste, 0);
    ASSERT_TRUE(waitUntil([&] { return !remote().isTransferring(); }, 20000));
    EXPECT_EQ(readFile(pc("to/r.txt")), "remote");

    // PC to panel: a copy in the PC pane clears the panel pane's.
    showLocal(pc("from"));
    commandOn(local(), "l.txt", kCmdCopy);
    EXPECT_FALSE(remote().isCopied());
    // The clipboard keeps the folder it was copied in.
    showLocal(pc("to"));
    showRemote("/storage/user_dir/to");
    remote().simulateClick(NM_RCLICK, -1, -1);
    remote().OnCommand(kCmdAreaPaste, 0);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/to/l.txt"), bytesOf("local"));
}

TEST_F(Transfers, ClosingTheWindowMidTransferEndsCleanly)
{
    writeFile(pc("big.bin"), QByteArray(64 * 4096, 6));
    m_panel->setCallDelay("download2", std::chrono::milliseconds(20));
    showRemote("/storage/user_dir");
    showLocal(pc());
    commandOn(local(), "big.bin", kCmdTransport);
    ASSERT_TRUE(waitUntil([&] { return m_panel->count("download2") >= 2; }, 20000));
    destroyDialog();
    // Reports still queued for the destroyed lists are dropped.
    waitUntil([] { return false; }, 200);
}

} // namespace
