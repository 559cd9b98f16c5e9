#include "quillet/virtualcom/virtualcom.h"

#include "platform/serial/serialport.h"
#include "quillet/virtualcom/tests/faketool.h"
#include "testing/serialpair/ptypair.h"
#include "testing/serialpair/tempcomfolder.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <csignal>
#include <optional>
#include <string>

using SerialTesting::PtyPair;
using SerialTesting::TempComFolder;

namespace {

const QByteArray kPair = "       CNCA0 PortName=COM3,EmuOverrun=yes,HiddenMode=yes\n"
                         "       CNCB0 PortName=COM#,RealPortName=COM2,EmuOverrun=yes,cts=lrts\n";

// COM2 and COM3 exist as ptys in a temporary COM folder.
class FakeToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.link("COM3", own.slaveName()));
        ASSERT_TRUE(com.link("COM2", user.slaveName()));
    }

    TempComFolder com;
    PtyPair own;
    PtyPair user;
    FakeTool tool;
};

bool processAlive(int pid)
{
    return pid > 0 && kill(pid, 0) == 0;
}

} // namespace

TEST_F(FakeToolTest, TheListGivesBothNamesAndASingleLineKeepsThem)
{
    tool.setOutput("list", kPair);
    VirtualCom com(tool.folder());
    EXPECT_EQ(tool.calls(), QStringList{"list"}) << "the tool runs in its own folder with the words as arguments";
    EXPECT_TRUE(com.isInstalled());
    EXPECT_EQ(com.ownPort(), "COM3");
    EXPECT_EQ(com.userPort(), "COM2");

    tool.setOutput("list", "       CNCA0 PortName=COM3,EmuOverrun=yes,HiddenMode=yes\n");
    EXPECT_FALSE(com.queryPair());
    // The stored names stay: a holder of COM2 still makes the pair in use.
    Serial::Port holder;
    ASSERT_EQ(holder.open("COM2"), Serial::OpenResult::Ok);
    EXPECT_TRUE(com.isInUse());
    holder.close();
    EXPECT_FALSE(com.isInUse());
    EXPECT_EQ(com.ownPort(), "") << "a failed list gives no name";
}

TEST_F(FakeToolTest, CarriageReturnsAreTrimmedFromTheLines)
{
    tool.setOutput("list", "       CNCA0 PortName=COM3,EmuOverrun=yes\r\n\r\n"
                           "       CNCB0 PortName=COM#,RealPortName=COM2\r\n");
    VirtualCom com(tool.folder());
    EXPECT_EQ(com.ownPort(), "COM3");
    EXPECT_EQ(com.userPort(), "COM2");
}

TEST_F(FakeToolTest, EntriesWithoutAUsablePortNameYieldNothing)
{
    EXPECT_EQ(VirtualCom::entryName("       CNCA0 PortName=COM3,EmuOverrun=yes"), "COM3");
    EXPECT_EQ(VirtualCom::entryName("CNCA0 portname=com3"), "COM3") << "any case";
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=COM#"), "") << "COM# without a second item";
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=COM#,EmuOverrun=yes"), "");
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=COM#,RealPortName"), "");
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=/dev/sda"), "");
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=COMX"), "");
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=COM0"), "");
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 PortName=COM7"), "") << "a port that is not there";
    EXPECT_EQ(VirtualCom::entryName("       CNCB0 Name=COM3"), "");
    EXPECT_EQ(VirtualCom::entryName(",,,"), "");
    EXPECT_EQ(VirtualCom::entryName(""), "");

    tool.setOutput("list", "       CNCA0 PortName=COM3\n       CNCB0 PortName=COM#\n");
    VirtualCom com(tool.folder());
    EXPECT_FALSE(com.queryPair());
    EXPECT_FALSE(com.isInUse()) << "no names stored";
}

TEST_F(FakeToolTest, AHeldPortExistsAndAnOpenedOneIsReadable)
{
    EXPECT_TRUE(VirtualCom::portExists("COM3"));
    Serial::Port holder;
    ASSERT_EQ(holder.open("COM3"), Serial::OpenResult::Ok);
    EXPECT_TRUE(VirtualCom::portExists("COM3")) << "held by another";
    EXPECT_FALSE(VirtualCom::portExists("COM9"));
}

TEST_F(FakeToolTest, EqualNamesAreRemovedAtConstruction)
{
    tool.setOutput("list", "       CNCA0 PortName=COM3\n       CNCB0 PortName=COM#,RealPortName=COM3\n");
    VirtualCom com(tool.folder());
    EXPECT_EQ(tool.calls(), (QStringList{"list", "--silent uninstall"}));
    EXPECT_FALSE(com.isInstalled());
    EXPECT_FALSE(com.isInUse());
}

