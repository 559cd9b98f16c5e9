#include "platform/serial/serialownend.h"

#include "platform/serial/serialport.h"
#include "platform/serial/serialsettings.h"
#include "testing/main/opendescriptors.h"
#include "testing/vcomharness/setupcharness.h"
#include "testing/vcomharness/within.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Serial::OpenResult;
using Serial::Port;
using VcomTesting::SetupcHarness;
using VcomTesting::within;

namespace {

using Bytes = std::string;

Bytes bytes(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

bool applyText(Port& port, const char* text)
{
    Serial::Settings s;
    return Serial::parseSettings(text, &s) && port.apply(s);
}

Bytes request(unsigned char escape, uint32_t options)
{
    Bytes r{static_cast<char>(escape), 'c', '0', 'c', '\0'};
    for (int i = 0; i < 4; ++i)
        r.push_back(static_cast<char>(options >> (8 * i)));
    return r;
}

// Runs the control call; returns the bytes handed back, or "FAILED".
Bytes control(Port& port, const Bytes& in, int outLen)
{
    std::string out(static_cast<size_t>(outLen), '\0');
    int returned = -1;
    if (!port.insertionControl(reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()),
                               reinterpret_cast<unsigned char*>(out.data()), outLen, &returned))
        return "FAILED";
    return out.substr(0, static_cast<size_t>(returned));
}

// Reads from the port until `count` bytes came or `ms` passed, `chunk` bytes per call.
Bytes readFor(Port& port, size_t count, int ms, int chunk = 256)
{
    Bytes got;
    within(ms, [&] {
        char buf[256];
        const int n = port.read(buf, chunk);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
        return got.size() >= count;
    });
    return got;
}

const Bytes kEnabled9600 = bytes({0x61, 0x10, 0x80, 0x25, 0x00, 0x00, 0x61, 0x11, 0x08, 0x00, 0x00});

// A pair with COM3 the own end and COM2 the user's end, opened at 9600 8N1.
class OwnEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tool.installPair("COM3", "COM2"));
        ASSERT_EQ(user.open("COM2"), OpenResult::Ok);
        ASSERT_TRUE(applyText(user, "baud=9600 parity=N data=8 stop=1"));
        user.setTimeouts({0, 0, 2000});
        ASSERT_EQ(own.open("COM3"), OpenResult::Ok);
        ASSERT_TRUE(own.isOwnEnd());
        own.setTimeouts({0, 0, 2000});
    }

    Bytes enable() { return control(own, request(0x61, 0x03000300), 11); }

    SetupcHarness tool;
    Port user;
    Port own;
};

} // namespace

TEST_F(OwnEndTest, QueryAnswersTheDriversSignatureAndOptions)
{
    EXPECT_EQ(control(own, request(0, 0xFFFFFFFF), 8), bytes({'c', '0', 'c', 0, 0x03, 0x03, 0x00, 0x03}));
    EXPECT_EQ(control(own, request(0, 0xFFFFFFFF), 7), "FAILED") << "no room for the answer";
}

TEST_F(OwnEndTest, EnableReturnsTheSpeedAndLineRecordsOfTheUsersLine)
{
    EXPECT_EQ(enable(), kEnabled9600);
    EXPECT_EQ(control(own, request(0x61, 0x03000300), 10), "FAILED") << "records need 11 bytes";
    EXPECT_EQ(control(own, request(0x61, 0x00000300), 0), "") << "no records asked for";
    EXPECT_EQ(control(own, request(0x61, 0x04000300), 11), "FAILED") << "unknown option";
    Bytes badSignature = request(0x61, 0x03000300);
    badSignature[2] = 'x';
    EXPECT_EQ(control(own, badSignature, 11), "FAILED");
    EXPECT_EQ(control(own, Bytes("\x61\x01", 2), 11), "FAILED") << "short request";
}

