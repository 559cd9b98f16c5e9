#include "quillet/port/smartserialdevice.h"

#include "platform/serial/serialport.h"
#include "platform/serial/serialsettings.h"
#include "testing/vcomharness/setupcharness.h"
#include "testing/vcomharness/within.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using TransparentPort::SmartSerialDevice;
using VcomTesting::within;

namespace {

const std::string kState9600("\x61\x10\x80\x25\x00\x00\x61\x11\x08\x00\x00", 11);

std::string readAll(SmartSerialDevice& device, size_t count, int ms)
{
    std::string got;
    within(ms, [&] {
        if (device.readable()) {
            char buf[64];
            const int n = device.read(buf, sizeof buf);
            if (n > 0)
                got.append(buf, static_cast<size_t>(n));
        }
        return got.size() >= count;
    });
    return got;
}

} // namespace

TEST(SmartSerialDeviceOnThePair, HandsOutTheLineStateFirstAndAgainAfterTenIdleSeconds)
{
    VcomTesting::SetupcHarness tool;
    ASSERT_TRUE(tool.installPair("COM3", "COM2"));
    Serial::Port user;
    ASSERT_EQ(user.open("COM2"), Serial::OpenResult::Ok);
    Serial::Settings settings;
    ASSERT_TRUE(Serial::parseSettings("baud=9600 parity=N data=8 stop=1", &settings));
    ASSERT_TRUE(user.apply(settings));

    SmartSerialDevice device("COM3");
    EXPECT_EQ(device.optionMask(), 0x03000300u);
    EXPECT_EQ(device.available(), 11);
    ASSERT_EQ(user.write("\x61z", 2), 2);
    EXPECT_EQ(readAll(device, 14, 3000), kState9600 + std::string("\x61\x00z", 3));

    EXPECT_EQ(device.write("to user", 7), 7);
    char buf[16];
    std::string echoed;
    ASSERT_TRUE(within(2000, [&] {
        const int n = user.read(buf, sizeof buf);
        if (n > 0)
            echoed.append(buf, static_cast<size_t>(n));
        return echoed.size() >= 7;
    }));
    EXPECT_EQ(echoed, "to user");

    // Nothing for 10 s: the state is asked for again and handed out.
    const auto idle = std::chrono::steady_clock::now();
    EXPECT_FALSE(device.readable());
    ASSERT_TRUE(within(16000, [&] { return device.readable(); }));
    EXPECT_GE(std::chrono::steady_clock::now() - idle, std::chrono::milliseconds(9000));
    EXPECT_EQ(readAll(device, 11, 2000), kState9600);
}
