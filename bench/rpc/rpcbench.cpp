// Measures the framework's call path beside a raw TCP client, both against
// the same peer program (bench_rpc_responder: answers every call from a
// preset reply):
//  - one small sync() call against a raw request/reply of the same bytes:
//    round trip in microseconds;
//  - back-to-back calls carrying a 4096-byte argument (the file-transfer
//    piece) against a raw request/reply loop of the same bytes: MB/s, and
//    the client's processor time per call (every thread of this process)
//    and its receive calls per call.
// The raw client is the floor a call path can reach: TCP_NODELAY, the whole
// request in one send, and it waits for its reply the way sync() does: it
// looks without waiting (non-blocking receives) for as long as sync() spins
// (kCallSpinUs), giving the processor up between looks that found nothing,
// then blocks in the receive.
//
// Two set-ups, each with its own responder and clients, in interleaved
// rounds (the order of set-ups and of sides alternating):
//  - four cores: the client (caller and receive thread) pinned to two of
//    them, the responder to the other two, so the two sides of a pair never
//    share a core;
//  - one core: both sides on the first of the four.
// Every round gives one figure per side; the bench prints the median and the
// range of the rounds per side, the ratios of the medians against their
// targets (small call at most 1.5x, 4 KiB calls at least 85 % of the raw
// loop's rate, at most 1.3x its processor time per call), a note when the
// raw loop's own range is wider than 20 % of its median, and the machine's
// load before and after. The raw client counts its receive calls per 4 KiB
// call; the framework's are counted from outside (perf stat --per-thread
// on syscalls:sys_enter_recvfrom: this thread's count less the raw
// client's, plus the receive threads').
//
// Usage: bench_rpc [rounds, default 7 (at least 7)] [small calls a round,
//                  default 5000] [4 KiB calls a round, default 3000]
//                  [--cores a,b,c,d]
// Without --cores the first four processors this process may run on are
// taken (start it under taskset to choose them). The responder is looked for
// beside this program.

#include "bench/benchcpus.h"
#include "framework/net/address.h"
#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/callscheme.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/rpcconstants.h"
#include "framework/rpc/syncproxy.h"
#include "framework/utils/serialize.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using BenchCpus::allowedCpus;
using BenchCpus::listOf;
using BenchCpus::loadLine;
using BenchCpus::pinTo;

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kChunk = 4096;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The responder program as a child, pinned to cpus: started beside this
// program, told to end by closing its standard input.
class Responder {
public:
    explicit Responder(const std::vector<int>& cpus)
    {
        char self[4096] = {};
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        std::string path = n > 0 ? std::string(self, std::size_t(n)) : std::string("./bench_rpc");
        path = path.substr(0, path.rfind('/') + 1) + "bench_rpc_responder";
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::string pin = "cpus=" + listOf(cpus);
        char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(pin.c_str()), nullptr};
        const int failed = ::posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_control = toChild[1];
        if (failed)
            throw std::runtime_error("cannot start " + path);
        char line[64] = {};
        std::size_t got = 0;
        while (got < sizeof line - 1 && (got == 0 || line[got - 1] != '\n')) {
            const ssize_t r = ::read(fromChild[0], line + got, 1);
            if (r <= 0)
                break;
            got += std::size_t(r);
        }
        ::close(fromChild[0]);
        unsigned port = 0;
        if (std::sscanf(line, "port %u", &port) != 1 || port == 0)
            throw std::runtime_error("the responder gave no port");
        m_port = std::uint16_t(port);
    }
    ~Responder()
    {
        ::close(m_control);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    std::uint16_t port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_control = -1;
    std::uint16_t m_port = 0;
};

