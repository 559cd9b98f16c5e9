// Measures, in one run on loopback:
//  - a file sent to the panel and a file fetched from it through
//    FileServiceClient and the framework against the fake file service:
//    MB/s of the piece phase (first to last progress report) and of the whole
//    file (start of the batch to its end, digests included);
//  - the ceiling under the piece phase: back-to-back "download2" calls of
//    4096 bytes through the framework to the same fake, nothing else done;
//  - a raw TCP copy of the same number of bytes;
//  - a raw loop of synchronous 4096-byte requests, each answered by a small
//    reply before the next leaves (the pattern the pieces follow).
// Usage: bench_brellfin [megabytes, default 100]

#include "brellfin/service/fileservicecalls.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/ifilenotify.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kPiece = 4096;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double mbPerSecond(size_t bytes, Clock::duration d)
{
    return double(bytes) / 1e6 / seconds(d);
}

// Times one batch: its start, first and last progress report, and its end.
class TimingNotify : public IFileNotify {
public:
    void onTransferStarted(const std::string&) override {}
    void onTransferProgress(const std::string&, double fraction) override
    {
        const auto now = Clock::now();
        if (!m_firstSeen) {
            m_first = now;
            m_firstSeen = true;
        }
        if (fraction >= 1.0)
            m_last = now;
    }
    void onTransferFileDone(const std::string&) override {}
    void onTransferAllDone() override { end(true); }
    void onTransferFailed(unsigned int code) override
    {
        m_code = code;
        end(false);
    }

    bool wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_done; });
        return m_ok;
    }

    Clock::time_point m_first, m_last, m_end;
    unsigned int m_code = 0;

private:
    void end(bool ok)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_end = Clock::now();
        m_ok = ok;
        m_done = true;
        m_changed.notify_all();
    }

    bool m_firstSeen = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_done = false;
    bool m_ok = false;
};

struct Listener {
    int fd = -1;
    uint16_t port = 0;
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 1) != 0)
            throw std::runtime_error("cannot listen");
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd); }
};

int connectTo(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect");
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool sendAll(int fd, const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t n = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes += n;
        count -= size_t(n);
    }
    return true;
}

bool recvAll(int fd, uint8_t* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t n = ::recv(fd, bytes, count, 0);
        if (n <= 0)
            return false;
        bytes += n;
        count -= size_t(n);
    }
    return true;
}

// The same bytes as one stream, 64 KiB per write.
double rawCopy(size_t total)
{
    Listener listener;
    std::thread server([&] {
        const int fd = ::accept(listener.fd, nullptr, nullptr);
        std::vector<uint8_t> buffer(64 * 1024);
        size_t received = 0;
        while (received < total) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            received += size_t(n);
        }
        uint8_t done = 1;
        sendAll(fd, &done, 1);
        ::close(fd);
    });
    const int fd = connectTo(listener.port);
    std::vector<uint8_t> chunk(64 * 1024, 0x5A);
    const auto start = Clock::now();
    for (size_t sent = 0; sent < total;) {
        const size_t n = std::min(chunk.size(), total - sent);
        sendAll(fd, chunk.data(), n);
        sent += n;
    }
    uint8_t done = 0;
    recvAll(fd, &done, 1);
    const auto elapsed = Clock::now() - start;
    ::close(fd);
    server.join();
    return mbPerSecond(total, elapsed);
}

