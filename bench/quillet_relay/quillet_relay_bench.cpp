// Relays a pty to a loopback TCP echo through TransparentThread, through
// socat, and through socat with the relay's own socket settings (10240-byte
// buffers, 1460-byte segments; beside the target: what the smaller TCP window
// costs by itself), in interleaved rounds (each round starting one side
// further on), and prints per side the median and min-max over the rounds of:
//  - paced: a 115200 baud line as 8N1 delivers it (16-byte frames every
//    1389 us, 11520 bytes/s); the round trip each relay adds to the pty and
//    the echo alone (measured in the same round), median and 99th percentile;
//  - unpaced: 1 KiB frames with at most 32 KiB in flight on a 4000000 baud
//    port; bytes per second back at the pty.
// A run that does not get every frame back within 30 s counts with what came
// back, and says so; an unpaced run in which the echo's sending was held by
// the relay's receive window for a second or more says how long (the echo's
// TCP_INFO). Then the ratios and the targets: added median <= 0.5 ms and added
// p99 <= 2 ms paced, unpaced throughput >= 90 % of socat's, and no unpaced
// run under a tenth of socat's in the same round.
// Processors: the relay under test (TransparentThread's threads, or the socat
// process) runs on the third and fourth of four, the pty's writer and reader
// and the echo on the first and second, so that the two sides of a pair never
// share a core; with one given, everything shares it.
// Usage: quillet_relay_bench [rounds, default 7, at least 7] [--cores a,b,c,d | --cores a]
// Without --cores the first four processors this process may run on are
// taken (start it under taskset to choose them).

#include "bench/benchcpus.h"
#include "quillet/port/portconstants.h"
#include "quillet/port/transparentthread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
// linux/tcp.h, not netinet/tcp.h: its tcp_info has the receive-window fields.
#include <linux/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using BenchCpus::allowedCpus;
using BenchCpus::listOf;
using BenchCpus::loadLine;

using Clock = std::chrono::steady_clock;

constexpr int kDefaultRounds = 7;
constexpr int kMinRounds = 7;
constexpr double kAddedMedianTargetUs = 500;
constexpr double kAddedP99TargetUs = 2000;
constexpr double kThroughputTargetRatio = 0.9;
constexpr double kSlowRunRatio = 0.1; // an unpaced run under this share of socat's in its round
constexpr int kRunLimitSeconds = 30;  // one load through one relay
constexpr double kWindowHeldNoteSeconds = 1;

double microsSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}

// Pins the calling thread; the threads and processes it starts afterwards inherit the set.
void pinTo(const std::vector<int>& cpus)
{
    try {
        BenchCpus::pinTo(cpus);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "quillet_relay_bench: %s\n", error.what());
        std::exit(1);
    }
}

// The processors of the two sides: the relay's, and the pty's and echo's.
struct Cores {
    std::vector<int> relay;
    std::vector<int> driver;
};

// Starts a relay on the relay's processors: this thread goes back to the driver's afterwards.
class OnRelayCores {
public:
    explicit OnRelayCores(const Cores& cores)
        : m_cores(cores)
    {
        pinTo(m_cores.relay);
    }
    ~OnRelayCores() { pinTo(m_cores.driver); }

private:
    const Cores& m_cores;
};

// A loopback echo for one connection at a time.
class Echo {
public:
    Echo()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_listen, 4);
        socklen_t len = sizeof addr;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~Echo()
    {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    int accepts() const { return m_accepts; }
    // Connections that have ended, and how long the last one's sending was
    // held by the relay's receive window (seconds), with the echo's segment
    // size and the window offered last.
    int ended() const { return m_ended; }
    double windowHeldSeconds() const { return static_cast<double>(m_windowHeldUs) / 1e6; }
    unsigned segment() const { return m_segment; }
    unsigned window() const { return m_window; }

private:
    void run()
    {
        std::vector<char> buf(65536);
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++m_accepts;
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            while (!m_stop) {
                pollfd c{fd, POLLIN, 0};
                if (poll(&c, 1, 100) <= 0)
                    continue;
                const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
                if (n <= 0) {
                    noteWindow(fd);
                    break;
                }
                for (ssize_t done = 0; done < n;) {
                    const ssize_t w = send(fd, buf.data() + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
                    if (w <= 0)
                        break;
                    done += w;
                }
            }
            ::close(fd);
            ++m_ended;
        }
    }

    void noteWindow(int fd)
    {
        tcp_info info{};
        socklen_t length = sizeof info;
        if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 || length < sizeof info)
            return;
        m_windowHeldUs = info.tcpi_rwnd_limited;
        m_segment = info.tcpi_snd_mss;
        m_window = info.tcpi_snd_wnd;
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepts{0};
    std::atomic<int> m_ended{0};
    std::atomic<unsigned long long> m_windowHeldUs{0};
    std::atomic<unsigned> m_segment{0};
    std::atomic<unsigned> m_window{0};
    std::thread m_thread;
};

