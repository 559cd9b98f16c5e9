#include "platform/beep/consolebeep.h"
#include "testing/main/tempfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

using Clock = std::chrono::steady_clock;

namespace {

long long elapsedMs(Clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

} // namespace

TEST(ConsoleBeep, RefusesFrequenciesAndDurationsTheServiceRefuses)
{
    const auto started = Clock::now();
    EXPECT_FALSE(Platform::consoleBeep(36, 2000));
    EXPECT_FALSE(Platform::consoleBeep(32768, 2000));
    EXPECT_FALSE(Platform::consoleBeep(0, 2000));
    EXPECT_FALSE(Platform::consoleBeep(440, -1));
    EXPECT_FALSE(Platform::consoleBeepOn(nullptr, 440, 2000));
    EXPECT_LT(elapsedMs(started), 1000);
}

TEST(ConsoleBeep, DevicesThatCannotSoundFailWithoutSleepingTheDuration)
{
    const TestFolder::TempFolder folder("beep");
    const std::string file = folder / "plain";
    std::fclose(std::fopen(file.c_str(), "w"));

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    const std::string pty = ptsname(master);

    const auto started = Clock::now();
    EXPECT_FALSE(Platform::consoleBeepOn("/dev/null", 440, 2000));
    EXPECT_FALSE(Platform::consoleBeepOn(file.c_str(), 440, 2000));
    EXPECT_FALSE(Platform::consoleBeepOn((folder / "missing").c_str(), 440, 2000));
    EXPECT_FALSE(Platform::consoleBeepOn(pty.c_str(), 440, 2000));
    EXPECT_LT(elapsedMs(started), 1000);

    close(master);
}
