#include "quillet/virtualcom/virtualcom.h"

#include "platform/serial/serialport.h"
#include "testing/vcomharness/setupcharness.h"
#include "testing/vcomharness/within.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

using VcomTesting::SetupcHarness;
using VcomTesting::within;

extern char** environ;

namespace {

QString toolFolder()
{
    return QString::fromStdString(SetupcHarness::toolFolder()) + "/";
}

// A child process that keeps `path` open (without any lock) until killed.
class PortHolder {
public:
    explicit PortHolder(const std::string& path)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 3, path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK, 0);
        char sleepName[] = "sleep";
        char seconds[] = "600";
        char* argv[] = {sleepName, seconds, nullptr};
        if (posix_spawnp(&m_pid, "sleep", &actions, nullptr, argv, environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~PortHolder() { stop(); }
    void stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    bool running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

} // namespace

TEST(VirtualComStandIn, NothingTakenGivesOwnCom3AndUserCom2)
{
    SetupcHarness tool;
    VirtualCom com(toolFolder());
    EXPECT_FALSE(com.isInstalled());
    EXPECT_TRUE(com.busyPortNames().empty());
    ASSERT_TRUE(com.install());
    EXPECT_EQ(com.ownPort(), "COM3");
    EXPECT_EQ(com.userPort(), "COM2");
    EXPECT_EQ(com.busyPortNames(), (std::unordered_set<std::string>{"COM2", "COM3"}));
    const int pid = tool.daemonPid();
    EXPECT_TRUE(com.install()) << "an installed pair stays";
    EXPECT_EQ(tool.daemonPid(), pid);

    EXPECT_TRUE(com.uninstall());
    EXPECT_FALSE(com.isInstalled());
    EXPECT_EQ(tool.run({"list"}).output, "");
}

TEST(VirtualComStandIn, TakenNamesMoveThePairUp)
{
    SetupcHarness tool;
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"})
        ASSERT_TRUE(tool.com().link(name, "/dev/null"));
    VirtualCom com(toolFolder());
    ASSERT_TRUE(com.install());
    EXPECT_EQ(com.ownPort(), "COM6");
    EXPECT_EQ(com.userPort(), "COM5");
}

TEST(VirtualComStandIn, InUseWhileAnotherProcessHoldsTheUsersEnd)
{
    SetupcHarness tool;
    VirtualCom com(toolFolder());
    EXPECT_FALSE(com.isInUse()) << "no names";
    ASSERT_TRUE(com.install());
    EXPECT_FALSE(com.isInUse());
    {
        PortHolder holder(tool.comFolder() + "/COM2");
        ASSERT_TRUE(holder.running());
        EXPECT_TRUE(within(3000, [&] { return com.isInUse(); }));
        holder.stop();
        EXPECT_TRUE(within(3000, [&] { return !com.isInUse(); }));
    }
    Serial::Port own;
    ASSERT_EQ(own.open("COM3"), Serial::OpenResult::Ok);
    EXPECT_TRUE(com.isInUse()) << "the own end held";
}

TEST(VirtualComStandIn, TheUsersEndIsRenamed)
{
    SetupcHarness tool;
    VirtualCom com(toolFolder());
    ASSERT_TRUE(com.install());
    EXPECT_EQ(com.changeUserPort("COM9"), 0);
    EXPECT_NE(tool.run({"list"}).output.find("RealPortName=COM9,"), std::string::npos);
    EXPECT_EQ(com.userPort(), "COM9");
    EXPECT_EQ(com.changeUserPort("COM3"), 0) << "refused without asking for a restart";
    EXPECT_EQ(com.userPort(), "COM9");
}
