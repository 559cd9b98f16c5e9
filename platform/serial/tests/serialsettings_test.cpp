#include "platform/serial/serialsettings.h"

#include "platform/serial/serialportname.h"
#include "testing/serialpair/tempcomfolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Serial;

TEST(SerialSettings, ReadsTheUsualText)
{
    Settings s;
    ASSERT_TRUE(parseSettings("baud=9600 parity=E data=7 stop=1", &s));
    EXPECT_EQ(s.baud, 9600u);
    EXPECT_EQ(s.parity, Parity::Even);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, StopBits::One);
    EXPECT_FALSE(s.xonXoff);
    EXPECT_FALSE(s.ctsOutput);
}

TEST(SerialSettings, KeysAndValuesInAnyCase)
{
    Settings s;
    ASSERT_TRUE(parseSettings("  BAUD=115200   Parity=o DATA=8 Stop=2 XON=On octs=ON rts=HS dtr=off ", &s));
    EXPECT_EQ(s.baud, 115200u);
    EXPECT_EQ(s.parity, Parity::Odd);
    EXPECT_EQ(s.stopBits, StopBits::Two);
    EXPECT_TRUE(s.xonXoff);
    EXPECT_TRUE(s.ctsOutput);
    EXPECT_EQ(s.rts, LineControl::Handshake);
    EXPECT_EQ(s.dtr, LineControl::Off);
}

TEST(SerialSettings, EveryParity)
{
    const std::pair<const char*, Parity> cases[] = {
        {"n", Parity::None}, {"E", Parity::Even}, {"o", Parity::Odd}, {"M", Parity::Mark}, {"s", Parity::Space}};
    for (const auto& [letter, parity] : cases) {
        Settings s;
        ASSERT_TRUE(parseSettings(std::string("baud=19200 parity=") + letter, &s)) << letter;
        EXPECT_EQ(s.parity, parity) << letter;
    }
}

TEST(SerialSettings, OneAndAHalfStopBitsOnlyWithFiveDataBits)
{
    Settings s;
    EXPECT_TRUE(parseSettings("data=5 stop=1.5", &s));
    EXPECT_EQ(s.stopBits, StopBits::OneAndHalf);
    for (const char* data : {"6", "7", "8"})
        EXPECT_FALSE(parseSettings(std::string("stop=1.5 data=") + data, &s)) << data;
    EXPECT_FALSE(parseSettings("data=5 stop=2", &s));
    EXPECT_TRUE(parseSettings("data=6 stop=2", &s));
}

TEST(SerialSettings, KeysThisPlatformCannotHonourAreAcceptedAndIgnored)
{
    Settings s;
    EXPECT_TRUE(parseSettings("baud=9600 to=on odsr=off idsr=on", &s));
    EXPECT_TRUE(parseSettings("", &s));
}

TEST(SerialSettings, RefusesUnknownKeysAndBadValues)
{
    Settings s;
    s.baud = 1234;
    for (const char* text :
         {"baud=",     "baud=abc", "baud=0",  "baud=-9600", "baud=96OO", "baud=1234567890", "parity=x", "parity=none",
          "data=4",    "data=9",   "data=",   "stop=3",     "stop=1.0",  "speed=9600",      "baud9600", "=9600",
          "xon=maybe", "octs=1",   "rts=tg2", "dtr=tg",     "to=",       "baud=9600 bits=8"}) {
        EXPECT_FALSE(parseSettings(text, &s)) << text;
    }
    EXPECT_EQ(s.baud, 1234u) << "a refused text leaves the settings alone";
}

TEST(SerialPortName, ComNumbers)
{
    EXPECT_EQ(comNumber("COM3"), 3);
    EXPECT_EQ(comNumber("com5"), 5);
    EXPECT_EQ(comNumber("Com12"), 12);
    EXPECT_EQ(comNumber("COMX"), 0);
    EXPECT_EQ(comNumber("COM0"), 0);
    EXPECT_EQ(comNumber("COM"), 0);
    EXPECT_EQ(comNumber("COM3:"), 0);
    EXPECT_EQ(comNumber("LPT1"), 0);
    EXPECT_EQ(comNumber("COM1/../x"), 0);
    EXPECT_EQ(comNumber("COM99999999999"), 0);
}

TEST(SerialPortName, FolderEntryFirstThenTheRealPort)
{
    SerialTesting::TempComFolder folder;
    ASSERT_TRUE(folder.link("COM4", "/dev/null"));
    EXPECT_EQ(devicePath("com4"), folder.path() + "/COM4");
    EXPECT_EQ(devicePath("COM5"), "/dev/ttyS4");
    EXPECT_EQ(devicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(devicePath("COMX"), "");
    EXPECT_EQ(devicePath("LPT1"), "");
}

TEST(SerialPortName, AFolderOthersMayWriteIsIgnored)
{
    SerialTesting::TempComFolder folder;
    ASSERT_TRUE(folder.link("COM4", "/dev/null"));
    ASSERT_EQ(chmod(folder.path().c_str(), 0777), 0);
    EXPECT_EQ(devicePath("COM4"), "/dev/ttyS3");
    ASSERT_EQ(chmod(folder.path().c_str(), 0700), 0);
    EXPECT_EQ(devicePath("COM4"), folder.path() + "/COM4");
}
