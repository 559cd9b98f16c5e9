// The peer of the RPC bench: a small service that speaks the framework's
// protocol (frames, init and re-init, pings, calls) and answers every call
// from a preset reply, without recording anything. The bench's raw TCP loop
// and its RPC client both talk to it, so that both sides meet the same peer.
//
// Prints "port <n>" once it listens on 127.0.0.1, then serves every
// connection on a thread of its own until its standard input closes. An
// argument "cpus=2,3" pins the program (every thread) to those processors.
//
// Preset results: "small" answers the int 0, "chunk" the bool true; any
// other method gets status 3 (no such function).

#include "framework/net/netbuffer.h"
#include "framework/utils/ffstring.h"
#include "framework/utils/serialize.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kCall = 0xAAAAAAA0;
constexpr std::uint32_t kPing = 0xAAAAAAA1;
constexpr std::uint32_t kPong = 0xAAAAAAA2;
constexpr std::uint32_t kInit = 0xAAAAAAA3;
constexpr std::uint32_t kReInit = 0xAAAAAAA4;
constexpr std::size_t kReadBlock = 256 * 1024;

using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32At(const std::uint8_t* p)
{
    std::uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

void putU32(Bytes& out, std::uint32_t value)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), p, p + 4);
}

// A whole frame of body: the 8-byte header, then the body.
Bytes frame(const Bytes& body)
{
    const std::uint64_t length = body.size();
    const std::uint64_t header = length | ((length % 127) << 57);
    Bytes out(8);
    std::memcpy(out.data(), &header, 8);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A reply frame with the handler id and call number left at zero, to be
// patched per call at offsets 12 and 16.
Bytes replyTemplate(std::uint32_t status, const FF::Net::NetBuffer& results)
{
    Bytes body;
    putU32(body, kCall);
    putU32(body, 0);
    putU32(body, 0);
    putU32(body, status);
    body.insert(body.end(), results.data(), results.data() + results.size());
    return frame(body);
}

struct Presets {
    Bytes small;
    Bytes chunk;
    Bytes missing;
    Bytes initReply;
    Bytes reInitReply;
    Bytes pong;

    Presets()
    {
        FF::Net::NetBuffer smallResult;
        FF::utils::Serialize(&smallResult, FF::utils::String("int"));
        FF::utils::Serialize(&smallResult, 0);
        small = replyTemplate(0, smallResult);
        FF::Net::NetBuffer chunkResult;
        FF::utils::Serialize(&chunkResult, FF::utils::String("bool"));
        FF::utils::Serialize(&chunkResult, true);
        chunk = replyTemplate(0, chunkResult);
        missing = replyTemplate(3, FF::Net::NetBuffer());

        FF::Net::NetBuffer key;
        FF::utils::Serialize(&key, kInit);
        FF::utils::Serialize(&key, FF::utils::String("bench-key"));
        initReply = frame(Bytes(key.data(), key.data() + key.size()));
        reInitReply = initReply;
        std::memcpy(reInitReply.data() + 8, &kReInit, 4);
        Bytes pongBody;
        putU32(pongBody, kPong);
        pong = frame(pongBody);
    }
};

bool sendAll(int fd, const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        count -= std::size_t(sent);
    }
    return true;
}

// Appends the answer to one frame body to out; false for a body it cannot read.
bool answer(const Presets& presets, const std::uint8_t* body, std::uint64_t length, Bytes& out)
{
    if (length < 4)
        return false;
    switch (u32At(body)) {
    case kCall: {
        if (length < 16)
            return false;
        const std::uint32_t nameLength = u32At(body + 12);
        if (nameLength > length - 16)
            return false;
        const char* name = reinterpret_cast<const char*>(body + 16);
        const Bytes* reply = &presets.missing;
        if (nameLength == 5 && std::memcmp(name, "small", 5) == 0)
            reply = &presets.small;
        else if (nameLength == 5 && std::memcmp(name, "chunk", 5) == 0)
            reply = &presets.chunk;
        const std::size_t at = out.size();
        out.insert(out.end(), reply->begin(), reply->end());
        std::memcpy(out.data() + at + 12, body + 4, 8); // handler id and call number
        return true;
    }
    case kPing: out.insert(out.end(), presets.pong.begin(), presets.pong.end()); return true;
    case kPong: return true;
    case kInit: out.insert(out.end(), presets.initReply.begin(), presets.initReply.end()); return true;
    case kReInit: out.insert(out.end(), presets.reInitReply.begin(), presets.reInitReply.end()); return true;
    default: return false;
    }
}

// Reads what has arrived, answers every whole frame in it, and sends all
// the answers at once.
void serve(int fd, const Presets& presets)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Bytes in(kReadBlock);
    std::size_t begin = 0;
    std::size_t end = 0;
    Bytes out;
    for (;;) {
        const ssize_t got = ::recv(fd, in.data() + end, in.size() - end, 0);
        if (got <= 0)
            break;
        end += std::size_t(got);
        bool bad = false;
        while (end - begin >= 8 && !bad) {
            std::uint64_t header;
            std::memcpy(&header, in.data() + begin, 8);
            const std::uint64_t length = header & ((std::uint64_t(1) << 57) - 1);
            if ((header >> 57) != length % 127 || length > (64u << 20)) {
                bad = true;
                break;
            }
            if (end - begin < 8 + length) {
                if (8 + length > in.size())
                    in.resize(8 + length);
                break;
            }
            bad = !answer(presets, in.data() + begin + 8, length, out);
            begin += 8 + length;
        }
        if (bad)
            break;
        if (begin > 0) {
            std::memmove(in.data(), in.data() + begin, end - begin);
            end -= begin;
            begin = 0;
        }
        if (!out.empty()) {
            if (!sendAll(fd, out.data(), out.size()))
                break;
            out.clear();
        }
    }
    ::close(fd);
}

} // namespace

// Pins the calling thread (and so every thread it starts) to the listed processors.
bool pinTo(const char* list)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::string rest = list;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        CPU_SET(std::stoi(rest.substr(0, comma)), &set);
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    }
    return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strncmp(argv[1], "cpus=", 5) == 0 && !pinTo(argv[1] + 5)) {
        std::perror("bench_rpc_responder: sched_setaffinity");
        return 1;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("bench_rpc_responder: listen");
        return 1;
    }
    std::printf("port %u\n", unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);

    // Never destroyed: serving threads may still run while the program ends.
    const Presets& presets = *new Presets;
    for (;;) {
        pollfd waiting[2] = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(waiting, 2, -1) < 0)
            continue;
        if (waiting[1].revents) {
            char byte;
            if (::read(STDIN_FILENO, &byte, 1) <= 0)
                break;
        }
        if (waiting[0].revents & POLLIN) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                std::thread(serve, fd, std::cref(presets)).detach();
        }
    }
    ::close(listener);
    return 0;
}