struct Figures {
    bool up = false; // the relay connected both ends
    bool ok = false; // every frame came back
    size_t received = 0;
    size_t frames = 0;
    double bytesPerSecond = 0;
    double median = 0;
    double p99 = 0;
    double windowHeld = 0; // seconds the echo's sending waited for the relay's window
    unsigned segment = 0;
    unsigned window = 0;
};

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

void drain(int fd)
{
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0 || ::read(fd, buf, sizeof buf) <= 0)
            return;
    }
}

bool writeAll(int fd, const char* data, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
    return true;
}

struct Load {
    const char* name;
    const char* settings;
    int frames;
    size_t frameSize;
    std::chrono::microseconds gap; // zero: unpaced
    size_t window;                 // bytes in flight at most when unpaced
};

// Sends the load's frames into the pty master and reads them back from it,
// noting each frame's round trip.
Figures runLoad(int master, const Load& load)
{
    const size_t frames = static_cast<size_t>(load.frames);
    std::vector<Clock::time_point> sentAt(frames);
    std::vector<double> latency;
    latency.reserve(frames);
    std::atomic<size_t> received{0};
    const auto begin = Clock::now();
    std::thread sender([&] {
        std::string frame(load.frameSize, '\0');
        auto next = Clock::now();
        const auto giveUp = Clock::now() + std::chrono::seconds(kRunLimitSeconds);
        for (size_t i = 0; i < frames; ++i) {
            if (load.gap.count() > 0) {
                std::this_thread::sleep_until(next);
                next += load.gap;
            } else {
                while ((i - received.load() + 1) * load.frameSize > load.window) {
                    if (Clock::now() > giveUp)
                        return;
                    std::this_thread::yield();
                }
            }
            const uint32_t seq = static_cast<uint32_t>(i);
            std::memcpy(frame.data(), &seq, sizeof seq);
            sentAt[i] = Clock::now();
            if (!writeAll(master, frame.data(), frame.size()))
                return;
        }
    });
    std::string pending;
    char buf[65536];
    const auto deadline = Clock::now() + std::chrono::seconds(kRunLimitSeconds);
    while (received < frames && Clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        const auto now = Clock::now();
        pending.append(buf, static_cast<size_t>(n));
        size_t at = 0;
        while (pending.size() - at >= load.frameSize) {
            uint32_t seq = 0;
            std::memcpy(&seq, pending.data() + at, sizeof seq);
            if (seq < frames)
                latency.push_back(std::chrono::duration<double, std::micro>(now - sentAt[seq]).count());
            at += load.frameSize;
            ++received;
        }
        pending.erase(0, at);
    }
    sender.join();
    const double seconds = microsSince(begin) / 1e6;
    Figures f;
    f.up = true;
    f.ok = received == frames;
    f.received = received;
    f.frames = frames;
    f.bytesPerSecond = static_cast<double>(received) * static_cast<double>(load.frameSize) / seconds;
    f.median = percentile(latency, 0.5);
    f.p99 = percentile(latency, 0.99);
    return f;
}

