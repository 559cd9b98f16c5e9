#include "brellfin/lists/remotetree.h"

#include "brellfin/service/fileserviceclient.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

class RemoteTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
        m_panel.clearLog();
    }
    // Method and first argument of every call since the last clearLog.
    std::vector<std::string> calls() const
    {
        std::vector<std::string> result;
        for (const auto& call : m_panel.log())
            result.push_back(call.method + " " + (call.args.empty() ? std::string() : call.args[0].text));
        return result;
    }

    Fake::FakeFileService m_panel;
    FileServiceClient m_client;
};

TEST_F(RemoteTreeTest, CollectsOwnFilesBeforeThoseOfSubFolders)
{
    m_panel.putFile("/storage/user_dir/t/z.txt", {1});
    m_panel.putFile("/storage/user_dir/t/a/1.txt", {2});
    m_panel.putFile("/storage/user_dir/t/a/deep/2.txt", {3});
    m_panel.putFile("/storage/user_dir/t/b/3.txt", {4});
    RemoteTree::Collected collected;
    RemoteTree::collectRemoteFiles(m_client, "/storage/user_dir/t", collected);
    EXPECT_EQ(collected.files,
              std::vector<std::string>({"/storage/user_dir/t/z.txt", "/storage/user_dir/t/a/1.txt",
                                        "/storage/user_dir/t/a/deep/2.txt", "/storage/user_dir/t/b/3.txt"}));
    EXPECT_TRUE(collected.rejected.empty());
    EXPECT_TRUE(collected.complete);
}

TEST_F(RemoteTreeTest, NamesThatAreNoPlainNamesAreLeftOut)
{
    m_panel.setSearchNames(std::vector<std::string>{"..", "", ".", "a/../../x", "ok.txt"},
                           std::vector<std::string>{"..", "../../etc"});
    RemoteTree::Collected collected;
    RemoteTree::collectRemoteFiles(m_client, "/storage/user_dir/d", collected);
    EXPECT_EQ(collected.files, std::vector<std::string>({"/storage/user_dir/d/ok.txt"}));
    EXPECT_EQ(collected.rejected.size(), 6u);
    EXPECT_EQ(collected.rejected[0], "/storage/user_dir/d/..");
    EXPECT_TRUE(collected.complete);
    EXPECT_FALSE(RemoteTree::isPlainName("a/b"));
    EXPECT_FALSE(RemoteTree::isPlainName(std::string("n\0ul", 4)));
    EXPECT_TRUE(RemoteTree::isPlainName("..."));
    EXPECT_TRUE(RemoteTree::isPlainName(".hidden"));
}

TEST_F(RemoteTreeTest, AnEndlessTreeEndsAtTheDepthLimit)
{
    m_panel.setEndlessFolders(true);
    RemoteTree::Collected collected;
    RemoteTree::collectRemoteFiles(m_client, "/storage/user_dir/loop", collected);
    EXPECT_FALSE(collected.complete);
    EXPECT_EQ(m_panel.count("searchFolders"), size_t(RemoteTree::kMaxRemoteDepth));
    m_panel.clearLog();
    EXPECT_FALSE(RemoteTree::deleteRemoteTree(m_client, "/storage/user_dir/loop"));
    EXPECT_EQ(m_panel.count("searchFolders"), size_t(RemoteTree::kMaxRemoteDepth));
    EXPECT_EQ(m_panel.count("removeFileOrFolder"), 0u);
}

