#include "platform/vcom/pairconfig.h"

#include <gtest/gtest.h>

using Vcom::PairConfig;

namespace {

const char* kOwn = "PortName=COM3,EmuOverrun=yes,HiddenMode=yes";
const char* kUser = "PortName=COM#,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,AddRITO=400";

} // namespace

TEST(PairConfig, PortNamesAreComOneToNineHundredNinetyNine)
{
    for (const char* good : {"COM1", "COM9", "COM10", "COM255", "COM999"})
        EXPECT_TRUE(Vcom::isPortName(good)) << good;
    for (const char* bad : {"COM0", "COM01", "COM1000", "com3", "COM", "COM3 ", "COM-1", "LPT1", "COM3x", ""})
        EXPECT_FALSE(Vcom::isPortName(bad)) << bad;
}

TEST(PairConfig, RenamingInsertsRealPortNameAfterPortNameAndReplacesIt)
{
    PairConfig config;
    std::string error;
    ASSERT_TRUE(config.setFromInstall(kOwn, kUser, &error)) << error;
    EXPECT_EQ(config.ownName(), "COM3");
    EXPECT_EQ(config.userName(), "");
    config.setUserName("COM2");
    EXPECT_EQ(config.listText(),
              "       CNCA0 PortName=COM3,EmuOverrun=yes,HiddenMode=yes\n"
              "       CNCB0 PortName=COM#,RealPortName=COM2,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,"
              "AddRITO=400\n");
    config.setUserName("COM9");
    EXPECT_EQ(config.userName(), "COM9");
    EXPECT_EQ(config.userItems().size(), 7u) << "replaced, not added twice";

    PairConfig back;
    ASSERT_TRUE(back.parse(config.text()));
    EXPECT_EQ(back.text(), config.text());
}

TEST(PairConfig, RefusesHostileOrBrokenParameters)
{
    PairConfig config;
    std::string error;
    EXPECT_FALSE(config.setFromInstall("PortName=COM3\nCNCB0 PortName=COM4", kUser, &error));
    EXPECT_FALSE(config.setFromInstall("PortName=COM3,,x=1", kUser, &error));
    EXPECT_FALSE(config.setFromInstall("EmuOverrun=yes,PortName=COM3", kUser, &error));
    EXPECT_FALSE(config.setFromInstall("PortName=COM#", kUser, &error)) << "the own end needs a name";
    EXPECT_FALSE(config.setFromInstall("PortName=../x", kUser, &error));
    EXPECT_FALSE(config.setFromInstall(kOwn, "PortName=COM3", &error)) << "both ends on one name";
    EXPECT_FALSE(config.setFromInstall(kOwn, "PortName=COM#,RealPortName=COM3", &error));
    EXPECT_TRUE(config.setFromInstall(kOwn, "PortName=COM4", &error)) << error;
    EXPECT_EQ(config.userName(), "COM4");

    PairConfig parsed;
    EXPECT_FALSE(parsed.parse(""));
    EXPECT_FALSE(parsed.parse("CNCA0 PortName=COM3\n"));
    EXPECT_FALSE(parsed.parse("CNCA0 PortName=COM3\nCNCA0 PortName=COM4\n"));
    EXPECT_FALSE(parsed.parse("CNCA0 PortName=COM3\nCNCB0 PortName=COM#,RealPortName=COM3\n"));
    EXPECT_FALSE(parsed.parse("CNCA0 PortName=COM3\nCNCB0 PortName=COM#,RealPortName=/dev/sda\n"));
    EXPECT_TRUE(parsed.parse("CNCA0 PortName=COM3\nCNCB0 PortName=COM#\n"));
}