// A plain TCP client that sends fixed request bytes and reads a reply of a
// fixed size: the floor the call path is measured against. TCP_NODELAY; it
// waits for its reply as sync() does: non-blocking looks for kCallSpinUs,
// the processor given up between looks that found nothing, then a blocking
// receive.
class RawClient {
public:
    explicit RawClient(std::uint16_t port)
        : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("raw client: cannot connect");
        m_in.resize(64 * 1024);
    }
    ~RawClient() { ::close(m_fd); }

    // One request out, its whole reply in; the reply's size is learnt from
    // the first reply's header.
    void exchange(const Bytes& request, std::size_t& replySize)
    {
        std::size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t n = ::send(m_fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("raw client: send failed");
            sent += std::size_t(n);
        }
        const auto spinUntil = Clock::now() + std::chrono::microseconds(FF::RPC::kCallSpinUs);
        bool spinning = true;
        std::size_t want = replySize ? replySize : 8;
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::recv(m_fd, m_in.data() + got, m_in.size() - got, spinning ? MSG_DONTWAIT : 0);
            ++m_receives;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                spinning = Clock::now() < spinUntil;
                if (spinning)
                    ::sched_yield();
                continue;
            }
            if (n <= 0)
                throw std::runtime_error("raw client: peer lost");
            got += std::size_t(n);
            if (!replySize && got >= 8) {
                std::uint64_t header;
                std::memcpy(&header, m_in.data(), 8);
                replySize = want = 8 + std::size_t(header & ((std::uint64_t(1) << 57) - 1));
                if (m_in.size() < want)
                    m_in.resize(want);
            }
        }
    }

    // Receive calls made so far.
    std::uint64_t receives() const { return m_receives; }

private:
    int m_fd;
    Bytes m_in;
    std::uint64_t m_receives = 0;
};

// The frame a proxy sends for the call it was given: the same bytes the raw
// client sends, so that both sides move the same bytes.
Bytes requestFrame(FF::utils::IBuffer* args)
{
    const std::uint64_t length = args->size();
    const std::uint64_t header = length | ((length % 127) << 57);
    Bytes frame(8);
    std::memcpy(frame.data(), &header, 8);
    frame.insert(frame.end(), args->data(), args->data() + args->size());
    return frame;
}

struct Side {
    std::vector<double> rounds;
    double median() const { return ::median(rounds); }
    double min() const { return *std::min_element(rounds.begin(), rounds.end()); }
    double max() const { return *std::max_element(rounds.begin(), rounds.end()); }
    double spread() const { return (max() - min()) / median(); }
    void print(const char* name, const char* unit) const
    {
        std::printf("    %-24s median %9.2f %-5s (min %9.2f  max %9.2f)\n", name, median(), unit, min(), max());
    }
};

// One set-up: its responder, a framework client and a raw client, all made
// while this thread was pinned to the set-up's client processors.
class SetUp {
public:
    SetUp(std::string name, std::vector<int> clientCpus, const std::vector<int>& responderCpus)
        : m_name(std::move(name))
        , m_clientCpus(std::move(clientCpus))
        , m_responder(responderCpus)
    {
        pin();
        const FF::Net::Address address("127.0.0.1", m_responder.port());
        m_client = std::make_unique<FF::RPC::DispatchClient>(address, FF::Net::TCPClient::NewFactory());
        m_smallProxy = std::make_unique<FF::RPC::SyncProxy>(m_client.get());
        m_chunkProxy = std::make_unique<FF::RPC::SyncProxy>(m_client.get());
        m_raw = std::make_unique<RawClient>(m_responder.port());
        m_smallRequest = requestFrame(smallArgs());
        m_chunkRequest = requestFrame(chunkArgs());
        m_description = m_name + ": client on processor" + (m_clientCpus.size() > 1 ? "s " : " ") + listOf(m_clientCpus)
                        + ", responder on " + listOf(responderCpus);
    }
    ~SetUp() { m_client->stop(); }

    void pin() const { pinTo(m_clientCpus); }
    const std::string& description() const { return m_description; }

    void smallRpc()
    {
        smallArgs();
        m_smallProxy->sync();
        int result = -1;
        FF::RPC::readResult(m_smallProxy->resultBuffer(), result);
        if (result != 0)
            throw std::runtime_error("the small call's result did not read back");
    }
    void chunkRpc()
    {
        chunkArgs();
        m_chunkProxy->sync();
        bool result = false;
        FF::RPC::readResult(m_chunkProxy->resultBuffer(), result);
        if (!result)
            throw std::runtime_error("the chunk call's result did not read back");
    }
    void smallRaw() { m_raw->exchange(m_smallRequest, m_smallReply); }
    void chunkRaw() { m_raw->exchange(m_chunkRequest, m_chunkReply); }
    std::uint64_t rawReceives() const { return m_raw->receives(); }

