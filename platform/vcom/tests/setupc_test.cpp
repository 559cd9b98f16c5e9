#include "testing/vcomharness/setupcharness.h"
#include "testing/vcomharness/within.h"

#include "platform/serial/serialport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using VcomTesting::SetupcHarness;

namespace {

const std::string kListBefore = "       CNCA0 PortName=COM3,EmuOverrun=yes,HiddenMode=yes\n"
                                "       CNCB0 PortName=COM#,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,"
                                "AddRITO=400\n";
const std::string kListAfter = "       CNCA0 PortName=COM3,EmuOverrun=yes,HiddenMode=yes\n"
                               "       CNCB0 PortName=COM#,RealPortName=COM2,EmuOverrun=yes,cts=lrts,dsr=lrts,"
                               "AddRTTO=2000,AddRITO=400\n";

bool waitGone(int pid, int ms)
{
    return VcomTesting::within(ms, [pid] { return !SetupcHarness::processAlive(pid); });
}

mode_t entryType(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

bool install(const SetupcHarness& tool, const std::string& own = "COM3")
{
    return tool.run({"--silent", "install", "PortName=" + own + ",EmuOverrun=yes,HiddenMode=yes",
                     "PortName=COM#,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,AddRITO=400"})
               .exitCode
           == 0;
}

} // namespace

TEST(Setupc, ListIsByteExactBeforeAndAfterTheUsersEndIsNamed)
{
    SetupcHarness tool;
    auto none = tool.run({"list"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.output, "") << "nothing without a pair";

    ASSERT_EQ(tool.run({"preinstall"}).exitCode, 0);
    ASSERT_TRUE(install(tool));
    EXPECT_EQ(tool.run({"update"}).exitCode, 0);
    auto before = tool.run({"list"});
    EXPECT_EQ(before.exitCode, 0);
    EXPECT_EQ(before.output, kListBefore);
    EXPECT_EQ(entryType(tool.comFolder() + "/COM3"), static_cast<mode_t>(S_IFSOCK));

    auto renamed = tool.run({"change", "CNCB0", "RealPortName=COM2"});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.output;
    auto after = tool.run({"list"});
    EXPECT_EQ(after.exitCode, 0);
    EXPECT_EQ(after.output, kListAfter);
    EXPECT_EQ(entryType(tool.comFolder() + "/COM2"), static_cast<mode_t>(S_IFLNK));

    // A second rename moves the link: the old name is gone, the new one leads to the same pty.
    char first[256] = {};
    ASSERT_GT(readlink((tool.comFolder() + "/COM2").c_str(), first, sizeof first - 1), 0);
    ASSERT_EQ(tool.run({"change", "CNCB0", "RealPortName=COM9"}).exitCode, 0);
    char second[256] = {};
    ASSERT_GT(readlink((tool.comFolder() + "/COM9").c_str(), second, sizeof second - 1), 0);
    EXPECT_STREQ(first, second);
    EXPECT_EQ(entryType(tool.comFolder() + "/COM2"), 0u);
}

TEST(Setupc, BusyNamesListsFolderEntriesUartsAndThePairsNames)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair("COM3", "COM2"));
    ASSERT_TRUE(tool.com().link("COM1", "/dev/null"));
    ASSERT_TRUE(tool.com().link("PEER8", "/dev/null"));
    for (const auto& [uart, type] : {std::pair<const char*, const char*>{"ttyS11", "4\n"}, {"ttyS5", "0\n"}}) {
        const std::string folder = tool.ttyFolder() + "/" + uart;
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        std::ofstream(folder + "/type") << type;
    }
    auto busy = tool.run({"busynames", "COM?*"});
    EXPECT_EQ(busy.exitCode, 0);
    EXPECT_EQ(busy.output, "COM1\nCOM2\nCOM3\nCOM12\n");
    EXPECT_EQ(tool.run({"busynames", "com1*"}).output, "COM1\nCOM12\n") << "any case";
    EXPECT_EQ(tool.run({"busynames", "LPT?*"}).output, "");
    EXPECT_EQ(tool.run({"busynames"}).exitCode, 1);

    for (const char* uart : {"ttyS11", "ttyS5"}) {
        const std::string folder = tool.ttyFolder() + "/" + uart;
        unlink((folder + "/type").c_str());
        rmdir(folder.c_str());
    }
}

