// Relays a pty to a loopback TCP echo, first through TransparentThread, then
// through socat, and prints bytes per second and the added round-trip latency
// (median and 99th percentile, over the pty and the echo alone) for two loads:
// a 115200 baud line paced as 8N1 delivers it (16-byte frames, 11520 bytes/s)
// and an unpaced port at 4000000 baud.

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
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
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

using Clock = std::chrono::steady_clock;

double microsSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}

// A loopback echo for one connection at a time.
class Echo {
public:
    Echo()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr {};
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

private:
    void run()
    {
        std::vector<char> buf(65536);
        while (!m_stop) {
            pollfd p {m_listen, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            while (!m_stop) {
                pollfd c {fd, POLLIN, 0};
                if (poll(&c, 1, 100) <= 0)
                    continue;
                const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
                if (n <= 0)
                    break;
                for (ssize_t done = 0; done < n;) {
                    const ssize_t w = send(fd, buf.data() + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
                    if (w <= 0)
                        break;
                    done += w;
                }
            }
            ::close(fd);
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

struct Figures {
    double bytesPerSecond = 0;
    double median = 0;
    double p99 = 0;
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
        pollfd p {fd, POLLIN, 0};
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
            pollfd p {fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
    return true;
}

// Sends `frames` frames of `frameSize` bytes into the pty master, `gap` apart
// (none when zero, but with at most `window` bytes in flight), and reads them
// back from the master, noting each frame's round trip.
Figures runLoad(int master, int frames, size_t frameSize, std::chrono::microseconds gap, size_t window)
{
    std::vector<Clock::time_point> sentAt(static_cast<size_t>(frames));
    std::vector<double> latency;
    latency.reserve(static_cast<size_t>(frames));
    std::atomic<int> received {0};
    const auto begin = Clock::now();
    std::thread sender([&] {
        std::string frame(frameSize, '\0');
        auto next = Clock::now();
        for (int i = 0; i < frames; ++i) {
            if (gap.count() > 0) {
                std::this_thread::sleep_until(next);
                next += gap;
            } else {
                while ((static_cast<size_t>(i - received.load()) + 1) * frameSize > window)
                    std::this_thread::yield();
            }
            std::memcpy(frame.data(), &i, sizeof i);
            sentAt[static_cast<size_t>(i)] = Clock::now();
            if (!writeAll(master, frame.data(), frame.size()))
                return;
        }
    });
    std::string pending;
    char buf[65536];
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (received < frames && Clock::now() < deadline) {
        pollfd p {master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        const auto now = Clock::now();
        pending.append(buf, static_cast<size_t>(n));
        size_t at = 0;
        while (pending.size() - at >= frameSize) {
            int seq = 0;
            std::memcpy(&seq, pending.data() + at, sizeof seq);
            if (seq >= 0 && seq < frames)
                latency.push_back(std::chrono::duration<double, std::micro>(now - sentAt[static_cast<size_t>(seq)]).count());
            at += frameSize;
            ++received;
        }
        pending.erase(0, at);
    }
    sender.join();
    const double seconds = microsSince(begin) / 1e6;
    Figures f;
    f.bytesPerSecond = static_cast<double>(received) * static_cast<double>(frameSize) / seconds;
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
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(echoPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    std::vector<double> rtt;
    std::string frame(frameSize, 'b');
    std::vector<char> buf(frameSize);
    auto readExactly = [&](int fd) {
        size_t got = 0;
        while (got < frameSize) {
            const ssize_t n = ::read(fd, buf.data() + got, frameSize - got);
            if (n <= 0) {
                pollfd p {fd, POLLIN, 0};
                poll(&p, 1, 100);
                continue;
            }
            got += static_cast<size_t>(n);
        }
    };
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        writeAll(master, frame.data(), frameSize);
        readExactly(slave);
        writeAll(sock, buf.data(), frameSize);
        readExactly(sock);
        writeAll(slave, buf.data(), frameSize);
        readExactly(master);
        rtt.push_back(microsSince(t0));
    }
    ::close(sock);
    ::close(slave);
    Figures f;
    f.median = percentile(rtt, 0.5);
    f.p99 = percentile(rtt, 0.99);
    return f;
}

pid_t startSocat(const std::string& slavePath, int echoPort)
{
    std::string a = "FILE:" + slavePath + ",raw,echo=0";
    std::string b = "TCP:127.0.0.1:" + std::to_string(echoPort) + ",nodelay";
    std::vector<char*> argv {const_cast<char*>("socat"), a.data(), b.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "socat", nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return pid;
}

void print(const char* relay, const char* load, const Figures& f, const Figures& base)
{
    std::printf("%-18s %-26s %12.0f B/s   added median %8.1f us   added p99 %8.1f us\n", relay, load,
                f.bytesPerSecond, f.median - base.median, f.p99 - base.p99);
}

} // namespace

int main()
{
    signal(SIGPIPE, SIG_IGN);
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
    termios t {};
    tcgetattr(keeper, &t);
    cfmakeraw(&t);
    tcsetattr(keeper, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    const std::string link = folder + "/COM20";
    symlink(slaveName, link.c_str());
    Echo echo;

    struct Load {
        const char* name;
        const char* settings;
        int frames;
        size_t frameSize;
        std::chrono::microseconds gap;
        size_t window;
    };
    const Load loads[] = {
        {"115200 paced (16 B)", "baud=115200 parity=N data=8 stop=1", 2880, 16, std::chrono::microseconds(1389), 16},
        {"4000000 unpaced (1 KiB)", "baud=4000000 parity=N data=8 stop=1", 16384, 1024, std::chrono::microseconds(0),
         32768},
    };
    std::printf("quillet relay: pty <-> relay <-> loopback TCP echo\n");
    for (const Load& load : loads) {
        const Figures base = baseline(master, slaveName, echo.port(), load.frameSize, 2000);
        std::printf("%-18s %-26s %12s       median %8.1f us         p99 %8.1f us\n", "pty+echo alone", load.name, "",
                    base.median, base.p99);
        {
            TransparentThread relay;
            relay.start(std::string("COM20:") + load.settings, "127.0.0.1", echo.port());
            const auto end = Clock::now() + std::chrono::seconds(5);
            while (!relay.isConnected() && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            print("TransparentThread", load.name, runLoad(master, load.frames, load.frameSize, load.gap, load.window),
                  base);
            relay.stop();
        }
        drain(master);
        const pid_t socat = startSocat(slaveName, echo.port());
        if (socat > 0) {
            print("socat", load.name, runLoad(master, load.frames, load.frameSize, load.gap, load.window), base);
            kill(socat, SIGTERM);
            waitpid(socat, nullptr, 0);
        } else {
            std::printf("socat could not be started\n");
        }
        drain(master);
    }
    ::unlink(link.c_str());
    ::rmdir(folder.c_str());
    ::close(keeper);
    ::close(master);
    return 0;
}
