#include "testing/fakefileservice/fakefileservice.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/wirewriter.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

namespace {

using Fake::FakeFileService;

TEST(FakeFileService, PanelPathsMapIntoItsFolderOnly)
{
    FakeFileService panel;
    const std::string folder = panel.folder();
    EXPECT_EQ(panel.localPath("/storage/user_dir/a/b.txt"), folder + "/user_dir/a/b.txt");
    EXPECT_EQ(panel.localPath("/STORAGE/User_Dir/x"), folder + "/user_dir/x");
    EXPECT_EQ(panel.localPath("/storage/user_dir"), folder + "/user_dir");
    EXPECT_EQ(panel.localPath("/media/usb0/x"), folder + "/usb0/x");
    EXPECT_EQ(panel.localPath("/media/usb12"), folder + "/usb12");
    for (const std::string& hostile :
         std::vector<std::string>{"/storage/user_dir/../../etc/passwd", "/storage/user_dir/./x", "/media/usb0/../usb1",
                                  "/etc/passwd", "storage/user_dir/x", "/storage/user_dirx/y", "/media/usb/x",
                                  "/media/usbA/x", "", std::string("/storage/user_dir/a\0b", 21)})
        EXPECT_FALSE(panel.localPath(hostile)) << hostile;
}

TEST(FakeFileService, FolderIsRemovedWithTheService)
{
    std::string folder;
    {
        FakeFileService panel;
        folder = panel.folder();
        panel.putFile("/storage/user_dir/deep/file", {1, 2, 3});
        EXPECT_EQ(panel.fileBytes("/storage/user_dir/deep/file"), (std::vector<uint8_t>{1, 2, 3}));
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(FakeFileService, CallLogDecodesArgumentsByTheirTypeNames)
{
    Fake::RecordedCall call;
    call.method = "download2";
    call.args = Fake::WireWriter()
                    .u32(3)
                    .string(Fake::kTypeHandle)
                    .u32(0x101)
                    .string(Fake::kTypeULongLong)
                    .u64(8192)
                    .string(Fake::kTypeBytes)
                    .byteVector({9, 8})
                    .take();
    const Fake::FileCall decoded = Fake::decodeFileCall(call);
    ASSERT_TRUE(decoded.wellFormed);
    ASSERT_EQ(decoded.args.size(), 3u);
    EXPECT_EQ(decoded.args[0].number, 0x101u);
    EXPECT_EQ(decoded.args[1].number, 8192u);
    EXPECT_EQ(decoded.args[2].bytes, (std::vector<uint8_t>{9, 8}));
    EXPECT_EQ(decoded.raw, call.args);

    // A count larger than the arguments present, and an unknown type name.
    call.args = Fake::WireWriter().u32(2).string(Fake::kTypeString).string("/x").take();
    EXPECT_FALSE(Fake::decodeFileCall(call).wellFormed);
    call.args = Fake::WireWriter().u32(1).string("double").u64(1).take();
    EXPECT_FALSE(Fake::decodeFileCall(call).wellFormed);
}

TEST(FakeFileService, ListensOnPort127OfItsOwnLoopbackAddress)
{
    FakeFileService panel("127.60.1.27", 127);
    EXPECT_EQ(panel.endpoint(), "127.60.1.27:127");
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(127);
    ::inet_pton(AF_INET, "127.60.1.27", &address.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    EXPECT_TRUE(
        panel.panel().waitFor([&] { return panel.panel().acceptedConnections() == 1; }, std::chrono::seconds(5)));
}

} // namespace
