#include "brellfin/service/fileservicecalls.h"

#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "testing/fakefileservice/fakefileservice.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/fakepanel/wirewriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace Calls = FileServiceCalls;

namespace {

// Expected argument areas, written independently of the code under test.
struct ArgBytes {
    Fake::WireWriter body;
    uint32_t count = 0;

    ArgBytes& handle(uint32_t value) { return typed("FF::Handle").u32(value), next(); }
    ArgBytes& text(const std::string& value) { return typed("FF::utils::String").string(value), next(); }
    ArgBytes& u64(uint64_t value) { return typed("unsigned long long").u64(value), next(); }
    ArgBytes& bytes(const std::vector<uint8_t>& value)
    {
        return typed("std::vector<FF::byte>").byteVector(value), next();
    }
    std::vector<uint8_t> take()
    {
        std::vector<uint8_t> out = Fake::WireWriter().u32(count).take();
        const auto& b = body.bytes();
        out.insert(out.end(), b.begin(), b.end());
        return out;
    }

private:
    Fake::WireWriter& typed(const char* name) { return body.string(name); }
    ArgBytes& next()
    {
        ++count;
        return *this;
    }
};

std::unique_ptr<FF::RPC::DispatchClient> clientOf(const std::string& endpoint)
{
    return std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(endpoint.c_str()),
                                                     FF::Net::TCPClient::NewFactory());
}

