// The file-transfer tool's throughput, measured so that it cannot flatter:
// every figure is taken against the same peer (one fake file service on
// loopback, its call log off), in interleaved rounds, and given as the
// median with min-max, with the machine's load before and after.
//
// Every raw client below is a plain socket with TCP_NODELAY that frames the
// calls by hand, sends each in one call and waits for its answer the way the
// framework's calls do: non-blocking looks for as long as a call spins
// (kCallSpinUs), then a blocking receive.
//
//   bare piece loop      the headline: hand-framed "download2" (or "update2")
//                        calls of 4096 bytes alone, the same bytes a transfer
//                        moves, one at a time; nothing else on the wire
//   raw conversation     printed beside it: the very calls a transfer puts on
//                        the wire, in its order (space check, create, start,
//                        every piece of the file's bytes, finish, the panel's
//                        digest query, destroy), checked call for call
//                        against a real transfer before the rounds start. It
//                        holds the panel's digest of the whole file, a fixed
//                        cost that both it and the transfer carry.
//   framework loop       the same piece calls through FF::RPC::SyncProxy on a
//                        DispatchClient: the framework's per-call cost alone
//   PC to panel,         whole transfers through FileServiceClient, a fresh
//   panel to PC          file each round: the whole file (the batch's start to
//                        its end) and the piece phase (first to last progress
//                        report), and what lies before and after the pieces
//   panel digest         "getFileMD5" of the whole file alone: the peer's own
//                        share of the time outside the piece phase
//
// Targets: the whole file at least 85 % of the bare piece loop's rate and at
// least 90 % of the raw conversation's.
//
// Processors: with four (or more) given, the fake panel (its accepting
// thread and every connection's thread) runs on the third and fourth, and
// this side (transfers, framework clients, raw clients, the digest worker)
// on the first and second, so that the two sides of a pair never share a
// core; with one given, both sides share it (the one-core figures).
//
// Usage: bench_brellfin [megabytes, default 100] [rounds, default 7, at
//                       least 7] [--cores a,b,c,d | --cores a]
// Without --cores the first four processors this process may run on are
// taken (start it under taskset to choose them).

#include "bench/benchcpus.h"
#include "brellfin/service/fileservicecalls.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/service/ifilenotify.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/rpcconstants.h"
#include "framework/rpc/syncproxy.h"
#include "platform/fd/uniquefd.h"
#include "testing/fakefileservice/fakefileservice.h"
#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/framecodec.h"
#include "testing/fakepanel/wirereader.h"
#include "testing/fakepanel/wirewriter.h"

#include <QCryptographicHash>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using BenchCpus::allowedCpus;
using BenchCpus::listOf;
using BenchCpus::loadLine;
using BenchCpus::pinTo;

using Clock = std::chrono::steady_clock;
constexpr size_t kPiece = 4096;
const std::string kPanelSource = "/storage/user_dir/bench-source.bin";
const std::string kPanelTarget = "/storage/user_dir/bench-received.bin";
const std::string kPanelLoop = "/storage/user_dir/bench-loop.bin";
const std::string kUserDirRoot = "/storage/user_dir";

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

// The typed arguments of one call, as a client frames them: each value
// behind its type name, counted for the frame's argument count word.
class CallArgs {
public:
    CallArgs& handle(uint32_t value)
    {
        typed(Fake::kTypeHandle).u32(value);
        return *this;
    }
    CallArgs& text(const std::string& value)
    {
        typed(Fake::kTypeString).string(value);
        return *this;
    }
    CallArgs& number(uint64_t value)
    {
        typed(Fake::kTypeULongLong).u64(value);
        return *this;
    }
    CallArgs& bytes(const uint8_t* data, size_t count)
    {
        typed(Fake::kTypeBytes).u32(uint32_t(count)).raw(data, count);
        return *this;
    }
    uint32_t count() const { return m_count; }
    const Fake::WireWriter& wire() const { return m_wire; }

private:
    Fake::WireWriter& typed(const char* type)
    {
        ++m_count;
        return m_wire.string(type);
    }

    Fake::WireWriter m_wire;
    uint32_t m_count = 0;
};