    std::size_t smallRequestSize() const { return m_smallRequest.size(); }
    std::size_t chunkRequestSize() const { return m_chunkRequest.size(); }
    std::size_t smallReplySize() const { return m_smallReply; }
    std::size_t chunkReplySize() const { return m_chunkReply; }

    Side smallSync, smallRawSide, chunkSync, chunkRawSide, cpuSync, cpuRaw, receivesRaw;

private:
    FF::utils::IBuffer* smallArgs()
    {
        FF::utils::IBuffer* args = m_smallProxy->argsBuffer("small");
        FF::utils::Serialize(args, 1u);
        FF::RPC::writeArg(args, 0);
        return args;
    }
    FF::utils::IBuffer* chunkArgs()
    {
        FF::utils::IBuffer* args = m_chunkProxy->argsBuffer("chunk");
        FF::utils::Serialize(args, 2u);
        FF::RPC::writeArg(args, std::string("/storage/user_dir/file.bin"));
        FF::RPC::writeArg(args, m_chunk);
        return args;
    }

    std::string m_name;
    std::vector<int> m_clientCpus;
    Responder m_responder;
    std::string m_description;
    std::unique_ptr<FF::RPC::DispatchClient> m_client;
    std::unique_ptr<FF::RPC::SyncProxy> m_smallProxy;
    std::unique_ptr<FF::RPC::SyncProxy> m_chunkProxy;
    std::unique_ptr<RawClient> m_raw;
    const std::vector<FF::byte> m_chunk = std::vector<FF::byte>(kChunk, 0x5A);
    Bytes m_smallRequest;
    Bytes m_chunkRequest;
    std::size_t m_smallReply = 0;
    std::size_t m_chunkReply = 0;
};

// The median round trip of a round of small calls, in microseconds.
double smallRound(int calls, const std::function<void()>& call)
{
    std::vector<double> times(static_cast<std::size_t>(calls));
    for (double& t : times) {
        const auto start = Clock::now();
        call();
        t = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    }
    return median(times);
}

// MB/s of the argument bytes over a round of 4 KiB calls, and the process's
// processor time per call in microseconds.
void chunkRound(int calls, const std::function<void()>& call, Side& rate, Side& cpu)
{
    const double cpuStart = processCpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rate.rounds.push_back(double(calls) * kChunk / 1e6 / seconds);
    cpu.rounds.push_back((processCpuSeconds() - cpuStart) * 1e6 / calls);
}