TEST_F(OwnEndTest, EscapeBytesInTheDataAreFollowedByZero)
{
    ASSERT_EQ(enable(), kEnabled9600);
    ASSERT_EQ(user.write("\x61\x62", 2), 2);
    EXPECT_EQ(readFor(own, 3, 3000), bytes({0x61, 0x00, 0x62}));

    ASSERT_EQ(user.write("\x61\x62\x61", 3), 3);
    Bytes single;
    for (int i = 0; i < 5; ++i)
        single += readFor(own, 1, 3000, 1);
    EXPECT_EQ(single, bytes({0x61, 0x00, 0x62, 0x61, 0x00})) << "a short read keeps the rest of a pair";

    // Before insertion is enabled the bytes pass unchanged.
    Port plain;
    own.close();
    ASSERT_EQ(plain.open("COM3"), OpenResult::Ok);
    ASSERT_EQ(user.write("\x61\x62", 2), 2);
    EXPECT_EQ(readFor(plain, 2, 3000), bytes({0x61, 0x62}));
}

TEST_F(OwnEndTest, AChangeOfTheUsersLineIsReportedAheadOfLaterData)
{
    ASSERT_EQ(enable(), kEnabled9600);
    ASSERT_TRUE(applyText(user, "baud=19200 parity=N data=8 stop=2"));
    ASSERT_EQ(user.write("z", 1), 1);
    EXPECT_EQ(readFor(own, 12, 3000), bytes({0x61, 0x10, 0x00, 0x4B, 0x00, 0x00, 0x61, 0x11, 0x08, 0x00, 0x02, 'z'}));

    // Only what changed is reported; a pty keeps odd parity but not 7 data bits.
    ASSERT_TRUE(applyText(user, "baud=19200 parity=O data=7 stop=2"));
    Serial::Status st = own.status();
    EXPECT_TRUE(st.ok);
    EXPECT_EQ(st.queued, 5) << "the queue query sees the record too";
    EXPECT_EQ(readFor(own, 5, 3000), bytes({0x61, 0x11, 0x08, 0x01, 0x02}));
    ASSERT_TRUE(applyText(user, "baud=19200 parity=M data=8 stop=1"));
    EXPECT_EQ(readFor(own, 5, 3000), bytes({0x61, 0x11, 0x08, 0x03, 0x00}));

    // The 10-second refresh reports the present line without clearing the input.
    ASSERT_EQ(user.write("q", 1), 1);
    ASSERT_TRUE(within(2000, [&] { return own.status().queued == 1; }));
    EXPECT_EQ(enable(), bytes({0x61, 0x10, 0x00, 0x4B, 0x00, 0x00, 0x61, 0x11, 0x08, 0x03, 0x00}));
    EXPECT_EQ(readFor(own, 1, 3000), "q");
}

TEST_F(OwnEndTest, SettingsAppliedOnTheOwnEndLeaveTheUsersLineAlone)
{
    EXPECT_TRUE(applyText(own, "baud=115200 parity=E data=7 stop=2"));
    Serial::Settings line;
    ASSERT_TRUE(user.readSettings(&line));
    EXPECT_EQ(line.baud, 9600u);
    EXPECT_EQ(line.stopBits, Serial::StopBits::One);
    ASSERT_TRUE(own.readSettings(&line)) << "the own end reads the user's line";
    EXPECT_EQ(line.baud, 9600u);
}

