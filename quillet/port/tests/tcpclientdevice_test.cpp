#include "quillet/port/tcpclientdevice.h"

#include "testing/loopbacksocket/loopbacksocket.h"
#include "testing/tcppeer/tcppeer.h"
#include "testing/vcomharness/within.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
// linux/tcp.h, not netinet/tcp.h: its tcp_info has the window the peer sees.
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Fake::TcpPeer;
using TransparentPort::TcpClientDevice;
using VcomTesting::within;
using Clock = std::chrono::steady_clock;

namespace {

// A loopback port that nobody listens on.
uint16_t refusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::string readAll(TcpClientDevice& device, size_t count, int ms)
{
    std::string out;
    char buf[4096];
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < count && Clock::now() < end) {
        if (device.readable()) {
            const int n = device.read(buf, sizeof buf);
            if (n > 0)
                out.append(buf, static_cast<size_t>(n));
        }
    }
    return out;
}

// How often the calling thread gave up the processor by itself (to wait).
long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

} // namespace

TEST(TcpClientDevice, EchoesThroughTheLoopbackPeer)
{
    TcpPeer peer(TcpPeer::Mode::Echo);
    ASSERT_TRUE(peer.start());
    TcpClientDevice device("127.0.0.1", peer.port());
    ASSERT_TRUE(within(3000, [&] { return device.writable(); }));
    std::string sent;
    for (int i = 0; i < 256; ++i)
        sent.push_back(static_cast<char>(i));
    EXPECT_EQ(device.write(sent.data(), 256), 256);
    EXPECT_EQ(readAll(device, 256, 3000), sent);
    EXPECT_EQ(peer.accepts(), 1) << "one connection carried it all";
    EXPECT_EQ(device.write(nullptr, 4), 0);
}

TEST(TcpClientDevice, ASilentPeerIsDroppedAfterFiveSecondsAndRebuilt)
{
    TcpPeer peer(TcpPeer::Mode::Silent);
    ASSERT_TRUE(peer.start());
    TcpClientDevice device("127.0.0.1", peer.port());
    ASSERT_TRUE(within(10000, [&] { return device.writable(); }));
    const auto connected = Clock::now();
    ASSERT_TRUE(within(10000, [&] { return peer.accepts() == 1; }));
    // Sending does not count as activity: only what the panel sends does.
    // The drop comes no earlier than the 5 s rule; how much later depends
    // on how busy the machine is, so the upper bound only proves it comes.
    ASSERT_TRUE(within(30000, [&] {
        device.write("x", 1);
        return peer.accepts() >= 2;
    }));
    const auto took = Clock::now() - connected;
    EXPECT_GE(took, std::chrono::milliseconds(4900));
    EXPECT_TRUE(within(10000, [&] { return peer.events().size() >= 3; }));
    const auto events = peer.events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[1], TcpPeer::Event::EndOfStream) << "the old link is closed before the new one";
}

