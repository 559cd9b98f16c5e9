#include "quillet/port/serialdevice.h"

#include "platform/serial/serialport.h"
#include "platform/serial/serialspeed.h"
#include "quillet/port/smartserialdevice.h"
#include "testing/serialpair/ptypair.h"
#include "testing/serialpair/socatpair.h"
#include "testing/serialpair/tempcomfolder.h"
#include "testing/vcomharness/within.h"

#include <gtest/gtest.h>

#include <termios.h>

using namespace TransparentPort;
using SerialTesting::PtyPair;
using SerialTesting::TempComFolder;
using VcomTesting::within;

namespace {

// The port is free: nobody holds it open exclusively.
bool isFree(const char* name)
{
    Serial::Port probe;
    return probe.open(name) == Serial::OpenResult::Ok;
}

} // namespace

TEST(SerialDevice, OpensTheNamedPortWithItsSettings)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM3", pty.slaveName()));
    SerialDevice device("COM3:baud=9600 parity=E data=7 stop=1");
    EXPECT_TRUE(device.usable());
    const int fd = device.waitDescriptor();
    ASSERT_GE(fd, 0) << "opened at construction";
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(isFree("COM3"));

    EXPECT_TRUE(device.writable());
    EXPECT_EQ(device.write("ping", 4), 4);
    EXPECT_EQ(pty.readFor(4, 2000), "ping");
    ASSERT_TRUE(pty.writeAll("pong!"));
    ASSERT_TRUE(within(2000, [&] { return device.available() == 5; }));
    EXPECT_TRUE(device.readable());
    char buf[16];
    EXPECT_EQ(device.read(buf, 3), 3);
    EXPECT_EQ(device.read(buf + 3, 16), 2);
    EXPECT_EQ(std::string(buf, 5), "pong!");
    EXPECT_EQ(device.read(buf, 16), 0);
    EXPECT_EQ(device.read(nullptr, 16), 0);
    EXPECT_EQ(device.write(nullptr, 3), 0);
}

TEST(SerialDevice, RefusedNamesAndSettingsNeverOpen)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM3", pty.slaveName()));
    for (const char* spec : {"COM3", "COM3:", "LPT1:baud=9600", "CO:baud=9600", "COMX:baud=9600", "COM3:baud=fast",
                             "COM3:stop=1.5 data=8", "COM3:parity=Q"}) {
        SerialDevice device(spec);
        EXPECT_FALSE(device.usable()) << spec;
        EXPECT_FALSE(device.writable()) << spec;
        EXPECT_EQ(device.write("x", 1), -1) << spec;
        EXPECT_EQ(device.available(), -1) << spec;
        EXPECT_TRUE(isFree("COM3")) << spec;
    }
}

TEST(SerialDevice, AGonePortClosesAndReopensWhenItIsBack)
{
    TempComFolder folder;
    auto pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(folder.link("COM4", pty->slaveName()));
    SerialDevice device("COM4:baud=115200 parity=N data=8 stop=1");
    ASSERT_TRUE(device.writable());

    pty.reset(); // the other end goes away
    EXPECT_FALSE(device.writable());
    EXPECT_EQ(device.waitDescriptor(), -1) << "closed";
    EXPECT_EQ(device.write("x", 1), -1);

    pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(folder.link("COM4", pty->slaveName()));
    ASSERT_TRUE(within(2000, [&] { return device.writable(); }));
    EXPECT_EQ(device.write("back", 4), 4);
    EXPECT_EQ(pty->readFor(4, 2000), "back");
}

TEST(SerialDevice, AKilledSocatPairClosesTheDeviceAndItReopensWhenThePairIsBack)
{
    TempComFolder folder;
    SerialTesting::SocatPair pair(folder.path(), "COM8", "PEER8");
    ASSERT_TRUE(pair.start());
    SerialDevice device("COM8:baud=19200 parity=N data=8 stop=1");
    ASSERT_TRUE(device.writable());
    pair.kill();
    ASSERT_TRUE(within(3000, [&] { return !device.writable() && device.waitDescriptor() == -1; }));
    // The dead pty's number is free now: the dangling link could soon name
    // another program's new pty, which the device would open on its next try.
    folder.unlink("COM8");
    ASSERT_TRUE(pair.start());
    ASSERT_TRUE(within(3000, [&] { return device.writable(); }));
    EXPECT_EQ(device.write("again", 5), 5);
}

TEST(SerialDevice, AMissingPortIsTriedAtMostEvery100Ms)
{
    TempComFolder folder;
    ASSERT_TRUE(folder.link("COM6", folder.path() + "/absent"));
    SerialDevice device("COM6:baud=9600");
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM6", pty.slaveName()));
    // Right after the failed first open the port is not tried again.
    EXPECT_FALSE(device.writable());
    EXPECT_EQ(device.waitDescriptor(), -1);
    EXPECT_TRUE(within(2000, [&] { return device.writable(); }));
}

TEST(SmartSerialDevice, Com5OpensAt19200EightNoneOne)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM5", pty.slaveName()));
    SmartSerialDevice device("com5");
    const int fd = device.waitDescriptor();
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_lflag & ICANON);
    EXPECT_EQ(device.optionMask(), 3u) << "a plain tty has no insertion driver";

    EXPECT_EQ(device.write("abc", 3), 3);
    EXPECT_EQ(pty.readFor(3, 2000), "abc");
    ASSERT_TRUE(pty.writeAll(std::string("\0\x01\xff", 3)));
    ASSERT_TRUE(within(2000, [&] { return device.available() == 3; }));
    EXPECT_TRUE(device.readable());
    char buf[8];
    EXPECT_EQ(device.read(buf, 8), 3);
    EXPECT_EQ(std::string(buf, 3), std::string("\0\x01\xff", 3));
    EXPECT_FALSE(device.readable()) << "no pending bytes from a plain tty";
}

TEST(SmartSerialDevice, BadNamesNeverOpen)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM1", pty.slaveName()));
    for (const char* name : {"COMX", "COM0", "COM", "LPT1", "COM1:"}) {
        SmartSerialDevice device(name);
        EXPECT_EQ(device.waitDescriptor(), -1) << name;
        EXPECT_FALSE(device.writable()) << name;
        char byte = 0;
        EXPECT_EQ(device.read(&byte, 1), -1) << name;
        EXPECT_TRUE(isFree("COM1")) << name;
    }
}