// The round trip through the pty and the echo alone: this thread relays.
Figures baseline(int master, const std::string& slavePath, int echoPort, size_t frameSize, int count)
{
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(echoPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Figures f;
    if (slave < 0 || connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(sock);
        if (slave >= 0)
            ::close(slave);
        return f;
    }
    std::vector<double> rtt;
    std::string frame(frameSize, 'b');
    std::vector<char> buf(frameSize);
    auto readExactly = [&](int fd) {
        size_t got = 0;
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (got < frameSize && Clock::now() < end) {
            const ssize_t n = ::read(fd, buf.data() + got, frameSize - got);
            if (n <= 0) {
                pollfd p{fd, POLLIN, 0};
                poll(&p, 1, 100);
                continue;
            }
            got += static_cast<size_t>(n);
        }
        return got == frameSize;
    };
    f.ok = true;
    for (int i = 0; i < count && f.ok; ++i) {
        const auto t0 = Clock::now();
        f.ok = writeAll(master, frame.data(), frameSize) && readExactly(slave) && writeAll(sock, buf.data(), frameSize)
               && readExactly(sock) && writeAll(slave, buf.data(), frameSize) && readExactly(master);
        rtt.push_back(microsSince(t0));
    }
    ::close(sock);
    ::close(slave);
    f.median = percentile(rtt, 0.5);
    f.p99 = percentile(rtt, 0.99);
    return f;
}

bool waitFor(int ms, const std::function<bool()>& condition)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// One relay between the pty's slave and the echo, up for as long as it lives.
class Relay {
public:
    virtual ~Relay() = default;
    virtual bool up() const = 0;
};

class QuilletRelay : public Relay {
public:
    QuilletRelay(const char* settings, int echoPort, const Cores& cores)
    {
        {
            OnRelayCores pinned(cores);
            m_thread.start(std::string("COM20:") + settings, "127.0.0.1", echoPort);
        }
        m_up = waitFor(5000, [this] { return m_thread.isConnected(); });
    }
    ~QuilletRelay() override { m_thread.stop(); }
    bool up() const override { return m_up; }

private:
    TransparentThread m_thread;
    bool m_up = false;
};

class SocatRelay : public Relay {
public:
    // relaysSocket: the socket's receive and send buffers and its segment
    // limit set as the relay sets its own, beside socat's defaults.
    SocatRelay(const std::string& slavePath, const Echo& echo, const Cores& cores, bool relaysSocket)
    {
        std::string a = "FILE:" + slavePath + ",raw,echo=0";
        std::string b = "TCP:127.0.0.1:" + std::to_string(echo.port()) + ",nodelay"
                        + (relaysSocket ? ",rcvbuf=" + std::to_string(TransparentPort::kSocketBufferSize)
                                              + ",sndbuf=" + std::to_string(TransparentPort::kSocketBufferSize)
                                              + ",mss=" + std::to_string(TransparentPort::kSegmentLimit)
                                        : "");
        std::vector<char*> argv{const_cast<char*>("socat"), a.data(), b.data(), nullptr};
        const int accepted = echo.accepts();
        int failed = 0;
        {
            OnRelayCores pinned(cores);
            failed = posix_spawnp(&m_pid, "socat", nullptr, nullptr, argv.data(), environ);
        }
        if (failed != 0) {
            m_pid = -1;
            return;
        }
        // socat opens the file before it connects: once the echo has the
        // connection, both ends are open.
        m_up = waitFor(5000, [&] { return echo.accepts() > accepted; });
    }
    ~SocatRelay() override
    {
        if (m_pid <= 0)
            return;
        // socat may be past its handler's reach while it closes down: after
        // two seconds it is killed.
        kill(m_pid, SIGTERM);
        const bool ended = waitFor(2000, [this] { return waitpid(m_pid, nullptr, WNOHANG) == m_pid; });
        if (!ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool up() const override { return m_up; }

private:
    pid_t m_pid = -1;
    bool m_up = false;
};

struct Series {
    std::vector<double> addedMedian;
    std::vector<double> addedP99;
    std::vector<double> bytesPerSecond;
    std::vector<double> perRound; // unpaced throughput by round, -1 when the relay did not start
    int failures = 0;             // rounds in which the relay did not start
    int incomplete = 0;           // runs that did not get every frame back in time
};

struct Spread {
    double median = 0, min = 0, max = 0;
};

Spread spread(std::vector<double> v)
{
    Spread s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.min = v.front();
    s.max = v.back();
    return s;
}

void printSpread(const char* what, const char* unit, double scale, const Spread& s)
{
    std::printf("  %-22s median %10.1f %-4s  min %10.1f  max %10.1f\n", what, s.median / scale, unit, s.min / scale,
                s.max / scale);
}

const char* verdict(bool met)
{
    return met ? "met" : "NOT met";
}

} // namespace

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<int> cpus;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--cores" && i + 1 < args.size()) {
            std::string rest = args[i + 1];
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                cpus.push_back(std::atoi(rest.substr(0, comma).c_str()));
                rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
            }
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    }
    int rounds = args.size() > 0 ? std::atoi(args[0].c_str()) : kDefaultRounds;
    if (rounds < kMinRounds)
        rounds = kMinRounds;
    if (cpus.empty())
        cpus = allowedCpus();
    if (cpus.size() != 1 && cpus.size() < 4) {
        std::fprintf(stderr, "quillet_relay_bench: needs four processors, or one (--cores a,b,c,d or --cores a)\n");
        return 1;
    }
    Cores cores;
    cores.driver = cpus.size() == 1 ? cpus : std::vector<int>{cpus[0], cpus[1]};
    cores.relay = cpus.size() == 1 ? cpus : std::vector<int>{cpus[2], cpus[3]};
    pinTo(cores.driver);

    char folderName[] = "/tmp/quillet-bench-XXXXXX";
    if (!mkdtemp(folderName)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderName;
    setenv("TW_COM_DIR", folder.c_str(), 1);
    int master = -1, keeper = -1;
    char slaveName[128] = {};
    if (openpty(&master, &keeper, slaveName, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios t{};
    tcgetattr(keeper, &t);
    cfmakeraw(&t);
    tcsetattr(keeper, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Neither end goes along into socat.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(keeper, F_SETFD, FD_CLOEXEC);
    const std::string link = folder + "/COM20";
    symlink(slaveName, link.c_str());
    Echo echo;

    const Load paced{
        "115200 paced", "baud=115200 parity=N data=8 stop=1", 2000, 16, std::chrono::microseconds(1389), 16};
    const Load unpaced{
        "4000000 unpaced", "baud=4000000 parity=N data=8 stop=1", 16384, 1024, std::chrono::microseconds(0), 32768};
    // socat with the relay's socket settings is printed beside the target's
    // baseline: it tells what the smaller TCP window costs by itself.
    enum Side { Quillet = 0, Socat = 1, SocatAsRelay = 2 };
    constexpr int kSides = 3;
    const char* sideNames[kSides] = {"TransparentThread", "socat", "socat with the relay's socket"};
    Series series[kSides];
    std::vector<double> baseMedian, baseP99;

    std::printf("quillet relay: pty <-> relay <-> loopback TCP echo, %d interleaved rounds\n", rounds);
    std::printf("%s: the relay on processor%s %s, the pty's writer and reader and the echo on %s; before: %s\n",
                cpus.size() == 1 ? "one core" : "four cores", cores.relay.size() > 1 ? "s" : "",
                listOf(cores.relay).c_str(), listOf(cores.driver).c_str(), loadLine().c_str());
    for (int round = 0; round < rounds; ++round) {
        const Figures base = baseline(master, slaveName, echo.port(), paced.frameSize, 1000);
        drain(master);
        baseMedian.push_back(base.median);
        baseP99.push_back(base.p99);
        Side order[kSides];
        for (int k = 0; k < kSides; ++k)
            order[k] = Side((k + round) % kSides);
        std::printf("round %d: pty+echo alone median %.1f us p99 %.1f us", round + 1, base.median, base.p99);
        for (Side side : order) {
            Series& s = series[side];
            Figures figures[2];
            const Load* loads[2] = {&paced, &unpaced};
            for (int i = 0; i < 2; ++i) {
                std::unique_ptr<Relay> relay;
                if (side == Quillet)
                    relay = std::make_unique<QuilletRelay>(loads[i]->settings, echo.port(), cores);
                else
                    relay = std::make_unique<SocatRelay>(slaveName, echo, cores, side == SocatAsRelay);
                const int ended = echo.ended();
                if (relay->up())
                    figures[i] = runLoad(master, *loads[i]);
                relay.reset();
                if (figures[i].up && waitFor(2000, [&] { return echo.ended() > ended; })) {
                    figures[i].windowHeld = echo.windowHeldSeconds();
                    figures[i].segment = echo.segment();
                    figures[i].window = echo.window();
                }
                drain(master);
            }
            s.perRound.push_back(figures[0].up && figures[1].up ? figures[1].bytesPerSecond : -1);
            if (!figures[0].up || !figures[1].up) {
                ++s.failures;
                std::printf(" | %s did not start", sideNames[side]);
                continue;
            }
            // A run that did not get every frame back within its time counts
            // with what came back: slow, and said so.
            s.addedMedian.push_back(figures[0].median - base.median);
            s.addedP99.push_back(figures[0].p99 - base.p99);
            s.bytesPerSecond.push_back(figures[1].bytesPerSecond);
            std::printf(" | %s +%.1f/+%.1f us %.2f MB/s", sideNames[side], figures[0].median - base.median,
                        figures[0].p99 - base.p99, figures[1].bytesPerSecond / 1e6);
            if (figures[1].windowHeld >= kWindowHeldNoteSeconds)
                std::printf(" (the echo waited %.1f s for the window; its segment %u, the window %u)",
                            figures[1].windowHeld, figures[1].segment, figures[1].window);
            for (const Figures& f : figures) {
                if (!f.ok) {
                    ++s.incomplete;
                    std::printf(" (only %zu of %zu frames back in %d s)", f.received, f.frames, kRunLimitSeconds);
                }
            }
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    std::printf("after: %s\n", loadLine().c_str());
    std::printf("\npty+echo alone (paced frame, ping-pong)\n");
    printSpread("round-trip median", "us", 1, spread(baseMedian));
    printSpread("round-trip p99", "us", 1, spread(baseP99));
    Spread addedMedian[kSides], addedP99[kSides], throughput[kSides];
    for (int side = 0; side < kSides; ++side) {
        const Series& s = series[side];
        addedMedian[side] = spread(s.addedMedian);
        addedP99[side] = spread(s.addedP99);
        throughput[side] = spread(s.bytesPerSecond);
        std::printf("%s (%zu rounds counted, %d did not start, %d runs incomplete)\n", sideNames[side],
                    s.addedMedian.size(), s.failures, s.incomplete);
        printSpread("paced added median", "us", 1, addedMedian[side]);
        printSpread("paced added p99", "us", 1, addedP99[side]);
        printSpread("unpaced throughput", "MB/s", 1e6, throughput[side]);
    }
    const bool counted = series[Quillet].failures == 0 && series[Socat].failures == 0;
    const double throughputRatio = throughput[Socat].median > 0 ? throughput[Quillet].median / throughput[Socat].median
                                                                : 0;
    std::printf("\nratios TransparentThread / socat (medians over rounds)\n");
    std::printf("  paced added median  %.2f\n",
                addedMedian[Socat].median != 0 ? addedMedian[Quillet].median / addedMedian[Socat].median : 0);
    std::printf("  paced added p99     %.2f\n",
                addedP99[Socat].median != 0 ? addedP99[Quillet].median / addedP99[Socat].median : 0);
    std::printf("  unpaced throughput  %.2f\n", throughputRatio);
    std::printf("ratios TransparentThread / socat with the relay's socket settings\n");
    std::printf("  paced added median  %.2f\n", addedMedian[SocatAsRelay].median != 0
                                                    ? addedMedian[Quillet].median / addedMedian[SocatAsRelay].median
                                                    : 0);
    std::printf("  unpaced throughput  %.2f\n",
                throughput[SocatAsRelay].median > 0 ? throughput[Quillet].median / throughput[SocatAsRelay].median : 0);
    // The slowest runs against socat's of the same round: a run that crawls
    // hides in the median.
    int slowRuns[kSides] = {};
    int comparedRuns = 0;
    double lowestShare = 0;
    for (size_t round = 0; round < series[Socat].perRound.size(); ++round) {
        const double reference = series[Socat].perRound[round];
        if (reference <= 0)
            continue;
        for (int side = 0; side < kSides; ++side) {
            const double own = series[side].perRound[round];
            if (own >= 0 && own < kSlowRunRatio * reference)
                ++slowRuns[side];
        }
        const double own = series[Quillet].perRound[round];
        if (own >= 0) {
            const double share = own / reference;
            lowestShare = comparedRuns == 0 ? share : std::min(lowestShare, share);
            ++comparedRuns;
        }
    }
    std::printf("unpaced runs under %.0f %% of socat's in the same round: TransparentThread %d, socat with the "
                "relay's socket %d, of %d rounds; TransparentThread's lowest share %.2f\n",
                kSlowRunRatio * 100, slowRuns[Quillet], slowRuns[SocatAsRelay], comparedRuns, lowestShare);

    std::printf("\ntargets (TransparentThread, medians over rounds)\n");
    std::printf("  paced added median <= %.1f us: %.1f us, %s\n", kAddedMedianTargetUs, addedMedian[Quillet].median,
                verdict(counted && addedMedian[Quillet].median <= kAddedMedianTargetUs));
    std::printf("  paced added p99    <= %.1f us: %.1f us, %s\n", kAddedP99TargetUs, addedP99[Quillet].median,
                verdict(counted && addedP99[Quillet].median <= kAddedP99TargetUs));
    std::printf("  unpaced throughput >= %.0f %% of socat: %.0f %%, %s\n", kThroughputTargetRatio * 100,
                throughputRatio * 100, verdict(counted && throughputRatio >= kThroughputTargetRatio));
    std::printf("  no unpaced run under %.0f %% of socat's in its round: %d of %d, %s\n", kSlowRunRatio * 100,
                slowRuns[Quillet], comparedRuns, verdict(counted && comparedRuns > 0 && slowRuns[Quillet] == 0));

    ::unlink(link.c_str());
    ::rmdir(folder.c_str());
    ::close(keeper);
    ::close(master);
    return 0;
}