TEST(TcpClientDevice, BytesThePanelSentThatWaitUnreadKeepTheLinkPastFiveSeconds)
{
    // The relay leaves the panel's bytes in the socket while the serial side
    // cannot take them: the panel is not silent, and its bytes must survive.
    TcpPeer peer(TcpPeer::Mode::Echo);
    ASSERT_TRUE(peer.start());
    TcpClientDevice device("127.0.0.1", peer.port());
    ASSERT_TRUE(within(10000, [&] { return device.writable(); }));
    const std::string sent(100, 'p');
    ASSERT_EQ(device.write(sent.data(), 100), 100);
    ASSERT_TRUE(within(10000, [&] { return device.available() == 100; }));
    const auto end = Clock::now() + std::chrono::milliseconds(6500);
    while (Clock::now() < end) {
        device.writable();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(readAll(device, 100, 10000), sent);
    EXPECT_EQ(peer.accepts(), 1) << "the link was kept";
    // Read empty and silent, it is dropped as before.
    EXPECT_TRUE(within(30000, [&] {
        device.writable();
        return peer.accepts() >= 2;
    }));
}

TEST(TcpClientDevice, ThePanelsSegmentsFitTheWindowManyTimesSoNoBurstWaitsForItsPersistTimer)
{
    // The panel's TCP sends a segment only when a whole one fits the window
    // offered, else it waits for its persist timer (200 ms or more a
    // segment). It cuts its segments to half the largest window it was ever
    // offered, unless the link announced smaller ones. With the link's small
    // receive buffer that is half of what the buffer holds: the window then
    // holds at most two segments, and once it is rounded down below one
    // (after a segment of another size) every segment waits for the timer, for
    // as long as the link lasts. A bulk of small writes read 8 KiB at a time,
    // as the relay reads, lets the window grow to its largest; two short
    // segments and one a little shorter than the panel's own lead to the
    // rounding; whether they do depends on the timing, so there are two tries.
    for (int attempt = 0; attempt < 2; ++attempt) {
        testpeer::Listener listener;
        ASSERT_NE(listener.port(), 0);
        TcpClientDevice device("127.0.0.1", listener.port());
        const testpeer::Fd panel = listener.accept(5000);
        ASSERT_TRUE(panel.valid());
        const int one = 1;
        setsockopt(panel.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const timeval sendLimit{30, 0}; // a send that cannot go on fails instead of hanging
        setsockopt(panel.get(), SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        ASSERT_TRUE(within(5000, [&] { return device.writable(); }));

        std::atomic<size_t> taken{0};
        std::atomic<bool> stopReading{false};
        std::thread relay([&] {
            char buf[8192];
            while (!stopReading) {
                const int n = device.readable() ? device.read(buf, sizeof buf) : 0;
                if (n > 0)
                    taken += static_cast<size_t>(n);
                else
                    std::this_thread::yield();
            }
        });
        size_t sent = 0;
        auto panelSends = [&](size_t count) {
            const std::string bytes(count, 'p');
            const bool ok = testpeer::sendBytes(panel.get(), bytes.data(), bytes.size());
            sent += ok ? count : 0;
            return ok;
        };
        auto arrived = [&](int ms) { return within(ms, [&] { return taken.load() >= sent; }); };
        auto panelsView = [&](tcp_info* info) {
            socklen_t length = sizeof *info;
            return getsockopt(panel.get(), IPPROTO_TCP, TCP_INFO, info, &length) == 0 && length >= sizeof *info;
        };

        const auto bulkEnd = Clock::now() + std::chrono::milliseconds(200);
        bool ok = true;
        while (ok && Clock::now() < bulkEnd)
            ok = panelSends(1024);
        const bool bulkArrived = ok && arrived(20000);
        tcp_info info{};
        ok = bulkArrived && panelsView(&info);
        const size_t segment = info.tcpi_snd_mss;
        for (size_t size : {size_t(1000), size_t(1000), segment > 1200 ? segment - 200 : segment}) {
            ok = ok && panelSends(size) && arrived(10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const auto burstStart = Clock::now();
        ok = ok && panelSends(512 * 1024);
        const bool burstArrived = ok && arrived(15000);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - burstStart);
        // With everything taken, a last byte brings the window as it stands
        // back to the panel.
        ok = burstArrived && panelSends(1) && arrived(10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ok = ok && panelsView(&info);
        stopReading = true;
        relay.join();
        EXPECT_TRUE(bulkArrived) << "try " << attempt << ": " << taken.load() << " of " << sent
                                 << " bytes of the bulk taken in 20 s";
        EXPECT_TRUE(!bulkArrived || burstArrived)
            << "try " << attempt << ": " << taken.load() << " of " << sent << " bytes taken 15 s after the burst";
        EXPECT_LT(took.count(), 3000) << "try " << attempt << ": 512 KiB took " << took.count()
                                      << " ms after a segment of " << segment - 200 << " bytes";
        ASSERT_TRUE(ok);
        EXPECT_GE(info.tcpi_snd_wnd, 3 * info.tcpi_snd_mss)
            << "try " << attempt << ": the panel's segments of " << info.tcpi_snd_mss << " bytes in a window of "
            << info.tcpi_snd_wnd;
    }
}

TEST(TcpClientDevice, APeerThatClosesAtOnceReadsAsNotConnected)
{
    TcpPeer peer(TcpPeer::Mode::AcceptAndClose);
    ASSERT_TRUE(peer.start());
    TcpClientDevice device("127.0.0.1", peer.port());
    ASSERT_TRUE(within(3000, [&] { return peer.accepts() >= 1; }));
    char buf[16];
    EXPECT_TRUE(within(3000, [&] { return device.readable() && device.read(buf, sizeof buf) == -1; }));
}

TEST(TcpClientDevice, ARefusedPortIsNeverWritable)
{
    TcpClientDevice device("127.0.0.1", refusedPort());
    const auto end = Clock::now() + std::chrono::seconds(3);
    bool everWritable = false;
    while (Clock::now() < end) {
        everWritable |= device.writable();
        everWritable |= device.write("x", 1) > 0;
    }
    EXPECT_FALSE(everWritable);
    EXPECT_EQ(device.available(), -1);
}

TEST(TcpClientDevice, AResetDuringALargeSendDoesNotKillTheProcess)
{
    struct sigaction previous {};
    struct sigaction deflt {};
    deflt.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &deflt, &previous); // a SIGPIPE would end this test program
    TcpPeer peer(TcpPeer::Mode::ResetMidStream);
    peer.setResetAfter(64 * 1024);
    ASSERT_TRUE(peer.start());
    TcpClientDevice device("127.0.0.1", peer.port());
    ASSERT_TRUE(within(3000, [&] { return device.writable(); }));
    const std::string block(1 << 20, 'z');
    size_t sent = 0;
    bool failed = false;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (sent < block.size() && Clock::now() < end) {
        const int n = device.write(block.data() + sent, static_cast<int>(std::min<size_t>(65536, block.size() - sent)));
        if (n > 0)
            sent += static_cast<size_t>(n);
        else if (n == -1 && sent > 0)
            failed = true;
        if (failed && peer.accepts() >= 2)
            break;
    }
    EXPECT_LT(sent, block.size());
    EXPECT_TRUE(failed) << "the reset closes the link";
    sigaction(SIGPIPE, &previous, nullptr);
}

TEST(TcpClientDevice, WritesToASlowReaderNeverBlockAndKeepTheOrder)
{
    TcpPeer peer(TcpPeer::Mode::SlowReader);
    ASSERT_TRUE(peer.start());
    TcpClientDevice device("127.0.0.1", peer.port());
    ASSERT_TRUE(within(3000, [&] { return device.writable(); }));
    std::string data(192 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    size_t sent = 0;
    int full = 0;
    long sleeps = 0;
    // The two sockets take most of it at once (154 KiB with the link's
    // 1460-byte segments): the loop ends in a fraction of a second, well
    // before the link's 5 s idle limit. After a full socket it pauses a
    // millisecond, outside the measured write, rather than spin through
    // thousands of writes while the reader drains.
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (sent < data.size() && Clock::now() < end) {
        // A write that waits for the reader puts the thread to sleep. A wall
        // clock cannot tell that from a busy machine pushing the thread
        // aside, which is not a sleep of its own.
        const long before = voluntarySwitches();
        const int n = device.write(data.data() + sent, static_cast<int>(data.size() - sent));
        sleeps += voluntarySwitches() - before;
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else {
            ASSERT_EQ(n, -3) << "a full socket is not a lost link";
            ++full;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(sent, data.size());
    EXPECT_GT(full, 0) << "the reader was slow enough to fill the socket";
    EXPECT_EQ(sleeps, 0) << "a write never waits for the reader";
    // The reader takes 512 bytes a round: about 380 rounds, 5 ms each when
    // the machine is idle, far more when it is busy.
    ASSERT_TRUE(within(60000, [&] { return peer.received() == static_cast<long long>(data.size()); }));
    EXPECT_EQ(peer.receivedBytes(), data);
    EXPECT_EQ(peer.accepts(), 1);
}

TEST(TcpClientDevice, WorksWithDescriptorNumbersAbove1023)
{
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
    TcpPeer peer(TcpPeer::Mode::Echo);
    ASSERT_TRUE(peer.start());
    {
        TcpClientDevice device("127.0.0.1", peer.port());
        ASSERT_TRUE(within(3000, [&] { return device.writable(); }));
        EXPECT_GT(device.waitDescriptor(), 1023);
        EXPECT_EQ(device.write("hello", 5), 5);
        EXPECT_EQ(readAll(device, 5, 3000), "hello");
    }
    for (int fd : spare)
        ::close(fd);
}