TEST(FileServiceCalls, EveryMethodWritesItsArgumentsByteForByte)
{
    Fake::FakeFileService panel;
    panel.putFile("/storage/user_dir/src.bin", std::vector<uint8_t>(5000, 7));
    auto client = clientOf(panel.endpoint());
    FF::RPC::SyncProxy proxy(client.get());
    const std::string user = "/storage/user_dir/";
    const std::vector<uint8_t> data{1, 2, 3, 0, 255};

    struct Expect {
        std::string method;
        std::vector<uint8_t> args;
    };
    std::vector<Expect> expected;
    auto expect = [&](const std::string& method, ArgBytes args) { expected.push_back({method, args.take()}); };

    const FF::Handle down = Calls::createDownloader2(proxy);
    expect("createDownloader2", ArgBytes());
    EXPECT_EQ(Calls::startDownload2(proxy, down, user + "d.bin", 5), 0u);
    expect("startDownload2", std::move(ArgBytes().handle(down.value).text(user + "d.bin").u64(5)));
    EXPECT_TRUE(Calls::download2(proxy, down, 0, data));
    expect("download2", std::move(ArgBytes().handle(down.value).u64(0).bytes(data)));
    Calls::finishDownload2(proxy, down);
    expect("finishDownload2", std::move(ArgBytes().handle(down.value)));
    Calls::destroyDownloader2(proxy, down);
    expect("destroyDownloader2", std::move(ArgBytes().handle(down.value)));

    const FF::Handle usb = Calls::createUDiskDownloader(proxy);
    expect("createUDiskDownloader", ArgBytes());
    EXPECT_EQ(Calls::startUDiskDownload(proxy, usb, "/media/usb0/u.bin", 0), 0u);
    expect("startUDiskDownload", std::move(ArgBytes().handle(usb.value).text("/media/usb0/u.bin").u64(0)));
    EXPECT_TRUE(Calls::UDiskdownload(proxy, usb, 4096, data));
    expect("UDiskdownload", std::move(ArgBytes().handle(usb.value).u64(4096).bytes(data)));
    Calls::finishUDiskDownload(proxy, usb);
    expect("finishUDiskDownload", std::move(ArgBytes().handle(usb.value)));
    Calls::destroyUDiskDownloader(proxy, usb);
    expect("destroyUDiskDownloader", std::move(ArgBytes().handle(usb.value)));

    const FF::Handle up = Calls::createUpdater2(proxy);
    expect("createUpdater2", ArgBytes());
    EXPECT_EQ(Calls::startUpdate2(proxy, up, user + "src.bin"), 5000u);
    expect("startUpdate2", std::move(ArgBytes().handle(up.value).text(user + "src.bin")));
    EXPECT_EQ(Calls::update2(proxy, up, 4096).size(), 904u);
    expect("update2", std::move(ArgBytes().handle(up.value).u64(4096)));
    Calls::finishUpdate2(proxy, up);
    expect("finishUpdate2", std::move(ArgBytes().handle(up.value)));
    Calls::destroyUpdater2(proxy, up);
    expect("destroyUpdater2", std::move(ArgBytes().handle(up.value)));

    // CRC-32 of 5000 bytes of 7, computed elsewhere; MD5 is 16 bytes.
    Calls::getFileCRC32(proxy, user + "src.bin", 0, 0);
    expect("getFileCRC32", std::move(ArgBytes().text(user + "src.bin").u64(0).u64(0)));
    EXPECT_EQ(Calls::getFileMD5(proxy, user + "src.bin", 0, 5000).size(), 16u);
    expect("getFileMD5", std::move(ArgBytes().text(user + "src.bin").u64(0).u64(5000)));
    panel.setFreeSpace(123456789012ull);
    EXPECT_EQ(Calls::getFreeDiskSize(proxy, "/storage/user_dir"), 123456789012ull);
    expect("getFreeDiskSize", std::move(ArgBytes().text("/storage/user_dir")));
    EXPECT_EQ(Calls::getDiskFreeSize(proxy), 123456789012ull);
    expect("getDiskFreeSize", ArgBytes());

    EXPECT_TRUE(Calls::createFile(proxy, user + "new.txt"));
    expect("createFile", std::move(ArgBytes().text(user + "new.txt")));
    EXPECT_TRUE(Calls::createFolder(proxy, user + "dir"));
    expect("createFolder", std::move(ArgBytes().text(user + "dir")));
    EXPECT_TRUE(Calls::createUDiskFile(proxy, "/media/usb0/f"));
    expect("createUDiskFile", std::move(ArgBytes().text("/media/usb0/f")));
    EXPECT_TRUE(Calls::createUDiskFolder(proxy, "/media/usb0/g"));
    expect("createUDiskFolder", std::move(ArgBytes().text("/media/usb0/g")));
    EXPECT_TRUE(Calls::renameFile(proxy, user + "new.txt", user + "dir/moved.txt"));
    expect("renameFile", std::move(ArgBytes().text(user + "new.txt").text(user + "dir/moved.txt")));
    EXPECT_TRUE(Calls::hasFileOrFolder(proxy, user + "dir/moved.txt"));
    expect("hasFileOrFolder", std::move(ArgBytes().text(user + "dir/moved.txt")));
    EXPECT_FALSE(Calls::isFile(proxy, user + "dir"));
    expect("isFile", std::move(ArgBytes().text(user + "dir")));
    EXPECT_EQ(Calls::getFileSize(proxy, user + "src.bin"), 5000u);
    expect("getFileSize", std::move(ArgBytes().text(user + "src.bin")));
    EXPECT_GT(Calls::getFileModifyTime(proxy, user + "src.bin"), 1600000000);
    expect("getFileModifyTime", std::move(ArgBytes().text(user + "src.bin")));
    EXPECT_EQ(Calls::getEnvPath(proxy, "VEXA_DIR_USER"), "/storage/user_dir");
    expect("getEnvPath", std::move(ArgBytes().text("VEXA_DIR_USER")));
    EXPECT_EQ(Calls::searchFiles(proxy, user), (std::vector<std::string>{"d.bin", "src.bin"}));
    expect("searchFiles", std::move(ArgBytes().text(user)));
    EXPECT_EQ(Calls::searchFolders(proxy, user), (std::vector<std::string>{"dir"}));
    expect("searchFolders", std::move(ArgBytes().text(user)));
    EXPECT_TRUE(Calls::removeFileOrFolder(proxy, user + "dir"));
    expect("removeFileOrFolder", std::move(ArgBytes().text(user + "dir")));
    EXPECT_FALSE(Calls::projectHasPassword(proxy));
    expect("projectHasPassword", ArgBytes());
    EXPECT_FALSE(Calls::projectCheckPassword(proxy, "0123456789abcdef0123456789abcdef"));
    expect("projectCheckPassword", std::move(ArgBytes().text("0123456789abcdef0123456789abcdef")));

    const auto log = panel.log();
    ASSERT_EQ(expected.size(), 34u);
    ASSERT_EQ(log.size(), expected.size());
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].method, expected[i].method);
        EXPECT_EQ(log[i].raw, expected[i].args) << expected[i].method;
    }
    // A call without arguments is the count word 0 alone.
    EXPECT_EQ(log[0].raw, (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(FileServiceCalls, CrcOfAPanelRangeIsTheStandardCrc32)
{
    Fake::FakeFileService panel;
    const std::string digits = "123456789";
    panel.putFile("/storage/user_dir/digits", std::vector<uint8_t>(digits.begin(), digits.end()));
    auto client = clientOf(panel.endpoint());
    FF::RPC::SyncProxy proxy(client.get());
    EXPECT_EQ(Calls::getFileCRC32(proxy, "/storage/user_dir/digits", 0, 9), 0xCBF43926u);
}

// A scripted panel that answers one method with the given result bytes.
class ScriptedReply : public ::testing::Test {
protected:
    void answer(const std::string& method, std::function<void(Fake::MethodResult&)> fill)
    {
        m_panel.addMethod(method, [fill](Fake::MethodArgs&, Fake::MethodResult& result) { fill(result); });
    }
    template <class Call>
    void expectDeserializeFailed(Call call)
    {
        auto client = clientOf(m_panel.endpoint());
        FF::RPC::SyncProxy proxy(client.get());
        try {
            call(proxy);
            ADD_FAILURE() << "no exception";
        } catch (const FF::Net::Exception& e) {
            EXPECT_EQ(e.where(), "GeneratedUnpack");
            EXPECT_EQ(e.info(), "deserialize failed");
        }
    }

    Fake::FakePanelService m_panel;
};

TEST_F(ScriptedReply, UnsignedIntWhereBoolIsExpectedIsNotReadAsANumber)
{
    answer("isFile", [](Fake::MethodResult& r) { r.addUInt(1); });
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::isFile(p, "/storage/user_dir/x"); });
}