// A client of the panel service with nothing between the loop and the
// socket: each call is one framed request, answered before the next leaves,
// waited for as the framework waits (non-blocking looks, then blocking).
class RawCaller {
public:
    explicit RawCaller(uint16_t port)
        : m_socket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (!m_socket || ::connect(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("raw loop: cannot connect");
        const int on = 1;
        ::setsockopt(m_socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_in.resize(256 * 1024);
    }

    // A call's frame: header, call words, method name, argument count and the typed arguments.
    std::vector<uint8_t> request(const std::string& method, const CallArgs& args = CallArgs())
    {
        Fake::WireWriter body;
        body.u32(Fake::kMsgCall).u32(1).u32(++m_callNumber).string(method).u32(args.count()).raw(args.wire().bytes());
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
    Fake::WireReader call(const std::string& method, const CallArgs& args = CallArgs())
    {
        return call(request(method, args));
    }
    uint32_t callHandle(const std::string& method)
    {
        Fake::WireReader reply = call(method);
        std::string type;
        uint32_t handle = 0;
        reply.string(type);
        reply.u32(handle);
        return handle;
    }
    uint64_t callNumber(const std::string& method, const CallArgs& args)
    {
        Fake::WireReader reply = call(method, args);
        std::string type;
        uint64_t value = 0;
        reply.string(type);
        reply.u64(value);
        return value;
    }
    std::vector<uint8_t> callBytes(const std::string& method, const CallArgs& args)
    {
        Fake::WireReader reply = call(method, args);
        std::string type;
        std::vector<uint8_t> bytes;
        reply.string(type);
        reply.byteVector(bytes);
        return bytes;
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
            const ssize_t n = ::send(m_socket.get(), bytes, count, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("raw loop: send failed");
            bytes += n;
            count -= size_t(n);
        }
    }
    // Receives until one whole frame is buffered; its body starts at m_start.
    size_t receiveFrame()
    {
        const auto spinUntil = Clock::now() + std::chrono::microseconds(FF::RPC::kCallSpinUs);
        bool spinning = true;
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
            const ssize_t n = ::recv(m_socket.get(), m_in.data() + m_end, m_in.size() - m_end,
                                     spinning ? MSG_DONTWAIT : 0);
            if (n < 0 && spinning && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                spinning = Clock::now() < spinUntil;
                continue;
            }
            if (n <= 0)
                throw std::runtime_error("raw loop: connection ended");
            m_end += size_t(n);
        }
    }

    platform::UniqueFd m_socket;
    uint32_t m_callNumber = 0;
    std::vector<uint8_t> m_in;
    size_t m_start = 0;
    size_t m_end = 0;
};

// One piece call's frame (handle, offset, and count bytes when count is not
// 0), made once; each sending patches its call number, its offset and its bytes.
class PieceFrame {
public:
    PieceFrame(RawCaller& raw, const char* method, uint32_t handle, size_t count = 0)
        : m_raw(raw)
        , m_count(count)
    {
        CallArgs args;
        args.handle(handle).number(0);
        const size_t offsetAt = args.wire().size() - 8;
        if (count > 0) {
            const std::vector<uint8_t> zeros(count);
            args.bytes(zeros.data(), count);
        }
        m_frame = raw.request(method, args);
        m_offsetAt = m_frame.size() - args.wire().size() + offsetAt;
    }
    size_t count() const { return m_count; }
    const std::vector<uint8_t>& at(uint64_t offset, const uint8_t* bytes = nullptr)
    {
        m_raw.renumber(m_frame);
        std::memcpy(m_frame.data() + m_offsetAt, &offset, 8);
        if (bytes)
            std::memcpy(m_frame.data() + m_frame.size() - m_count, bytes, m_count);
        return m_frame;
    }

private:
    RawCaller& m_raw;
    size_t m_count = 0;
    std::vector<uint8_t> m_frame;
    size_t m_offsetAt = 0;
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

// Seconds for total bytes of 4096-byte "download2" calls, timed from the first piece to the last answer.
double rawSendLoop(Fake::FakeFileService& panel, size_t total)
{
    RawCaller raw(panel.port());
    const uint32_t handle = raw.callHandle("createDownloader2");
    raw.callNumber("startDownload2", CallArgs().handle(handle).text(kPanelLoop).number(0));

    PieceFrame frame(raw, "download2", handle, kPiece);
    const std::vector<uint8_t> piece(kPiece, 0x42);
    const double elapsed = timedPieces(total, [&](uint64_t offset) { raw.call(frame.at(offset, piece.data())); });
    raw.call("finishDownload2", CallArgs().handle(handle));
    raw.call("destroyDownloader2", CallArgs().handle(handle));
    return elapsed;
}

// Seconds for total bytes of "update2" calls answered by 4096 bytes each.
double rawFetchLoop(Fake::FakeFileService& panel, size_t total)
{
    RawCaller raw(panel.port());
    const uint32_t handle = raw.callHandle("createUpdater2");
    raw.callNumber("startUpdate2", CallArgs().handle(handle).text(kPanelSource));

    PieceFrame frame(raw, "update2", handle);
    const double elapsed = timedPieces(total, [&](uint64_t offset) {
        Fake::WireReader reply = raw.call(frame.at(offset));
        std::string type;
        uint32_t count = 0;
        if (!reply.string(type) || !reply.u32(count) || count != kPiece)
            throw std::runtime_error("raw loop: short piece");
    });
    raw.call("finishUpdate2", CallArgs().handle(handle));
    raw.call("destroyUpdater2", CallArgs().handle(handle));
    return elapsed;
}

// A fresh PC-to-panel transfer of bytes to target in the user area, call
// for call, with nothing done on the PC side but framing: the space check,
// create, start, the pieces, finish, the panel's digest, destroy. Seconds
// from the first call to the last answer.
double replaySend(Fake::FakeFileService& panel, const std::vector<uint8_t>& bytes, const std::string& target,
                  const std::vector<uint8_t>& digest)
{
    RawCaller raw(panel.port());
    const uint64_t size = bytes.size();
    const auto start = Clock::now();
    raw.callNumber("getFreeDiskSize", CallArgs().text(kUserDirRoot));
    const uint32_t handle = raw.callHandle("createDownloader2");
    if (raw.callNumber("startDownload2", CallArgs().handle(handle).text(target).number(size)) != 0)
        throw std::runtime_error("raw conversation: the panel's target is not fresh");
    PieceFrame whole(raw, "download2", handle, kPiece);
    uint64_t offset = 0;
    for (; size - offset >= kPiece; offset += kPiece)
        raw.call(whole.at(offset, bytes.data() + offset));
    if (offset < size) {
        PieceFrame last(raw, "download2", handle, size_t(size - offset));
        raw.call(last.at(offset, bytes.data() + offset));
    }
    raw.call("finishDownload2", CallArgs().handle(handle));
    const std::vector<uint8_t> panelDigest = raw.callBytes("getFileMD5",
                                                           CallArgs().text(target).number(0).number(size));
    raw.call("destroyDownloader2", CallArgs().handle(handle));
    const double elapsed = seconds(Clock::now() - start);
    if (panelDigest != digest)
        throw std::runtime_error("raw conversation: the panel's digest differs from the file's");
    return elapsed;
}

// A fresh panel-to-PC transfer of source, call for call: create, start, the
// panel's digest, the pieces the panel sizes, finish, destroy.
double replayFetch(Fake::FakeFileService& panel, const std::string& source)
{
    RawCaller raw(panel.port());
    const auto start = Clock::now();
    const uint32_t handle = raw.callHandle("createUpdater2");
    const uint64_t size = raw.callNumber("startUpdate2", CallArgs().handle(handle).text(source));
    if (raw.callBytes("getFileMD5", CallArgs().text(source).number(0).number(size)).size() != 16)
        throw std::runtime_error("raw conversation: no digest");
    PieceFrame piece(raw, "update2", handle);
    uint64_t offset = 0;
    while (offset < size) {
        Fake::WireReader reply = raw.call(piece.at(offset));
        std::string type;
        uint32_t count = 0;
        if (!reply.string(type) || !reply.u32(count) || count == 0 || count > size - offset)
            throw std::runtime_error("raw conversation: bad piece");
        offset += count;
    }
    raw.call("finishUpdate2", CallArgs().handle(handle));
    raw.call("destroyUpdater2", CallArgs().handle(handle));
    return seconds(Clock::now() - start);
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
        const double elapsed = timedPieces(
            total, [&](uint64_t offset) { FileServiceCalls::download2(proxy, handle, offset, piece); });
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
    double before = 0; // the batch's start to the first progress report
    double after = 0;  // the last progress report to the batch's end
};

TransferTimes transfer(FileServiceClient& client, bool toPanel, const std::string& local, const std::string& remote)
{
    TimingNotify timing;
    const auto start = Clock::now();
    const bool started = toPanel ? client.startSendToPanel({{local, remote}}, &timing)
                                 : client.startFetchFromPanel({{remote, local}}, &timing);
    if (!started || !timing.wait())
        throw std::runtime_error(std::string(toPanel ? "PC to panel" : "panel to PC") + " failed with code "
                                 + std::to_string(timing.m_code));
    return {seconds(timing.m_end - start), seconds(timing.m_last - timing.m_first), seconds(timing.m_first - start),
            seconds(timing.m_end - timing.m_last)};
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

std::vector<uint8_t> md5Of(const std::vector<uint8_t>& bytes)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())),
        QCryptographicHash::Md5);
    return std::vector<uint8_t>(digest.begin(), digest.end());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw std::runtime_error("cannot write " + path);
    std::fclose(file);
}

