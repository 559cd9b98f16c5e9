#include "quillet/rpc/transparentserverrpc.h"

#include "quillet/rpc/omberrpcobject.h"
#include "testing/fakepassthrough/fakepassthroughpanel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Fake::Answer;
using Fake::FakePassThroughPanel;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<uint8_t> list)
{
    return std::vector<uint8_t>(list);
}

void append(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void appendU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> argsOf(const FakePassThroughPanel& panel, const std::string& method)
{
    for (const Fake::PassThroughCall& call : panel.calls()) {
        if (call.method == method)
            return call.args;
    }
    return {};
}

class PanelClients : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string reason;
        panel = FakePassThroughPanel::create(&reason);
        if (!panel)
            GTEST_SKIP() << "no fake panel on port 127: " << reason;
    }
    std::unique_ptr<FakePassThroughPanel> panel;
};

} // namespace

TEST_F(PanelClients, SetTransparentParamWireBytes)
{
    TransparentServerRpc rpc(panel->address());
    EXPECT_EQ(rpc.SetTransparentParam(TransparentParam{30042, "COM1"}), 0);
    std::vector<uint8_t> expected = bytes({0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00});
    append(expected, "TransparentParam");
    appendU32(expected, 30042);
    appendU32(expected, 4);
    append(expected, "COM1");
    EXPECT_EQ(argsOf(*panel, "SetTransparentParam"), expected);
    EXPECT_EQ(panel->lastTcpPort(), 30042);
    EXPECT_EQ(panel->lastSerialPort(), "COM1");
    EXPECT_EQ(panel->calls().front().port, 9060);
}

TEST_F(PanelClients, PasswordTravelsOnlyAsItsDigest)
{
    TransparentServerRpc rpc(panel->address());
    EXPECT_EQ(rpc.checkProjectPassword(""), -2);
    std::vector<uint8_t> expected = bytes({0x01, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00});
    append(expected, "FF::utils::String");
    appendU32(expected, 32);
    append(expected, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(argsOf(*panel, "projectCheckPassword"), expected);
    EXPECT_EQ(panel->calls().back().port, 127);

    panel->setProjectPasswordDigest(std::string("202cb962ac59075b964b07152d234b70"));
    EXPECT_EQ(rpc.hasProjectPassword(), 1);
    EXPECT_EQ(rpc.checkProjectPassword("123"), 0);
    EXPECT_EQ(rpc.checkProjectPassword("1234"), -2);
    // Each project call has a connection of its own (the probe before each
    // is accepted too, but makes no init request).
    EXPECT_EQ(panel->projectService().initRequests(), 4);
}

TEST_F(PanelClients, RefusalKeepsTheConnection)
{
    TransparentServerRpc rpc(panel->address());
    panel->setAnswer("SetTransparentParam", Answer::False);
    EXPECT_EQ(rpc.SetTransparentParam(TransparentParam{30000, "COM2"}), -2);
    EXPECT_EQ(rpc.IsReady(), 0);
    EXPECT_EQ(panel->passThroughService().initRequests(), 1);
    // The refused start opened no data port.
    EXPECT_FALSE(panel->dataPortOpen());
}

TEST_F(PanelClients, SilentIsReadyFailsAfterItsTimeOutAndTheNextCallReconnects)
{
    TransparentServerRpc rpc(panel->address());
    panel->setAnswers("IsReady", {Answer::Silent}, Answer::True);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(rpc.IsReady(), -1);
    const auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(4500));
    EXPECT_LT(waited, std::chrono::milliseconds(30000));
    ASSERT_TRUE(panel->passThroughService().waitFor([&] { return panel->passThroughService().openConnections() == 0; },
                                                    std::chrono::seconds(5)));
    EXPECT_EQ(rpc.Terminate(), 0);
    EXPECT_EQ(panel->passThroughService().initRequests(), 2);
}

TEST_F(PanelClients, WrongResultTypeIsAFailureThatDropsTheConnection)
{
    TransparentServerRpc rpc(panel->address());
    panel->setAnswers("IsReady", {Answer::WrongType}, Answer::True);
    EXPECT_EQ(rpc.IsReady(), -1);
    EXPECT_EQ(rpc.IsReady(), 0);
    EXPECT_EQ(panel->passThroughService().initRequests(), 2);
    panel->setAnswer("projectHasPassword", Answer::WrongType);
    EXPECT_EQ(rpc.hasProjectPassword(), -1);
}

TEST_F(PanelClients, DestructionSendsTerminateAndClosesTheDataPort)
{
    {
        TransparentServerRpc rpc(panel->address());
        ASSERT_EQ(rpc.SetTransparentParam(TransparentParam{30077, "COM15"}), 0);
        EXPECT_TRUE(panel->dataPortOpen());
    }
    EXPECT_EQ(panel->callNames(), (std::vector<std::string>{"SetTransparentParam", "Terminate"}));
    EXPECT_FALSE(panel->dataPortOpen());
}

TEST_F(PanelClients, ProjectStartAndItsFailures)
{
    {
        OmberRpcObject project(panel->address());
        EXPECT_TRUE(project.projectStart());
    }
    panel->setAnswer("projectStart", Answer::WrongType);
    OmberRpcObject project(panel->address());
    try {
        project.projectStart();
        FAIL() << "no exception";
    } catch (const OmberRpcObject::Exception& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "call method startProject fail");
    }
}

TEST(QuilletPanelClients, UnreachableProjectServiceNamesItsAddress)
{
    // Nothing listens on 127.90.0.7 (the fakes never take x.y.0.z).
    try {
        OmberRpcObject project("127.90.0.7");
        FAIL() << "no exception";
    } catch (const OmberRpcObject::Exception& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_STREQ(e.what(), "connect omber address[127.90.0.7:127] fail");
    }
    TransparentServerRpc rpc("127.90.0.7");
    EXPECT_EQ(rpc.hasProjectPassword(), -1);
    EXPECT_EQ(rpc.checkProjectPassword("x"), -1);
    EXPECT_EQ(rpc.IsReady(), -1);
    TransparentServerRpc malformed("127.90.0");
    EXPECT_EQ(malformed.SetTransparentParam(TransparentParam{30000, "COM1"}), -1);
}

TEST_F(PanelClients, DataPortEchoesUnescapedAndKeepsStateRecords)
{
    TransparentServerRpc rpc(panel->address());
    ASSERT_EQ(rpc.SetTransparentParam(TransparentParam{30011, "COM1"}), 0);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(30011);
    ::inet_pton(AF_INET, panel->address().c_str(), &peer.sin_addr);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)), 0);
    const char sent[] = "\x61\x10\x80\x25\x00\x00"
                        "c\x61\x00"
                        "b";
    ASSERT_EQ(::send(fd, sent, sizeof(sent) - 1, 0), static_cast<ssize_t>(sizeof(sent) - 1));
    std::string echoed;
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    while (echoed.size() < 3) {
        char buf[16];
        const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        echoed.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    EXPECT_EQ(echoed, "c\x61"
                      "b");
    EXPECT_EQ(panel->baudRates(), (std::vector<uint32_t>{9600}));
    EXPECT_EQ(panel->dataConnectionsAccepted(), 1);
}
