// The file-transfer tool's throughput, measured fairly: every figure is
// taken against the same peer (one fake file service on loopback, its call
// log off), in interleaved rounds, and given as the median with min-max.
//
//   raw send loop        hand-framed "download2" calls of 4096 bytes over a
//                        plain blocking socket, one at a time: the ceiling of
//                        the piece pattern against this peer
//   raw fetch loop       hand-framed "update2" calls, each answered by 4096 bytes
//   framework loops      the same calls through FF::RPC::SyncProxy on a
//                        DispatchClient: what the framework's per-call cost leaves
//   PC to panel,         whole transfers through FileServiceClient, a fresh
//   panel to PC          file each round: the whole file (the batch's start to
//                        its end, digests included) and the piece phase (first
//                        to last progress report)
//   panel digest         "getFileMD5" of the whole file: the panel's own share
//                        of a whole-file transfer, which no client can save
//
// The ratios put each transfer beside the raw loop of its direction; the
// closing lines split the remaining whole-file gap into the framework's
// per-call cost, the panel's digest and the rest.
//
// Usage: bench_brellfin [megabytes, default 100] [rounds, default 5]

#include "brellfin/service/fileservicecalls.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/ifilenotify.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "testing/fakefileservice/fakefileservice.h"
#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/framecodec.h"
#include "testing/fakepanel/wirereader.h"
#include "testing/fakepanel/wirewriter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kPiece = 4096;
const std::string kPanelSource = "/storage/user_dir/bench-source.bin";
const std::string kPanelTarget = "/storage/user_dir/bench-received.bin";
const std::string kPanelLoop = "/storage/user_dir/bench-loop.bin";

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Times one batch: its end, and its first and last progress report.
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
        ++m_reports;
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
    int m_reports = 0;

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

// A client of the panel service with nothing between the loop and the
// socket: each call is one framed request, answered before the next leaves.
class RawCaller {
public:
    explicit RawCaller(uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("raw loop: cannot connect");
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_in.resize(256 * 1024);
    }
    ~RawCaller() { ::close(m_fd); }