void removePanelFile(Fake::FakeFileService& panel, const std::string& path)
{
    std::filesystem::remove(*panel.localPath(path));
}

// The calls the panel logged, one line each: the method and its arguments,
// handles numbered by their first appearance and bytes by their count and
// their MD5, so that two conversations compare equal when they carry the
// same calls with the same arguments in the same order.
std::vector<std::string> loggedConversation(const Fake::FakeFileService& panel)
{
    std::map<uint64_t, size_t> handles;
    std::vector<std::string> lines;
    for (const Fake::FileCall& call : panel.log()) {
        std::string line = call.method + "(";
        for (const Fake::FileCallArg& arg : call.args) {
            if (line.back() != '(')
                line += ", ";
            if (arg.typeName == Fake::kTypeHandle)
                line += "handle " + std::to_string(handles.emplace(arg.number, handles.size()).first->second);
            else if (arg.typeName == Fake::kTypeString)
                line += '"' + arg.text + '"';
            else if (arg.typeName == Fake::kTypeBytes)
                line += std::to_string(arg.bytes.size()) + " bytes, MD5 "
                        + QByteArray(reinterpret_cast<const char*>(md5Of(arg.bytes).data()), 16).toHex().toStdString();
            else
                line += arg.typeName + " " + std::to_string(arg.number);
        }
        lines.push_back(line + ")");
    }
    return lines;
}

