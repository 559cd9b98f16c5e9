// Measures, in one run on loopback:
//  - the round trip of one small sync() call (median over many calls) beside a
//    raw TCP ping-pong of the same request and reply bytes;
//  - back-to-back calls carrying a 4096-byte argument (the file-transfer chunk)
//    in MB/s beside a raw TCP exchange of the same sizes.
// Usage: bench_rpc [round trips, default 20000] [chunk calls, default 10000]

#include "framework/net/address.h"
#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/callscheme.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "framework/utils/serialize.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/fakepanel/framecodec.h"
#include "testing/fakepanel/wirewriter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kChunk = 4096;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double p)
{
    const size_t index = std::min(values.size() - 1, size_t(p * values.size()));
    std::nth_element(values.begin(), values.begin() + index, values.end());
    return values[index];
}

bool sendAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

bool receiveAll(int fd, std::vector<uint8_t>& into, size_t count)
{
    into.resize(count);
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::recv(fd, into.data() + got, count - got, 0);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

// A plain TCP peer that answers every request of a fixed size with fixed reply
// bytes: the floor that the RPC stack is compared against.
class RawExchange
{
public:
    // With servicePort 0 a plain echo peer of its own answers; otherwise the
    // raw client talks to the service on that loopback port.
    RawExchange(std::vector<uint8_t> request, std::vector<uint8_t> reply, uint16_t servicePort = 0)
        : m_request(std::move(request)), m_reply(std::move(reply))
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        local.sin_port = htons(servicePort);
        if (servicePort == 0) {
            m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
            socklen_t length = sizeof(local);
            if (::bind(m_listen, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 || ::listen(m_listen, 1) != 0)
                throw std::runtime_error("raw exchange: cannot listen");
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&local), &length);
            m_server = std::thread([this] { serve(); });
        }

        m_client = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(m_client, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0)
            throw std::runtime_error("raw exchange: cannot connect");
        noDelay(m_client);
    }

    ~RawExchange()
    {
        ::shutdown(m_client, SHUT_RDWR);
        ::close(m_client);
        if (m_server.joinable())
            m_server.join();
        if (m_listen >= 0)
            ::close(m_listen);
    }

    // One request out, one reply back; the duration of the round trip.
    Clock::duration roundTrip()
    {
        const auto start = Clock::now();
        if (!sendAll(m_client, m_request) || !receiveAll(m_client, m_in, m_reply.size()))
            throw std::runtime_error("raw exchange: peer lost");
        return Clock::now() - start;
    }

private:
    void serve()
    {
        const int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            return;
        noDelay(fd);
        std::vector<uint8_t> in;
        while (receiveAll(fd, in, m_request.size()) && sendAll(fd, m_reply)) {
        }
        ::close(fd);
    }

    std::vector<uint8_t> m_request;
    std::vector<uint8_t> m_reply;
    std::vector<uint8_t> m_in;
    int m_listen = -1;
    int m_client = -1;
    std::thread m_server;
};

// The reply frame the fake service sends for a call with these results.
std::vector<uint8_t> replyFrame(const Fake::RecordedCall& call, const Fake::MethodResult& result)
{
    Fake::WireWriter body;
    body.u32(0xAAAAAAA0).u32(call.handlerId).u32(call.callNumber).u32(0).raw(result.encode());
    return Fake::encodeFrame(body.bytes());
}

} // namespace