    // A call's frame: header, call words, method name, argument count and the typed arguments.
    std::vector<uint8_t> request(const std::string& method, uint32_t argCount, const Fake::WireWriter& args)
    {
        Fake::WireWriter body;
        body.u32(Fake::kMsgCall).u32(1).u32(++m_callNumber).string(method).u32(argCount).raw(args.bytes());
        return Fake::encodeFrame(body.take());
    }
    // Sends a frame and returns the reply's results (behind its status word).
    Fake::WireReader call(const std::vector<uint8_t>& frame)
    {
        sendAll(frame.data(), frame.size());
        const size_t length = receiveFrame();
        Fake::WireReader reply(m_in.data() + m_start, length);
        uint32_t words[4] = {};
        for (uint32_t& word : words)
            reply.u32(word);
        if (words[3] != Fake::kStatusSucceed)
            throw std::runtime_error("raw loop: call failed with status " + std::to_string(words[3]));
        m_start += length;
        return reply;
    }
    uint32_t callHandle(const std::string& method)
    {
        Fake::WireReader reply = call(request(method, 0, Fake::WireWriter()));
        std::string type;
        uint32_t handle = 0;
        reply.string(type);
        reply.u32(handle);
        return handle;
    }
    uint64_t callNumber(const std::vector<uint8_t>& frame)
    {
        Fake::WireReader reply = call(frame);
        std::string type;
        uint64_t value = 0;
        reply.string(type);
        reply.u64(value);
        return value;
    }
    // The two calls that end a transfer object: finish, then destroy.
    void closeHandle(uint32_t handle, const char* finish, const char* destroy)
    {
        Fake::WireWriter arg;
        arg.string(Fake::kTypeHandle).u32(handle);
        call(request(finish, 1, arg));
        call(request(destroy, 1, arg));
    }
    // Patches the call number of a frame made by request() for its next sending.
    void renumber(std::vector<uint8_t>& frame)
    {
        const uint32_t number = ++m_callNumber;
        std::memcpy(frame.data() + 8 + 8, &number, 4);
    }

private:
    void sendAll(const uint8_t* bytes, size_t count)
    {
        while (count > 0) {
            const ssize_t n = ::send(m_fd, bytes, count, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("raw loop: send failed");
            bytes += n;
            count -= size_t(n);
        }
    }
    // Receives until one whole frame is buffered; its body starts at m_start.
    size_t receiveFrame()
    {
        if (m_start == m_end)
            m_start = m_end = 0;
        for (;;) {
            if (m_end - m_start >= 8) {
                uint64_t header = 0;
                std::memcpy(&header, m_in.data() + m_start, 8);
                const auto length = Fake::decodeFrameHeader(header);
                if (!length || *length > m_in.size() - 8)
                    throw std::runtime_error("raw loop: bad frame");
                if (m_end - m_start >= 8 + *length) {
                    m_start += 8;
                    return size_t(*length);
                }
            }
            if (m_in.size() - m_end < 64 * 1024) {
                std::memmove(m_in.data(), m_in.data() + m_start, m_end - m_start);
                m_end -= m_start;
                m_start = 0;
            }
            const ssize_t n = ::recv(m_fd, m_in.data() + m_end, m_in.size() - m_end, 0);
            if (n <= 0)
                throw std::runtime_error("raw loop: connection ended");
            m_end += size_t(n);
        }
    }

    int m_fd = -1;
    uint32_t m_callNumber = 0;
    std::vector<uint8_t> m_in;
    size_t m_start = 0;
    size_t m_end = 0;
};

// Seconds for piece(offset) at every 4096-byte offset of total bytes.
double timedPieces(size_t total, const std::function<void(uint64_t offset)>& piece)
{
    const size_t rounds = total / kPiece;
    const auto start = Clock::now();
    for (size_t i = 0; i < rounds; ++i)
        piece(i * kPiece);
    return seconds(Clock::now() - start);
}

Fake::WireWriter& typed(Fake::WireWriter& out, const char* type)
{
    return out.string(type);
}

// One piece call's frame (handle, offset, and the bytes when given), made
// once; each sending patches its offset and its call number.
class PieceFrame {
public:
    PieceFrame(RawCaller& raw, const char* method, uint32_t handle, const std::vector<uint8_t>& bytes = {})
        : m_raw(raw)
    {
        Fake::WireWriter args;
        typed(args, Fake::kTypeHandle).u32(handle);
        typed(args, Fake::kTypeULongLong);
        const size_t offsetAt = args.size();
        args.u64(0);
        if (!bytes.empty())
            typed(args, Fake::kTypeBytes).byteVector(bytes);
        m_frame = raw.request(method, bytes.empty() ? 2 : 3, args);
        m_offsetAt = m_frame.size() - args.size() + offsetAt;
    }
    const std::vector<uint8_t>& at(uint64_t offset)
    {
        m_raw.renumber(m_frame);
        std::memcpy(m_frame.data() + m_offsetAt, &offset, 8);
        return m_frame;
    }

private:
    RawCaller& m_raw;
    std::vector<uint8_t> m_frame;
    size_t m_offsetAt = 0;
};

// Seconds for total bytes of 4096-byte "download2" calls, timed from the first piece to the last answer.
double rawSendLoop(Fake::FakeFileService& panel, size_t total)
{
    RawCaller raw(panel.port());
    const uint32_t handle = raw.callHandle("createDownloader2");
    Fake::WireWriter startArgs;
    typed(startArgs, Fake::kTypeHandle).u32(handle);
    typed(startArgs, Fake::kTypeString).string(kPanelLoop);
    typed(startArgs, Fake::kTypeULongLong).u64(0);
    raw.callNumber(raw.request("startDownload2", 3, startArgs));

    PieceFrame frame(raw, "download2", handle, std::vector<uint8_t>(kPiece, 0x42));
    const double elapsed = timedPieces(total, [&](uint64_t offset) { raw.call(frame.at(offset)); });
    raw.closeHandle(handle, "finishDownload2", "destroyDownloader2");
    return elapsed;
}

// Seconds for total bytes of "update2" calls answered by 4096 bytes each.
double rawFetchLoop(Fake::FakeFileService& panel, size_t total)
{
    RawCaller raw(panel.port());
    const uint32_t handle = raw.callHandle("createUpdater2");
    Fake::WireWriter startArgs;
    typed(startArgs, Fake::kTypeHandle).u32(handle);
    typed(startArgs, Fake::kTypeString).string(kPanelSource);
    raw.callNumber(raw.request("startUpdate2", 2, startArgs));

    PieceFrame frame(raw, "update2", handle);
    const double elapsed = timedPieces(total, [&](uint64_t offset) {
        Fake::WireReader reply = raw.call(frame.at(offset));
        std::string type;
        uint32_t count = 0;
        if (!reply.string(type) || !reply.u32(count) || count != kPiece)
            throw std::runtime_error("raw loop: short piece");
    });
    raw.closeHandle(handle, "finishUpdate2", "destroyUpdater2");
    return elapsed;
}

// Runs body with one call object on a client of its own, which is stopped afterwards.
double withProxy(Fake::FakeFileService& panel, const std::function<double(FF::RPC::SyncProxy&)>& body)
{
    FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), FF::Net::TCPClient::NewFactory());
    double elapsed = 0;
    {
        FF::RPC::SyncProxy proxy(&client);
        elapsed = body(proxy);
    }
    client.stop();
    return elapsed;
}

