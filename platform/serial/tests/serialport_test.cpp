#include "platform/serial/serialport.h"

#include "platform/serial/serialspeed.h"
#include "platform/serial/serialtermios.h"
#include "testing/main/eventwait.h"
#include "testing/serialpair/ptypair.h"
#include "testing/serialpair/socatpair.h"
#include "testing/serialpair/tempcomfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace Serial;
using SerialTesting::PtyPair;
using SerialTesting::SocatPair;
using SerialTesting::TempComFolder;

namespace {

Settings settingsOf(const char* text)
{
    Settings s;
    EXPECT_TRUE(parseSettings(text, &s)) << text;
    return s;
}

std::string allByteValues()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

// Reads from the port until `count` bytes came, a read failed or 10 s passed.
std::string readPort(Port& port, size_t count)
{
    std::string out;
    char buf[512];
    TestWait::waitUntil(
        [&] {
            const int n = port.read(buf, sizeof buf);
            if (n < 0)
                return true;
            out.append(buf, static_cast<size_t>(n));
            return out.size() >= count;
        },
        10000);
    return out;
}

std::string readFd(int fd, size_t count)
{
    std::string out;
    char buf[512];
    TestWait::waitUntil(
        [&] {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                out.append(buf, static_cast<size_t>(n));
            return out.size() >= count;
        },
        10000);
    return out;
}

} // namespace

TEST(SerialPort, OpenRefusesBadNamesAndMissingPorts)
{
    TempComFolder folder;
    Port port;
    EXPECT_EQ(port.open("COMX"), OpenResult::BadName);
    EXPECT_EQ(port.open("LPT1"), OpenResult::BadName);
    ASSERT_TRUE(folder.link("COM9", folder.path() + "/nothing-there"));
    EXPECT_EQ(port.open("COM9"), OpenResult::NotFound);
    ASSERT_TRUE(folder.link("COM8", "/dev/null"));
    EXPECT_EQ(port.open("COM8"), OpenResult::Failed) << "not a tty";
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialPort, SettingsReadBackWhereAPtyKeepsThem)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM3", pty.slaveName()));
    Port port;
    ASSERT_EQ(port.open("com3"), OpenResult::Ok);

    // A pty keeps the speed and the stop bits (it forces CS8 and no parity).
    ASSERT_TRUE(port.apply(settingsOf("baud=9600 parity=E data=7 stop=2")));
    termios t{};
    ASSERT_EQ(tcgetattr(port.descriptor(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);

    ASSERT_TRUE(port.apply(settingsOf("baud=115200 parity=N data=8 stop=1")));
    ASSERT_EQ(tcgetattr(port.descriptor(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    // A rate without a B constant goes through termios2.
    ASSERT_TRUE(port.apply(settingsOf("baud=250000")));
    unsigned speed = 0;
    ASSERT_TRUE(readSpeed(port.descriptor(), &speed));
    EXPECT_EQ(speed, 250000u);
}

TEST(SerialTermios, DataBitsParityAndStopBits)
{
    struct Case {
        const char* text;
        tcflag_t size;
        tcflag_t parity; // PARENB | PARODD | CMSPAR as expected
        bool cstopb;
    };
    const Case cases[] = {
        {"baud=9600 parity=E data=7 stop=1", CS7, PARENB, false},
        {"parity=O data=8", CS8, PARENB | PARODD, false},
        {"parity=M data=6 stop=2", CS6, PARENB | PARODD | CMSPAR, true},
        {"parity=S data=8", CS8, PARENB | CMSPAR, false},
        {"parity=N data=5 stop=1.5", CS5, 0, true},
    };
    for (const Case& c : cases) {
        termios t{};
        t.c_cflag = PARENB | PARODD | CMSPAR | CSTOPB | CS8 | CRTSCTS;
        t.c_iflag = IXON | ICRNL;
        t.c_lflag = ICANON | ECHO;
        t.c_cc[VMIN] = 1;
        EXPECT_TRUE(toTermios(settingsOf(c.text), &t)) << c.text;
        EXPECT_EQ(t.c_cflag & CSIZE, c.size) << c.text;
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parity) << c.text;
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.cstopb) << c.text;
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD)) << c.text;
        EXPECT_FALSE(t.c_cflag & CRTSCTS) << c.text;
        EXPECT_FALSE(t.c_iflag & (IXON | ICRNL)) << c.text;
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO)) << c.text;
        EXPECT_EQ(t.c_cc[VMIN], 0) << c.text;
        EXPECT_EQ(t.c_cc[VTIME], 0) << c.text;
    }
    termios t{};
    ASSERT_TRUE(toTermios(settingsOf("baud=19200 xon=on octs=on"), &t));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_FALSE(toTermios(settingsOf("baud=250000"), &t)) << "no B constant: set by number";
}