// Request of a framed piece call (header, call words, name, handle, offset,
// 4096 bytes), reply of a framed bool result; one at a time.
double rawRequestLoop(size_t total)
{
    constexpr size_t kRequest = 8 + 4096 + 96;
    constexpr size_t kReply = 8 + 24;
    Listener listener;
    const size_t rounds = total / kPiece;
    std::thread server([&] {
        const int fd = ::accept(listener.fd, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::vector<uint8_t> request(kRequest);
        std::vector<uint8_t> reply(kReply, 1);
        for (size_t i = 0; i < rounds; ++i) {
            if (!recvAll(fd, request.data(), request.size()) || !sendAll(fd, reply.data(), reply.size()))
                break;
        }
        ::close(fd);
    });
    const int fd = connectTo(listener.port);
    std::vector<uint8_t> request(kRequest, 0x33);
    std::vector<uint8_t> reply(kReply);
    const auto start = Clock::now();
    for (size_t i = 0; i < rounds; ++i) {
        if (!sendAll(fd, request.data(), request.size()) || !recvAll(fd, reply.data(), reply.size()))
            break;
    }
    const auto elapsed = Clock::now() - start;
    ::close(fd);
    server.join();
    return mbPerSecond(rounds * kPiece, elapsed);
}

// Pieces only: one handle, total / 4096 "download2" calls one after another.
double framedPieceCalls(Fake::FakeFileService& panel, size_t total)
{
    FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), FF::Net::TCPClient::NewFactory());
    FF::RPC::SyncProxy proxy(&client);
    const FF::Handle handle = FileServiceCalls::createDownloader2(proxy);
    FileServiceCalls::startDownload2(proxy, handle, "/storage/user_dir/pieces.bin", 0);
    const std::vector<FF::byte> piece(kPiece, 0x42);
    const size_t rounds = total / kPiece;
    const auto start = Clock::now();
    for (size_t i = 0; i < rounds; ++i)
        FileServiceCalls::download2(proxy, handle, i * kPiece, piece);
    const auto elapsed = Clock::now() - start;
    FileServiceCalls::finishDownload2(proxy, handle);
    FileServiceCalls::destroyDownloader2(proxy, handle);
    client.stop();
    return mbPerSecond(rounds * kPiece, elapsed);
}

std::vector<uint8_t> randomBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        const uint32_t value = random();
        std::memcpy(&bytes[i], &value, 4);
    }
    return bytes;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw std::runtime_error("cannot write " + path);
    std::fclose(file);
}

void report(const char* what, size_t size, const TimingNotify& timing, Clock::time_point start)
{
    std::printf("%-28s pieces %8.1f MB/s   whole file %8.1f MB/s   (%.2f s)\n", what,
                mbPerSecond(size, timing.m_last - timing.m_first), mbPerSecond(size, timing.m_end - start),
                seconds(timing.m_end - start));
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? size_t(std::atol(argv[1])) : 100;
    const size_t size = megabytes * 1000 * 1000;

    std::string pattern = (std::filesystem::temp_directory_path() / "brellfinbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const std::string folder = pattern;
    int status = 0;
    try {
        Fake::FakeFileService panel;
        panel.setKeepLog(false);
        const std::string sendSource = folder + "/send.bin";
        const std::string fetchTarget = folder + "/fetched.bin";
        writeFile(sendSource, randomBytes(size, 1));
        panel.putFile("/storage/user_dir/source.bin", randomBytes(size, 2));

        FileServiceClient client;
        if (!client.connect(FF::Net::Address(panel.endpoint().c_str())))
            throw std::runtime_error("cannot connect to the fake file service");

        std::printf("%zu MB each way on loopback\n", megabytes);
        {
            TimingNotify timing;
            const auto start = Clock::now();
            client.startSendToPanel({{sendSource, "/storage/user_dir/received.bin"}}, &timing);
            if (!timing.wait())
                throw std::runtime_error("PC to panel failed with code " + std::to_string(timing.m_code));
            report("PC to panel (download2)", size, timing, start);
        }
        {
            TimingNotify timing;
            const auto start = Clock::now();
            client.startFetchFromPanel({{"/storage/user_dir/source.bin", fetchTarget}}, &timing);
            if (!timing.wait())
                throw std::runtime_error("panel to PC failed with code " + std::to_string(timing.m_code));
            report("panel to PC (update2)", size, timing, start);
        }
        client.disconnect();
        std::printf("%-28s %8.1f MB/s\n", "framework download2 loop", framedPieceCalls(panel, size));
        std::printf("%-28s %8.1f MB/s\n", "raw TCP copy", rawCopy(size));
        std::printf("%-28s %8.1f MB/s\n", "raw 4096-byte request loop", rawRequestLoop(size));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_brellfin: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