// The same pieces through the framework, one call object for all.
double frameworkSendLoop(Fake::FakeFileService& panel, size_t total)
{
    return withProxy(panel, [&](FF::RPC::SyncProxy& proxy) {
        const FF::Handle handle = FileServiceCalls::createDownloader2(proxy);
        FileServiceCalls::startDownload2(proxy, handle, kPanelLoop, 0);
        const std::vector<FF::byte> piece(kPiece, 0x42);
        const double elapsed = timedPieces(total, [&](uint64_t offset) {
            FileServiceCalls::download2(proxy, handle, offset, piece);
        });
        FileServiceCalls::finishDownload2(proxy, handle);
        FileServiceCalls::destroyDownloader2(proxy, handle);
        return elapsed;
    });
}

double frameworkFetchLoop(Fake::FakeFileService& panel, size_t total)
{
    return withProxy(panel, [&](FF::RPC::SyncProxy& proxy) {
        const FF::Handle handle = FileServiceCalls::createUpdater2(proxy);
        FileServiceCalls::startUpdate2(proxy, handle, kPanelSource);
        const double elapsed = timedPieces(total, [&](uint64_t offset) {
            if (FileServiceCalls::update2(proxy, handle, offset).size() != kPiece)
                throw std::runtime_error("framework loop: short piece");
        });
        FileServiceCalls::finishUpdate2(proxy, handle);
        FileServiceCalls::destroyUpdater2(proxy, handle);
        return elapsed;
    });
}

// The panel's MD5 of the whole source, as a transfer asks for it.
double panelDigest(Fake::FakeFileService& panel, size_t size)
{
    return withProxy(panel, [&](FF::RPC::SyncProxy& proxy) {
        const auto start = Clock::now();
        FileServiceCalls::getFileMD5(proxy, kPanelSource, 0, size);
        return seconds(Clock::now() - start);
    });
}

struct TransferTimes {
    double whole = 0;
    double pieces = 0;
};