TEST_F(FakeToolTest, ARestartIsAskedForByTryAgainOrReboot)
{
    VirtualCom com(tool.folder());
    tool.setOutput("change", "Renamed.\r\nPlease reboot the machine\r\n");
    EXPECT_EQ(com.changeUserPort("COM9"), 1);
    tool.setOutput("change", "Try Again\n");
    EXPECT_EQ(com.changeUserPort("COM9"), 1);
    tool.setOutput("change", "done\n");
    EXPECT_EQ(com.changeUserPort("COM9"), 0);
    EXPECT_EQ(com.changeUserPort("COM9 --silent uninstall"), 0);
    EXPECT_EQ(tool.calls().last(), "change CNCB0 RealPortName=COM9 --silent uninstall");
    EXPECT_EQ(tool.calls().count("--silent uninstall"), 0) << "a name never becomes a command";
}

TEST_F(FakeToolTest, BusyNamesAreTheFirstNumberOfEachLine)
{
    tool.setOutput("busynames", "COM1\nCOM12\r\n  COM 7\nCOM0\n\nCOM99999999999999\nCOM4");
    VirtualCom com(tool.folder());
    EXPECT_EQ(com.busyPortNames(), (std::unordered_set<std::string>{"COM1", "COM12", "COM7", "COM4"}));
    EXPECT_EQ(tool.calls().last(), "busynames COM?*");
    tool.setOutput("busynames", "");
    EXPECT_TRUE(com.busyPortNames().empty());
}

TEST_F(FakeToolTest, NoTwoFreeNumbersNoInstall)
{
    QByteArray all;
    for (int n = 1; n <= 100; ++n)
        all += "COM" + QByteArray::number(n) + "\n";
    tool.setOutput("busynames", all);
    VirtualCom com(tool.folder());
    EXPECT_FALSE(com.install()) << "only 101 is free";
    EXPECT_FALSE(tool.calls().contains("preinstall"));
}

TEST_F(FakeToolTest, AnInstallThatNeverShowsIsRemovedAgain)
{
    tool.setOutput("busynames", "COM1\n");
    VirtualCom com(tool.folder());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(com.install());
    EXPECT_GE(clock.elapsed(), 9000) << "two pauses of 5 s between three checks";
    const QStringList expected{"list",
                               "list",
                               "busynames COM?*",
                               "preinstall",
                               "--silent install PortName=COM3,EmuOverrun=yes,HiddenMode=yes "
                               "PortName=COM#,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,AddRITO=400",
                               "update",
                               "change CNCB0 RealPortName=COM2",
                               "list",
                               "list",
                               "list",
                               "--silent uninstall"};
    EXPECT_EQ(tool.calls(), expected);
}

TEST_F(FakeToolTest, AToolThatNeverEndsIsKilledAtTheLimit)
{
    tool.setHang("list");
    // The limit holds every run of the tool, so it must leave a busy machine
    // room to start the script that answers the next command. The list is
    // tried three times; each hung run sleeps ten minutes unless killed.
    const int limitMs = 3000;
    QElapsedTimer clock;
    clock.start();
    VirtualCom com(tool.folder(), limitMs);
    EXPECT_GE(clock.elapsed(), limitMs) << "the tool had its whole time";
    EXPECT_LT(clock.elapsed(), 60000) << "the hung tool was not waited for";
    const int pid = tool.hungPid("list");
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(processAlive(pid)) << "the tool is gone";
    EXPECT_FALSE(com.isInstalled());
    EXPECT_EQ(com.ownPort(), "");

    tool.setOutput("busynames", "COM1\n");
    EXPECT_EQ(com.busyPortNames(), std::unordered_set<std::string>{"COM1"}) << "other commands still run";
}

// A list or busy-names run that never ends tells nothing: no pair is made
// beside one that may stand, none is removed, and an uninstall that did not
// run keeps the names.
TEST_F(FakeToolTest, AToolWithoutAnswerIsNoMissingPair)
{
    const int limitMs = 2000;
    {
        tool.setHang("list");
        VirtualCom com(tool.folder(), limitMs);
        EXPECT_EQ(com.findPair(), std::nullopt);
        EXPECT_EQ(com.findOwnPort(), std::nullopt);
        EXPECT_FALSE(com.install());
        EXPECT_EQ(tool.calls(), QStringList({"list", "list", "list", "list"})) << "nothing but the list ran";
    }
    FakeTool other;
    {
        other.setHang("busynames");
        VirtualCom com(other.folder(), limitMs);
        EXPECT_EQ(com.findPair(), std::optional<bool>(false));
        EXPECT_FALSE(com.install());
        EXPECT_EQ(other.calls(), QStringList({"list", "list", "list", "busynames COM?*"}))
            << "no install on numbers that only look free";
    }
    FakeTool third;
    {
        third.setOutput("list", kPair);
        third.setHang("--silent");
        VirtualCom com(third.folder(), limitMs);
        EXPECT_FALSE(com.uninstall());
        EXPECT_EQ(com.findOwnPort(), std::optional<std::string>("COM3"));
        EXPECT_EQ(third.calls(), QStringList({"list", "--silent uninstall", "list"}));
    }
}

TEST(VirtualComTool, AMissingToolGivesNothing)
{
    VirtualCom com("/nonexistent-tool-folder");
    EXPECT_FALSE(com.queryPair());
    EXPECT_TRUE(com.busyPortNames().empty());
    EXPECT_FALSE(com.isInUse());
}