TEST(SerialPort, AllByteValuesBothWaysOverASocatPair)
{
    TempComFolder folder;
    SocatPair pair(folder.path(), "COM5", "PEER5");
    ASSERT_TRUE(pair.start());
    Port port;
    ASSERT_EQ(port.open("COM5"), OpenResult::Ok);
    ASSERT_TRUE(port.apply(settingsOf("baud=19200 parity=N data=8 stop=1")));
    ASSERT_TRUE(port.setTimeouts({20, 1000, 5000}));
    const int peer = ::open(pair.secondPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(peer, 0);
    termios t{};
    tcgetattr(peer, &t);
    cfmakeraw(&t);
    tcsetattr(peer, TCSANOW, &t);

    const std::string bytes = allByteValues();
    ASSERT_EQ(port.write(bytes.data(), static_cast<int>(bytes.size())), 256);
    EXPECT_EQ(readFd(peer, 256), bytes);

    ASSERT_EQ(::write(peer, bytes.data(), bytes.size()), 256);
    TestWait::waitUntil([&] { return port.status().queued >= 256; }, 10000);
    const Status st = port.status();
    EXPECT_TRUE(st.ok);
    EXPECT_EQ(st.queued, 256);
    EXPECT_FALSE(st.transmitFull);
    EXPECT_EQ(readPort(port, 256), bytes);
    char c;
    EXPECT_EQ(port.read(&c, 1), 0) << "nothing queued reads nothing, at once";
    ::close(peer);
}

TEST(SerialPort, ASecondOpenIsDeniedUntilTheHolderExits)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM6", pty.slaveName()));

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Port holder;
        const char answer = holder.open("COM6") == OpenResult::Ok ? '1' : '0';
        (void)!::write(ready[1], &answer, 1);
        pause();
        _exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(answer, '1');

    Port port;
    EXPECT_EQ(port.open("COM6"), OpenResult::AccessDenied);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(port.open("COM6"), OpenResult::Ok);

    Port second;
    EXPECT_EQ(second.open("COM6"), OpenResult::AccessDenied) << "held in this process too";
    port.close();
    EXPECT_EQ(second.open("COM6"), OpenResult::Ok);
}

TEST(SerialPort, KilledSocatMakesThePortGoneAndItReopensWhenThePairIsBack)
{
    TempComFolder folder;
    SocatPair pair(folder.path(), "COM7", "PEER7");
    ASSERT_TRUE(pair.start());
    Port port;
    ASSERT_EQ(port.open("COM7"), OpenResult::Ok);
    EXPECT_TRUE(port.status().ok);

    pair.kill();
    Status st;
    TestWait::waitUntil(
        [&] {
            st = port.status();
            return st.gone;
        },
        10000);
    EXPECT_TRUE(st.gone);
    EXPECT_FALSE(st.ok);
    // Asked while the dead pty is still held open: once it is closed its
    // number is free, and any other program's new pty may take the node the
    // dangling link names.
    Port other;
    EXPECT_EQ(other.open("COM7"), OpenResult::NotFound) << "the link is left dangling";
    port.close();

    ASSERT_TRUE(pair.start());
    ASSERT_EQ(port.open("COM7"), OpenResult::Ok);
    EXPECT_TRUE(port.status().ok);
    const char byte = 'x';
    EXPECT_EQ(port.write(&byte, 1), 1);
}

TEST(SerialPort, AWriteThatFindsNoRoomReturnsAfterTheWriteTotal)
{
    TempComFolder folder;
    PtyPair pty; // its master never reads
    ASSERT_TRUE(folder.link("COM2", pty.slaveName()));
    Port port;
    ASSERT_EQ(port.open("COM2"), OpenResult::Ok);
    ASSERT_TRUE(port.apply(settingsOf("baud=19200")));
    ASSERT_TRUE(port.setTimeouts({20, 1000, 300}));
    const std::string block(1 << 20, 'a');
    const auto begin = std::chrono::steady_clock::now();
    const int written = port.write(block.data(), static_cast<int>(block.size()));
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(block.size()));
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_TRUE(port.status().transmitFull);
}

TEST(SerialPort, APlainTtyHasNoInsertionDriver)
{
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM4", pty.slaveName()));
    Port port;
    ASSERT_EQ(port.open("COM4"), OpenResult::Ok);
    const unsigned char in[9] = {0, 'c', '0', 'c', 0, 0xff, 0xff, 0xff, 0xff};
    unsigned char out[8] = {};
    int returned = 99;
    EXPECT_FALSE(port.insertionControl(in, 9, out, 8, &returned));
    EXPECT_EQ(returned, 0);
}

TEST(SerialPort, ManyDescriptorsOpenBeforeThePort)
{
    // poll, never select: a descriptor number above 1023 must still work.
    TempComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link("COM1", pty.slaveName()));
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 2048 && limit.rlim_max >= 2048) {
        limit.rlim_cur = 2048;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> spare;
    for (int i = 0; i < 1100; ++i) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            break;
        spare.push_back(fd);
    }
    if (spare.size() < 1100) {
        for (int fd : spare)
            ::close(fd);
        GTEST_SKIP() << "descriptor limit below 1100";
    }
    Port port;
    ASSERT_EQ(port.open("COM1"), OpenResult::Ok);
    EXPECT_GT(port.descriptor(), 1023);
    ASSERT_TRUE(port.setTimeouts({20, 1000, 1000}));
    EXPECT_EQ(port.write("abc", 3), 3);
    EXPECT_EQ(pty.readFor(3, 2000), "abc");
    EXPECT_TRUE(port.status().ok);
    for (int fd : spare)
        ::close(fd);
}