TransferTimes transfer(FileServiceClient& client, bool toPanel, const std::string& local)
{
    TimingNotify timing;
    const auto start = Clock::now();
    const bool started = toPanel ? client.startSendToPanel({{local, kPanelTarget}}, &timing)
                                 : client.startFetchFromPanel({{kPanelSource, local}}, &timing);
    if (!started || !timing.wait())
        throw std::runtime_error(std::string(toPanel ? "PC to panel" : "panel to PC") + " failed with code "
                                 + std::to_string(timing.m_code));
    return {seconds(timing.m_end - start), seconds(timing.m_last - timing.m_first)};
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

// Seconds per round of one measurement.
struct Series {
    std::vector<double> values;
    double median() const
    {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

double mbs(size_t bytes, double s)
{
    return double(bytes) / 1e6 / s;
}

void printRate(const char* what, const Series& s, size_t bytes)
{
    // Fewer seconds is more MB/s: the slowest round gives the minimum.
    std::printf("  %-30s %8.1f MB/s  (%6.1f - %6.1f)\n", what, mbs(bytes, s.median()), mbs(bytes, s.max()),
                mbs(bytes, s.min()));
}

void printRatio(const char* what, const Series& s, const Series& raw, size_t bytes)
{
    std::printf("  %-30s %8.1f MB/s  (%6.1f - %6.1f)   %5.1f %% of the raw loop\n", what, mbs(bytes, s.median()),
                mbs(bytes, s.max()), mbs(bytes, s.min()), 100.0 * raw.median() / s.median());
}

void printGap(const char* direction, const Series& whole, const Series& raw, const Series& framework,
              const Series& digest)
{
    const double gap = whole.median() - raw.median();
    const double perCall = framework.median() - raw.median();
    const double rest = gap - perCall - digest.median();
    std::printf("  %-12s whole file %.0f ms over the raw loop: framework per-call cost %.0f ms (%.0f %%), panel digest "
                "%.0f ms (%.0f %%), the rest %.0f ms (%.0f %%)\n",
                direction, gap * 1e3, perCall * 1e3, 100 * perCall / gap, digest.median() * 1e3,
                100 * digest.median() / gap, rest * 1e3, 100 * rest / gap);
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? size_t(std::atol(argv[1])) : 100;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const size_t size = megabytes * 1000 * 1000 / kPiece * kPiece;

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
        panel.putFile(kPanelSource, randomBytes(size, 2));

        FileServiceClient client;
        if (!client.connect(FF::Net::Address(panel.endpoint().c_str())))
            throw std::runtime_error("cannot connect to the fake file service");

        std::map<std::string, Series> times;
        const std::vector<std::pair<std::string, std::function<void()>>> steps{
            {"raw send", [&] { times["raw send"].values.push_back(rawSendLoop(panel, size)); }},
            {"framework send", [&] { times["framework send"].values.push_back(frameworkSendLoop(panel, size)); }},
            {"send",
             [&] {
                 // A fresh file on the panel each round: nothing to resume.
                 std::filesystem::remove(*panel.localPath(kPanelTarget));
                 const TransferTimes t = transfer(client, true, sendSource);
                 times["send whole"].values.push_back(t.whole);
                 times["send pieces"].values.push_back(t.pieces);
             }},
            {"raw fetch", [&] { times["raw fetch"].values.push_back(rawFetchLoop(panel, size)); }},
            {"framework fetch", [&] { times["framework fetch"].values.push_back(frameworkFetchLoop(panel, size)); }},
            {"fetch",
             [&] {
                 std::filesystem::remove(fetchTarget);
                 const TransferTimes t = transfer(client, false, fetchTarget);
                 times["fetch whole"].values.push_back(t.whole);
                 times["fetch pieces"].values.push_back(t.pieces);
             }},
            {"digest", [&] { times["digest"].values.push_back(panelDigest(panel, size)); }},
        };
        // Interleaved: every round runs every step, each round starting one step further on.
        for (int round = 0; round < rounds; ++round) {
            for (size_t i = 0; i < steps.size(); ++i)
                steps[(i + size_t(round)) % steps.size()].second();
            std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
        }
        client.disconnect();

        std::printf("%.0f MB each way on loopback, %d interleaved rounds against one fake file service; "
                    "median (min - max)\n",
                    double(size) / 1e6, rounds);
        std::printf("PC to panel:\n");
        printRate("raw 4096-byte request loop", times["raw send"], size);
        printRatio("framework download2 loop", times["framework send"], times["raw send"], size);
        printRatio("transfer, piece phase", times["send pieces"], times["raw send"], size);
        printRatio("transfer, whole file", times["send whole"], times["raw send"], size);
        std::printf("panel to PC:\n");
        printRate("raw 4096-byte request loop", times["raw fetch"], size);
        printRatio("framework update2 loop", times["framework fetch"], times["raw fetch"], size);
        printRatio("transfer, piece phase", times["fetch pieces"], times["raw fetch"], size);
        printRatio("transfer, whole file", times["fetch whole"], times["raw fetch"], size);
        const Series& digest = times["digest"];
        std::printf("panel's getFileMD5 of the whole file: %.0f ms (%.0f - %.0f)\n", digest.median() * 1e3,
                    digest.min() * 1e3, digest.max() * 1e3);
        const double pieces = double(size / kPiece);
        std::printf("framework per-call cost over the raw loop: %.1f us per download2, %.1f us per update2\n",
                    (times["framework send"].median() - times["raw send"].median()) / pieces * 1e6,
                    (times["framework fetch"].median() - times["raw fetch"].median()) / pieces * 1e6);
        std::printf("where the whole-file gap goes (medians):\n");
        printGap("PC to panel", times["send whole"], times["raw send"], times["framework send"], digest);
        printGap("panel to PC", times["fetch whole"], times["raw fetch"], times["framework fetch"], digest);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_brellfin: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