// A listing that the panel refuses, holds past the call's limit or breaks
// off is no empty folder: the walk stops there, and says so.
TEST(RemoteTreeFaults, AListingWithoutAnswerStopsTheWalkIncomplete)
{
    using namespace std::chrono_literals;
    struct Case {
        const char* what;
        std::function<void(Fake::FakeFileService&)> fault;
        std::vector<std::string> listings; // the walk's calls, the failed one last
        std::vector<std::string> files;    // collected before it
    };
    const Case cases[] = {
        {"the top folder's files refused",
         [](Fake::FakeFileService& p) { p.panel().removeMethod("searchFiles"); },
         {"searchFiles /storage/user_dir/t"},
         {}},
        {"a sub-folder's folders held",
         [](Fake::FakeFileService& p) { p.setCallDelayFrom("searchFolders", 2, 5s); },
         {"searchFiles /storage/user_dir/t", "searchFolders /storage/user_dir/t", "searchFiles /storage/user_dir/t/a",
          "searchFolders /storage/user_dir/t/a"},
         {"/storage/user_dir/t/z.txt", "/storage/user_dir/t/a/1.txt"}},
        {"the deepest files held",
         [](Fake::FakeFileService& p) { p.setCallDelayFrom("searchFiles", 3, 5s); },
         {"searchFiles /storage/user_dir/t", "searchFolders /storage/user_dir/t", "searchFiles /storage/user_dir/t/a",
          "searchFolders /storage/user_dir/t/a", "searchFiles /storage/user_dir/t/a/deep"},
         {"/storage/user_dir/t/z.txt", "/storage/user_dir/t/a/1.txt"}},
        {"the connection broken",
         [](Fake::FakeFileService& p) { p.dropConnectionAfterCalls(2); },
         {"searchFiles /storage/user_dir/t", "searchFolders /storage/user_dir/t", "searchFiles /storage/user_dir/t/a"},
         {"/storage/user_dir/t/z.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fake::FakeFileService panel;
        panel.putFile("/storage/user_dir/t/z.txt", {1});
        panel.putFile("/storage/user_dir/t/a/1.txt", {2});
        panel.putFile("/storage/user_dir/t/a/deep/2.txt", {3});
        FileServiceClient client;
        ASSERT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
        client.setCallTimeOut(300);
        panel.clearLog();
        c.fault(panel);
        RemoteTree::Collected collected;
        RemoteTree::collectRemoteFiles(client, "/storage/user_dir/t", collected);
        EXPECT_FALSE(collected.complete);
        EXPECT_TRUE(collected.unanswered);
        EXPECT_EQ(collected.files, c.files);
        std::vector<std::string> listings;
        for (const auto& call : panel.log())
            listings.push_back(call.method + " " + (call.args.empty() ? std::string() : call.args[0].text));
        EXPECT_EQ(listings, c.listings);
        client.disconnect();
    }
    // The depth limit leaves the walk incomplete, but answered.
    Fake::FakeFileService panel;
    panel.setEndlessFolders(true);
    FileServiceClient client;
    ASSERT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
    RemoteTree::Collected collected;
    RemoteTree::collectRemoteFiles(client, "/storage/user_dir/loop", collected);
    EXPECT_FALSE(collected.complete);
    EXPECT_FALSE(collected.unanswered);
}

TEST_F(RemoteTreeTest, DeleteRemovesFilesThenSubFoldersDepthFirstThenTheFolder)
{
    m_panel.putFile("/storage/user_dir/t/f.txt", {1});
    m_panel.putFile("/storage/user_dir/t/a/g.txt", {2});
    m_panel.putFile("/storage/user_dir/t/b/h.txt", {3});
    EXPECT_TRUE(RemoteTree::deleteRemoteTree(m_client, "/storage/user_dir/t"));
    EXPECT_EQ(calls(), std::vector<std::string>({
                           "searchFiles /storage/user_dir/t",
                           "removeFileOrFolder /storage/user_dir/t/f.txt",
                           "searchFolders /storage/user_dir/t",
                           "searchFiles /storage/user_dir/t/a",
                           "removeFileOrFolder /storage/user_dir/t/a/g.txt",
                           "searchFolders /storage/user_dir/t/a",
                           "removeFileOrFolder /storage/user_dir/t/a",
                           "searchFiles /storage/user_dir/t/b",
                           "removeFileOrFolder /storage/user_dir/t/b/h.txt",
                           "searchFolders /storage/user_dir/t/b",
                           "removeFileOrFolder /storage/user_dir/t/b",
                           "removeFileOrFolder /storage/user_dir/t",
                       }));
    EXPECT_FALSE(m_panel.exists("/storage/user_dir/t"));
}

TEST_F(RemoteTreeTest, DeleteIsJudgedByTheLastRemoval)
{
    EXPECT_FALSE(RemoteTree::deleteRemoteTree(m_client, "/storage/user_dir/missing"));
    m_panel.putFile("/storage/user_dir/f.txt", {1});
    EXPECT_TRUE(RemoteTree::deleteRemoteTree(m_client, "/storage/user_dir/f.txt"));
    EXPECT_FALSE(m_panel.exists("/storage/user_dir/f.txt"));
}

TEST_F(RemoteTreeTest, EachFolderLevelIsAskedForOncePerBatch)
{
    RemoteFolderLevels levels;
    levels.createRemoteFolders(m_client, "/storage/user_dir/x/sub/in/b.bin");
    levels.createRemoteFolders(m_client, "/storage/user_dir/x/sub/in/c.bin");
    levels.createRemoteFolders(m_client, "/storage/user_dir/x/a.txt");
    EXPECT_EQ(calls(), std::vector<std::string>({
                           "createFolder /storage",
                           "createFolder /storage/user_dir",
                           "createFolder /storage/user_dir/x",
                           "createFolder /storage/user_dir/x/sub",
                           "createFolder /storage/user_dir/x/sub/in",
                       }));
    EXPECT_TRUE(m_panel.exists("/storage/user_dir/x/sub/in"));
    EXPECT_FALSE(m_panel.exists("/storage/user_dir/x/sub/in/b.bin"));
    m_panel.clearLog();
    levels.reset();
    levels.createRemoteFolders(m_client, "/storage/user_dir/x/a.txt");
    EXPECT_EQ(m_panel.count("createFolder"), 3u);
}

} // namespace