TEST_F(ScriptedReply, CutValuesAndMissingResultsFail)
{
    // The type name is right but the value is cut short.
    answer("getFileSize",
           [](Fake::MethodResult& r) { r.addRaw(Fake::WireWriter().string("unsigned long long").u32(7).take()); });
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::getFileSize(p, "/x"); });
    answer("getFileMD5", [](Fake::MethodResult& r) {
        r.addRaw(Fake::WireWriter().string("std::vector<FF::byte>").u32(16).u32(0).take());
    });
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::getFileMD5(p, "/x", 0, 1); });
    // No result at all, a type name differing only in case, a vector of std::string.
    answer("createFile", [](Fake::MethodResult&) {});
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::createFile(p, "/x"); });
    answer("getEnvPath", [](Fake::MethodResult& r) { r.addString("v", "FF::utils::string"); });
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::getEnvPath(p, "X"); });
    answer("searchFiles", [](Fake::MethodResult& r) { r.addStringVector({"a"}, "std::vector<std::string>"); });
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::searchFiles(p, "/x"); });
    // A hostile element count is refused without allocating for it.
    answer("searchFolders", [](Fake::MethodResult& r) {
        r.addRaw(Fake::WireWriter().string("std::vector<FF::String>").u32(0xFFFFFFFF).take());
    });
    expectDeserializeFailed([](Calls::Proxy& p) { Calls::searchFolders(p, "/x"); });
}

TEST_F(ScriptedReply, MethodWithoutResultAcceptsAReplyCarryingOne)
{
    answer("finishDownload2", [](Fake::MethodResult& r) { r.addBool(true); });
    answer("destroyUpdater2", [](Fake::MethodResult& r) { r.addUInt(5).addString("extra"); });
    auto client = clientOf(m_panel.endpoint());
    FF::RPC::SyncProxy proxy(client.get());
    EXPECT_NO_THROW(Calls::finishDownload2(proxy, FF::Handle(1)));
    EXPECT_NO_THROW(Calls::destroyUpdater2(proxy, FF::Handle(2)));
}

TEST_F(ScriptedReply, StatusesOtherThanSucceedSurfaceFromSync)
{
    auto client = clientOf(m_panel.endpoint());
    FF::RPC::SyncProxy proxy(client.get());
    try {
        Calls::projectHasPassword(proxy);
        ADD_FAILURE() << "no exception";
    } catch (const FF::Net::Exception& e) {
        EXPECT_EQ(e.where(), "Proxy.sync");
        EXPECT_EQ(e.info(), "NoRegisteredFunction");
    }
}

} // namespace