TEST(Setupc, InstallIsRefusedWhileAPairExistsOrTheNameIsTaken)
{
    {
        SetupcHarness tool;
        ASSERT_TRUE(tool.installPair());
        const int pid = tool.daemonPid();
        auto again = tool.run({"--silent", "install", "PortName=COM5,EmuOverrun=yes", "PortName=COM#"});
        EXPECT_EQ(again.exitCode, 1);
        EXPECT_NE(again.output, "");
        EXPECT_EQ(tool.run({"list"}).output, kListAfter) << "the pair is untouched";
        EXPECT_EQ(tool.daemonPid(), pid);
    }
    {
        SetupcHarness tool;
        ASSERT_TRUE(tool.com().link("COM3", "/dev/null"));
        EXPECT_FALSE(install(tool, "COM3"));
        EXPECT_EQ(tool.run({"list"}).output, "");
        EXPECT_EQ(tool.daemonPid(), -1);
        auto bad = tool.run({"--silent", "install", "PortName=COM4;rm", "PortName=COM#"});
        EXPECT_EQ(bad.exitCode, 1);
        EXPECT_EQ(tool.run({"list"}).output, "");
    }
}

TEST(Setupc, ARefusedChangeExitsOneAndNeverAsksForARestart)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair());
    ASSERT_TRUE(tool.com().link("COM7", "/dev/null"));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"change", "CNCB0", "RealPortName=COM7"},
                                                 {"change", "CNCB0", "RealPortName=COM3"},
                                                 {"change", "CNCB0", "RealPortName=COM0"},
                                                 {"change", "CNCB0", "RealPortName=COM1000"},
                                                 {"change", "CNCB0", "RealPortName=com4"},
                                                 {"change", "CNCB0", "RealPortName=../COM4"},
                                                 {"change", "CNCA0", "RealPortName=COM4"},
                                                 {"change", "CNCB0", "PortName=COM4"},
                                                 {"change", "CNCB0"}}) {
        auto refused = tool.run(args);
        EXPECT_EQ(refused.exitCode, 1) << args.back();
        EXPECT_EQ(refused.output.find("reboot"), std::string::npos) << refused.output;
        EXPECT_EQ(refused.output.find("Try Again"), std::string::npos) << refused.output;
        EXPECT_FALSE(refused.output.empty()) << "an error line for " << args.back();
    }
    EXPECT_EQ(tool.run({"list"}).output, kListAfter);

    SetupcHarness empty;
    EXPECT_EQ(empty.run({"change", "CNCB0", "RealPortName=COM4"}).exitCode, 1) << "no pair";
}

TEST(Setupc, ListRestoresADaemonKilledOutrightWithTheSameNames)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair());
    const int pid = tool.daemonPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    ASSERT_TRUE(waitGone(pid, 5000));

    Serial::Port port;
    EXPECT_EQ(port.open("COM3"), Serial::OpenResult::NotFound) << "nobody serves the own end";

    auto list = tool.run({"list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.output, kListAfter);
    const int restarted = tool.daemonPid();
    EXPECT_NE(restarted, pid);
    EXPECT_TRUE(SetupcHarness::processAlive(restarted));
    EXPECT_EQ(port.open("COM3"), Serial::OpenResult::Ok);
    Serial::Port user;
    EXPECT_EQ(user.open("COM2"), Serial::OpenResult::Ok) << "the user's end is linked again";
}

TEST(Setupc, UninstallStopsTheDaemonAndRemovesEverything)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair());
    const int pid = tool.daemonPid();
    ASSERT_TRUE(SetupcHarness::processAlive(pid));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tool.run({"--silent", "uninstall"}).exitCode, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(waitGone(pid, 2000));
    EXPECT_EQ(entryType(tool.comFolder() + "/COM3"), 0u);
    EXPECT_EQ(entryType(tool.comFolder() + "/COM2"), 0u);
    EXPECT_EQ(entryType(tool.stateFolder() + "/pair.conf"), 0u);
    EXPECT_EQ(tool.run({"list"}).output, "");
    EXPECT_EQ(tool.run({"--silent", "uninstall"}).exitCode, 0) << "nothing to remove";
    EXPECT_TRUE(install(tool)) << "a new pair can follow";
}

TEST(Setupc, UnknownCommandsFail)
{
    SetupcHarness tool;
    EXPECT_EQ(tool.run({}).exitCode, 1);
    EXPECT_EQ(tool.run({"remove"}).exitCode, 1);
    EXPECT_EQ(tool.run({"list", "extra"}).exitCode, 1);
    EXPECT_EQ(tool.run({"update"}).exitCode, 0);
}

TEST(Setupc, ADaemonWhosePairConfigurationIsGoneEnds)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair());
    const int pid = tool.daemonPid();
    ASSERT_EQ(unlink((tool.stateFolder() + "/pair.conf").c_str()), 0);
    EXPECT_TRUE(waitGone(pid, 5000));
    EXPECT_EQ(entryType(tool.comFolder() + "/COM3"), 0u);
    EXPECT_EQ(entryType(tool.comFolder() + "/COM2"), 0u);
}
