// Measures the framework's call path beside raw TCP, both against the same
// peer program (bench_rpc_responder: answers every call from a preset reply):
//  - one small sync() call against a raw ping-pong of the same request and
//    reply bytes: round trip in microseconds;
//  - back-to-back calls carrying a 4096-byte argument (the file-transfer
//    chunk) against a raw request/reply loop of the same sizes: MB/s.
// The sides run in interleaved rounds (the order alternating); each round
// gives one figure per side, and the bench prints the median and the range
// of the rounds per side and the ratios of the medians.
//
// Usage: bench_rpc [rounds, default 7] [small calls a round, default 5000]
//                  [chunk calls a round, default 3000]
// The responder is looked for beside this program.

#include "framework/net/address.h"
#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/callscheme.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "framework/utils/serialize.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kChunk = 4096;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The responder program as a child: started beside this program, told to
// end by closing its standard input.
class Responder {
public:
    Responder()
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
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
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
// fixed size: the floor the call path is measured against. Its socket is
// made as the framework makes its own (no options beyond the defaults).
class RawClient {
public:
    explicit RawClient(std::uint16_t port)
        : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("raw client: cannot connect");
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
        if (m_in.size() < 1024)
            m_in.resize(1024);
        std::size_t want = replySize ? replySize : 8;
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::recv(m_fd, m_in.data() + got, m_in.size() - got, 0);
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

private:
    int m_fd;
    Bytes m_in;
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
    void print(const char* name, const char* unit) const
    {
        std::printf("  %-22s median %9.1f %s   min %9.1f   max %9.1f\n", name, median(rounds), unit,
                    *std::min_element(rounds.begin(), rounds.end()), *std::max_element(rounds.begin(), rounds.end()));
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    const int smallCalls = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 5000;
    const int chunkCalls = argc > 3 ? std::max(500, std::atoi(argv[3])) : 3000;
    ::signal(SIGPIPE, SIG_IGN);

    try {
        Responder responder;
        const FF::Net::Address address("127.0.0.1", responder.port());
        FF::RPC::DispatchClient client(address, FF::Net::TCPClient::NewFactory());
        FF::RPC::SyncProxy smallProxy(&client);
        FF::RPC::SyncProxy chunkProxy(&client);
        const std::vector<FF::byte> chunk(kChunk, 0x5A);
        const std::string path = "/storage/user_dir/file.bin";

        auto smallArgs = [&] {
            FF::utils::IBuffer* args = smallProxy.argsBuffer("small");
            FF::utils::Serialize(args, 1u);
            FF::RPC::writeArg(args, 0);
            return args;
        };
        auto chunkArgs = [&] {
            FF::utils::IBuffer* args = chunkProxy.argsBuffer("chunk");
            FF::utils::Serialize(args, 2u);
            FF::RPC::writeArg(args, path);
            FF::RPC::writeArg(args, chunk);
            return args;
        };
        int smallResult = -1;
        auto smallRpc = [&] {
            smallArgs();
            smallProxy.sync();
            FF::RPC::readResult(smallProxy.resultBuffer(), smallResult);
        };
        bool chunkResult = false;
        auto chunkRpc = [&] {
            chunkArgs();
            chunkProxy.sync();
            FF::RPC::readResult(chunkProxy.resultBuffer(), chunkResult);
        };

        const Bytes smallRequest = requestFrame(smallArgs());
        const Bytes chunkRequest = requestFrame(chunkArgs());
        RawClient raw(responder.port());
        std::size_t smallReply = 0;
        std::size_t chunkReply = 0;

        // Warm both sides up.
        for (int i = 0; i < 1000; ++i) {
            smallRpc();
            raw.exchange(smallRequest, smallReply);
            chunkRpc();
            raw.exchange(chunkRequest, chunkReply);
        }

        // Small calls: the median round trip of a round.
        auto smallRound = [&](const std::function<void()>& call) {
            std::vector<double> times(static_cast<std::size_t>(smallCalls));
            for (double& t : times) {
                const auto start = Clock::now();
                call();
                t = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            }
            return median(times);
        };
        // Chunk calls: MB/s of the argument bytes over a round.
        auto chunkRound = [&](const std::function<void()>& call) {
            const auto start = Clock::now();
            for (int i = 0; i < chunkCalls; ++i)
                call();
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            return double(chunkCalls) * kChunk / 1e6 / seconds;
        };

        Side smallRaw, smallSync, chunkRaw, chunkSync;
        for (int r = 0; r < rounds; ++r) {
            const bool rawFirst = r % 2 == 0;
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == rawFirst) {
                    smallRaw.rounds.push_back(smallRound([&] { raw.exchange(smallRequest, smallReply); }));
                    chunkRaw.rounds.push_back(chunkRound([&] { raw.exchange(chunkRequest, chunkReply); }));
                } else {
                    smallSync.rounds.push_back(smallRound(smallRpc));
                    chunkSync.rounds.push_back(chunkRound(chunkRpc));
                }
            }
        }
        client.stop();
        if (smallResult != 0 || !chunkResult)
            throw std::runtime_error("the responder's results did not read back");

        std::printf("peer: bench_rpc_responder (preset replies); %d interleaved rounds\n\n", rounds);
        std::printf("small call round trip (%zu request bytes, %zu reply bytes), %d calls a round, median per round:\n",
                    smallRequest.size(), smallReply, smallCalls);
        smallSync.print("sync() call", "us");
        smallRaw.print("raw TCP ping-pong", "us");
        std::printf("  ratio sync()/raw       %.2fx   (target: at most 1.50x)\n\n",
                    median(smallSync.rounds) / median(smallRaw.rounds));
        std::printf("%zu-byte argument calls back to back (%zu request bytes, %zu reply bytes), %d calls a round:\n",
                    kChunk, chunkRequest.size(), chunkReply, chunkCalls);
        chunkSync.print("sync() calls", "MB/s");
        chunkRaw.print("raw request/reply loop", "MB/s");
        std::printf("  sync() / raw           %.0f %%   (target: at least 80 %%)\n",
                    100.0 * median(chunkSync.rounds) / median(chunkRaw.rounds));
    } catch (const FF::Net::Exception& e) {
        std::fprintf(stderr, "bench_rpc: %s: %s\n", e.where().c_str(), e.info().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_rpc: %s\n", e.what());
        return 1;
    }
    return 0;
}