int main(int argc, char** argv)
{
    const int roundTrips = argc > 1 ? std::max(10000, std::atoi(argv[1])) : 20000;
    const int chunkCalls = argc > 2 ? std::max(100, std::atoi(argv[2])) : 10000;

    Fake::FakePanelService panel;
    Fake::MethodResult smallResult;
    smallResult.addInt(0);
    panel.addMethod("small", [](Fake::MethodArgs& a, Fake::MethodResult& r) { r.addInt(a.readInt()); });
    Fake::MethodResult chunkResult;
    chunkResult.addBool(true);
    panel.addMethod("chunk", [](Fake::MethodArgs& a, Fake::MethodResult& r) {
        a.readString();
        a.readBytes();
        r.addBool(true);
    });

    try {
        FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), FF::Net::TCPClient::NewFactory());
        FF::RPC::SyncProxy proxy(&client);
        auto smallCall = [&] {
            FF::utils::IBuffer* args = proxy.argsBuffer("small");
            FF::utils::Serialize(args, 1u);
            FF::RPC::writeArg(args, 0);
            proxy.sync();
        };
        const std::vector<FF::byte> chunk(kChunk, 0x5A);
        auto chunkCall = [&] {
            FF::utils::IBuffer* args = proxy.argsBuffer("chunk");
            FF::utils::Serialize(args, 2u);
            FF::RPC::writeArg(args, std::string("/storage/user_dir/file.bin"));
            FF::RPC::writeArg(args, chunk);
            proxy.sync();
        };

        for (int i = 0; i < 500; ++i)
            smallCall();
        std::vector<double> rpcTimes;
        rpcTimes.reserve(size_t(roundTrips));
        for (int i = 0; i < roundTrips; ++i) {
            const auto start = Clock::now();
            smallCall();
            rpcTimes.push_back(microseconds(Clock::now() - start));
            if (i % 1000 == 999)
                panel.clearCalls();
        }
        chunkCall();
        const Fake::RecordedCall smallSample = [&] {
            smallCall();
            return panel.calls().back();
        }();
        const Fake::RecordedCall chunkSample = [&] {
            chunkCall();
            return panel.calls().back();
        }();
        panel.clearCalls();

        for (int i = 0; i < 100; ++i)
            chunkCall();
        const auto chunkStart = Clock::now();
        for (int i = 0; i < chunkCalls; ++i) {
            chunkCall();
            if (i % 1000 == 999)
                panel.clearCalls();
        }
        const double chunkSeconds = std::chrono::duration<double>(Clock::now() - chunkStart).count();
        client.stop();

        const std::vector<uint8_t> smallRequest = Fake::encodeFrame(smallSample.body);
        const std::vector<uint8_t> smallReply = replyFrame(smallSample, smallResult);
        std::vector<double> rawTimes;
        {
            RawExchange raw(smallRequest, smallReply);
            for (int i = 0; i < 500; ++i)
                raw.roundTrip();
            rawTimes.reserve(size_t(roundTrips));
            for (int i = 0; i < roundTrips; ++i)
                rawTimes.push_back(microseconds(raw.roundTrip()));
        }

        // The same bytes from a bare socket to the fake service: what the
        // service side costs, apart from the framework's client.
        std::vector<double> rawToServiceTimes;
        {
            RawExchange raw(smallRequest, smallReply, panel.port());
            for (int i = 0; i < 500; ++i)
                raw.roundTrip();
            rawToServiceTimes.reserve(size_t(roundTrips));
            for (int i = 0; i < roundTrips; ++i) {
                rawToServiceTimes.push_back(microseconds(raw.roundTrip()));
                if (i % 1000 == 999)
                    panel.clearCalls();
            }
        }

        const std::vector<uint8_t> chunkRequest = Fake::encodeFrame(chunkSample.body);
        const std::vector<uint8_t> chunkReply = replyFrame(chunkSample, chunkResult);
        double rawChunkSeconds = 0;
        {
            RawExchange raw(chunkRequest, chunkReply);
            for (int i = 0; i < 100; ++i)
                raw.roundTrip();
            const auto start = Clock::now();
            for (int i = 0; i < chunkCalls; ++i)
                raw.roundTrip();
            rawChunkSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        }

        double rawChunkToServiceSeconds = 0;
        {
            RawExchange raw(chunkRequest, chunkReply, panel.port());
            for (int i = 0; i < 100; ++i)
                raw.roundTrip();
            const auto start = Clock::now();
            for (int i = 0; i < chunkCalls; ++i) {
                raw.roundTrip();
                if (i % 1000 == 999)
                    panel.clearCalls();
            }
            rawChunkToServiceSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        }

        const double rpcMedian = median(rpcTimes);
        const double rawMedian = median(rawTimes);
        const double chunkMB = double(chunkCalls) * kChunk / 1e6;
        std::printf("\nsmall call round trip (%zu request bytes, %zu reply bytes), %d calls each:\n",
                    smallRequest.size(), smallReply.size(), roundTrips);
        std::printf("  sync() call        median %8.1f us   p90 %8.1f us   p99 %8.1f us\n", rpcMedian,
                    percentile(rpcTimes, 0.90), percentile(rpcTimes, 0.99));
        std::printf("  raw TCP ping-pong  median %8.1f us   p90 %8.1f us   p99 %8.1f us\n", rawMedian,
                    percentile(rawTimes, 0.90), percentile(rawTimes, 0.99));
        std::printf("  ratio sync()/raw   %.2fx\n", rpcMedian / rawMedian);
        std::printf("  raw TCP to the fake service (the service side without the framework's client): median %.1f us\n",
                    median(rawToServiceTimes));
        std::printf("\n%d-byte chunk calls back to back (%zu request bytes, %zu reply bytes), %d calls each:\n",
                    int(kChunk), chunkRequest.size(), chunkReply.size(), chunkCalls);
        std::printf("  sync() calls       %8.1f MB/s   (%.1f us a call)\n", chunkMB / chunkSeconds,
                    chunkSeconds * 1e6 / chunkCalls);
        std::printf("  raw TCP exchange   %8.1f MB/s   (%.1f us a round trip)\n", chunkMB / rawChunkSeconds,
                    rawChunkSeconds * 1e6 / chunkCalls);
        std::printf("  ratio raw/sync()   %.2fx\n", chunkSeconds / rawChunkSeconds);
        std::printf("  raw TCP to the fake service: %.1f MB/s\n", chunkMB / rawChunkToServiceSeconds);
    } catch (const FF::Net::Exception& e) {
        std::fprintf(stderr, "bench_rpc: %s: %s\n", e.where().c_str(), e.info().c_str());
        return 1;
    }
    return 0;
}