// The raw conversations are replays of the transfers: checked here, with the
// call log on, on a file of three pieces and a short one each way. A
// transfer whose calls changed stops the bench instead of being measured
// against a replay that no longer matches it.
void checkReplays(Fake::FakeFileService& panel, FileServiceClient& client, const std::string& folder)
{
    const std::vector<uint8_t> bytes = randomBytes(3 * kPiece + 1000, 3);
    const std::string local = folder + "/check.bin";
    const std::string fetched = folder + "/check-fetched.bin";
    const std::string source = "/storage/user_dir/bench-check-source.bin";
    const std::string target = "/storage/user_dir/bench-check-target.bin";
    writeFile(local, bytes);
    panel.putFile(source, bytes);

    const auto logged = [&](const std::function<void()>& run) {
        panel.clearLog();
        run();
        return loggedConversation(panel);
    };
    const auto compare = [&](const char* direction, const std::vector<std::string>& transferCalls,
                             const std::vector<std::string>& replayCalls) {
        if (transferCalls == replayCalls)
            return;
        std::fprintf(stderr, "%s: the transfer's calls (<) and the raw replay's (>) differ:\n", direction);
        for (size_t i = 0; i < std::max(transferCalls.size(), replayCalls.size()); ++i) {
            const std::string& t = i < transferCalls.size() ? transferCalls[i] : std::string("-");
            const std::string& r = i < replayCalls.size() ? replayCalls[i] : std::string("-");
            std::fprintf(stderr, "%c %s\n%s%s", t == r ? ' ' : '<', t.c_str(), t == r ? "" : "> ",
                         t == r ? "" : (r + "\n").c_str());
        }
        throw std::runtime_error("the raw conversation is not the transfer's");
    };

    panel.setKeepLog(true);
    removePanelFile(panel, target);
    const auto sent = logged([&] { transfer(client, true, local, target); });
    removePanelFile(panel, target);
    const auto sendReplay = logged([&] { replaySend(panel, bytes, target, md5Of(bytes)); });
    compare("PC to panel", sent, sendReplay);

    const auto fetchedCalls = logged([&] { transfer(client, false, fetched, source); });
    const auto fetchReplay = logged([&] { replayFetch(panel, source); });
    compare("panel to PC", fetchedCalls, fetchReplay);
    panel.setKeepLog(false);
    panel.clearLog();
    std::printf("raw conversations checked call for call against real transfers: %zu calls PC to panel, %zu panel "
                "to PC for a file of %zu bytes\n",
                sent.size(), fetchedCalls.size(), bytes.size());
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

// The rate and the share of the baseline's rate it reaches.
void printRatio(const char* what, const Series& s, const Series& baseline, const char* baselineName, size_t bytes)
{
    std::printf("  %-30s %8.1f MB/s  (%6.1f - %6.1f)   %5.1f %% of the %s\n", what, mbs(bytes, s.median()),
                mbs(bytes, s.max()), mbs(bytes, s.min()), 100.0 * baseline.median() / s.median(), baselineName);
}

// One direction's figures: the bare piece loop first, every transfer figure
// as a share of it, the raw conversation beside, and the time outside the
// piece phase split into the panel's digest and the rest.
void printDirection(const char* direction, const char* pieceMethod, const std::map<std::string, Series>& times,
                    const std::string& key, size_t bytes)
{
    const Series& loop = times.at("raw " + key);
    const Series& conversation = times.at("conversation " + key);
    const Series& framework = times.at("framework " + key);
    const Series& whole = times.at(key + " whole");
    const Series& pieces = times.at(key + " pieces");
    const Series& digest = times.at("digest");
    std::printf("%s (the panel's getFileMD5 of the whole file: %.0f ms, %.0f - %.0f):\n", direction,
                digest.median() * 1e3, digest.min() * 1e3, digest.max() * 1e3);
    printRate((std::string("bare ") + pieceMethod + " piece loop").c_str(), loop, bytes);
    // Seconds per round: the fastest round is the minimum.
    const double loopRange = (loop.max() - loop.min()) / loop.median();
    if (loopRange > 0.2)
        std::printf("  note: the bare loop's own range is %.0f %% of its median (wider than 20 %%)\n", 100 * loopRange);
    printRatio("transfer, whole file", whole, loop, "bare piece loop (target 85 %)", bytes);
    printRatio("transfer, piece phase", pieces, loop, "bare piece loop", bytes);
    printRatio("framework piece loop", framework, loop, "bare piece loop", bytes);
    printRate("raw conversation", conversation, bytes);
    std::printf("  %-30s %8.1f MB/s  (%6.1f - %6.1f)   %5.1f %% of the raw conversation (target 90 %%)\n",
                "transfer, whole file", mbs(bytes, whole.median()), mbs(bytes, whole.max()), mbs(bytes, whole.min()),
                100.0 * conversation.median() / whole.median());
    // Outside the piece phase: the transfer's whole file less its piece
    // phase, beside the raw conversation less the bare loop (the same calls
    // around the same pieces, the panel's digest among them).
    std::printf("  outside the piece phase: transfer %.0f ms (%.0f ms before the first piece, %.0f ms after the "
                "last), raw conversation %.0f ms; the panel's digest alone %.0f ms\n",
                (whole.median() - pieces.median()) * 1e3, times.at(key + " before").median() * 1e3,
                times.at(key + " after").median() * 1e3, (conversation.median() - loop.median()) * 1e3,
                digest.median() * 1e3);
    std::printf("  per piece over the bare loop: framework %.1f us, transfer piece phase %.1f us\n",
                (framework.median() - loop.median()) / double(bytes / kPiece) * 1e6,
                (pieces.median() - loop.median()) / double(bytes / kPiece) * 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<int> cores;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--cores" && i + 1 < args.size()) {
            std::string rest = args[i + 1];
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                cores.push_back(std::atoi(rest.substr(0, comma).c_str()));
                rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
            }
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    }
    const size_t megabytes = args.size() > 0 ? size_t(std::atol(args[0].c_str())) : 100;
    const int rounds = args.size() > 1 ? std::max(7, std::atoi(args[1].c_str())) : 7;
    if (cores.empty())
        cores = allowedCpus();
    if (cores.size() != 1 && cores.size() < 4) {
        std::fprintf(stderr, "bench_brellfin: needs four processors, or one (--cores a,b,c,d or --cores a)\n");
        return 1;
    }
    const std::vector<int> clientCpus = cores.size() == 1 ? cores : std::vector<int>{cores[0], cores[1]};
    const std::vector<int> panelCpus = cores.size() == 1 ? cores : std::vector<int>{cores[2], cores[3]};
    const size_t size = megabytes * 1000 * 1000 / kPiece * kPiece;

    std::string pattern = (std::filesystem::temp_directory_path() / "brellfinbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const std::string folder = pattern;
    int status = 0;
    try {
        // The panel's threads start from its accepting thread, which starts here.
        pinTo(panelCpus);
        Fake::FakeFileService panel;
        pinTo(clientCpus);
        panel.setKeepLog(false);
        const std::string sendSource = folder + "/send.bin";
        const std::string fetchTarget = folder + "/fetched.bin";
        const std::vector<uint8_t> sendBytes = randomBytes(size, 1);
        const std::vector<uint8_t> sendDigest = md5Of(sendBytes);
        writeFile(sendSource, sendBytes);
        panel.putFile(kPanelSource, randomBytes(size, 2));

        FileServiceClient client;
        if (!client.connect(FF::Net::Address(panel.endpoint().c_str())))
            throw std::runtime_error("cannot connect to the fake file service");
        checkReplays(panel, client, folder);

        std::map<std::string, Series> times;
        const std::vector<std::pair<std::string, std::function<void()>>> steps{
            {"conversation send",
             [&] {
                 removePanelFile(panel, kPanelTarget);
                 times["conversation send"].values.push_back(replaySend(panel, sendBytes, kPanelTarget, sendDigest));
             }},
            {"raw send", [&] { times["raw send"].values.push_back(rawSendLoop(panel, size)); }},
            {"framework send", [&] { times["framework send"].values.push_back(frameworkSendLoop(panel, size)); }},
            {"send",
             [&] {
                 // A fresh file on the panel each round: nothing to resume.
                 removePanelFile(panel, kPanelTarget);
                 const TransferTimes t = transfer(client, true, sendSource, kPanelTarget);
                 times["send whole"].values.push_back(t.whole);
                 times["send pieces"].values.push_back(t.pieces);
                 times["send before"].values.push_back(t.before);
                 times["send after"].values.push_back(t.after);
             }},
            {"conversation fetch",
             [&] { times["conversation fetch"].values.push_back(replayFetch(panel, kPanelSource)); }},
            {"raw fetch", [&] { times["raw fetch"].values.push_back(rawFetchLoop(panel, size)); }},
            {"framework fetch", [&] { times["framework fetch"].values.push_back(frameworkFetchLoop(panel, size)); }},
            {"fetch",
             [&] {
                 std::filesystem::remove(fetchTarget);
                 const TransferTimes t = transfer(client, false, fetchTarget, kPanelSource);
                 times["fetch whole"].values.push_back(t.whole);
                 times["fetch pieces"].values.push_back(t.pieces);
                 times["fetch before"].values.push_back(t.before);
                 times["fetch after"].values.push_back(t.after);
             }},
            {"digest", [&] { times["digest"].values.push_back(panelDigest(panel, size)); }},
        };
        // Interleaved: every round runs every step, each round starting one step further on.
        const std::string before = loadLine();
        for (int round = 0; round < rounds; ++round) {
            for (size_t i = 0; i < steps.size(); ++i)
                steps[(i + size_t(round)) % steps.size()].second();
            std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
        }
        client.disconnect();

        std::printf("%.0f MB each way on loopback, %d interleaved rounds against one fake file service; "
                    "median (min - max)\n",
                    double(size) / 1e6, rounds);
        std::printf("%s: this side on processor%s %s, the fake panel on %s\n",
                    cores.size() == 1 ? "one core" : "four cores", clientCpus.size() > 1 ? "s" : "",
                    listOf(clientCpus).c_str(), listOf(panelCpus).c_str());
        std::printf("before: %s; after: %s\n", before.c_str(), loadLine().c_str());
        std::printf("raw clients: TCP_NODELAY, waiting as the framework does (%d us of non-blocking looks, then a "
                    "blocking receive)\n",
                    FF::RPC::kCallSpinUs);
        printDirection("PC to panel", "download2", times, "send", size);
        printDirection("panel to PC", "update2", times, "fetch", size);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_brellfin: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