TEST_F(OwnEndTest, WithTheUsersEndClosedWritesAreDroppedAndNothingStaleRemains)
{
    ASSERT_EQ(enable(), kEnabled9600);
    ASSERT_EQ(own.write("unread", 6), 6); // sent but never read by the user
    ASSERT_TRUE(within(1000, [&] { return user.status().queued == 6; }));
    user.close();
    Serial::PairStatus pair;
    ASSERT_TRUE(within(2000, [&] { return Serial::queryPairStatus("COM3", &pair) && !pair.userOpen; }));
    EXPECT_TRUE(pair.held);
    EXPECT_EQ(own.write("dropped", 7), 7) << "reported written";
    char buf[16];
    EXPECT_EQ(own.read(buf, sizeof buf), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    ASSERT_EQ(user.open("COM2"), OpenResult::Ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(user.read(buf, sizeof buf), 0) << "nothing stale";
    ASSERT_EQ(own.write("fresh", 5), 5);
    EXPECT_EQ(readFor(user, 5, 2000), "fresh");
}

TEST_F(OwnEndTest, OneHolderAtATime)
{
    const int before = TestDescriptors::openDescriptorCount();
    Port second;
    EXPECT_EQ(second.open("COM3"), OpenResult::AccessDenied);
    Serial::PairStatus pair;
    ASSERT_TRUE(Serial::queryPairStatus("COM3", &pair));
    EXPECT_TRUE(pair.held);
    EXPECT_TRUE(pair.userOpen);
    // Neither the refused request nor the status question keeps its connection.
    EXPECT_EQ(TestDescriptors::openDescriptorCount(), before);
    own.close();
    ASSERT_TRUE(within(2000, [&] { return second.open("COM3") == OpenResult::Ok; }));
    EXPECT_TRUE(second.isOwnEnd());
}

TEST_F(OwnEndTest, ADaemonThatDiesLeavesTheHeldEndGone)
{
    EXPECT_TRUE(own.status().ok);
    const int pid = tool.daemonPid();
    ASSERT_GT(pid, 0);
    kill(pid, SIGKILL);
    ASSERT_TRUE(within(3000, [&] { return own.status().gone; }));
}

TEST(OwnEndDaemon, AnUnheldOwnEndTakesAndDropsWhatTheUserWrites)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair("COM3", "COM2"));
    Port user;
    ASSERT_EQ(user.open("COM2"), OpenResult::Ok);
    ASSERT_TRUE(applyText(user, "baud=9600 parity=N data=8 stop=1"));
    user.setTimeouts({0, 0, 20000});
    const std::string block(65536, '\x61');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(user.write(block.data(), static_cast<int>(block.size())), 65536);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));

    // The dropped bytes do not reach a later holder.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Port own;
    ASSERT_EQ(own.open("COM3"), OpenResult::Ok);
    ASSERT_EQ(control(own, request(0x61, 0x03000300), 11), kEnabled9600);
    char buf[64];
    EXPECT_EQ(own.read(buf, sizeof buf), 0);
}

TEST(OwnEndDaemon, StaleOrForeignEntriesAreNoOwnEnd)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair("COM3", "COM2"));
    Port user;
    ASSERT_EQ(user.open("COM2"), OpenResult::Ok);
    EXPECT_FALSE(user.isOwnEnd());
    unsigned char out[8];
    int returned = 5;
    EXPECT_FALSE(user.insertionControl(reinterpret_cast<const unsigned char*>(request(0, 0xFFFFFFFF).data()), 9, out, 8,
                                       &returned))
        << "a tty has no insertion driver";
    EXPECT_EQ(returned, 0);
    Serial::PairStatus pair;
    EXPECT_FALSE(Serial::queryPairStatus("COM2", &pair)) << "the user's end is no daemon";
    EXPECT_FALSE(Serial::queryPairStatus("COM4", &pair));
}

TEST(OwnEndDaemon, TheUsersEndIsFreeAgainWhenItsHolderDies)
{
    SetupcHarness tool;
    ASSERT_TRUE(tool.installPair("COM3", "COM2"));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Port held;
        const char answer = held.open("COM2") == OpenResult::Ok ? '1' : '0';
        (void)!write(ready[1], &answer, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    close(ready[0]);
    ASSERT_EQ(answer, '1');
    Port user;
    EXPECT_EQ(user.open("COM2"), OpenResult::AccessDenied);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(user.open("COM2"), OpenResult::Ok);
    // No exclusive flag left behind that would refuse other users than root.
    int exclusive = 1;
    ASSERT_EQ(ioctl(user.descriptor(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}