void printSetUp(const SetUp& s, int smallCalls, int chunkCalls)
{
    std::printf("%s\n", s.description().c_str());
    std::printf("  small call round trip (%zu request bytes, %zu reply bytes), %d calls a round, median per round:\n",
                s.smallRequestSize(), s.smallReplySize(), smallCalls);
    s.smallSync.print("sync() call", "us");
    s.smallRawSide.print("raw request/reply", "us");
    std::printf("    ratio sync()/raw           %.2fx   (target: at most 1.50x)\n",
                s.smallSync.median() / s.smallRawSide.median());
    if (s.smallRawSide.spread() > 0.2)
        std::printf("    note: the raw loop's own range is %.0f %% of its median (wider than 20 %%)\n",
                    100 * s.smallRawSide.spread());
    std::printf("  %zu-byte argument calls back to back (%zu request bytes, %zu reply bytes), %d calls a round:\n",
                kChunk, s.chunkRequestSize(), s.chunkReplySize(), chunkCalls);
    s.chunkSync.print("sync() calls", "MB/s");
    s.chunkRawSide.print("raw request/reply loop", "MB/s");
    std::printf("    sync() / raw               %.0f %%   (target: at least 85 %%)\n",
                100.0 * s.chunkSync.median() / s.chunkRawSide.median());
    if (s.chunkRawSide.spread() > 0.2)
        std::printf("    note: the raw loop's own range is %.0f %% of its median (wider than 20 %%)\n",
                    100 * s.chunkRawSide.spread());
    s.cpuSync.print("client CPU per sync() call", "us");
    s.cpuRaw.print("client CPU per raw call", "us");
    std::printf("    ratio sync()/raw           %.2fx   (target: at most 1.30x)\n",
                s.cpuSync.median() / s.cpuRaw.median());
    s.receivesRaw.print("raw receive calls per call", "");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<int> cores;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--cores" && i + 1 < args.size()) {
            std::string rest = args[i + 1];
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                cores.push_back(std::atoi(rest.substr(0, comma).c_str()));
                rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
            }
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    }
    const int rounds = args.size() > 0 ? std::max(7, std::atoi(args[0].c_str())) : 7;
    const int smallCalls = args.size() > 1 ? std::max(1000, std::atoi(args[1].c_str())) : 5000;
    const int chunkCalls = args.size() > 2 ? std::max(500, std::atoi(args[2].c_str())) : 3000;
    if (cores.empty())
        cores = allowedCpus();
    if (cores.size() < 4) {
        std::fprintf(stderr, "bench_rpc: needs four processors (--cores a,b,c,d)\n");
        return 1;
    }
    cores.resize(4);
    ::signal(SIGPIPE, SIG_IGN);

    try {
        std::printf("bench_rpc: %d interleaved rounds; before: %s\n", rounds, loadLine().c_str());
        SetUp four("four cores", {cores[0], cores[1]}, {cores[2], cores[3]});
        SetUp one("one core", {cores[0]}, {cores[0]});
        SetUp* setUps[] = {&four, &one};

        for (SetUp* s : setUps) {
            s->pin();
            for (int i = 0; i < 1000; ++i) {
                s->smallRpc();
                s->smallRaw();
                s->chunkRpc();
                s->chunkRaw();
            }
        }
        for (int r = 0; r < rounds; ++r) {
            for (int k = 0; k < 2; ++k) {
                SetUp& s = *setUps[(k + r) % 2];
                s.pin();
                const bool rawFirst = (r / 2) % 2 == 0;
                for (int turn = 0; turn < 2; ++turn) {
                    if ((turn == 0) == rawFirst) {
                        s.smallRawSide.rounds.push_back(smallRound(smallCalls, [&] { s.smallRaw(); }));
                        const std::uint64_t receivesBefore = s.rawReceives();
                        chunkRound(
                            chunkCalls, [&] { s.chunkRaw(); }, s.chunkRawSide, s.cpuRaw);
                        s.receivesRaw.rounds.push_back(double(s.rawReceives() - receivesBefore) / chunkCalls);
                    } else {
                        s.smallSync.rounds.push_back(smallRound(smallCalls, [&] { s.smallRpc(); }));
                        chunkRound(
                            chunkCalls, [&] { s.chunkRpc(); }, s.chunkSync, s.cpuSync);
                    }
                }
            }
        }
        const std::string after = loadLine();
        std::printf("peer: bench_rpc_responder (preset replies); the raw client uses TCP_NODELAY and waits as "
                    "sync() does (%d us of non-blocking looks, yielding between empty ones, then a blocking "
                    "receive)\n\n",
                    FF::RPC::kCallSpinUs);
        std::printf("calls made: %d small and %d 4 KiB calls per side and set-up (warm-up included)\n\n",
                    1000 + rounds * smallCalls, 1000 + rounds * chunkCalls);
        printSetUp(four, smallCalls, chunkCalls);
        std::printf("\n");
        printSetUp(one, smallCalls, chunkCalls);
        std::printf("\nafter: %s\n", after.c_str());
    } catch (const FF::Net::Exception& e) {
        std::fprintf(stderr, "bench_rpc: %s: %s\n", e.where().c_str(), e.info().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_rpc: %s\n", e.what());
        return 1;
    }
    return 0;
}
